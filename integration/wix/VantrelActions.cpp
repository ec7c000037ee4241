// Windows Installer custom actions (one DLL) for the Vantrel tools:
//
//   VantrelRun      runs one of the programs and waits for it; a program
//                   that cannot be started gets a line in the installer's
//                   log, with the Windows error.
//   WriteManifest   writes one of shortcutsweep's manifests.
//
// Both are deferred actions and take their CustomActionData from a property
// of the action's own name, in pieces separated by '|' (a character no
// Windows path can hold).
//
// VantrelRun: the program's full path, in quotes or not, then its argument
// (or nothing):
//   C:\Program Files\Vantrel\svckeeper.exe|stop
// The program is named to Windows apart from its command line, and the
// command line starts with the path in quotes: svckeeper reads everything
// after its own name as its argument. The program's exit code is ignored
// (both programs always end with 0); the action returns
// ERROR_INSTALL_FAILURE when the program could not be started, which the
// package may ignore (Return="ignore").
//
// WriteManifest: the manifest's full path, then one entry per shortcut:
//   C:\Program Files\Vantrel\__shortcutsweep-en.ini|C:\Users\Public\Desktop\Vantrel Home.url
// The manifest has to hold the shortcuts' full paths as this machine
// resolves them (the public desktop, the Start menu, the install folder),
// which are only known at install time, and its bytes are exact: UTF-8 with
// a byte-order mark and CR LF after every line, the last one included. The
// Windows Installer's own tables cannot write such a file (IniFile writes
// ANSI key=value text). Empty pieces are skipped. A manifest that cannot be
// written completely is removed again: a half-written one would still be
// read by the sweep. The result goes to the installer's log; the action
// returns ERROR_INSTALL_FAILURE on failure, which the package may ignore.
//
// Built by integration/build.sh as a 32-bit DLL with the C++ runtime linked
// in (-static), so it needs nothing beside it, and with undecorated export
// names (-Wl,--kill-at), since the CustomAction table names the entry point.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

namespace {

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    DWORD size = 0;
    wchar_t empty[1] = L"";
    if (::MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) {
        return std::wstring();
    }
    std::wstring value(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    if (::MsiGetPropertyW(install, name, &value[0], &size) != ERROR_SUCCESS) {
        return std::wstring();
    }
    value.resize(size);
    return value;
}

void LogLine(MSIHANDLE install, const wchar_t* action, const std::wstring& text) {
    PMSIHANDLE record = ::MsiCreateRecord(1);
    ::MsiRecordSetStringW(record, 0, (std::wstring(action) + L": " + text).c_str());
    ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    size_t begin = 0;
    for (;;) {
        const size_t end = text.find(separator, begin);
        const std::wstring piece =
            text.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
        if (!piece.empty()) {
            pieces.push_back(piece);
        }
        if (end == std::wstring::npos) {
            return pieces;
        }
        begin = end + 1;
    }
}

bool AppendUtf8(std::string& out, const std::wstring& text) {
    if (text.empty()) {
        return true;
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return false;
    }
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(size));
    return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                 &out[at], size, nullptr, nullptr) == size;
}

// Writes the whole manifest with one WriteFile call; false if any of it
// failed, after removing what was written.
bool WriteWhole(const std::wstring& path, const std::string& bytes, DWORD& error) {
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return false;
    }
    DWORD written = 0;
    bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    if (!ok) {
        error = ::GetLastError();
    }
    if (!::CloseHandle(file) && ok) {
        error = ::GetLastError();
        ok = false;
    }
    if (!ok) {
        ::DeleteFileW(path.c_str());
    }
    return ok;
}

// The text of a Windows error, without its line break; empty if the system
// has none.
std::wstring ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD size = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result(text != nullptr ? text : L"", size);
    ::LocalFree(text);
    while (!result.empty() && (result.back() == L'\r' || result.back() == L'\n' || result.back() == L' ')) {
        result.pop_back();
    }
    return result;
}

// Starts the program named apart from its command line and waits for it.
bool RunAndWait(const std::wstring& program, std::wstring commandLine, DWORD& error) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &startup, &process)) {
        error = ::GetLastError();
        return false;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall WriteManifest(MSIHANDLE install) {
    const std::vector<std::wstring> pieces = Split(Property(install, L"CustomActionData"), L'|');
    if (pieces.empty()) {
        LogLine(install, L"WriteManifest", L"no manifest path in CustomActionData");
        return ERROR_INSTALL_FAILURE;
    }
    const std::wstring& path = pieces[0];
    std::string bytes = "\xEF\xBB\xBF";
    for (size_t i = 1; i < pieces.size(); ++i) {
        if (!AppendUtf8(bytes, pieces[i])) {
            LogLine(install, L"WriteManifest",
                    L"entry " + std::to_wstring(i) + L" is not valid text: " + path + L" not written");
            return ERROR_INSTALL_FAILURE;
        }
        bytes += "\r\n";
    }
    DWORD error = 0;
    if (!WriteWhole(path, bytes, error)) {
        LogLine(install, L"WriteManifest",
                L"cannot write " + path + L" (error " + std::to_wstring(error) + L")");
        return ERROR_INSTALL_FAILURE;
    }
    LogLine(install, L"WriteManifest",
            L"wrote " + path + L" with " + std::to_wstring(pieces.size() - 1) + L" entries");
    return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall VantrelRun(MSIHANDLE install) {
    const std::wstring data = Property(install, L"CustomActionData");
    const size_t bar = data.find(L'|');
    std::wstring program = data.substr(0, bar);
    const std::wstring argument = bar == std::wstring::npos ? std::wstring() : data.substr(bar + 1);
    // A path given in quotes is taken without them.
    if (program.size() >= 2 && program.front() == L'"' && program.back() == L'"') {
        program = program.substr(1, program.size() - 2);
    }
    if (program.empty()) {
        LogLine(install, L"VantrelRun", L"no program in CustomActionData");
        return ERROR_INSTALL_FAILURE;
    }
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!argument.empty()) {
        commandLine += L" " + argument;
    }
    DWORD error = 0;
    if (!RunAndWait(program, commandLine, error)) {
        LogLine(install, L"VantrelRun",
                L"cannot start " + program + L": error " + std::to_wstring(error) + L" (" + ErrorText(error) +
                    L")");
        return ERROR_INSTALL_FAILURE;
    }
    LogLine(install, L"VantrelRun", L"ran " + commandLine);
    return ERROR_SUCCESS;
}
