// Windows Installer custom actions (one DLL) for the Vantrel tools:
//
//   VantrelRun                 runs one of the programs and waits for it; a
//                              program that cannot be started gets a line in
//                              the installer's log, with the Windows error.
//   VantrelWaitServiceStopped  waits for "Vantrel Service" to stop.
//   VantrelDeleteService       deletes "Vantrel Service".
//   WriteManifest              writes one of shortcutsweep's manifests.
//
// All are deferred actions and take their CustomActionData from a property
// of the action's own name, in pieces separated by '|' (a character no
// Windows path can hold). Each returns ERROR_INSTALL_FAILURE when it failed,
// with a line in the installer's log (msiexec /l*v), which the package may
// ignore (Return="ignore"); nothing escapes an action as an exception.
//
// The service's folder. Two copies of a product installed side by side
// (two products, two folders) can each register "Vantrel Service", and the
// service then runs one copy's program. An action given a folder acts on
// the service only when the service's program (its binary path, as the
// service manager has it) lies in that folder, this copy's; otherwise it
// leaves the service alone and says so in the log.
//
// VantrelRun: the program's full path, in quotes or not, its argument (or
// nothing), and optionally the service's folder:
//   C:\Program Files\Vantrel\svckeeper.exe|stop|C:\Program Files\Vantrel
// The program is named to Windows apart from its command line, and the
// command line starts with the path in quotes: svckeeper reads everything
// after its own name as its argument. The program's exit code is ignored
// (both programs always end with 0).
//
// VantrelWaitServiceStopped: seconds|folder|svckeeper's path. Waits up to
// that long for the service to be stopped (or gone); svckeeper only asks for
// the stop. When svckeeper's file is not there (deleted by hand), nobody
// has asked: the action asks the service to stop itself, and says so.
//
// VantrelDeleteService: folder. Deletes the service (a running one goes
// once it stops).
//
// WriteManifest: the manifest's full path, then one entry per shortcut:
//   C:\Program Files\Vantrel\__shortcutsweep-en.ini|C:\Users\Public\Desktop\Vantrel Home.url
// The manifest has to hold the shortcuts' full paths as this machine
// resolves them (the public desktop, the Start menu, the install folder),
// which are only known at install time, and its bytes are exact: UTF-8 with
// a byte-order mark and CR LF after every line, the last one included. The
// Windows Installer's own tables cannot write such a file (IniFile writes
// ANSI key=value text). The path must be a full path whose file name is one
// of the four manifests' (__shortcutsweep-en.ini, -de, -fr, -ja): an empty
// path (a property left unset) or any other name fails the action, and
// nothing is written, so no other file is ever written over. Empty entries
// are skipped. A manifest that cannot be written completely is removed
// again: a half-written one would still be read by the sweep.
//
// Built from this file and VantrelActionRules.h (the rules that need no
// installer) as a 32-bit DLL with the C++ runtime linked in (-static), so
// that it needs nothing beside it, and with undecorated export names
// (-Wl,--kill-at), since the CustomAction table names the entry point: by
// the project's CMake build with the programs' warnings, or by
// integration/build.sh where no build of the project is given.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <cwctype>
#include <string>
#include <vector>

#include "VantrelActionRules.h"

namespace {

using vantrel_actions::IsFullPath;
using vantrel_actions::LiesInFolder;
using vantrel_actions::Lower;
using vantrel_actions::NamesManifest;
using vantrel_actions::ProgramOf;
using vantrel_actions::Split;
using vantrel_actions::Unquoted;

const wchar_t kServiceName[] = L"Vantrel Service";

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

// One line in the installer's log. Field 0 of a record is a template, in
// which [x86] or [1] would be read as a property or a field: the template is
// "[1]" and the text, taken as it is, goes in field 1.
void LogLine(MSIHANDLE install, const wchar_t* action, const std::wstring& text) {
    PMSIHANDLE record = ::MsiCreateRecord(1);
    ::MsiRecordSetStringW(record, 0, L"[1]");
    ::MsiRecordSetStringW(record, 1, (std::wstring(action) + L": " + text).c_str());
    ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
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

std::wstring ErrorWords(DWORD error) {
    return L"error " + std::to_wstring(error) + L" (" + ErrorText(error) + L")";
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

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_ != nullptr) {
            ::CloseServiceHandle(handle_);
        }
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

// Whether the service's program lies in `folder` (or a folder below it).
// Says in the log, led by `action`, why not; `unused` names what is then
// not done.
bool ServiceIsInFolder(MSIHANDLE install, const wchar_t* action, const std::wstring& folder,
                       const std::wstring& unused) {
    if (!IsFullPath(folder)) {
        LogLine(install, action, L"no full path for this copy's folder (\"" + folder + L"\"): " + unused);
        return false;
    }
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager.get() == nullptr) {
        LogLine(install, action,
                L"the service manager cannot be opened: " + ErrorWords(::GetLastError()) + L"; " + unused);
        return false;
    }
    ServiceHandle service(::OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_CONFIG));
    if (service.get() == nullptr) {
        const DWORD error = ::GetLastError();
        LogLine(install, action,
                error == ERROR_SERVICE_DOES_NOT_EXIST
                    ? L"\"Vantrel Service\" is not registered: " + unused
                    : L"\"Vantrel Service\" cannot be opened: " + ErrorWords(error) + L"; " + unused);
        return false;
    }
    DWORD size = 0;
    ::QueryServiceConfigW(service.get(), nullptr, 0, &size);
    std::vector<unsigned char> buffer(size + sizeof(QUERY_SERVICE_CONFIGW));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &size)) {
        LogLine(install, action,
                L"the configuration of \"Vantrel Service\" cannot be read: " + ErrorWords(::GetLastError()) +
                    L"; " + unused);
        return false;
    }
    const std::wstring program =
        ProgramOf(config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L"");
    if (!LiesInFolder(program, folder)) {
        LogLine(install, action,
                L"\"Vantrel Service\" runs " + program + L", which does not lie in this copy's folder " +
                    folder + L": the service is left alone, " + unused);
        return false;
    }
    return true;
}

UINT RunProgram(MSIHANDLE install) {
    const std::vector<std::wstring> pieces = Split(Property(install, L"CustomActionData"), L'|');
    std::wstring program = pieces[0];  // in quotes or not
    const std::wstring argument = pieces.size() > 1 ? pieces[1] : std::wstring();
    program = Unquoted(program);
    if (program.empty()) {
        LogLine(install, L"VantrelRun", L"no program in CustomActionData");
        return ERROR_INSTALL_FAILURE;
    }
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!argument.empty()) {
        commandLine += L" " + argument;
    }
    if (pieces.size() > 2 &&
        !ServiceIsInFolder(install, L"VantrelRun", pieces[2], commandLine + L" not run")) {
        return ERROR_SUCCESS;
    }
    DWORD error = 0;
    if (!RunAndWait(program, commandLine, error)) {
        LogLine(install, L"VantrelRun", L"cannot start " + program + L": " + ErrorWords(error));
        return ERROR_INSTALL_FAILURE;
    }
    LogLine(install, L"VantrelRun", L"ran " + commandLine);
    return ERROR_SUCCESS;
}

UINT WaitStopped(MSIHANDLE install) {
    const std::vector<std::wstring> pieces = Split(Property(install, L"CustomActionData"), L'|');
    const unsigned long seconds = std::wcstoul(pieces[0].c_str(), nullptr, 10);
    if (pieces.size() > 1 &&
        !ServiceIsInFolder(install, L"VantrelWaitServiceStopped", pieces[1], L"no wait")) {
        return ERROR_SUCCESS;
    }
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ServiceHandle service(manager.get() == nullptr ? nullptr
                                                   : ::OpenServiceW(manager.get(), kServiceName,
                                                                    SERVICE_QUERY_STATUS | SERVICE_STOP));
    if (service.get() == nullptr) {
        return ERROR_SUCCESS;  // gone
    }
    // svckeeper could not have asked for the stop: its file is gone.
    const std::wstring keeper = pieces.size() > 2 ? Unquoted(pieces[2]) : std::wstring();
    if (!keeper.empty() && ::GetFileAttributesW(keeper.c_str()) == INVALID_FILE_ATTRIBUTES) {
        SERVICE_STATUS status = {};
        if (::QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
            const BOOL asked = ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
            LogLine(install, L"VantrelWaitServiceStopped",
                    keeper + L" is not there: \"Vantrel Service\" asked to stop here" +
                        (asked ? std::wstring() : L", which failed: " + ErrorWords(::GetLastError())));
        }
    }
    for (unsigned long tenths = 0; tenths < seconds * 10; ++tenths) {
        SERVICE_STATUS status = {};
        if (!::QueryServiceStatus(service.get(), &status) || status.dwCurrentState == SERVICE_STOPPED) {
            return ERROR_SUCCESS;
        }
        ::Sleep(100);
    }
    LogLine(install, L"VantrelWaitServiceStopped",
            L"\"Vantrel Service\" still not stopped after " + std::to_wstring(seconds) + L" s");
    return ERROR_INSTALL_FAILURE;
}

UINT RemoveService(MSIHANDLE install) {
    const std::wstring folder = Property(install, L"CustomActionData");
    if (!ServiceIsInFolder(install, L"VantrelDeleteService", folder, L"not deleted")) {
        return ERROR_SUCCESS;
    }
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ServiceHandle service(manager.get() == nullptr ? nullptr
                                                   : ::OpenServiceW(manager.get(), kServiceName, DELETE));
    if (service.get() == nullptr || !::DeleteService(service.get())) {
        LogLine(install, L"VantrelDeleteService",
                L"\"Vantrel Service\" cannot be deleted: " + ErrorWords(::GetLastError()));
        return ERROR_INSTALL_FAILURE;
    }
    LogLine(install, L"VantrelDeleteService", L"deleted \"Vantrel Service\"");
    return ERROR_SUCCESS;
}

UINT WriteOneManifest(MSIHANDLE install) {
    const std::vector<std::wstring> pieces = Split(Property(install, L"CustomActionData"), L'|');
    const std::wstring& path = pieces[0];
    if (path.empty()) {
        LogLine(install, L"WriteManifest",
                L"the manifest's path is empty (a property left unset?): nothing written");
        return ERROR_INSTALL_FAILURE;
    }
    if (!IsFullPath(path)) {
        LogLine(install, L"WriteManifest",
                L"the manifest's path " + path + L" is no full path: nothing written");
        return ERROR_INSTALL_FAILURE;
    }
    if (!NamesManifest(path)) {
        LogLine(install, L"WriteManifest",
                L"the manifest's path " + path +
                    L" names no manifest (__shortcutsweep-en.ini, -de, -fr or -ja): nothing written");
        return ERROR_INSTALL_FAILURE;
    }
    std::string bytes = "\xEF\xBB\xBF";
    size_t entries = 0;
    for (size_t i = 1; i < pieces.size(); ++i) {
        if (pieces[i].empty()) {
            continue;
        }
        if (!AppendUtf8(bytes, pieces[i])) {
            LogLine(install, L"WriteManifest",
                    L"entry " + std::to_wstring(i) + L" is not valid text: " + path + L" not written");
            return ERROR_INSTALL_FAILURE;
        }
        bytes += "\r\n";
        ++entries;
    }
    DWORD error = 0;
    if (!WriteWhole(path, bytes, error)) {
        LogLine(install, L"WriteManifest",
                L"cannot write " + path + L" (error " + std::to_wstring(error) + L")");
        return ERROR_INSTALL_FAILURE;
    }
    LogLine(install, L"WriteManifest", L"wrote " + path + L" with " + std::to_wstring(entries) + L" entries");
    return ERROR_SUCCESS;
}

// Runs an action; an exception (out of memory, say) ends it as a failure
// with a line in the log, never as a crash of the installer's process.
UINT Guarded(MSIHANDLE install, const wchar_t* name, UINT (*action)(MSIHANDLE)) {
    try {
        return action(install);
    } catch (...) {
        try {
            LogLine(install, name, L"stopped by an unexpected failure");
        } catch (...) {
        }
        return ERROR_INSTALL_FAILURE;
    }
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall WriteManifest(MSIHANDLE install) {
    return Guarded(install, L"WriteManifest", WriteOneManifest);
}

extern "C" __declspec(dllexport) UINT __stdcall VantrelRun(MSIHANDLE install) {
    return Guarded(install, L"VantrelRun", RunProgram);
}

extern "C" __declspec(dllexport) UINT __stdcall VantrelWaitServiceStopped(MSIHANDLE install) {
    return Guarded(install, L"VantrelWaitServiceStopped", WaitStopped);
}

extern "C" __declspec(dllexport) UINT __stdcall VantrelDeleteService(MSIHANDLE install) {
    return Guarded(install, L"VantrelDeleteService", RemoveService);
}
