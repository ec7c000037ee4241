// Names that a system reports alike, and when a folder's listing still
// shows every name of a file.
#include <gtest/gtest.h>

#include "common/modSpellings.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace testing_support;

namespace {

TEST(SpellingKey, NamesWineReportsAlikeShareOneKey) {
    EXPECT_EQ(SpellingKey(L"x.url"), SpellingKey(L"X.URL"));
    EXPECT_EQ(SpellingKey(L"x.url"), SpellingKey(L"x.url."));
    EXPECT_EQ(SpellingKey(L"x.url"), SpellingKey(L"x.url. ."));
    EXPECT_EQ(SpellingKey(L"D"), SpellingKey(L"D."));
    EXPECT_EQ(SpellingKey(L"E"), SpellingKey(L"E ."));
    EXPECT_EQ(SpellingKey(L"sub"), SpellingKey(L"sub\\x.url")) << "a backslash reads as a separator";
    EXPECT_NE(SpellingKey(L"x.url"), SpellingKey(L"x.urlx"));
    EXPECT_NE(SpellingKey(L".x"), SpellingKey(L"x")) << "only the end of a name is trimmed";
}

// The file system's clock stamps a name bound to a file; a listing shows
// every name bound before it began. Equal times are a tick the listing may
// share with the change, so they count as later.
TEST(ListingShowsNamesOf, OnlyAFileChangedBeforeTheListingAndItsFoldersLastChange) {
    constexpr int64_t started = 1000;
    constexpr int64_t folder = 800;
    const bool own = true;
    EXPECT_TRUE(ListingShowsNamesOf(started, folder, 799, own));
    EXPECT_FALSE(ListingShowsNamesOf(started, folder, 800, own))
        << "changed in the tick of the folder's change";
    EXPECT_FALSE(ListingShowsNamesOf(started, folder, 900, own)) << "changed after the folder's last change";
    EXPECT_FALSE(ListingShowsNamesOf(started, 5000, 1000, own)) << "a folder stamped in the future";
    EXPECT_FALSE(ListingShowsNamesOf(started, 5000, 1200, own));
    EXPECT_TRUE(ListingShowsNamesOf(started, 5000, 999, own));
    EXPECT_FALSE(ListingShowsNamesOf(started, folder, std::nullopt, own)) << "a time that could not be read";
    // A folder further up: its own changes say nothing of the file below.
    EXPECT_TRUE(ListingShowsNamesOf(started, folder, 900, !own));
    EXPECT_FALSE(ListingShowsNamesOf(started, folder, 1000, !own));
}

// On the platform's own file system: a folder whose pieces are each the one
// entry of their spelling, and one that is not.
TEST(SpellingChecks, EveryPieceOnThePathIsAskedAbout) {
    TempFolder root(L"spell");
    WriteBytes(root / L"Plain\\a.url", "x");
    SpellingChecks checks;
    const std::wstring reported = L"\\\\?\\" + root.path() + L"\\Plain\\a.url";
    EXPECT_EQ(checks.Of(reported, std::nullopt).spelling, Spelling::Once);
    EXPECT_EQ(checks.Of(L"relative\\a.url", std::nullopt).spelling, Spelling::Unknown);
    if (!RunningUnderWine()) {
        return;
    }
    // A folder D. beside D: a file in either is reported under D.
    ASSERT_TRUE(RunUnixCommand(
        {"/bin/mkdir", UnixPathOf(root / L"Plain") + "/D", UnixPathOf(root / L"Plain") + "/D."}));
    WriteBytes(root / L"Plain\\D\\b.url", "x");
    const SpellingFound twin = checks.Of(L"\\\\?\\" + root.path() + L"\\Plain\\D\\b.url", std::nullopt);
    EXPECT_EQ(twin.spelling, Spelling::Shared);
    EXPECT_EQ(twin.sharedIn, L"\\\\?\\" + root.path() + L"\\Plain");
    // Names that differ only in letter case are two names there.
    ASSERT_TRUE(RunUnixCommand({"/bin/touch", UnixPathOf(root / L"Plain") + "/A.URL"}));
    EXPECT_EQ(checks.Of(reported, std::nullopt).spelling, Spelling::Shared);
}

}  // namespace
