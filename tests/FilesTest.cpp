// Finding and deleting files by a path, plain or with wildcards, on real files.
#include <gtest/gtest.h>

#include "common/modFiles.h"
#include "common/modNames.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using testing_support::Exists;
using testing_support::SetAttributes;
using testing_support::TempFolder;
using testing_support::WriteBytes;

namespace {

class FileMatchTest : public ::testing::Test {
protected:
    std::wstring File(std::wstring_view name) {
        std::wstring path = dir_ / name;
        WriteBytes(path, "[InternetShortcut]\r\nURL=https://example.invalid/\r\n");
        return path;
    }
    std::wstring Path(std::wstring_view name) { return dir_ / name; }
    TempFolder dir_{L"match"};
};

TEST_F(FileMatchTest, PlainAndWildcardPathsFindOrdinaryFiles) {
    File(L"a.url");
    EXPECT_EQ(FindMatchingFile(Path(L"a.url")), Match::Found);
    EXPECT_EQ(FindMatchingFile(Path(L"A.URL")), Match::Found);
    EXPECT_EQ(FindMatchingFile(Path(L"*.url")), Match::Found);
    EXPECT_EQ(FindMatchingFile(Path(L"b.url")), Match::NotFound);
    EXPECT_EQ(FindMatchingFile(Path(L"no folder\\a.url")), Match::NotFound);
    EXPECT_TRUE(FileMatches(Path(L"?.url")));
    EXPECT_TRUE(FileMatches(Path(L"a?.url")));
    EXPECT_FALSE(FileMatches(Path(L"??a.url")));
}

TEST_F(FileMatchTest, FoldersHiddenAndSystemFilesNeverMatch) {
    testing_support::MakeFolders(Path(L"folder.url"));
    SetAttributes(File(L"hidden.url"), FILE_ATTRIBUTE_HIDDEN);
    SetAttributes(File(L"system.url"), FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(FindMatchingFile(Path(L"folder.url")), Match::NotFound);
    EXPECT_EQ(FindMatchingFile(Path(L"hidden.url")), Match::NotFound);
    EXPECT_EQ(FindMatchingFile(Path(L"system.url")), Match::NotFound);
    EXPECT_EQ(FindMatchingFile(Path(L"*.url")), Match::NotFound);

    EXPECT_FALSE(DeleteFiles(Path(L"*.url")));
    EXPECT_FALSE(DeleteFiles(Path(L"folder.url")));
    EXPECT_FALSE(DeleteFiles(Path(L"hidden.url")));
    EXPECT_FALSE(DeleteFiles(Path(L"system.url")));
    EXPECT_TRUE(Exists(Path(L"folder.url")));
    EXPECT_TRUE(Exists(Path(L"hidden.url")));
    EXPECT_TRUE(Exists(Path(L"system.url")));
}

std::wstring AliasOf(const std::wstring& path) {
    wchar_t shortPath[MAX_PATH];
    DWORD length = ::GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(shortPath, length) : std::wstring();
}

TEST_F(FileMatchTest, AnAliasNamesItsOwnFileButNeverWidensAMatch) {
    const std::wstring notShortcut = File(L"shortcut.urlx");
    const std::wstring shortcut = File(L"Vantrel Home Page.url");
    const std::wstring notShortcutAlias = AliasOf(notShortcut);
    const std::wstring shortcutAlias = AliasOf(shortcut);
    if (!EndsWithIgnoringCase(notShortcutAlias, L".url") || EqualsIgnoringCase(shortcutAlias, shortcut)) {
        GTEST_SKIP() << "this file system gives no 8.3 aliases here";
    }
    SetAttributes(shortcut, FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(FindMatchingFile(Path(L"*.url")), Match::Found);

    EXPECT_FALSE(DeleteFiles(Path(L"*.url"), L".url")) << "one match, which stays read-only";
    EXPECT_FALSE(DeleteFiles(notShortcutAlias, L".url")) << "its own name does not end in .url";
    EXPECT_FALSE(DeleteFiles(notShortcutAlias));
    EXPECT_FALSE(DeleteFiles(shortcutAlias)) << "without a suffix only the own name is taken";
    EXPECT_TRUE(Exists(notShortcut));
    EXPECT_TRUE(Exists(shortcut));

    SetAttributes(shortcut, FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(DeleteFiles(shortcutAlias, L".url"));
    EXPECT_FALSE(Exists(shortcut));
    EXPECT_TRUE(Exists(notShortcut));
}

TEST_F(FileMatchTest, DeletesEveryMatchAndNothingElse) {
    File(L"a.url");
    File(L"B.URL");
    File(L"c.lnk");
    File(L"d.urlx");
    File(L"e.url.txt");
    EXPECT_TRUE(DeleteFiles(Path(L"*.url")));
    EXPECT_FALSE(Exists(Path(L"a.url")));
    EXPECT_FALSE(Exists(Path(L"B.URL")));
    EXPECT_TRUE(Exists(Path(L"c.lnk")));
    EXPECT_TRUE(Exists(Path(L"d.urlx")));
    EXPECT_TRUE(Exists(Path(L"e.url.txt")));
    EXPECT_FALSE(DeleteFiles(Path(L"*.url"))) << "nothing left to match is a failure";
}

TEST_F(FileMatchTest, TheRequiredSuffixIsCheckedOnTheFileItself) {
    File(L"notes.txt");
    File(L"keep.urlx");
    EXPECT_FALSE(DeleteFiles(Path(L"notes.txt"), L".url"));
    EXPECT_FALSE(DeleteFiles(Path(L"*"), L".url"));
    EXPECT_TRUE(Exists(Path(L"notes.txt")));
    EXPECT_TRUE(Exists(Path(L"keep.urlx")));
    File(L"go.URL");
    EXPECT_TRUE(DeleteFiles(Path(L"*"), L".url"));
    EXPECT_FALSE(Exists(Path(L"go.URL")));
    EXPECT_TRUE(Exists(Path(L"notes.txt")));
}

TEST_F(FileMatchTest, ReadOnlyFilesMatchButAreNeverDeleted) {
    SetAttributes(File(L"locked.url"), FILE_ATTRIBUTE_READONLY);
    File(L"free.url");
    EXPECT_EQ(FindMatchingFile(Path(L"locked.url")), Match::Found);
    EXPECT_FALSE(DeleteFiles(Path(L"*.url"))) << "one match stayed";
    EXPECT_TRUE(Exists(Path(L"locked.url")));
    EXPECT_FALSE(Exists(Path(L"free.url")));
    SetAttributes(Path(L"locked.url"), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileMatchTest, AFileHeldOpenWithoutDeleteSharingStays) {
    std::wstring path = File(L"busy.url");
    HANDLE held =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFiles(path));
    ::CloseHandle(held);
    EXPECT_TRUE(Exists(path));
    EXPECT_TRUE(DeleteFiles(path));
    EXPECT_FALSE(Exists(path));
}

TEST_F(FileMatchTest, LiteralPathsWithAQuestionMarkPrefixWork) {
    File(L"lit.url");
    File(L"lit2.url");
    std::wstring literal = L"\\\\?\\" + Path(L"");
    EXPECT_EQ(FindMatchingFile(literal + L"lit?.url"), Match::Found);
    EXPECT_TRUE(DeleteFiles(literal + L"lit.url"));
    EXPECT_TRUE(DeleteFiles(literal + L"*.url"));
    EXPECT_FALSE(Exists(Path(L"lit2.url")));
}

}  // namespace
