// The sweep's pure rules: the parent folder, the line split, and which
// listed lines may lead to a deletion.
#include <gtest/gtest.h>

#include "modMain.h"

using namespace vantrel;

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

TEST(ParentFolder, LeavesItsArgumentAlone) {
    const std::wstring path = L"C:\\x\\y\\z";
    std::wstring copy = path;
    ParentFolder(copy, 2);
    EXPECT_EQ(copy, path);
}

std::vector<std::wstring> Pieces(const LineList& list) {
    std::vector<std::wstring> out;
    for (size_t i = 0; i < list.size(); ++i) {
        out.emplace_back(list[i]);
    }
    return out;
}

using Lines = std::vector<std::wstring>;

TEST(LineSplit, CutsAtEveryCrLfAndKeepsEveryPiece) {
    EXPECT_EQ(Pieces(LineList::Split(L"")), Lines{});
    EXPECT_EQ(Pieces(LineList::Split(L"a")), Lines{L"a"});
    EXPECT_EQ(Pieces(LineList::Split(L"a\r\n")), (Lines{L"a", L""}));
    EXPECT_EQ(Pieces(LineList::Split(L"a\r\nb")), (Lines{L"a", L"b"}));
    EXPECT_EQ(Pieces(LineList::Split(L"\r\n\r\n")), (Lines{L"", L"", L""}));
    EXPECT_EQ(Pieces(LineList::Split(L"a\r\r\n\nb\r\n")), (Lines{L"a\r", L"\nb", L""}));
}

TEST(LineSplit, LoneLineFeedsAndCarriageReturnsAreNotSeparators) {
    EXPECT_EQ(Pieces(LineList::Split(L"a\nb\rc\n")), Lines{L"a\nb\rc\n"});
}

TEST(LineSplit, OneEmptyLineIsOnePieceOfNothing) { EXPECT_EQ(Pieces(LineList::OneEmptyLine()), Lines{L""}); }

TEST(LineSplit, SurvivesCopyAndMove) {
    // Short lines live inside the string object itself; the pieces must
    // still point into the right text after the list moves.
    LineList original = LineList::Split(L"ab\r\ncd");
    LineList copied = original;
    LineList moved = std::move(original);
    EXPECT_EQ(Pieces(copied), (Lines{L"ab", L"cd"}));
    EXPECT_EQ(Pieces(moved), (Lines{L"ab", L"cd"}));
}

std::wstring Target(std::wstring_view line) {
    std::optional<std::wstring> target = ShortcutPathToDelete(line);
    return target ? *target : L"<none>";
}

TEST(ShortcutPathToDelete, FullPathsAreTakenLiterally) {
    EXPECT_EQ(Target(L"C:\\Links\\a.url"), L"\\\\?\\C:\\Links\\a.url");
    EXPECT_EQ(Target(L"z:\\a.url"), L"\\\\?\\z:\\a.url");
    EXPECT_EQ(Target(L"C:/Links/a.url"), L"\\\\?\\C:\\Links\\a.url");
    EXPECT_EQ(Target(L"\\\\server\\share\\a.url"), L"\\\\?\\UNC\\server\\share\\a.url");
    EXPECT_EQ(Target(L"\\\\?\\C:\\Links\\a.url"), L"\\\\?\\C:\\Links\\a.url");
    EXPECT_EQ(Target(L"\\\\?\\UNC\\server\\share\\d\\a.url"), L"\\\\?\\UNC\\server\\share\\d\\a.url");
    EXPECT_EQ(Target(L"C:\\\u30C7\u30B9\u30AF\\caf\u00E9 #1.url"),
              L"\\\\?\\C:\\\u30C7\u30B9\u30AF\\caf\u00E9 #1.url");
}

TEST(ShortcutPathToDelete, WildcardsOnlyInTheFinalPiece) {
    EXPECT_EQ(Target(L"C:\\Users\\Public\\Desktop\\*.url"), L"\\\\?\\C:\\Users\\Public\\Desktop\\*.url");
    EXPECT_EQ(Target(L"C:\\d\\?.url"), L"\\\\?\\C:\\d\\?.url");
    EXPECT_EQ(Target(L"C:\\*\\a.url"), L"<none>");
    EXPECT_EQ(Target(L"C:\\d?\\a.url"), L"<none>");
}

TEST(ShortcutPathToDelete, RefusesLinesThatCouldNameAnotherFile) {
    const wchar_t* refused[] = {
        L"a.url",                                // relative to whatever folder is current
        L"Links\\a.url",                         //
        L"C:a.url",                              // relative to the drive's current folder
        L"\\Links\\a.url",                       // on whatever drive is current
        L"C:\\Links\\..\\Windows\\a.url",        // climbs out of the folder it seems to name
        L"C:\\Links\\.\\a.url",                  //
        L"C:\\Links\\..",                        //
        L"C:\\Links\\\\a.url",                   // empty piece
        L"C:\\Links.\\a.url",                    // trailing dot, dropped by the system
        L"C:\\Links \\a.url",                    // trailing blank, dropped by the system
        L"C:\\Links\\report.doc:x.url",          // a stream of another file
        L"C:\\Links\\a.url:evil.url",            //
        L"\\\\.\\C:\\Links\\a.url",              // device namespace
        L"\\\\?\\GLOBALROOT\\Device\\x\\a.url",  //
        L"\\\\?\\Volume{1234}\\a.url",           //
        L"\\\\.\\pipe\\a.url",                   //
        L"\\\\server\\a.url",                    // no share
        L"\\\\?\\UNC\\server\\a.url",            //
        L"C:\\Links\\a\x01.url",                 // control characters
        L"C:\\Li\tnks\\a.url",                   //
        L"C:\\Links\\a|b.url",                   //
        L"C:\\Links\\a\"b.url",                  //
        L"C:\\Links\\<a>.url",                   //
        L"C:\\Links\\a.URL",                     // not a shortcut line at all
        L"C:\\Links\\a.url ",                    //
        L"",                                     //
    };
    for (const wchar_t* line : refused) {
        EXPECT_EQ(Target(line), L"<none>") << testing::PrintToString(std::wstring(line));
    }
}

}  // namespace
