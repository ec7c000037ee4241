#include "common/modProcess.h"

#include <windows.h>

#include <vector>

#include "common/modPaths.h"
#include "common/modText.h"

namespace vantrel {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::wstring ArgumentTextOf(std::wstring_view commandLine) {
    size_t pos = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        size_t close = commandLine.find(L'"', 1);
        pos = close == std::wstring_view::npos ? commandLine.size() : close + 1;
    } else {
        while (pos < commandLine.size() && !IsBlank(commandLine[pos])) {
            ++pos;
        }
    }
    while (pos < commandLine.size() && IsBlank(commandLine[pos])) {
        ++pos;
    }
    return std::wstring(commandLine.substr(pos));
}

std::wstring ArgumentText() {
    const wchar_t* commandLine = ::GetCommandLineW();
    return commandLine ? ArgumentTextOf(commandLine) : std::wstring();
}

Path ProgramPath() {
    // GetModuleFileNameW cuts a name that does not fit, and says so only by
    // filling the whole buffer: then a larger one is asked for.
    const std::wstring path = OrdinaryPath(TextOfFittingSize([](wchar_t* buffer, DWORD size) {
                                               const DWORD length =
                                                   ::GetModuleFileNameW(nullptr, buffer, size);
                                               return length == size ? size * 2 : length;
                                           }),
                                           BareUnc::ModuleName);
    // Under Wine a program started from a share is UNC\server\..., which
    // taken as it is would be relative to the current folder.
    return FullPathRoot(path).empty() ? Path() : Path(path);
}

Path ProgramFolder() { return ProgramPath().Parent(); }

void YieldToEvents() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the request to end for whoever runs the message loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void RestrictDllSearchToSystem() {
    // Present from Windows 8, and on Windows 7 with KB2533623.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    if (!kernel32) {
        return;
    }
    auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDirectories) {
        setDirectories(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
    }
}

}  // namespace vantrel
