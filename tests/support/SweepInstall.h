// What the tests of the built shortcutsweep.exe and sweepcheck.exe share:
// an install in a temporary folder, the programs under test, the decision
// log turned on and read back.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/TestSupport.h"

namespace testing_support {

// The programs under test: shortcutsweep.exe, and sweepcheck.exe when
// given (empty otherwise).
extern std::wstring g_sweepExe;
extern std::wstring g_checkExe;

// What every shortcut the tests make holds.
inline constexpr std::string_view kShortcutBody = "[InternetShortcut]\r\nURL=https://example.invalid/\r\n";

// An install: the program in Apps\Vendor\Tool\bin, the development
// manifests in Apps\Vendor\ZV, shortcuts under Links.
class SweepInstall : public ::testing::Test {
protected:
    void SetUp() override { InstallIn(L"Apps\\Vendor\\Tool\\bin"); }

    void InstallIn(std::wstring_view relativeBin) {
        bin_ = root_ / relativeBin;
        MakeFolders(bin_);
        ASSERT_TRUE(::CopyFileW(g_sweepExe.c_str(), (bin_ + L"\\shortcutsweep.exe").c_str(), FALSE))
            << "copying " << testing::PrintToString(g_sweepExe);
    }

    std::wstring Bin() const { return bin_; }
    std::wstring Dev() const { return root_ / L"Apps\\Vendor\\ZV"; }
    std::wstring Links(std::wstring_view name = L"") const {
        return root_ / (L"Links\\" + std::wstring(name));
    }

    std::wstring Shortcut(std::wstring_view name) {
        std::wstring path = Links(name);
        WriteBytes(path, kShortcutBody);
        return path;
    }

    // A manifest whose lines each end in CR LF, unless `last` is given,
    // which follows the final CR LF unterminated.
    static void Manifest(const std::wstring& folder, std::wstring_view lang,
                         std::initializer_list<std::wstring> lines, std::wstring_view last = L"") {
        std::wstring text;
        for (const std::wstring& line : lines) {
            text += line + L"\r\n";
        }
        text += last;
        WriteUtf8(ManifestPath(folder, lang), text);
    }
    static std::wstring ManifestPath(const std::wstring& folder, std::wstring_view lang) {
        return folder + L"\\__shortcutsweep-" + std::wstring(lang) + L".ini";
    }

    void Sweep(std::wstring_view arguments = L"") {
        EXPECT_EQ(RunProgram(bin_ + L"\\shortcutsweep.exe", arguments), 0)
            << "the sweep always ends normally";
    }

    TempFolder root_{L"sweep"};
    std::wstring bin_;
};

// The 8.3 alias of a file, or nothing when it has none.
std::wstring AliasOf(const std::wstring& path);
// The alias with its extension in lower case, as a manifest line must end.
std::wstring AliasLine(const std::wstring& path);

// The log variable set for this process and the programs it starts.
class LogVariable {
public:
    explicit LogVariable(const std::wstring& value) {
        ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", value.c_str());
    }
    ~LogVariable() { ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", nullptr); }
    LogVariable(const LogVariable&) = delete;
    LogVariable& operator=(const LogVariable&) = delete;
};

// The log's lines without their "[pid] " prefix, with each line's pid.
struct LogLines {
    std::vector<std::wstring> text;
    std::vector<unsigned long> pid;
    bool wellFormed = true;  // a mark, CR LF ends only, every line "[pid] ..."
};

// The log at `path`, read back.
LogLines ReadLog(const std::wstring& path);

// Whether a line of the log begins with `prefix`.
bool Holds(const LogLines& log, const std::wstring& prefix);

}  // namespace testing_support
