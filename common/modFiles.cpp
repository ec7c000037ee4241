#include "common/modFiles.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/Handle.h"
#include "common/modErrors.h"
#include "common/modFailOpen.h"
#include "common/modNames.h"
#include "common/modOpen.h"
#include "common/modPaths.h"

namespace vantrel {

namespace {

constexpr DWORD kNeverMatches = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

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

FileReport Kept(const Path& path, KeepReason reason, DWORD error = 0) {
    FileReport report;
    report.path = path;
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
KeepReason AliasOwnName(const Path& path, std::wstring_view reachedAs, const std::wstring& finalName,
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

// What a path reached, for the checks of the file open through it: the
// file's path, its folder, the name the path gave and what it may be.
struct Reached {
    const Path& path;
    const Path& folder;
    std::wstring_view name;
    NameSource source;
};

// The report of a file kept where it lies: reached through a link, spelled
// like another name, or its place not to be told.
FileReport KeptForItsPlace(HANDLE file, const Path& path, PlaceFound& place) {
    switch (place.placement) {
        case Placement::Elsewhere:
            return Kept(path, KeepReason::ReachedElsewhere);
        case Placement::NameInDoubt: {
            FileReport report = Kept(path, KeepReason::SpelledAlike);
            report.spelledAlikeIn = std::move(place.spelledAlikeIn);
            return report;
        }
        case Placement::Unknown:
        case Placement::InFolder:
            break;
    }
    return Kept(path, NotOnDiskOr(file, KeepReason::PlaceUnknown));
}

// The checks of a name: the file open under `finalName` is the one `reached`
// named, or the long name its 8.3 alias stands for, and ends in the
// required suffix. KeepReason::None in the report when it may go.
FileReport CheckName(const Reached& reached, const std::wstring& finalName,
                     std::wstring_view requiredSuffix) {
    std::wstring ownName = finalName;
    FileReport report = Kept(reached.path, KeepReason::None);
    if (!EqualsIgnoringCase(finalName, reached.name)) {
        if (reached.source == NameSource::OwnName) {
            report.reason = KeepReason::ReachedElsewhere;  // a link to another name in the same folder
            return report;
        }
        report.reason = AliasOwnName(reached.path, reached.name, finalName, ownName);
        if (report.reason != KeepReason::None) {
            return report;
        }
        report.path = reached.folder.Child(ownName);
        report.alias = std::wstring(reached.name);
        if (reached.source == NameSource::MustBeOwn) {
            report.reason = KeepReason::NameChanged;
            return report;
        }
    }
    if (!requiredSuffix.empty() && !EndsWithIgnoringCase(ownName, requiredSuffix)) {
        report.reason = KeepReason::WrongSuffix;
    }
    return report;
}

// Every check of the file open as `file`: what it is, where it lies, its
// name. KeepReason::None in the report when it may go.
FileReport CheckOpenFile(HANDLE file, const Reached& reached, std::wstring_view requiredSuffix,
                         FolderLocations& folders) {
    // The attributes and times in one request: GetFileInformationByHandle
    // also reads the volume's serial number, which under Wine costs more
    // than deleting the file.
    FILE_BASIC_INFO info;
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info)) {
        const DWORD error = ::GetLastError();
        return Kept(reached.path, NotOnDiskOr(file, KeepReason::SystemError), error);
    }
    if (KeepReason reason = KeepReasonFor(info.FileAttributes); reason != KeepReason::None) {
        return Kept(reached.path, reason);
    }
    PlaceFound place = PlacementOf(file, reached.folder, folders, LastChangeIn(info));
    if (place.placement != Placement::InFolder) {
        return KeptForItsPlace(file, reached.path, place);
    }
    return CheckName(reached, place.finalName, requiredSuffix);
}

// A file that passed every check: deleted through its handle, or, with
// `onlyCheck`, what the deletion would meet.
FileReport DeleteChecked(UniqueFile& file, FileReport report, bool onlyCheck) {
    if (onlyCheck) {
        // A pipe or device cannot be deleted through its handle.
        if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
            report.reason = KeepReason::NotOnDisk;
        } else {
            report.verdict = FileVerdict::WouldDelete;
        }
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
    report.verdict = FileVerdict::Deleted;
    return report;
}

// Checks the file `reached` names through one handle and, unless
// `onlyCheck`, deletes it through the same handle. A required suffix is
// always checked on the file's own name.
FileReport CheckAndDelete(const Reached& reached, std::wstring_view requiredSuffix, bool onlyCheck,
                          FolderLocations& folders) {
    UniqueFile file = OpenToDelete(reached.path);
    if (!file) {
        return Kept(reached.path, KeepReason::SystemError, ::GetLastError());
    }
    FileReport report = CheckOpenFile(file.get(), reached, requiredSuffix, folders);
    return report.reason == KeepReason::None ? DeleteChecked(file, std::move(report), onlyCheck) : report;
}

// Calls `onMatch(folder, name, attributes)` for every entry in the folder of
// `path` whose own name matches its final component, directories, hidden
// and system files and names that are no plain name included. Returns the
// failing error, or 0. With `folders`, a pattern's folder is listed through
// them, and that listing serves the checks of the files in it as well.
template <typename OnMatch>
DWORD ForEachMatchingEntry(const Path& path, OnMatch onMatch, FolderLocations* folders = nullptr) {
    const Path folder = path.Folder();
    const std::wstring pattern = path.Name();
    if (HasWildcards(WithoutLiteralPrefix(folder.Text()))) {
        return ERROR_INVALID_NAME;  // only the final component may hold wildcards
    }
    const NamePattern matcher(pattern);
    if (folders && HasWildcards(pattern)) {
        bool more = true;
        const DWORD error =
            folders->ListEntries(folder, [&](std::wstring_view name, unsigned long attributes) {
                if (more && matcher.Matches(name)) {
                    more = onMatch(folder, std::wstring(name).c_str(), attributes);
                }
            });
        return IsNotFound(error) || error == ERROR_DIRECTORY ? 0 : error;
    }
    // A pattern is matched here, by the rules above, against every name in
    // the folder: the system's own matcher also takes 8.3 aliases and
    // differs between systems (Wine finds nothing for "*?.txt").
    const Path query = HasWildcards(pattern) ? folder.Child(L"*") : path;
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileExW(query.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                       FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        DWORD error = ::GetLastError();
        return IsNotFound(error) || error == ERROR_NO_MORE_FILES ? 0 : error;
    }
    do {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L".." && matcher.Matches(name)) {
            if (!onMatch(folder, data.cFileName, data.dwFileAttributes)) {
                return 0;
            }
        }
    } while (::FindNextFileW(find.get(), &data));
    const DWORD error = ::GetLastError();
    return error == ERROR_NO_MORE_FILES ? 0 : error;
}

// Adds to the report, when one is asked for. A report that cannot grow
// (out of memory) loses the entry; the deletions go on all the same.
void Record(const DeleteOptions& options, FileReport&& report) noexcept {
    if (options.report) {
        SkipOnFailure([&] { options.report->push_back(std::move(report)); });
    }
}

bool DeletePlainPath(const Path& path, std::wstring_view requiredSuffix, const DeleteOptions& options,
                     FolderLocations& folders) {
    const std::wstring name = path.Name();
    if (name.empty()) {
        return false;
    }
    // The open may reach the file through its 8.3 alias, as the system's
    // own DeleteFile would; a required suffix is then checked on its own
    // name. Without a suffix the name must be the file's own.
    const NameSource source = !CouldBeShortName(name)  ? NameSource::OwnName
                              : requiredSuffix.empty() ? NameSource::MustBeOwn
                                                       : NameSource::MaybeAlias;
    const Path folder = path.Folder();
    FileReport report =
        CheckAndDelete({path, folder, name, source}, requiredSuffix, options.onlyCheck, folders);
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

bool DeleteByPattern(const Path& path, std::wstring_view requiredSuffix, const DeleteOptions& options,
                     FolderLocations& folders) {
    std::vector<std::wstring> names;
    DeleteOptions skipped = options;  // reported after the files deleted
    std::vector<FileReport> skippedReport;
    skipped.report = options.report ? &skippedReport : nullptr;
    const DWORD error = ForEachMatchingEntry(
        path,
        [&](const Path& folder, const wchar_t* name, DWORD attributes) {
            const KeepReason reason = KeepReasonFor(attributes & kNeverMatches);
            if (!IsPlainName(name)) {
                // Joined to its folder, it would reach into another one.
                Record(skipped, Kept(folder.Child(name), KeepReason::UnsafeName));
            } else if (reason != KeepReason::None) {
                Record(skipped, Kept(folder.Child(name), reason));
            } else if (requiredSuffix.empty() || EndsWithIgnoringCase(name, requiredSuffix)) {
                names.emplace_back(name);
            } else {
                Record(skipped, Kept(folder.Child(name), KeepReason::WrongSuffix));
            }
            return true;
        },
        &folders);
    const Path folder = path.Folder();
    bool allGone = error == 0 && !names.empty();
    for (const std::wstring& name : names) {
        // A listed name is the file's own long name; within a folder, long
        // names and aliases are unique together, so it reaches that file,
        // or a link of that name.
        const Path file = folder.Child(name);
        FileReport report = CheckAndDelete({file, folder, name, NameSource::OwnName}, requiredSuffix,
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

Match FindMatchingFile(const Path& path) {
    bool found = false;
    DWORD error = ForEachMatchingEntry(path, [&](const Path&, const wchar_t* name, DWORD attributes) {
        found = (attributes & kNeverMatches) == 0 && IsPlainName(name);
        return !found;  // one is enough
    });
    if (found) {
        return Match::Found;
    }
    return error == 0 ? Match::NotFound : Match::Unknown;
}

bool FileMatches(const Path& path) { return FindMatchingFile(path) == Match::Found; }

std::vector<std::wstring> NamesMatching(const Path& path) {
    std::vector<std::wstring> names;
    ForEachMatchingEntry(path, [&](const Path&, const wchar_t* name, DWORD) {
        names.emplace_back(name);
        return true;
    });
    return names;
}

bool DeleteFiles(const Path& path, std::wstring_view requiredSuffix, const DeleteOptions& options) {
    FolderLocations ownFolders;
    FolderLocations& folders = options.folders ? *options.folders : ownFolders;
    // A plain name needs no search: the checks are made on the opened file.
    return HasWildcards(path.Name()) ? DeleteByPattern(path, requiredSuffix, options, folders)
                                     : DeletePlainPath(path, requiredSuffix, options, folders);
}

FileReport DeleteOpenFile(UniqueFile& file, const Path& path, const DeleteOptions& options) {
    FolderLocations ownFolders;
    FolderLocations& folders = options.folders ? *options.folders : ownFolders;
    const Path folder = path.Folder();
    const std::wstring name = path.Name();
    FileReport report = CheckOpenFile(file.get(), {path, folder, name, NameSource::OwnName}, {}, folders);
    return report.reason == KeepReason::None ? DeleteChecked(file, std::move(report), options.onlyCheck)
                                             : report;
}

}  // namespace vantrel
