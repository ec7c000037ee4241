// Where the sweep looks for its manifests: the folder two levels above,
// and only on the program's own drive or share.
#include <gtest/gtest.h>

#include "sweep/modBaseFolder.h"

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

}  // namespace
