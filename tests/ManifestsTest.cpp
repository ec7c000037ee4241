// Where the manifests are and how one is dealt with: the parent folder,
// the base folder, and the one manifest procedure the sweep and sweepcheck
// share.
#include <gtest/gtest.h>

#include "sweep/modBaseFolder.h"
#include "sweep/modLineRules.h"
#include "sweep/modManifests.h"
#include "sweep/modOutcomeWords.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::sweep;

namespace {

TEST(ParentFolder, DropsTheGivenNumberOfPieces) {
    EXPECT_EQ(ParentFolder(L"C:\\Apps\\Vendor\\Tool\\bin", 2), L"C:\\Apps\\Vendor\\");
    EXPECT_EQ(ParentFolder(L"C:\\Apps\\Vendor\\Tool", 2), L"C:\\Apps\\");
    EXPECT_EQ(ParentFolder(L"C:\\Apps\\Vendor", 2), L"C:\\");
    EXPECT_EQ(ParentFolder(L"C:\\Apps\\Vendor\\Tool\\bin", 0), L"C:\\Apps\\Vendor\\Tool\\bin\\");
}

TEST(ParentFolder, GivesABackslashWhenNothingIsLeft) {
    EXPECT_EQ(ParentFolder(L"C:\\Apps", 2), L"\\");
    EXPECT_EQ(ParentFolder(L"C:\\", 2), L"\\");  // pieces C: and an empty one
    EXPECT_EQ(ParentFolder(L"", 2), L"\\");
    EXPECT_EQ(ParentFolder(L"", 0), L"\\");
}

TEST(ParentFolder, KeepsEmptyPieces) {
    // \\server\share\a\b: pieces "", "", server, share, a, b.
    EXPECT_EQ(ParentFolder(L"\\\\server\\share\\a\\b", 2), L"\\\\server\\share\\");
    EXPECT_EQ(ParentFolder(L"C:\\a\\\\b\\c", 2), L"C:\\a\\\\");
    EXPECT_EQ(ParentFolder(L"C:\\a\\b\\", 2), L"C:\\a\\");
}

// The switch's folder lies on the program's own drive or share, or the
// sweep has no base folder at all.
TEST(BaseFolderFor, IsOnTheProgramsOwnDriveOrShareOrNone) {
    EXPECT_EQ(BaseFolderFor(L"", L"C:\\Apps\\bin"), L"C:\\Apps\\bin\\");
    EXPECT_EQ(BaseFolderFor(L"", L"C:\\"), L"C:\\\\");  // the value as it comes out
    EXPECT_EQ(BaseFolderFor(L"", L"\\\\srv\\share"), L"\\\\srv\\share\\");
    EXPECT_EQ(BaseFolderFor(L"/noproduction", L"C:\\Apps\\Vendor\\Tool\\bin"), L"C:\\Apps\\Vendor\\ZV\\");
    EXPECT_EQ(BaseFolderFor(L"/noproduction", L"C:\\a\\bin"), L"C:\\ZV\\");
    EXPECT_EQ(BaseFolderFor(L"/noproduction", L"\\\\srv\\share\\a\\bin"), L"\\\\srv\\share\\ZV\\");
    // ParentFolder gives \ (the current drive's root) or \\srv\ (another share).
    for (const wchar_t* folder : {L"C:\\Apps", L"C:\\", L"\\\\srv\\share\\bin", L"\\\\srv\\share"}) {
        EXPECT_EQ(BaseFolderFor(L"/noproduction", folder), L"")
            << testing::PrintToString(std::wstring(folder));
    }
    // No full path to a drive or share: relative to some current folder.
    for (const wchar_t* folder : {L"UNC\\srv\\share\\bin", L"\\Apps\\bin", L"C:Apps", L"bin",
                                  L"\\\\?\\C:\\Apps", L"\\\\.\\C:\\Apps", L""}) {
        EXPECT_EQ(BaseFolderFor(L"", folder), L"") << testing::PrintToString(std::wstring(folder));
    }
}

// When the test for a manifest cannot tell (a folder that cannot be
// listed), the steps it guards run, as a failing test lets them in the
// sweep's failure-skipping mode: the manifest is read and acted on. The
// sweep asks the one manifest procedure to act; sweepcheck asks it only
// to check, and is told the same.
TEST(HandleManifest, AManifestWhoseTestCannotTellIsReadAndActedOnAllTheSame) {
    testing_support::TempFolder folder(L"unknown");
    const std::wstring shortcut = folder / L"a.url";
    const std::wstring manifest = folder / L"__shortcutsweep-en.ini";
    testing_support::WriteBytes(shortcut, "[InternetShortcut]\r\n");
    testing_support::WriteUtf8(manifest, shortcut + L"\r\n");
    struct Seen {
        ManifestFinding finding;
        std::vector<LineOutcome> lines;
        std::vector<FileReport> itself;
    };
    const auto handle = [&](bool onlyCheck) {
        Seen seen;
        ManifestSteps steps;
        steps.found = [&](const ManifestFinding& finding) { seen.finding = finding; };
        steps.line = [&](size_t, std::wstring_view, const LineOutcome& outcome) {
            seen.lines.push_back(outcome);
        };
        steps.itself = [&](const std::vector<FileReport>& itself) { seen.itself = itself; };
        FolderLocations folders;
        HandleManifest(manifest, Match::Unknown, onlyCheck ? Handling::Check : Handling::Act,
                       Reporting::FilesReached, steps, folders);
        return seen;
    };

    const Seen checked = handle(true);
    EXPECT_EQ(DescribeFinding(manifest, checked.finding),
              L"could not be looked for; read all the same, read");
    ASSERT_EQ(checked.lines.size(), 1u);
    ASSERT_EQ(checked.lines[0].files.size(), 1u);
    EXPECT_EQ(checked.lines[0].files[0].verdict, FileVerdict::WouldDelete);
    EXPECT_EQ(DescribeOwnFile(manifest, checked.itself), L"would delete");
    EXPECT_TRUE(testing_support::Exists(shortcut));
    EXPECT_TRUE(testing_support::Exists(manifest));

    const Seen acted = handle(false);
    EXPECT_EQ(DescribeFinding(manifest, acted.finding), L"could not be looked for; read all the same, read");
    ASSERT_EQ(acted.lines.size(), 1u);
    EXPECT_EQ(DescribeOutcome(acted.lines[0]), L"deleted " + shortcut);
    EXPECT_EQ(DescribeOwnFile(manifest, acted.itself), L"deleted");
    EXPECT_FALSE(testing_support::Exists(shortcut));
    EXPECT_FALSE(testing_support::Exists(manifest));
}

}  // namespace
