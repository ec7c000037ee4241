#include "tests/support/TestSupport.h"

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace testing_support {

namespace {

std::wstring TempRoot() {
    wchar_t buffer[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) {
        throw std::runtime_error("no temporary folder");
    }
    return std::wstring(buffer, length);
}

[[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(::GetLastError()));
}

}  // namespace

TempFolder::TempFolder(std::wstring_view tag) {
    static std::atomic<unsigned> counter{0};
    for (;;) {
        path_ = TempRoot() + L"vt-" + std::wstring(tag) + L"-" + std::to_wstring(::GetCurrentProcessId()) +
                L"-" + std::to_wstring(counter++) + L"-" + std::to_wstring(::GetTickCount());
        if (::CreateDirectoryW(path_.c_str(), nullptr)) {
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            Fail("CreateDirectoryW");
        }
    }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::wstring TempFolder::operator/(std::wstring_view relative) const {
    return path_ + L"\\" + std::wstring(relative);
}

void MakeFolders(const std::wstring& path) {
    for (size_t cut = path.find(L'\\', 3);; cut = path.find(L'\\', cut + 1)) {
        std::wstring part = path.substr(0, cut);
        // A folder named with a dot or blank at its end is made as named:
        // the plain path would drop them and make another folder.
        if (part.size() > 2 && part[1] == L':' && (part.back() == L'.' || part.back() == L' ')) {
            part.insert(0, L"\\\\?\\");
        }
        if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            Fail("CreateDirectoryW");
        }
        if (cut == std::wstring::npos) {
            return;
        }
    }
}

void WriteBytes(const std::wstring& path, std::string_view bytes) {
    size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2) {
        MakeFolders(path.substr(0, slash));
    }
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail("CreateFileW");
    }
    DWORD written = 0;
    BOOL ok =
        bytes.empty() || ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    if (!ok || written != bytes.size()) {
        Fail("WriteFile");
    }
}

std::string Utf8(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    int length = static_cast<int>(text.size());
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) {
        return std::wstring();
    }
    const int length = static_cast<int>(utf8.size());
    std::wstring text(utf8.size(), L'\0');
    text.resize(
        static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, text.data(), length)));
    return text;
}

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) {
        text.append(chunk, read);
    }
    ::CloseHandle(file);
    return text;
}

void WriteUtf8(const std::wstring& path, std::wstring_view text, bool mark) {
    WriteBytes(path, (mark ? std::string("\xEF\xBB\xBF") : std::string()) + Utf8(text));
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetAttributes(const std::wstring& path, DWORD attributes) {
    if (!::SetFileAttributesW(path.c_str(), attributes)) {
        Fail("SetFileAttributesW");
    }
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            std::wstring child = path + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(child);
            } else if (!::DeleteFileW(child.c_str())) {
                ::RemoveDirectoryW(child.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (::RemoveDirectoryW(path.c_str()) || !RunningUnderWine()) {
        return;
    }
    // Under Wine a Unix link to a file is deleted as its target, and one
    // left without a target no longer shows: the Unix rm removes links.
    const std::string unixPath = UnixPathOf(path);
    if (!unixPath.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        RunUnixCommand({"/bin/rm", "-rf", unixPath});
    }
}

RunningProgram::RunningProgram(const std::wstring& exe, std::wstring_view arguments,
                               const std::wstring& output, const std::wstring& currentFolder) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + std::wstring(arguments);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    HANDLE outputFile = INVALID_HANDLE_VALUE;
    if (!output.empty()) {
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
        outputFile = ::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = outputFile;
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION process = {};
    const BOOL started = ::CreateProcessW(
        exe.c_str(), commandLine.data(), nullptr, nullptr, outputFile != INVALID_HANDLE_VALUE, 0, nullptr,
        currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &process);
    if (outputFile != INVALID_HANDLE_VALUE) {
        ::CloseHandle(outputFile);
    }
    if (started) {
        ::CloseHandle(process.hThread);
        process_ = process.hProcess;
    }
}

RunningProgram::~RunningProgram() {
    if (process_) {
        Wait(0);
    }
}

long RunningProgram::Wait(DWORD timeoutMs) {
    if (!process_) {
        return -1;
    }
    long result = -1;
    if (::WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (::GetExitCodeProcess(process_, &code)) {
            result = static_cast<long>(code);
        }
    } else {
        ::TerminateProcess(process_, 1);
        ::WaitForSingleObject(process_, 10000);
    }
    ::CloseHandle(std::exchange(process_, nullptr));
    return result;
}

long RunProgram(const std::wstring& exe, std::wstring_view arguments, DWORD timeoutMs) {
    return RunningProgram(exe, arguments).Wait(timeoutMs);
}

long RunProgramAs(const std::wstring& exe, const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return -1;
    }
    ::CloseHandle(process.hThread);
    long result = -1;
    DWORD code = 0;
    if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(process.hProcess, &code)) {
        result = static_cast<long>(code);
    } else {
        ::TerminateProcess(process.hProcess, 1);
    }
    ::CloseHandle(process.hProcess);
    return result;
}

long RunProgramIn(const std::wstring& currentFolder, const std::wstring& exe, std::wstring_view arguments) {
    return RunningProgram(exe, arguments, {}, currentFolder).Wait(60000);
}

long RunProgramCapturing(const std::wstring& exe, std::wstring_view arguments, std::string& output,
                         DWORD timeoutMs) {
    TempFolder folder(L"out");
    const std::wstring file = folder / L"output.txt";
    long code = RunningProgram(exe, arguments, file).Wait(timeoutMs);
    output = ReadWholeFile(file);
    return code;
}

std::wstring FromCommandLinePath(std::string_view path) {
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide[0] == L'/') {
        wide = L"Z:" + wide;
    }
    for (wchar_t& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return wide;
}

std::wstring FullPathFromCommandLine(std::string_view path) {
    const std::wstring given = FromCommandLinePath(path);
    std::vector<wchar_t> buffer(32768);
    const DWORD length =
        ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    return length > 0 && length < buffer.size() ? std::wstring(buffer.data(), length) : given;
}

bool FindProgramsUnderTest(int argc, char** argv, std::initializer_list<ProgramUnderTest> programs,
                           std::string_view otherOptions) {
    int next = 1;
    bool complete = true;
    for (const ProgramUnderTest& program : programs) {
        if (next < argc) {
            *program.path = FullPathFromCommandLine(argv[next++]);
        } else if (program.presence == ProgramUnderTest::Required) {
            complete = false;
        }
    }
    if (complete) {
        return true;
    }
    std::string usage = std::string("usage: ") + (argc > 0 ? argv[0] : "test");
    std::string optional;
    for (const ProgramUnderTest& program : programs) {
        const bool required = program.presence == ProgramUnderTest::Required;
        usage += std::string(required ? " <" : " [<") + program.name + ">";
        optional += required ? "" : "]";
    }
    usage += optional;
    if (!otherOptions.empty()) {
        usage += " " + std::string(otherOptions);
    }
    fprintf(stderr, "%s [gtest options]\n", usage.c_str());
    return false;
}

bool RunningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string UnixPathOf(const std::wstring& path) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) {
        return std::string();
    }
    std::string result(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

bool RunUnixCommand(const std::vector<std::string>& command) {
    // Wine's own way to run a Unix program from a Windows one, waiting for
    // it. (CreateProcessW on Z:\bin\ln runs it too, but Wine then keeps two
    // descriptors of this process open for good, and a long test runs out.)
    using Spawn = LONG(WINAPI*)(char* const argv[], int wait);
    const auto spawn = reinterpret_cast<Spawn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "__wine_unix_spawnvp")));
    if (!spawn || command.empty()) {
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& argument : command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return spawn(argv.data(), 1) == 0;
}

bool MakeUnixLink(const std::wstring& target, const std::wstring& link) {
    const std::string unixTarget = UnixPathOf(target);
    const std::string unixLink = UnixPathOf(link);
    if (unixTarget.empty() || unixLink.empty() || !RunUnixCommand({"/bin/ln", "-s", unixTarget, unixLink})) {
        return false;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(link.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return false;  // a link without a target does not show
    }
    ::FindClose(find);
    return true;
}

std::wstring WineShareFolder(std::wstring_view server, std::wstring_view share) {
    // Wine serves \\server\share from dosdevices/unc/server/share in its prefix.
    std::string driveC = UnixPathOf(L"C:\\");
    const size_t cut = driveC.rfind("/c:");
    if (driveC.empty() || cut == std::string::npos) {
        return std::wstring();
    }
    std::wstring folder = FromCommandLinePath(driveC.substr(0, cut)) + L"\\unc\\" + std::wstring(server) +
                          L"\\" + std::wstring(share);
    MakeFolders(folder);
    return folder;
}

}  // namespace testing_support
