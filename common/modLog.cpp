#include "common/modLog.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/Handle.h"
#include "common/modErrors.h"
#include "common/modFailOpen.h"
#include "common/modLogSettings.h"
#include "common/modNames.h"
#include "common/modPaths.h"
#include "common/modPlaces.h"
#include "common/modText.h"

namespace vantrel {

namespace {

// Room kept below the limit for the line that says the log is full.
constexpr uint64_t kRoomForLastLine = 512;
// Longest line written, in bytes; a longer one is cut. It also bounds how
// far from the end the "full" line can stand.
constexpr size_t kLongestLine = 64 * 1024;
constexpr std::string_view kFullLineEnd = "nothing more is written to this file\r\n";
// How long a writer waits for another to finish its line.
constexpr DWORD kLockWaitMs = 5000;

// The writers serialise on one byte far past the end of any log, so that
// the lock never stands in the way of someone reading the file.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

struct LogState {
    UniqueFile file;
    std::wstring prefix;  // "[pid] "
};

LogState& State() {
    static LogState state;
    return state;
}

// A full path to a file on a drive or share; never a device, a relative
// path or one that depends on the current drive.
bool IsUsableLogPath(const std::wstring& path) {
    const PathForm form = FormOf(path);
    const std::wstring_view full = form == PathForm::Literal
                                       ? std::wstring_view(path).substr(kLiteralPrefix.size())
                                       : std::wstring_view(path);
    for (size_t i = form == PathForm::Literal ? kLiteralPrefix.size() : 0; i < path.size(); ++i) {
        const wchar_t c = path[i];
        if (c < 0x20 || c == L'*' || c == L'?' || c == L'<' || c == L'>' || c == L'"' || c == L'|') {
            return false;
        }
    }
    // A colon only after a drive letter: anywhere else it names a stream.
    const size_t driveColon = path.size() - full.size() + 1;
    for (size_t colon = path.find(L':'); colon != std::wstring::npos; colon = path.find(L':', colon + 1)) {
        if (colon != driveColon) {
            return false;
        }
    }
    // A name that ends in a dot or a blank is made under another name (the
    // ordinary way drops them), or, in a literal path, under one that some
    // systems (Wine) report without them, as the file of the shorter name.
    for (size_t start = 0; start <= full.size();) {
        const size_t end = std::min(full.find_first_of(L"\\/", start), full.size());
        const std::wstring_view piece = full.substr(start, end - start);
        const bool last = end == full.size();
        if ((last || form == PathForm::Literal) && !piece.empty() &&
            (piece.back() == L'.' || piece.back() == L' ')) {
            return false;
        }
        start = end + 1;
    }
    if (form == PathForm::Literal) {
        return (FormOf(full) == PathForm::Drive && full.size() > 3 && full[2] == L'\\') ||
               (full.size() > 4 && StartsWithIgnoringCase(full, L"UNC\\"));
    }
    if (form != PathForm::Drive && form != PathForm::Share) {
        return false;
    }
    const std::wstring_view root = FullPathRoot(path);
    if (root.empty() || root.size() == path.size()) {
        return false;
    }
    // Device names (NUL, CON, COM1, CONOUT$ ...) read as devices wherever
    // they stand, as \\.\<name>. The call fills the buffer only when the
    // whole full path fits; one that does not is no device's.
    wchar_t device[16] = {};
    const DWORD length = ::GetFullPathNameW(path.c_str(), 16, device, nullptr);
    return length != 0 && !(length >= 4 && length < 16 && FormOf(device) == PathForm::Device);
}

std::string Utf8(std::wstring_view text) { return Utf8Text(text); }

class LockedForWriting {
public:
    explicit LockedForWriting(HANDLE file) : file_(file) {
        const DWORD started = ::GetTickCount();
        for (;;) {
            OVERLAPPED at = {};
            at.OffsetHigh = kLockOffsetHigh;
            if (::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
                locked_ = true;
                return;
            }
            const DWORD error = ::GetLastError();
            if ((error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) ||
                ::GetTickCount() - started > kLockWaitMs) {
                return;
            }
            ::Sleep(1);
        }
    }
    ~LockedForWriting() {
        if (locked_) {
            OVERLAPPED at = {};
            at.OffsetHigh = kLockOffsetHigh;
            ::UnlockFileEx(file_, 0, 1, 0, &at);
        }
    }
    LockedForWriting(const LockedForWriting&) = delete;
    LockedForWriting& operator=(const LockedForWriting&) = delete;
    explicit operator bool() const { return locked_; }

private:
    HANDLE file_;
    bool locked_ = false;
};

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Whether the file ends with the line that says it is full. Only a file
// within a line's length of the limit can.
bool EndsFull(HANDLE file, uint64_t used) {
    if (used + kLongestLine + kRoomForLastLine < kLogLimitBytes || used < kFullLineEnd.size()) {
        return false;
    }
    char tail[64];
    OVERLAPPED at = {};
    const uint64_t from = used - kFullLineEnd.size();
    at.Offset = static_cast<DWORD>(from);
    at.OffsetHigh = static_cast<DWORD>(from >> 32);
    DWORD got = 0;
    return !::ReadFile(file, tail, static_cast<DWORD>(kFullLineEnd.size()), &got, &at) ||
           std::string_view(tail, got) == kFullLineEnd;
}

// Appends `line` (UTF-8, with its CR LF, at most kLongestLine bytes) under
// the lock; false when the log should be given up: it cannot be written,
// or it is full. The first writer to find it full says so, once: everyone
// after it finds that line at the end and writes nothing more.
bool Append(HANDLE file, const std::wstring& prefix, std::string line) {
    LockedForWriting lock(file);
    LARGE_INTEGER size;
    if (!lock || !::GetFileSizeEx(file, &size)) {
        return false;
    }
    const uint64_t used = static_cast<uint64_t>(size.QuadPart);
    if (EndsFull(file, used)) {
        return false;
    }
    if (used == 0) {
        line.insert(0, "\xEF\xBB\xBF");
    }
    if (used + line.size() <= kLogLimitBytes - kRoomForLastLine) {
        return WriteAll(file, line);
    }
    if (used <= kLogLimitBytes - kRoomForLastLine) {
        WriteAll(file, Utf8(prefix + L"the log is full (16 MiB): ") + std::string(kFullLineEnd));
    }
    return false;
}

// `line` cut to kLongestLine bytes, at a character's start, and ended.
std::string Ended(std::string line) {
    if (line.size() + 2 > kLongestLine) {
        size_t cut = kLongestLine - 64;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;  // not inside a character
        }
        line = line.substr(0, cut) + "... (cut: the line is " + std::to_string(line.size()) + " bytes long)";
    }
    return line + "\r\n";
}

std::wstring LocalTime() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t text[40];
    std::swprintf(text, 40, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

// The log file, opened or, where nothing of that name is, created; `made`
// says which. Both without following a final link: some systems (Wine)
// follow a link without a target when creating, and would make its target.
// A file made here is opened with the right to delete it, so that it can be
// taken back when it fails the checks.
UniqueFile OpenOrCreateLog(const std::wstring& path, bool& made) {
    constexpr DWORD kAccess = FILE_READ_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    made = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        UniqueFile file(::CreateFileW(path.c_str(), kAccess, kShare, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file || !IsNotFound(::GetLastError())) {
            return file;
        }
        file.reset(::CreateFileW(path.c_str(), kAccess | DELETE, kShare, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file || ::GetLastError() != ERROR_FILE_EXISTS) {
            made = static_cast<bool>(file);
            return file;  // made, or cannot be made
        }
        // Another writer made it meanwhile, or a link without a target is there.
    }
    return UniqueFile();
}

// Whether the open file is empty or already a decision log: the byte-order
// mark, then a line that starts with a process id in brackets. A log is
// never appended to anything else (a manifest, a program, someone's notes).
bool IsEmptyOrDecisionLog(HANDLE file) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size)) {
        return false;
    }
    if (size.QuadPart == 0) {
        return true;
    }
    char start[24] = {};
    OVERLAPPED at = {};
    DWORD got = 0;
    if (!::ReadFile(file, start, sizeof start, &got, &at)) {
        return false;
    }
    const std::string_view head(start, got);
    if (head.substr(0, 4) != "\xEF\xBB\xBF[") {
        return false;
    }
    size_t digits = 4;
    while (digits < head.size() && head[digits] >= '0' && head[digits] <= '9') {
        ++digits;
    }
    return digits > 4 && digits <= 14 && head.substr(digits, 2) == "] ";
}

// Whether the open file is the entry `path` names and fit to be appended
// to. A program run with more rights than whoever set the path must not be
// led to write into some other file: a link, a second name, a file
// elsewhere, or a file that is no log is refused.
bool IsFitForLog(HANDLE file, const std::wstring& path, FolderLocations& folders) {
    FILE_ATTRIBUTE_TAG_INFO tag;
    FILE_STANDARD_INFO standard;
    return ::GetFileType(file) == FILE_TYPE_DISK &&
           ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
           ::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
           standard.NumberOfLinks <= 1 &&
           PlacementOfEntry(file, path, folders).placement == Placement::InFolder &&
           IsEmptyOrDecisionLog(file);
}

// Where a file at `path` lies, or would lie: its folder's own final path
// and its name. Empty when the folder's place cannot be had.
std::wstring PlaceOf(const std::wstring& path, FolderLocations& folders) {
    const FolderAndName parts = SplitPath(path);
    if (parts.folder.empty()) {
        return std::wstring();
    }
    const std::wstring& folder = folders.Of(parts.folder).finalPath;
    if (folder.empty()) {
        return std::wstring();
    }
    return folder + (folder.back() == L'\\' ? L"" : L"\\") + parts.name;
}

// The log at `path`, opened and checked, with the run's header written.
bool OpenLog(const std::wstring& path, std::wstring_view program, std::wstring_view version,
             const std::vector<std::wstring>& runFiles) {
    if (!IsUsableLogPath(path)) {
        return false;
    }
    // A log at a manifest would keep it from being read, and be read and
    // deleted as one; at the program, it would change the program. Found by
    // where each lies, whatever the spelling.
    FolderLocations folders;
    const std::wstring place = PlaceOf(path, folders);
    if (place.empty()) {
        return false;
    }
    for (const std::wstring& runFile : runFiles) {
        if (EqualsIgnoringCase(PlaceOf(runFile, folders), place)) {
            return false;
        }
    }
    // Reading rights as well as appending: the lock and the end's check
    // need them.
    bool made = false;
    UniqueFile file = OpenOrCreateLog(path, made);
    if (!file) {
        return false;
    }
    if (!IsFitForLog(file.get(), path, folders)) {
        if (made) {
            // Made here a moment ago: taken back, so that a refused path
            // leaves nothing behind.
            FILE_DISPOSITION_INFO disposition = {TRUE};
            ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
        }
        return false;
    }
    LogState& state = State();
    state.file = std::move(file);
    state.prefix = L"[" + std::to_wstring(::GetCurrentProcessId()) + L"] ";
    const wchar_t* commandLine = ::GetCommandLineW();
    WriteDecisionLog(std::wstring(program) + L" " + std::wstring(version) + L", process " +
                     std::to_wstring(::GetCurrentProcessId()) + L", started " + LocalTime() +
                     L" (local time), command line: " + (commandLine ? commandLine : L""));
    return DecisionLogOn();
}

}  // namespace

bool OpenDecisionLog(std::wstring_view program, std::wstring_view version,
                     const std::vector<std::wstring>& runFiles) noexcept {
    std::wstring path;
    SkipOnFailure([&] { path = DecisionLogPath(); });
    return !path.empty() && OpenDecisionLogAt(path, program, version, runFiles);
}

bool OpenDecisionLogAt(const std::wstring& path, std::wstring_view program, std::wstring_view version,
                       const std::vector<std::wstring>& runFiles) noexcept {
    CloseDecisionLog();
    bool on = false;
    if (!SkipOnFailure([&] { on = OpenLog(path, program, version, runFiles); })) {
        CloseDecisionLog();  // out of memory on the way: no log
    }
    return on;
}

void CloseDecisionLog() { State().file.reset(); }

bool DecisionLogOn() { return static_cast<bool>(State().file); }

void WriteDecisionLog(std::wstring_view text) noexcept {
    LogState& state = State();
    if (!state.file) {
        return;
    }
    bool written = false;
    SkipOnFailure(
        [&] { written = Append(state.file.get(), state.prefix, Ended(Utf8(state.prefix + Visible(text)))); });
    if (!written) {
        state.file.reset();  // full, not writable, or out of memory: the work goes on without it
    }
}

}  // namespace vantrel
