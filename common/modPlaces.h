// Where files and folders really lie: the final path the system reports
// for an open handle, against the folder a path named.
//
//  - Some systems (Wine among them) open a symbolic link as the file it
//    points to, and nothing else a program reads tells the two apart; only
//    the handle's final path shows it. A file is the entry a path named
//    only when its final path lies in its folder's own final path, under
//    the name given. A folder on the way that is itself a link is fine: it
//    is compared by its final path, letter for letter.
//  - A folder's final path counts only once it is shown to lead back to
//    the folder itself. Wine reports a folder whose name ends in a dot or a
//    blank without them, which names another folder or none; there the
//    file's own final path must be the entry exactly as it was named.
//  - Some systems (Wine) report a name that ends in dots or blanks without
//    them. A file whose folder lists such a name, which without them is the
//    name the file reports, is in doubt. The folder is asked while the file
//    is open. A listing taken earlier is trusted only for a file that has
//    not changed since the folder's change time read before that listing:
//    a name bound to a file (made, renamed, linked) stamps the file's change
//    time, and nothing made later can carry an earlier stamp.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "common/Handle.h"

namespace vantrel {

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

    // What of a place is asked for: the final path alone, or the path
    // within the volume too (for a file that has no final path).
    enum class Asked { FinalPath, AlsoVolumePath };

    // The place of `folder` (as a file path's folder part, with its
    // trailing separator); empty when the folder cannot be opened.
    const Place& Of(const std::wstring& folder, Asked asked = Asked::FinalPath);

    // Whether `folder` lists a name that ends in a dot or a blank and that,
    // without them, is `name` (letter case aside): NameInDoubt when it does,
    // InFolder when not, Unknown when the folder cannot be listed. Some
    // systems (Wine) report such a name without its end, so a link of the
    // shorter name to it reports the name it was reached by. `fileChanged`
    // is the change time of the file open under `name`, read through its
    // handle (none when it could not be read): the folder is listed again
    // unless that time is earlier than the folder's change time read before
    // the last listing.
    Placement NameReportedIn(const std::wstring& folder, std::wstring_view name,
                             std::optional<int64_t> fileChanged);

private:
    struct Known {
        Place place;
        bool finalAsked = false;
        bool volumeAsked = false;
        bool listed = false;
        int64_t listedAfter = 0;              // the folder's last change before its listing began
        std::set<std::wstring> trimmedNames;  // upper-cased, without the dots and blanks at their end
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

}  // namespace vantrel
