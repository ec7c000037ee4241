#include "common/modFiles.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/Handle.h"
#include "common/modPaths.h"
#include "common/modProcess.h"
#include "common/modText.h"

namespace vantrel {

namespace {

constexpr DWORD kNeverMatches = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

struct FolderAndName {
    std::wstring folder;  // with its trailing separator, or a drive such as C:
    std::wstring name;
};

FolderAndName SplitFolderAndName(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos && path.size() >= 2 && path[1] == L':') {
        cut = 1;
    }
    if (cut == std::wstring::npos) {
        return {std::wstring(), path};
    }
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

// The ? of the \\?\ prefix is not a wildcard.
std::wstring_view WithoutLiteralPrefix(std::wstring_view path) {
    return path.substr(0, kLiteralPrefix.size()) == kLiteralPrefix ? path.substr(kLiteralPrefix.size())
                                                                   : path;
}

std::wstring UpperCase(std::wstring_view text) {
    std::wstring upper(text);
    if (!upper.empty()) {
        int length = static_cast<int>(upper.size());
        ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(), length, upper.data(), length);
    }
    return upper;
}

// `name` and `pattern` are upper-cased already. * stands for any run of
// characters. ? stands for one character other than a dot, or for none
// where the name has a dot or has ended: Vantrel?.url matches Vantrel.url
// and Vantrel2.url, and a?b.url does not match a.b.url. That is how Windows
// reads a ? in FindFirstFile. Where our matcher and Windows' own still
// differ on long names:
//  - Windows reads a * just before a dot as "any run without the name's
//    last dot", and a dot just before * or ? as "a dot, or nothing at the
//    end of the name". A pattern that ends in ".url" matches the same names
//    either way: its last dot can only meet the name's last dot.
//  - Windows folds letter case with the volume's own table, we with the
//    invariant locale's; they agree on the letters of every living script.
//  - Wine's own matcher reads ? as exactly one character, and finds nothing
//    for *? ; the listing is matched here, so Wine and Windows sweep alike.
//  - Windows also matches each file's 8.3 alias; we never do (modFiles.h).
bool GlobMatches(std::wstring_view name, std::wstring_view pattern) {
    const size_t m = pattern.size();
    // reach[j]: the name read so far matches the first j pattern characters.
    std::vector<char> reach(m + 1, 0);
    std::vector<char> next(m + 1, 0);
    // Moves that read nothing: past a *, or past a ? at a dot or the end.
    auto close = [&](std::vector<char>& state, size_t at) {
        const bool atDotOrEnd = at == name.size() || name[at] == L'.';
        for (size_t j = 0; j < m; ++j) {
            if (state[j] && (pattern[j] == L'*' || (pattern[j] == L'?' && atDotOrEnd))) {
                state[j + 1] = 1;
            }
        }
    };
    reach[0] = 1;
    close(reach, 0);
    for (size_t i = 0; i < name.size(); ++i) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (size_t j = 0; j < m; ++j) {
            if (!reach[j]) {
                continue;
            }
            const wchar_t p = pattern[j];
            if (p == L'*') {
                next[j] = 1;
                any = true;
            } else if ((p == L'?' && name[i] != L'.') || p == name[i]) {
                next[j + 1] = 1;
                any = true;
            }
        }
        if (!any) {
            return false;
        }
        close(next, i + 1);
        reach.swap(next);
    }
    return reach[m] != 0;
}

// The handle's normalised final path with its drive (\\?\C:\... or
// \\?\UNC\...); empty when the system gives none. Wine gives none past
// MAX_PATH, whatever the buffer.
std::wstring FinalPathOf(HANDLE handle) {
    return TextOfFittingSize([handle](wchar_t* buffer, DWORD size) {
        return ::GetFinalPathNameByHandleW(handle, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
}

// The handle's path within its volume, and the volume's serial number:
// where the final path cannot be had, these show a link as well.
bool VolumePathOf(HANDLE handle, std::wstring& path, unsigned long& volume) {
    std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandleEx(handle, FileNameInfo, buffer.data(),
                                        static_cast<DWORD>(buffer.size())) ||
        !::GetFileInformationByHandle(handle, &information)) {
        return false;
    }
    const auto* name = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
    path.assign(name->FileName, name->FileNameLength / sizeof(wchar_t));
    volume = information.dwVolumeSerialNumber;
    return !path.empty();
}

// `path` with one separator at its end.
std::wstring AsFolder(std::wstring path) {
    if (path.empty() || path.back() != L'\\') {
        path += L'\\';
    }
    return path;
}

// Whether `filePath` is a name directly in the folder `folderPath`; the
// name is handed back. Both are the system's own spellings of where things
// lie, so the folders are compared letter for letter: on a file system
// that tells letter case apart, "Links" and "links" are two folders.
bool IsNameIn(const std::wstring& filePath, const std::wstring& folderPath, std::wstring& name) {
    const size_t cut = filePath.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut + 1 == filePath.size() ||
        std::wstring_view(filePath).substr(0, cut + 1) != AsFolder(folderPath)) {
        return false;
    }
    name = filePath.substr(cut + 1);
    return true;
}

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

// `name` without the dots and blanks at its end, upper-cased: the form in
// which names that a final path may report alike are the same.
std::wstring TrimmedKey(std::wstring_view name) {
    const size_t kept = name.find_last_not_of(L". ");
    return UpperCase(name.substr(0, kept == std::wstring_view::npos ? 0 : kept + 1));
}

bool EndsInDotOrBlank(std::wstring_view name) {
    return !name.empty() && (name.back() == L'.' || name.back() == L' ');
}

// When the open folder, or its entries, last changed: its last write and
// change times, which every entry made, removed or renamed in it moves, and
// the change time also a rename of the folder itself. False when they
// cannot be read. Read through a handle: by path it costs ten times more.
bool ChangeTimesOf(HANDLE folder, std::pair<int64_t, int64_t>& times) {
    FILE_BASIC_INFO basic;
    if (!::GetFileInformationByHandleEx(folder, FileBasicInfo, &basic, sizeof basic)) {
        return false;
    }
    times = {basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
    return true;
}

// Whether two handles are open on the same file or folder.
bool SameObject(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first;
    BY_HANDLE_FILE_INFORMATION second;
    return ::GetFileInformationByHandle(a, &first) && ::GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// Whether `path`, a path the system reported for the folder open as
// `folder`, leads back to that folder. Wine reports a folder whose name
// ends in a dot or a blank without them: that path names another folder,
// or none.
bool LeadsBackTo(const std::wstring& path, HANDLE folder) {
    UniqueFile reported(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return reported && SameObject(reported.get(), folder);
}

// A full path as the system's final paths spell it: its root as
// \\?\C: or \\?\UNC\server\share, and the rest, from the separator after
// the root on. Empty when `path` is no full path to a drive or share.
struct RootAndRest {
    std::wstring root;
    std::wstring rest;
};
RootAndRest AsFinalPathParts(const std::wstring& path) {
    const PathForm form = FormOf(path);
    std::wstring full;
    if (form == PathForm::Literal) {
        full = OrdinaryPath(path);
    } else if (form == PathForm::Drive || form == PathForm::Share) {
        full = TextOfFittingSize([&path](wchar_t* buffer, DWORD size) {
            return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr);
        });
    }
    const std::wstring_view root = FullPathRoot(full);
    if (root.empty()) {
        return {};
    }
    RootAndRest parts;
    if (FormOf(full) == PathForm::Drive) {
        parts.root = std::wstring(kLiteralPrefix) + UpperCase(full.substr(0, 1)) + L":";
    } else {
        std::wstring_view server = root.substr(2);
        if (!server.empty() && IsSeparator(server.back())) {
            server.remove_suffix(1);
        }
        parts.root = std::wstring(kLiteralPrefix) + L"UNC\\" + std::wstring(server);
    }
    parts.rest = L"\\" + full.substr(root.size());
    return parts;
}

}  // namespace

KeepReason KeepReasonFor(unsigned long attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return KeepReason::Directory;
    }
    if (attributes & FILE_ATTRIBUTE_HIDDEN) {
        return KeepReason::Hidden;
    }
    if (attributes & FILE_ATTRIBUTE_SYSTEM) {
        return KeepReason::System;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        return KeepReason::ReadOnly;
    }
    return KeepReason::None;
}

namespace {

FileReport Kept(std::wstring path, KeepReason reason, DWORD error = 0) {
    FileReport report;
    report.path = std::move(path);
    report.reason = reason;
    report.error = error;
    return report;
}

// What the name a path reaches a file by says about the file's own name.
enum class NameSource {
    OwnName,     // it is the file's own long name, up to letter case
    MaybeAlias,  // it may be the file's 8.3 alias, which may name the file
    MustBeOwn,   // it must be the file's own name: an alias keeps the file
};

// Whether `name` could be an 8.3 alias. An open matches a name against
// each file's long name and its alias, case-insensitively; an alias is at
// most 8 characters, a dot and 3 more, and holds none of + , ; = [ ]. A
// name that cannot be an alias therefore reached the file whose own long
// name it is, or a link of that name. Where there is doubt, the answer is
// "could be": a blank, for one, may stand in an alias that was set by hand.
bool CouldBeShortName(std::wstring_view name) {
    const size_t dot = name.find(L'.');
    if (dot != std::wstring_view::npos && name.find(L'.', dot + 1) != std::wstring_view::npos) {
        return false;
    }
    const size_t base = dot == std::wstring_view::npos ? name.size() : dot;
    const size_t extension = dot == std::wstring_view::npos ? 0 : name.size() - dot - 1;
    return base <= 8 && extension <= 3 && name.find_first_of(L"+,;=[]") == std::wstring_view::npos;
}

// The file's own name where `reachedAs` differs from the last piece of its
// final path, `finalName`: the long name the folder lists for the alias
// `reachedAs`, which must be `finalName` too. Otherwise the reason to keep it.
KeepReason AliasOwnName(const std::wstring& path, std::wstring_view reachedAs, const std::wstring& finalName,
                        std::wstring& ownName) {
    WIN32_FIND_DATAW data;
    UniqueFind find(
        ::FindFirstFileExW(path.c_str(), FindExInfoStandard, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find || !EqualsIgnoringCase(data.cAlternateFileName, reachedAs)) {
        return KeepReason::ReachedElsewhere;  // no entry has that alias: a link of that name
    }
    if (!EqualsIgnoringCase(data.cFileName, finalName)) {
        // A long name ending in a dot or a blank, which some systems report
        // without it, was kept already: its folder leaves the name in doubt.
        return KeepReason::ReachedElsewhere;
    }
    ownName = data.cFileName;
    return KeepReason::None;
}

// Why a file whose check or deletion failed is kept: a pipe or a device
// is no file on disk, whichever step the system refused it at (systems
// differ there: Wine 8 refuses a Unix FIFO's deletion, later ones already
// its final path); anything else keeps `otherwise`. Asked only after a
// failure, so that an ordinary file costs no request more.
KeepReason NotOnDiskOr(HANDLE file, KeepReason otherwise) {
    return ::GetFileType(file) != FILE_TYPE_DISK ? KeepReason::NotOnDisk : otherwise;
}

// Checks the file at `path` (in `folder`) through one handle and, unless
// `onlyCheck`, deletes it through the same handle. `reachedAs` is the name
// the path gave; `source` says what it may be. A required suffix is always
// checked on the file's own name.
FileReport CheckAndDelete(const std::wstring& path, const std::wstring& folder, std::wstring_view reachedAs,
                          std::wstring_view requiredSuffix, NameSource source, bool onlyCheck,
                          FolderLocations& folders) {
    UniqueFile file(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return Kept(path, KeepReason::SystemError, ::GetLastError());
    }
    // Only the attributes: GetFileInformationByHandle also reads the volume's
    // serial number, which under Wine costs more than deleting the file.
    FILE_ATTRIBUTE_TAG_INFO info;
    if (!::GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &info, sizeof info)) {
        const DWORD error = ::GetLastError();
        return Kept(path, NotOnDiskOr(file.get(), KeepReason::SystemError), error);
    }
    if (KeepReason reason = KeepReasonFor(info.FileAttributes); reason != KeepReason::None) {
        return Kept(path, reason);
    }
    std::wstring finalName;
    switch (PlacementOf(file.get(), folder, folders, finalName)) {
        case Placement::InFolder:
            break;
        case Placement::Elsewhere:
            return Kept(path, KeepReason::ReachedElsewhere);
        case Placement::NameInDoubt:
            return Kept(path, KeepReason::NameReportedOtherwise);
        case Placement::Unknown:
            return Kept(path, NotOnDiskOr(file.get(), KeepReason::PlaceUnknown));
    }
    std::wstring ownName = finalName;
    FileReport report = Kept(path, KeepReason::None);
    if (!EqualsIgnoringCase(finalName, reachedAs)) {
        if (source == NameSource::OwnName) {
            report.reason = KeepReason::ReachedElsewhere;  // a link to another name in the same folder
            return report;
        }
        report.reason = AliasOwnName(path, reachedAs, finalName, ownName);
        if (report.reason != KeepReason::None) {
            return report;
        }
        report.path = folder + ownName;
        report.alias = std::wstring(reachedAs);
        if (source == NameSource::MustBeOwn) {
            report.reason = KeepReason::NameChanged;
            return report;
        }
    }
    if (!requiredSuffix.empty() && !EndsWithIgnoringCase(ownName, requiredSuffix)) {
        report.reason = KeepReason::WrongSuffix;
        return report;
    }
    if (onlyCheck) {
        // What the deletion below would meet: a pipe or device cannot be
        // deleted through its handle.
        if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
            report.reason = KeepReason::NotOnDisk;
            return report;
        }
        report.verdict = FileVerdict::WouldDelete;
        return report;
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (!::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
        const DWORD error = ::GetLastError();
        report.reason = NotOnDiskOr(file.get(), KeepReason::SystemError);
        report.error = error;
        return report;
    }
    file.reset();  // the file goes as its last handle closes
    folders.NoteOwnDeletion(folder);
    report.verdict = FileVerdict::Deleted;
    return report;
}

// Calls `onMatch(folder, name, attributes)` for every entry in the folder of
// `path` whose own name matches its final component, directories, hidden
// and system files and names that are no plain name included. Returns the
// failing error, or 0.
template <typename OnMatch>
DWORD ForEachMatchingEntry(const std::wstring& path, OnMatch onMatch) {
    FolderAndName parts = SplitFolderAndName(path);
    if (HasWildcards(WithoutLiteralPrefix(parts.folder))) {
        return ERROR_INVALID_NAME;  // only the final component may hold wildcards
    }
    // A pattern is matched here, by the rules above, against every name in
    // the folder: the system's own matcher also takes 8.3 aliases and
    // differs between systems (Wine finds nothing for "*?.url").
    const std::wstring query = HasWildcards(parts.name) ? parts.folder + L"*" : path;
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileExW(query.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                       FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        DWORD error = ::GetLastError();
        return IsNotFound(error) ? 0 : error;
    }
    const std::wstring pattern = UpperCase(parts.name);
    do {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L".." && GlobMatches(UpperCase(name), pattern)) {
            if (!onMatch(parts.folder, data.cFileName, data.dwFileAttributes)) {
                return 0;
            }
        }
    } while (::FindNextFileW(find.get(), &data));
    DWORD error = ::GetLastError();
    return IsNotFound(error) ? 0 : error;
}

// Adds to the report, when one is asked for. A report that cannot grow
// (out of memory) loses the entry; the deletions go on all the same.
void Record(const DeleteOptions& options, FileReport&& report) noexcept {
    if (options.report) {
        try {
            options.report->push_back(std::move(report));
        } catch (...) {
        }
    }
}

bool DeletePlainPath(const std::wstring& path, const FolderAndName& parts, std::wstring_view requiredSuffix,
                     const DeleteOptions& options, FolderLocations& folders) {
    const std::wstring& name = parts.name;
    if (name.empty()) {
        return false;
    }
    // The open may reach the file through its 8.3 alias, as the system's
    // own DeleteFile would; a required suffix is then checked on its own
    // name. Without a suffix the name must be the file's own.
    const NameSource source = !CouldBeShortName(name)  ? NameSource::OwnName
                              : requiredSuffix.empty() ? NameSource::MustBeOwn
                                                       : NameSource::MaybeAlias;
    FileReport report =
        CheckAndDelete(path, parts.folder, parts.name, requiredSuffix, source, options.onlyCheck, folders);
    if (report.reason == KeepReason::SystemError && IsNotFound(report.error)) {
        return false;  // no match
    }
    if (options.report) {
        if (report.reason == KeepReason::SystemError && report.error == ERROR_ACCESS_DENIED) {
            // A folder cannot be opened as a file; say so rather than "access denied".
            const DWORD attributes = ::GetFileAttributesW(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                report.reason = KeepReason::Directory;
            }
        }
    }
    const bool gone = report.verdict != FileVerdict::Kept;
    Record(options, std::move(report));
    return gone;
}

bool DeleteByPattern(const std::wstring& path, std::wstring_view requiredSuffix, const DeleteOptions& options,
                     FolderLocations& folders) {
    std::vector<std::wstring> names;
    DeleteOptions skipped = options;  // reported after the files deleted
    std::vector<FileReport> skippedReport;
    skipped.report = options.report ? &skippedReport : nullptr;
    const DWORD error =
        ForEachMatchingEntry(path, [&](const std::wstring& folder, const wchar_t* name, DWORD attributes) {
            const KeepReason reason = KeepReasonFor(attributes & kNeverMatches);
            if (!IsPlainName(name)) {
                // Joined to its folder, it would reach into another one.
                Record(skipped, Kept(folder + name, KeepReason::UnsafeName));
            } else if (reason != KeepReason::None) {
                Record(skipped, Kept(folder + name, reason));
            } else if (requiredSuffix.empty() || EndsWithIgnoringCase(name, requiredSuffix)) {
                names.emplace_back(name);
            } else {
                Record(skipped, Kept(folder + name, KeepReason::WrongSuffix));
            }
            return true;
        });
    const std::wstring folder = SplitFolderAndName(path).folder;
    bool allGone = error == 0 && !names.empty();
    for (const std::wstring& name : names) {
        // A listed name is the file's own long name; within a folder, long
        // names and aliases are unique together, so it reaches that file,
        // or a link of that name.
        FileReport report = CheckAndDelete(folder + name, folder, name, requiredSuffix, NameSource::OwnName,
                                           options.onlyCheck, folders);
        if (report.reason == KeepReason::SystemError && IsNotFound(report.error)) {
            // Listed, then gone before it was opened: someone deleted it first.
            report.verdict = FileVerdict::AlreadyGone;
            report.reason = KeepReason::None;
            report.error = 0;
        }
        allGone = allGone && report.verdict != FileVerdict::Kept;
        Record(options, std::move(report));
    }
    for (FileReport& report : skippedReport) {
        Record(options, std::move(report));
    }
    if (error != 0) {
        // Said, so that a folder that cannot be read never passes for one
        // with nothing to match.
        Record(options, Kept(path, KeepReason::ListingFailed, error));
    }
    return allGone;
}

}  // namespace

bool HasWildcards(std::wstring_view text) { return text.find_first_of(L"*?") != std::wstring_view::npos; }

bool NameMatchesPattern(std::wstring_view name, std::wstring_view pattern) {
    return GlobMatches(UpperCase(name), UpperCase(pattern));
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool EndsWithIgnoringCase(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

Match FindMatchingFile(const std::wstring& path) {
    bool found = false;
    DWORD error = ForEachMatchingEntry(path, [&](const std::wstring&, const wchar_t* name, DWORD attributes) {
        found = (attributes & kNeverMatches) == 0 && IsPlainName(name);
        return !found;  // one is enough
    });
    if (found) {
        return Match::Found;
    }
    return error == 0 ? Match::NotFound : Match::Unknown;
}

bool FileMatches(const std::wstring& path) { return FindMatchingFile(path) == Match::Found; }

bool DeleteFiles(const std::wstring& path, std::wstring_view requiredSuffix, const DeleteOptions& options) {
    FolderAndName parts = SplitFolderAndName(path);
    FolderLocations ownFolders;
    FolderLocations& folders = options.folders ? *options.folders : ownFolders;
    // A plain name needs no search: the checks are made on the opened file.
    return HasWildcards(parts.name) ? DeleteByPattern(path, requiredSuffix, options, folders)
                                    : DeletePlainPath(path, parts, requiredSuffix, options, folders);
}

const FolderLocations::Place& FolderLocations::Of(const std::wstring& folder, bool withVolumePath) {
    Known& known = known_[folder];
    if (known.finalAsked && (known.volumeAsked || !withVolumePath)) {
        return known.place;
    }
    // Following links: a folder on the way may be one.
    UniqueFile handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    Place& place = known.place;
    if (!known.finalAsked) {
        known.finalAsked = true;
        if (handle) {
            place.finalPath = FinalPathOf(handle.get());
            if (!place.finalPath.empty() && !LeadsBackTo(place.finalPath, handle.get())) {
                const RootAndRest named = AsFinalPathParts(folder);
                place.reportedOtherwise = true;
                place.finalPath = named.root.empty() ? std::wstring() : named.root + named.rest;
            }
        }
    }
    if (withVolumePath && !known.volumeAsked) {
        known.volumeAsked = true;
        if (handle && VolumePathOf(handle.get(), place.volumePath, place.volume)) {
            // Found again from the named root, or the folder as named.
            const RootAndRest named = AsFinalPathParts(folder);
            if (named.root.empty() || !LeadsBackTo(named.root + place.volumePath, handle.get())) {
                place.reportedOtherwise = true;
                place.volumePath = named.rest;
            }
        }
    }
    return place;
}

Placement PlacementOf(void* file, const std::wstring& folder, FolderLocations& folders,
                      std::wstring& finalName) {
    if (folder.empty()) {
        return Placement::Unknown;
    }
    Placement placement = Placement::Unknown;
    const std::wstring finalPath = FinalPathOf(file);
    const FolderLocations::Place* place = finalPath.empty() ? nullptr : &folders.Of(folder);
    if (place && !place->finalPath.empty()) {
        placement =
            IsNameIn(finalPath, place->finalPath, finalName) ? Placement::InFolder : Placement::Elsewhere;
    } else {
        // Either final path is missing: compare the paths within the volume.
        std::wstring volumePath;
        unsigned long volume = 0;
        place = &folders.Of(folder, true);
        if (!VolumePathOf(file, volumePath, volume) || place->volumePath.empty()) {
            return Placement::Unknown;
        }
        placement = volume == place->volume && IsNameIn(volumePath, place->volumePath, finalName)
                        ? Placement::InFolder
                        : Placement::Elsewhere;
    }
    // Some systems (Wine) report a name that ends in a dot or a blank
    // without that character, so a link named x.url to x.url. in the same
    // folder reports the name it was reached by. A folder that holds such a
    // name, now that the file is open, leaves the reported one in doubt.
    return placement == Placement::InFolder ? folders.NameReportedIn(folder, finalName) : placement;
}

Placement FolderLocations::NameReportedIn(const std::wstring& folder, std::wstring_view name) {
    Known& known = known_[folder];
    std::pair<int64_t, int64_t> times;
    if (!known.listed || !ChangeTimesOf(known.listedFolder.get(), times) || times != known.listedAt) {
        // Listed afresh whenever it changed since: a name may appear while
        // the run goes on. The folder is opened again, in case it was
        // replaced.
        known.listed = false;
        known.trimmedNames.clear();
        known.listedFolder.reset(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!known.listedFolder || !ChangeTimesOf(known.listedFolder.get(), known.listedAt)) {
            return Placement::Unknown;
        }
        WIN32_FIND_DATAW data;
        UniqueFind find(::FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!find) {
            return Placement::Unknown;
        }
        do {
            const std::wstring_view entry = data.cFileName;
            if (EndsInDotOrBlank(entry) && entry != L"." && entry != L"..") {
                known.trimmedNames.insert(TrimmedKey(entry));
            }
        } while (::FindNextFileW(find.get(), &data));
        if (::GetLastError() != ERROR_NO_MORE_FILES) {
            return Placement::Unknown;
        }
        known.listed = true;
    }
    return known.trimmedNames.count(TrimmedKey(name)) != 0 ? Placement::NameInDoubt : Placement::InFolder;
}

void FolderLocations::NoteOwnDeletion(const std::wstring& folder) {
    auto found = known_.find(folder);
    if (found != known_.end() && found->second.listed) {
        // Only this run's own change: the entry it just removed.
        Known& known = found->second;
        known.listed = ChangeTimesOf(known.listedFolder.get(), known.listedAt);
    }
}

Placement PlacementOfPath(const std::wstring& path, FolderLocations& folders) {
    UniqueFile file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        return Placement::Unknown;
    }
    return PlacementOfEntry(file.get(), path, folders);
}

Placement PlacementOfEntry(void* file, const std::wstring& path, FolderLocations& folders) {
    const FolderAndName parts = SplitFolderAndName(path);
    std::wstring finalName;
    const Placement placement = PlacementOf(file, parts.folder, folders, finalName);
    if (placement == Placement::InFolder && !EqualsIgnoringCase(finalName, parts.name)) {
        return Placement::Elsewhere;
    }
    return placement;
}

bool IsPlainName(std::wstring_view name) {
    if (name.empty() || name == L"." || name == L"..") {
        return false;
    }
    for (wchar_t c : name) {
        if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
            return false;
        }
    }
    return true;
}

std::wstring KeepReasonText(KeepReason reason, unsigned long error) {
    switch (reason) {
        case KeepReason::Directory:
            return L"a directory";
        case KeepReason::Hidden:
            return L"hidden";
        case KeepReason::System:
            return L"a system file";
        case KeepReason::ReadOnly:
            return L"read-only";
        case KeepReason::WrongSuffix:
            return L"its own name does not end in .url";
        case KeepReason::NameChanged:
            return L"named by its 8.3 alias, where its own name is required";
        case KeepReason::ReachedElsewhere:
            return L"reached through a link to another file";
        case KeepReason::NameReportedOtherwise:
            return L"the folder lists its name otherwise than the file reports it (a dot or blank at its "
                   L"end)";
        case KeepReason::PlaceUnknown:
            return L"where it lies cannot be read";
        case KeepReason::UnsafeName:
            return L"its listed name holds a \\, a / or another character no Windows name holds";
        case KeepReason::NotOnDisk:
            return L"not a file on disk (a pipe or a device)";
        case KeepReason::SystemError:
            return SystemErrorMessage(error);
        case KeepReason::ListingFailed:
            return L"the folder cannot be listed: " + SystemErrorMessage(error);
        case KeepReason::None:
            break;
    }
    return std::wstring();
}

}  // namespace vantrel
