// The rules of the Windows Installer custom actions that need no
// installer: how their data is cut, which paths a manifest may be written
// to, and whose a service's program is.
#include <gtest/gtest.h>

#include "integration/wix/VantrelActionRules.h"

using namespace vantrel_actions;

namespace {

// A piece's place is its meaning: an unset property leaves its piece empty,
// and the next piece must not move into its place (a manifest's path
// became a listed file's once).
TEST(ActionRules, SplitKeepsEveryPieceEmptyOnesToo) {
    EXPECT_EQ(Split(L"|C:\\Vantrel\\victim.txt", L'|'),
              (std::vector<std::wstring>{L"", L"C:\\Vantrel\\victim.txt"}));
    EXPECT_EQ(Split(L"a||b|", L'|'), (std::vector<std::wstring>{L"a", L"", L"b", L""}));
    EXPECT_EQ(Split(L"", L'|'), (std::vector<std::wstring>{L""}));
}

TEST(ActionRules, AManifestIsWrittenOnlyToAFullPathNamingOneOfTheFour) {
    for (const wchar_t* path :
         {L"C:\\Program Files\\Vantrel\\__shortcutsweep-en.ini", L"c:/apps/__SHORTCUTSWEEP-JA.INI",
          L"\\\\srv\\share\\bin\\__shortcutsweep-de.ini"}) {
        EXPECT_TRUE(IsFullPath(path) && NamesManifest(path)) << testing::PrintToString(std::wstring(path));
    }
    for (const wchar_t* path :
         {L"", L"C:\\Vantrel\\victim.txt", L"C:\\Vantrel\\__shortcutsweep-it.ini",
          L"C:\\Vantrel\\__shortcutsweep-en.ini.bak", L"C:\\Vantrel\\x__shortcutsweep-en.ini"}) {
        EXPECT_FALSE(IsFullPath(path) && NamesManifest(path)) << testing::PrintToString(std::wstring(path));
    }
    for (const wchar_t* path :
         {L"__shortcutsweep-en.ini", L"C:__shortcutsweep-en.ini", L"\\__shortcutsweep-en.ini",
          L"\\\\?\\C:\\__shortcutsweep-en.ini", L"\\\\.\\C:\\__shortcutsweep-en.ini"}) {
        EXPECT_FALSE(IsFullPath(path)) << testing::PrintToString(std::wstring(path));
    }
}

// A service is this copy's only when its program lies in this copy's
// folder: not in a folder whose name merely starts the same.
TEST(ActionRules, AServicesProgramLiesInThisCopysFolderOrNot) {
    EXPECT_EQ(ProgramOf(L"\"C:\\Acme Viewer\\svc.exe\" -service"), L"C:\\Acme Viewer\\svc.exe");
    EXPECT_EQ(ProgramOf(L"C:\\Acme Viewer\\svc.EXE -service"), L"C:\\Acme Viewer\\svc.EXE");
    EXPECT_TRUE(LiesInFolder(L"C:\\Acme Viewer\\bin\\svc.exe", L"c:\\acme viewer"));
    EXPECT_TRUE(LiesInFolder(L"C:/Acme Viewer/svc.exe", L"C:\\Acme Viewer\\"));
    EXPECT_FALSE(LiesInFolder(L"C:\\Acme Viewer 2\\svc.exe", L"C:\\Acme Viewer"));
    EXPECT_FALSE(LiesInFolder(L"C:\\Acme Viewer\\svc.exe", L""));
    EXPECT_FALSE(LiesInFolder(L"C:\\Acme Viewer\\svc.exe", L"Acme Viewer"));
    EXPECT_EQ(Unquoted(L"\"C:\\a b\\x.exe\""), L"C:\\a b\\x.exe");
}

}  // namespace
