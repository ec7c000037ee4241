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
#include "common/modOpen.h"
#include "common/modPaths.h"
#include "common/modPlaces.h"
#include "common/modSharedAppend.h"
#include "common/modText.h"

namespace vantrel {

namespace {

struct LogState {
    UniqueFile file;
    std::wstring prefix;  // "[pid] "
};

LogState& State() {
    static LogState state;
    return state;
}

// What a log's path may not hold: a wildcard, < > " | , a control
// character, or a colon but after a drive letter (elsewhere it names a
// stream). In a literal path the prefix's ? is no wildcard.
bool HoldsForbiddenCharacters(std::wstring_view full) {
    for (size_t i = 0; i < full.size(); ++i) {
        const wchar_t c = full[i];
        if (c < 0x20 || std::wstring_view(L"*?<>\"|").find(c) != std::wstring_view::npos ||
            (c == L':' && i != 1)) {
            return true;
        }
    }
    return false;
}

// Whether a piece of the path ends in a dot or a blank where that makes a
// file under another name than the one given: the ordinary way drops them
// from the last piece; a literal path keeps them in every piece, and some
// systems (Wine) report such a name as the name without them, which could
// be a manifest's.
bool NamesAnotherFile(std::wstring_view full, PathForm form) {
    const std::vector<std::wstring_view> pieces = PiecesOf(full, L"\\/");
    for (size_t i = 0; i < pieces.size(); ++i) {
        if ((i + 1 == pieces.size() || form == PathForm::Literal) && EndsInDotOrBlank(pieces[i])) {
            return true;
        }
    }
    return false;
}

// A full path to a file on a drive or share; never a device, a relative
// path, one that depends on the current drive, or a folder.
bool IsUsableLogPath(const Path& path) {
    const PathForm form = path.Form();
    const std::wstring_view full = WithoutLiteralPrefix(path.Text());
    if (HoldsForbiddenCharacters(full) || NamesAnotherFile(full, form)) {
        return false;
    }
    if (form == PathForm::Literal) {
        return (FormOf(full) == PathForm::Drive && full.size() > 3 && full[2] == L'\\') ||
               (full.size() > 4 && StartsWithIgnoringCase(full, L"UNC\\"));
    }
    const std::wstring_view root = FullPathRoot(path.Text());
    if ((form != PathForm::Drive && form != PathForm::Share) || root.empty() || root.size() == full.size()) {
        return false;
    }
    // Device names (NUL, CON, COM1, CONOUT$ ...) read as devices wherever
    // they stand, as \\.\<name>.
    const std::wstring system = SystemFullPath(path.Text());
    return !system.empty() && FormOf(system) != PathForm::Device;
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
UniqueFile OpenOrCreateLog(const Path& path, bool& made) {
    made = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        UniqueFile file = OpenToAppend(path, Disposition::Existing);
        if (file || !IsNotFound(::GetLastError())) {
            return file;
        }
        file = OpenToAppend(path, Disposition::New);
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
bool IsFitForLog(HANDLE file, const Path& path, FolderLocations& folders) {
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
std::wstring PlaceOf(const Path& path, FolderLocations& folders) {
    const Path folder = path.Folder();
    if (folder.Empty()) {
        return std::wstring();
    }
    const std::wstring& place = folders.Of(folder).finalPath;
    return place.empty() ? std::wstring() : Path(place).Child(path.Name()).Text();
}

// The log at `path`, opened and checked, with the run's header written.
bool OpenLog(const Path& path, std::wstring_view program, std::wstring_view version,
             const std::vector<Path>& runFiles) {
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
    for (const Path& runFile : runFiles) {
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
                     const std::vector<Path>& runFiles) noexcept {
    std::wstring path;
    SkipOnFailure([&] { path = DecisionLogPath(); });
    return !path.empty() && OpenDecisionLogAt(Path(path), program, version, runFiles);
}

bool OpenDecisionLogAt(const Path& path, std::wstring_view program, std::wstring_view version,
                       const std::vector<Path>& runFiles) noexcept {
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
    SkipOnFailure([&] { written = AppendLine(state.file.get(), state.prefix, Visible(text)); });
    if (!written) {
        state.file.reset();  // full, not writable, or out of memory: the work goes on without it
    }
}

}  // namespace vantrel
