// A DLL planted beside a program must not be loaded into it.
//
// Usage: dll_planting_tests <planted DLL> <shortcutsweep.exe> [<svckeeper.exe> [<sweepcheck.exe>]] [gtest
// options]
//
// The planted DLL leaves a marker file and ends the process with status 77
// as soon as it is loaded. This program also serves as its own probe:
// started as "--probe-load NAME [--restrict]" it loads NAME by its bare
// name, after restricting the DLL search to the system directory when
// asked, and then a genuine system DLL.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/modProcess.h"
#include "tests/support/FailurePrinter.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

std::wstring g_plantedDll;
std::wstring g_sweepExe;
std::wstring g_keeperExe;
std::wstring g_checkExe;

constexpr long kPlantedDllLoaded = 77;
constexpr std::wstring_view kProbeName = L"vantrel-planted-probe.dll";

// The child side of the probe; returns its exit status.
int ProbeLoad(const std::wstring& name, bool restrict) {
    if (restrict) {
        vantrel::RestrictDllSearchToSystem();
    }
    if (::LoadLibraryW(name.c_str())) {
        return 1;  // loaded without ending the process: not the planted DLL
    }
    return ::LoadLibraryW(L"shlwapi.dll") ? 0 : 3;  // system DLLs still load
}

std::wstring OwnPath() {
    std::vector<wchar_t> buffer(32768);
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length);
}

std::vector<std::wstring> Markers(const std::wstring& folder) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*.loaded").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            found.emplace_back(data.cFileName);
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    return found;
}

void Plant(const std::wstring& folder, std::wstring_view name) {
    ASSERT_TRUE(::CopyFileW(g_plantedDll.c_str(), (folder + L"\\" + std::wstring(name)).c_str(), FALSE))
        << "planting " << testing::PrintToString(std::wstring(name));
}

// The control: a search that is not restricted finds the planted DLL, and
// the marker and status show it; so their absence below means something.
TEST(RestrictDllSearchToSystem, KeepsAPlantedDllOutOfALoadByBareName) {
    TempFolder folder(L"plant");
    const std::wstring probe = folder / L"probe.exe";
    ASSERT_TRUE(::CopyFileW(OwnPath().c_str(), probe.c_str(), FALSE));
    Plant(folder.path(), kProbeName);
    const std::wstring arguments = L"--probe-load " + std::wstring(kProbeName);

    EXPECT_EQ(RunProgram(probe, arguments), kPlantedDllLoaded)
        << "an ordinary search looks beside the program";
    EXPECT_EQ(Markers(folder.path()), std::vector<std::wstring>{std::wstring(kProbeName) + L".loaded"});
    ::DeleteFileW((folder / kProbeName).append(L".loaded").c_str());

    EXPECT_EQ(RunProgram(probe, arguments + L" --restrict"), 0);
    EXPECT_EQ(Markers(folder.path()), std::vector<std::wstring>{});
}

// Names the programs, and the system DLLs they bring in, load under Wine;
// the toolchain's runtime DLLs, which a dynamically linked build would
// import; and DLLs commonly planted beside programs.
const wchar_t* const kPlantedNames[] = {
    L"kernelbase.dll",  L"kernel32.dll",        L"ntdll.dll",    L"msvcrt.dll",  L"user32.dll",
    L"advapi32.dll",    L"sechost.dll",         L"ucrtbase.dll", L"win32u.dll",  L"gdi32.dll",
    L"version.dll",     L"imm32.dll",           L"rpcrt4.dll",   L"zlib1.dll",   L"libgcc_s_dw2-1.dll",
    L"libstdc++-6.dll", L"libwinpthread-1.dll", L"uxtheme.dll",  L"dwmapi.dll",  L"cryptbase.dll",
    L"cryptsp.dll",     L"bcrypt.dll",          L"profapi.dll",  L"userenv.dll", L"wtsapi32.dll",
    L"sspicli.dll",     L"secur32.dll",         L"winmm.dll",    L"dbghelp.dll", L"mscoree.dll",
    L"netapi32.dll",    L"powrprof.dll",        L"propsys.dll",  L"shell32.dll", L"shlwapi.dll",
    L"ole32.dll",       L"oleaut32.dll",        L"comctl32.dll", L"apphelp.dll", L"mpr.dll"};

class PlantedBesideTheProgram : public ::testing::Test {
protected:
    std::wstring Install(const std::wstring& exe, std::wstring_view name) {
        const std::wstring bin = folder_ / L"bin";
        MakeFolders(bin);
        const std::wstring copy = bin + L"\\" + std::wstring(name);
        EXPECT_TRUE(::CopyFileW(exe.c_str(), copy.c_str(), FALSE));
        for (const wchar_t* planted : kPlantedNames) {
            Plant(bin, planted);
        }
        return copy;
    }
    std::wstring Bin() const { return folder_ / L"bin"; }

    TempFolder folder_{L"planted"};
};

TEST_F(PlantedBesideTheProgram, TheSweepLoadsNoneOfThemAndDoesItsWork) {
    const std::wstring exe = Install(g_sweepExe, L"shortcutsweep.exe");
    const std::wstring shortcut = folder_ / L"Links\\a.url";
    WriteBytes(shortcut, "[InternetShortcut]\r\n");
    WriteUtf8(Bin() + L"\\__shortcutsweep-en.ini",
              shortcut + L"\r\n" + folder_.path() + L"\\Links\\*.url\r\n");

    EXPECT_EQ(RunProgram(exe, L""), 0);
    EXPECT_EQ(Markers(Bin()), std::vector<std::wstring>{});
    EXPECT_FALSE(Exists(shortcut)) << "the program ran its course";
}

TEST_F(PlantedBesideTheProgram, TheKeeperLoadsNoneOfThem) {
    if (g_keeperExe.empty()) {
        GTEST_SKIP() << "no svckeeper.exe given";
    }
    const std::wstring exe = Install(g_keeperExe, L"svckeeper.exe");
    EXPECT_EQ(RunProgram(exe, L""), 0);
    EXPECT_EQ(RunProgram(exe, L"stop"), 0);
    EXPECT_EQ(Markers(Bin()), std::vector<std::wstring>{});
}

TEST_F(PlantedBesideTheProgram, TheCheckerLoadsNoneOfThem) {
    if (g_checkExe.empty()) {
        GTEST_SKIP() << "no sweepcheck.exe given";
    }
    const std::wstring exe = Install(g_checkExe, L"sweepcheck.exe");
    WriteUtf8(Bin() + L"\\__shortcutsweep-en.ini", folder_.path() + L"\\Links\\*.url\r\n");
    EXPECT_EQ(RunProgram(exe, L"\"" + Bin() + L"\""), 1) << "a wildcard that matches nothing is found";
    EXPECT_EQ(Markers(Bin()), std::vector<std::wstring>{});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string_view(argv[1]) == "--probe-load") {
        const std::string name = argv[2];
        return ProbeLoad(std::wstring(name.begin(), name.end()),
                         argc >= 4 && std::string_view(argv[3]) == "--restrict");
    }
    ::testing::InitGoogleTest(&argc, argv);
    PrintFailuresWithoutDebugStrings();
    if (!FindProgramsUnderTest(argc, argv,
                               {{"planted DLL", &g_plantedDll},
                                {"shortcutsweep.exe", &g_sweepExe},
                                {"svckeeper.exe", &g_keeperExe, ProgramUnderTest::Optional},
                                {"sweepcheck.exe", &g_checkExe, ProgramUnderTest::Optional}})) {
        return 2;
    }
    return RUN_ALL_TESTS();
}
