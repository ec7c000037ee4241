// Finding and deleting files by a path whose final component may hold the
// wildcards * and ?.
//
// Rules shared by every procedure here:
//  - A file matches only by its own (long) name, compared without regard to
//    letter case. The file system's short 8.3 aliases never widen a match:
//    "*.txt" does not match "a.txtx", even where its alias is A~1.TXT.
//    A path without wildcards reaches a file by its alias too, as it does
//    everywhere in Windows; a required suffix is still checked on the
//    file's own name.
//  - * stands for any run of characters; ? for one character other than a
//    dot, or for none where the name has a dot or ends, as on Windows.
//  - Directories never match, and neither do files marked hidden or system.
//  - A read-only file matches, but is never deleted: the attribute is a
//    request to keep the file, and nothing here clears it.
//  - A file is checked and deleted through one open handle, opened without
//    following a final link, so the file deleted is the file checked.
//  - A file is deleted only through a handle that is the entry that was
//    named (common/modPlaces): its final path in its folder's, under the
//    name given (or, for an 8.3 alias, the long name the folder lists for
//    it). So on every system a link is removed itself or kept, never its
//    target.
//  - A name from a folder listing that holds a separator, or any other
//    character no Windows name holds, is never joined to its folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Handle.h"
#include "common/modPaths.h"
#include "common/modPlaces.h"

namespace vantrel {

enum class Match {
    Found,     // at least one file matches
    NotFound,  // the folder holds no matching file, or does not exist
    Unknown,   // the test itself failed (drive not ready, access denied ...)
};

Match FindMatchingFile(const Path& path);

// True when at least one file matches `path`.
bool FileMatches(const Path& path);

// The names in the folder of `path` that its final component matches,
// every kind of entry included.
std::vector<std::wstring> NamesMatching(const Path& path);

// What became, or would become, of one file that a path reached.
// AlreadyGone: the listing named it, but it was gone when it was opened
// (another run, or someone else, deleted it first).
enum class FileVerdict { Deleted, WouldDelete, Kept, AlreadyGone };

enum class KeepReason {
    None,
    Directory,
    Hidden,
    System,
    ReadOnly,
    WrongSuffix,       // its own name does not end in the required suffix
    NameChanged,       // named by an 8.3 alias where its own name is required
    ReachedElsewhere,  // the handle's final path is not the entry named: a link to another file
    SpelledAlike,      // another name on its final path's way is spelled the same (spelledAlikeIn)
    PlaceUnknown,      // the handle's final path could not be read
    UnsafeName,        // its listed name holds a separator or another character no name holds
    NotOnDisk,         // not a file on disk (a pipe, a device)
    SystemError,       // the system refused: the error code tells why
    ListingFailed,     // a pattern's folder could not be listed (whole): the error code tells why
};

struct FileReport {
    Path path;  // by the file's own long name, where it is known
    FileVerdict verdict = FileVerdict::Kept;
    KeepReason reason = KeepReason::None;
    unsigned long error = 0;      // with KeepReason::SystemError
    std::wstring alias;           // the 8.3 alias the path named the file by, if it did
    std::wstring spelledAlikeIn;  // with KeepReason::SpelledAlike: the folder that holds the other name
};

// Why a file with these attributes is never deleted; None when it may be.
KeepReason KeepReasonFor(unsigned long attributes);

struct DeleteOptions {
    // Make every check, through the same handle, but delete nothing:
    // Deleted becomes WouldDelete.
    bool onlyCheck = false;
    // When given, gets a report of every file the path reached: each one
    // deleted or kept, and, for a pattern, also the directories, hidden and
    // system files it matched (never deleted, and not counted as matches).
    std::vector<FileReport>* report = nullptr;
    // Folders whose place is known already; without them, each call asks
    // afresh.
    FolderLocations* folders = nullptr;
};

// Deletes every file that matches `path`. With a `requiredSuffix`, only a
// file whose own name ends in it (in any letter case) can be deleted, and
// a path without wildcards may name it by its 8.3 alias; without one, the
// final piece must be the file's own name. Returns false when nothing
// matched or any matching file stayed (would stay, with onlyCheck).
bool DeleteFiles(const Path& path, std::wstring_view requiredSuffix = {}, const DeleteOptions& options = {});

// Checks and deletes (or with onlyCheck checks) the file already open as
// `file` (common/modOpen: OpenToDelete or OpenToReadAndDelete), which
// `path` named by its own name, as DeleteFiles checks and deletes a file
// it opened itself; no suffix is required.
FileReport DeleteOpenFile(UniqueFile& file, const Path& path, const DeleteOptions& options);

}  // namespace vantrel
