// How one manifest is dealt with: the one manifest procedure the sweep
// and sweepcheck share.
#include <gtest/gtest.h>

#include "sweep/modLineRules.h"
#include "sweep/modManifests.h"
#include "sweep/modOutcomeWords.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::sweep;

namespace {

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
