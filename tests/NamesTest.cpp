// Names and how they match: letter case and the wildcards * and ?.
#include <gtest/gtest.h>

#include "common/modNames.h"

using namespace vantrel;

namespace {

TEST(NameMatchesPattern, StarIsAnyRunQuestionMarkIsOneCharacterOrNoneAtADot) {
    EXPECT_TRUE(NameMatchesPattern(L"a.url", L"*.url"));
    EXPECT_TRUE(NameMatchesPattern(L".url", L"*.url"));
    EXPECT_TRUE(NameMatchesPattern(L"x.url.url", L"*.url"));
    EXPECT_TRUE(NameMatchesPattern(L"abc", L"*"));
    EXPECT_TRUE(NameMatchesPattern(L"a.b.c.url", L"*.*.url"));
    EXPECT_FALSE(NameMatchesPattern(L"a.urlx", L"*.url"));
    EXPECT_FALSE(NameMatchesPattern(L"a.url", L"*.urlx"));
    EXPECT_FALSE(NameMatchesPattern(L"x.url", L"a*"));
    // ? as Windows reads it: one character but a dot, or none before a dot
    // or at the end.
    EXPECT_TRUE(NameMatchesPattern(L"Vantrel.url", L"Vantrel?.url"));
    EXPECT_TRUE(NameMatchesPattern(L"Vantrel2.url", L"Vantrel?.url"));
    EXPECT_FALSE(NameMatchesPattern(L"Vantrel22.url", L"Vantrel?.url"));
    EXPECT_TRUE(NameMatchesPattern(L"Vantrel2.url", L"Vantrel??.url"));
    EXPECT_TRUE(NameMatchesPattern(L"ab", L"ab??"));
    EXPECT_FALSE(NameMatchesPattern(L"a.b.url", L"a?b.url"));
    EXPECT_TRUE(NameMatchesPattern(L"axb.url", L"a?b.url"));
    EXPECT_TRUE(NameMatchesPattern(L"a.b.url", L"a?*.url"));
    EXPECT_FALSE(NameMatchesPattern(L"abc.url", L"a?.url"));
    EXPECT_FALSE(NameMatchesPattern(L"x.url", L"?x.url"));
}

TEST(NameMatchesPattern, IgnoresLetterCase) {
    EXPECT_TRUE(NameMatchesPattern(L"README.URL", L"*.url"));
    EXPECT_TRUE(NameMatchesPattern(L"\u00C9t\u00E9.url", L"\u00E9T\u00C9.URL"));
    EXPECT_TRUE(NameMatchesPattern(L"\u30C7\u30B9\u30AF.url", L"\u30C7*.url"));
}

TEST(LowerCase, FollowsThePlatformRules) {
    EXPECT_EQ(LowerCase(L"/NOPRODUCTION x/NoProductionY"), L"/noproduction x/noproductiony");
    EXPECT_EQ(LowerCase(L"\u00C9T\u00C9"), L"\u00E9t\u00E9");
    EXPECT_EQ(LowerCase(L""), L"");
}

}  // namespace
