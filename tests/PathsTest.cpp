// Drive, share and literal paths: their root, and their ordinary form.
#include <gtest/gtest.h>

#include "common/modPaths.h"

using namespace vantrel;

namespace {

TEST(FolderOfPath, DropsTheFileNameAndItsBackslash) {
    EXPECT_EQ(FolderOfPath(L"C:\\Apps\\Tool\\bin\\sweep.exe"), L"C:\\Apps\\Tool\\bin");
    EXPECT_EQ(FolderOfPath(L"\\\\server\\share\\sweep.exe"), L"\\\\server\\share");
}

TEST(FolderOfPath, ADriveRootKeepsItsBackslash) {
    EXPECT_EQ(FolderOfPath(L"C:\\sweep.exe"), L"C:\\");
    EXPECT_EQ(FolderOfPath(L"\\\\?\\C:\\sweep.exe"), L"\\\\?\\C:\\");
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
