// The argument text and the program's folder.
#include <gtest/gtest.h>

#include <windows.h>

#include "common/modNames.h"
#include "common/modProcess.h"

using namespace vantrel;

namespace {

TEST(ArgumentTextOf, DropsTheProgramNameByTheFirstTokenRules) {
    EXPECT_EQ(ArgumentTextOf(L"\"C:\\Program Files\\x\\sweep.exe\" /noproduction"), L"/noproduction");
    EXPECT_EQ(ArgumentTextOf(L"C:\\x\\sweep.exe /a  b "), L"/a  b ");
    EXPECT_EQ(ArgumentTextOf(L"sweep.exe\t\t x"), L"x");
    // A quoted name ends at its closing quote, even with no blank after it.
    EXPECT_EQ(ArgumentTextOf(L"\"C:\\a b\\s.exe\"/x"), L"/x");
    // Inside the name quotes do not nest or escape.
    EXPECT_EQ(ArgumentTextOf(L"\"C:\\a\\\"b c"), L"b c");
}

TEST(ArgumentTextOf, NoArgumentsGiveEmptyText) {
    EXPECT_EQ(ArgumentTextOf(L""), L"");
    EXPECT_EQ(ArgumentTextOf(L"sweep.exe"), L"");
    EXPECT_EQ(ArgumentTextOf(L"\"C:\\a b\\sweep.exe\""), L"");
    EXPECT_EQ(ArgumentTextOf(L"\"C:\\a b\\sweep.exe\"   "), L"");
    EXPECT_EQ(ArgumentTextOf(L"\"unterminated name"), L"");
}

TEST(ArgumentText, IsTakenFromThisProcess) {
    // The test program is started without arguments past its own name
    // and whatever ctest passes; either way no program path leaks in.
    std::wstring text = ArgumentText();
    EXPECT_EQ(text.find(L".exe"), std::wstring::npos) << testing::PrintToString(text);
}

TEST(ProgramFolder, HoldsThisTestProgram) {
    std::wstring folder = ProgramFolder().Text();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), L'\\');
    wchar_t path[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(path).rfind(folder + L"\\", 0), 0u);
}

}  // namespace
