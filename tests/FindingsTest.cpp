// sweepcheck's findings: the traps' names, the languages of manifest
// names, and which findings count.
#include <gtest/gtest.h>

#include "check/modFindings.h"

using namespace vantrel::check;

namespace {

TEST(TrapName, EveryTrapIsFoundByItsOwnNameAndNoOtherName) {
    for (int i = 0; i <= static_cast<int>(Trap::QuestionMark); ++i) {
        const Trap trap = static_cast<Trap>(i);
        Trap found = Trap::NoManifests;
        ASSERT_TRUE(TrapNamed(TrapName(trap), found)) << i;
        EXPECT_EQ(found, trap);
        EXPECT_NE(TrapNames().find(TrapName(trap)), std::wstring::npos);
    }
    Trap found;
    EXPECT_FALSE(TrapNamed(L"Refused", found)) << "names are matched exactly";
    EXPECT_FALSE(TrapNamed(L"", found));
}

TEST(LanguageOfName, ReadsTheCodeOfAnyManifestNameAndOnlyTheSweepsFour) {
    EXPECT_EQ(LanguageOfName(L"__shortcutsweep-it.ini"), L"it");
    EXPECT_EQ(LanguageOfName(L"__SHORTCUTSWEEP-EN.INI"), L"EN");
    EXPECT_EQ(LanguageOfName(L"__shortcutsweep-.ini"), L"");
    EXPECT_EQ(LanguageOfName(L"__shortcutsweep.bat"), L"");
    EXPECT_EQ(ReadLanguage(L"EN"), L"en");
    EXPECT_EQ(ReadLanguage(L"ja"), L"ja");
    EXPECT_EQ(ReadLanguage(L"it"), L"");
}

TEST(Silence, SilencedFindingsAreShownButNotCounted) {
    std::vector<CheckedManifest> manifests(2);
    manifests[0].findings = {{Trap::QuestionMark, 1, L"a"}, {Trap::Refused, 2, L"b"}};
    manifests[1].findings = {{Trap::QuestionMark, 3, L"c"}};
    Silence(manifests, {Trap::QuestionMark});
    EXPECT_EQ(CountedFindings(manifests), 1u);
    EXPECT_EQ(SilencedFindings(manifests), 2u);
    EXPECT_TRUE(manifests[1].findings[0].silenced);
    EXPECT_FALSE(manifests[0].findings[1].silenced);
}

}  // namespace
