// Paths: drive, share and literal forms, their roots, where they are cut,
// and their spellings.
#include <gtest/gtest.h>

#include "common/modPaths.h"

using namespace vantrel;

namespace {

TEST(PathParent, DropsTheFileNameAndItsBackslash) {
    EXPECT_EQ(Path(L"C:\\Apps\\Tool\\bin\\sweep.exe").Parent(), Path(L"C:\\Apps\\Tool\\bin"));
    EXPECT_EQ(Path(L"\\\\server\\share\\sweep.exe").Parent(), Path(L"\\\\server\\share"));
    EXPECT_EQ(Path(L"sweep.exe").Parent(), Path());
}

TEST(PathParent, ADriveRootKeepsItsBackslash) {
    EXPECT_EQ(Path(L"C:\\sweep.exe").Parent(), Path(L"C:\\"));
    EXPECT_EQ(Path(L"\\\\?\\C:\\sweep.exe").Parent(), Path(L"\\\\?\\C:\\"));
}

// The one place a path is cut into its folder and name: after its last
// separator of either kind, or after a drive's colon.
TEST(PathFolderAndName, CutAfterTheLastSeparatorOrADrivesColon) {
    EXPECT_EQ(Path(L"C:\\Links\\a.url").Folder(), Path(L"C:\\Links\\"));
    EXPECT_EQ(Path(L"C:\\Links\\a.url").Name(), L"a.url");
    EXPECT_EQ(Path(L"C:/Links/a.url").Name(), L"a.url");
    EXPECT_EQ(Path(L"C:a.url").Folder(), Path(L"C:"));
    EXPECT_EQ(Path(L"C:a.url").Name(), L"a.url");
    EXPECT_EQ(Path(L"a.url").Folder(), Path());
    EXPECT_EQ(Path(L"C:\\Links\\").Name(), L"");
    EXPECT_EQ(Path(L"C:\\Links").Child(L"a.url"), Path(L"C:\\Links\\a.url"));
    EXPECT_EQ(Path(L"C:\\Links\\").Child(L"a.url"), Path(L"C:\\Links\\a.url"));
}

TEST(PiecesOf, KeepsEmptyPieces) {
    EXPECT_EQ(PiecesOf(L"a\\\\b\\"), (std::vector<std::wstring_view>{L"a", L"", L"b", L""}));
    EXPECT_EQ(PiecesOf(L"a/b\\c", L"\\/"), (std::vector<std::wstring_view>{L"a", L"b", L"c"}));
    EXPECT_EQ(PiecesOf(L""), (std::vector<std::wstring_view>{L""}));
}

// The spelling of final paths: a drive's letter upper-cased, a share as
// UNC, the rest as the system normalises it; a literal path as it is.
TEST(PathAsFinalPath, SpellsTheRootAsFinalPathsDo) {
    const Path::FinalSpelling drive = Path(L"c:\\Apps\\.\\Tool\\x.url").AsFinalPath();
    EXPECT_EQ(drive.root, L"\\\\?\\C:");
    EXPECT_EQ(drive.rest, L"\\Apps\\Tool\\x.url");
    const Path::FinalSpelling share = Path(L"\\\\srv\\share\\x.url").AsFinalPath();
    EXPECT_EQ(share.root, L"\\\\?\\UNC\\srv\\share");
    EXPECT_EQ(share.rest, L"\\x.url");
    const Path::FinalSpelling literal = Path(L"\\\\?\\C:\\Blank \\x.url").AsFinalPath();
    EXPECT_EQ(literal.root, L"\\\\?\\C:");
    EXPECT_EQ(literal.rest, L"\\Blank \\x.url") << "taken as it is";
    EXPECT_EQ(Path(L"relative\\x.url").AsFinalPath().root, L"");
    EXPECT_EQ(FinalPathRoot(L"\\\\?\\UNC\\srv\\share\\x"), L"\\\\?\\UNC\\srv\\share");
    EXPECT_EQ(FinalPathRoot(L"\\\\?\\Volume{1}\\x"), L"");
}

TEST(IsNameIn, ComparesTheFolderLetterForLetter) {
    std::wstring name;
    EXPECT_TRUE(IsNameIn(L"\\\\?\\C:\\Links\\a.url", L"\\\\?\\C:\\Links", name));
    EXPECT_EQ(name, L"a.url");
    EXPECT_TRUE(IsNameIn(L"\\\\?\\C:\\Links\\a.url", L"\\\\?\\C:\\Links\\", name));
    EXPECT_FALSE(IsNameIn(L"\\\\?\\C:\\links\\a.url", L"\\\\?\\C:\\Links", name));
    EXPECT_FALSE(IsNameIn(L"\\\\?\\C:\\Links\\sub\\a.url", L"\\\\?\\C:\\Links", name));
    EXPECT_FALSE(IsNameIn(L"\\\\?\\C:\\Links\\", L"\\\\?\\C:\\Links", name));
}

TEST(OrdinaryPath, WritesTheLiteralAndWinesShareFormsTheOrdinaryWay) {
    EXPECT_EQ(OrdinaryPath(L"\\\\?\\C:\\Apps\\x.exe"), L"C:\\Apps\\x.exe");
    EXPECT_EQ(OrdinaryPath(L"\\\\?\\UNC\\srv\\share\\x.exe"), L"\\\\srv\\share\\x.exe");
    EXPECT_EQ(OrdinaryPath(L"\\\\?\\unc\\srv\\share\\x.exe"), L"\\\\srv\\share\\x.exe");
    EXPECT_EQ(OrdinaryPath(L"UNC\\srv\\share\\x.exe", BareUnc::ModuleName),
              L"\\\\srv\\share\\x.exe");                                            // Wine's module name
    EXPECT_EQ(OrdinaryPath(L"UNC\\srv\\share\\x.exe"), L"UNC\\srv\\share\\x.exe");  // anywhere else, relative
    EXPECT_EQ(OrdinaryPath(L"\\\\?\\Volume{1}\\x.exe"), L"\\\\?\\Volume{1}\\x.exe");
    EXPECT_EQ(OrdinaryPath(L"C:\\x.exe"), L"C:\\x.exe");
}

TEST(FullPathRoot, IsADriveOrAShareAndNothingElse) {
    EXPECT_EQ(FullPathRoot(L"C:\\Apps"), L"C:\\");
    EXPECT_EQ(FullPathRoot(L"c:/Apps"), L"c:/");
    EXPECT_EQ(FullPathRoot(L"\\\\srv\\share\\Apps"), L"\\\\srv\\share\\");
    EXPECT_EQ(FullPathRoot(L"\\\\srv\\share"), L"\\\\srv\\share");
    for (const wchar_t* path : {L"Apps", L"C:Apps", L"\\Apps", L"\\\\srv\\", L"\\\\srv", L"\\\\\\share\\x",
                                L"\\\\?\\C:\\x", L"\\\\.\\C:\\x", L"UNC\\srv\\share", L""}) {
        EXPECT_EQ(FullPathRoot(path), L"") << testing::PrintToString(std::wstring(path));
    }
}

}  // namespace
