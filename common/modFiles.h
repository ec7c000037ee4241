// Finding and deleting files by a path whose final component may hold the
// wildcards * and ?.
//
// Rules shared by every procedure here:
//  - A file matches only by its own (long) name, compared without regard to
//    letter case. The file system's short 8.3 aliases never widen a match:
//    "*.url" does not match "a.urlx", even where its alias is A~1.URL.
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
//  - A file is deleted only through a handle whose final path is the entry
//    that was named: its folder's own final path, and the name given (or,
//    for an 8.3 alias, the long name the folder lists for it). Some systems
//    (Wine among them) open a symbolic link as the file it points to, and
//    nothing else a program reads tells the two apart; so on every system
//    a link is removed itself or kept, never its target. A folder on the
//    way that is itself a link is fine: it is compared by its final path,
//    letter for letter, once that final path is shown to lead back to the
//    folder itself. Where it does not (Wine reports a folder whose name ends
//    in a dot or a blank without them, which names another folder or none),
//    the final path is not used: the file's own final path must then be the
//    entry exactly as it was named. Where the folder also lists a name
//    ending in a dot or a blank that, without them, is the name the file
//    reports, the file is kept: some systems (Wine) report such a name
//    without its end. The folder is asked while the file is open, just
//    before it is deleted, so a name that appears late is seen too.
//  - A name from a folder listing that holds a separator, or any other
//    character no Windows name holds, is never joined to its folder.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Handle.h"

namespace vantrel {

enum class Match {
    Found,     // at least one file matches
    NotFound,  // the folder holds no matching file, or does not exist
    Unknown,   // the test itself failed (drive not ready, access denied ...)
};

Match FindMatchingFile(const std::wstring& path);

// True when at least one file matches `path`.
bool FileMatches(const std::wstring& path);

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
    WrongSuffix,            // its own name does not end in the required suffix
    NameChanged,            // named by an 8.3 alias where its own name is required
    ReachedElsewhere,       // the handle's final path is not the entry named: a link to another file
    NameReportedOtherwise,  // the folder lists its own name otherwise than the file reports it
    PlaceUnknown,           // the handle's final path could not be read
    UnsafeName,             // its listed name holds a separator or another character no name holds
    NotOnDisk,              // not a file on disk (a pipe, a device)
    SystemError,            // the system refused: the error code tells why
    ListingFailed,          // a pattern's folder could not be listed (whole): the error code tells why
};

struct FileReport {
    std::wstring path;  // by the file's own long name, where it is known
    FileVerdict verdict = FileVerdict::Kept;
    KeepReason reason = KeepReason::None;
    unsigned long error = 0;  // with KeepReason::SystemError
    std::wstring alias;       // the 8.3 alias the path named the file by, if it did
};

// Why a file with these attributes is never deleted; None when it may be.
KeepReason KeepReasonFor(unsigned long attributes);

// "read-only", "hidden", "Error 32 The process cannot access ..." ...
std::wstring KeepReasonText(KeepReason reason, unsigned long error);

// Where an open file lies against the folder it was named in: in it, a
// link to another file, in it under a name in doubt, or not to be told.
enum class Placement { InFolder, Elsewhere, NameInDoubt, Unknown };

// Where folders really lie: each folder's own final path, asked once
// through a handle to the folder and kept for every file in it, so that a
// file costs one request more than its deletion, not two. A folder that is
// replaced meanwhile only makes files in it stay.
class FolderLocations {
public:
    // Where an open file or folder lies.
    struct Place {
        std::wstring finalPath;    // its normalised final path with its drive; empty when not given
        std::wstring volumePath;   // otherwise its path within its volume (FileNameInfo)
        unsigned long volume = 0;  // and that volume's serial number
        // The system reports the folder under a path that does not lead back
        // to it (Wine drops the dots and blanks at the end of its name): the
        // paths above are then the folder as it was named, which a file in
        // it must match exactly.
        bool reportedOtherwise = false;
    };

    // The place of `folder` (as a file path's folder part, with its
    // trailing separator); empty when the folder cannot be opened. With
    // `withVolumePath`, the volume path is given too.
    const Place& Of(const std::wstring& folder, bool withVolumePath = false);

    // Whether `folder` lists a name that ends in a dot or a blank and that,
    // without them, is `name` (letter case aside): NameInDoubt when it does,
    // InFolder when not, Unknown when the folder cannot be listed. Some
    // systems (Wine) report such a name without its end, so a link of the
    // shorter name to it reports the name it was reached by. The folder is
    // listed again whenever its entries changed since it was last listed.
    Placement NameReportedIn(const std::wstring& folder, std::wstring_view name);

    // This run just deleted a file in `folder`: a listing taken before still
    // holds, as the only change is the entry that went.
    void NoteOwnDeletion(const std::wstring& folder);

private:
    struct Known {
        Place place;
        bool finalAsked = false;
        bool volumeAsked = false;
        bool listed = false;
        UniqueFile listedFolder;               // the folder as it was listed
        std::pair<int64_t, int64_t> listedAt;  // its last write and change times then
        std::set<std::wstring> trimmedNames;   // upper-cased, without the dots and blanks at their end
    };
    std::map<std::wstring, Known> known_;
};

// Whether the file open as `file` is the entry of that name in `folder`:
// its final path lies in the folder's own final path. Where the system
// gives no final path (Wine past MAX_PATH), the paths within the volume
// (FileNameInfo, which shows a link as well) and the volume's serial number
// are compared instead; Unknown when neither can be had. NameInDoubt: in
// the folder, but the folder also lists a name ending in a dot or a blank
// that the system may report as `finalName`, which gets the last piece of
// the file's path.
Placement PlacementOf(void* file, const std::wstring& folder, FolderLocations& folders,
                      std::wstring& finalName);

// Whether `path`, opened for the question only, is the entry it names: in
// its folder, under the name it gives (not an 8.3 alias); Elsewhere for a
// link to another file.
Placement PlacementOfPath(const std::wstring& path, FolderLocations& folders);

// The same for a file already open as `file`.
Placement PlacementOfEntry(void* file, const std::wstring& path, FolderLocations& folders);

// Whether `name` could stand as one piece of a Windows path: no separator,
// no wildcard, colon, < > " | or control character, not "." or "..".
bool IsPlainName(std::wstring_view name);

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
bool DeleteFiles(const std::wstring& path, std::wstring_view requiredSuffix = {},
                 const DeleteOptions& options = {});

bool HasWildcards(std::wstring_view text);

// Matches a file name against a pattern of the kind described above.
bool NameMatchesPattern(std::wstring_view name, std::wstring_view pattern);

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b);
bool EndsWithIgnoringCase(std::wstring_view text, std::wstring_view suffix);

}  // namespace vantrel
