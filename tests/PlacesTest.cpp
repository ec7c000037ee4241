// Where an open file lies against the folder a path named, on real files.
#include <gtest/gtest.h>

#include "common/modOpen.h"
#include "common/modPlaces.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace testing_support;

namespace {

class PlacesTest : public ::testing::Test {
protected:
    std::wstring File(std::wstring_view name) {
        const std::wstring path = root_ / name;
        WriteBytes(path, "x");
        return path;
    }
    TempFolder root_{L"places"};
    FolderLocations folders_;
};

TEST_F(PlacesTest, AFileIsInItsFolderUnderItsOwnNameInAnyLetterCase) {
    const std::wstring path = File(L"Links\\Home.url");
    EXPECT_EQ(PlacementOfPath(path, folders_).placement, Placement::InFolder);
    EXPECT_EQ(PlacementOfPath(root_ / L"Links\\HOME.URL", folders_).placement, Placement::InFolder);
    EXPECT_EQ(PlacementOfPath(root_ / L"Links\\missing.url", folders_).placement, Placement::Unknown);
    const UniqueFile file = OpenToAsk(path);
    ASSERT_TRUE(file);
    const PlaceFound found = PlacementOf(file.get(), Path(root_ / L"Links\\"), folders_, std::nullopt);
    EXPECT_EQ(found.placement, Placement::InFolder);
    EXPECT_EQ(found.finalName, L"Home.url");
    // Open under one name, asked about as another entry of the folder.
    File(L"Links\\Other.url");
    EXPECT_EQ(PlacementOfEntry(file.get(), root_ / L"Links\\Other.url", folders_).placement,
              Placement::Elsewhere);
}

// A folder's own final path is asked once and kept; a folder named through
// a link lies where the link leads.
TEST_F(PlacesTest, AFoldersPlaceIsItsFinalPath) {
    File(L"Real\\a.url");
    const FolderLocations::Place& place = folders_.Of(Path(root_ / L"Real\\"));
    EXPECT_EQ(place.finalPath,
              Path(root_ / L"Real").AsFinalPath().root + Path(root_ / L"Real").AsFinalPath().rest);
    EXPECT_FALSE(place.reportedOtherwise);
    if (!RunningUnderWine()) {
        return;
    }
    ASSERT_TRUE(MakeUnixLink(root_ / L"Real", root_ / L"Way"));
    EXPECT_EQ(PlacementOfPath(root_ / L"Way\\a.url", folders_).placement, Placement::InFolder)
        << "a path through a linked folder is ordinary";
    // A link to a file is open as its target, elsewhere.
    File(L"Elsewhere\\t.url");
    ASSERT_TRUE(MakeUnixLink(root_ / L"Elsewhere\\t.url", root_ / L"Real\\t.url"));
    EXPECT_EQ(PlacementOfPath(root_ / L"Real\\t.url", folders_).placement, Placement::Elsewhere);
    // Beside a name Wine reports alike (x.url. as x.url): in doubt, and
    // where.
    ASSERT_TRUE(RunUnixCommand({"/bin/touch", UnixPathOf(root_ / L"Real") + "/x.url."}));
    ASSERT_TRUE(RunUnixCommand({"/bin/ln", "-s", "x.url.", UnixPathOf(root_ / L"Real") + "/x.url"}));
    const PlaceFound doubt = PlacementOfPath(root_ / L"Real\\x.url", folders_);
    EXPECT_EQ(doubt.placement, Placement::NameInDoubt);
    EXPECT_EQ(doubt.spelledAlikeIn, root_ / L"Real");
}

}  // namespace
