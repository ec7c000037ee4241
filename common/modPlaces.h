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
//  - Some systems (Wine) report two names alike: "D." as "D", "sub\x.url"
//    as sub\x.url, and so on. A link open as its target then shows a final
//    path spelled like the link's own. A final path counts only where every
//    piece of it is the one entry of that spelling in the folder before it
//    (common/modSpellings); otherwise the name is in doubt.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "common/Handle.h"
#include "common/modPaths.h"
#include "common/modSpellings.h"

namespace vantrel {

// Where an open file lies against the folder it was named in: in it, a
// link to another file, in it under a final path that another name on the
// way is spelled like (in doubt), or not to be told.
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
    // `opened`, when given, is a handle to it already open.
    const Place& Of(const Path& folder, Asked asked = Asked::FinalPath, HANDLE opened = INVALID_HANDLE_VALUE);

    // Lists `folder` (as above) for a caller that wants its entries: calls
    // `visit(name, attributes)` for each, and keeps the listing for the
    // spelling of the files in it (common/modSpellings), so that a
    // pattern's folder is listed once. The system's error, or 0; a folder
    // that is not there is an error of its own (IsNotFound).
    unsigned long ListEntries(const Path& folder, const SpellingChecks::EntryVisitor& visit);

    // Whether every piece of `reportedPath`, the place of a file open as
    // one that changed at `fileChanged`, is the one entry of its spelling
    // (common/modSpellings).
    SpellingFound SpellingOf(const std::wstring& reportedPath, std::optional<int64_t> fileChanged) {
        return spellings_.Of(reportedPath, fileChanged);
    }

private:
    struct Known {
        Place place;
        bool finalAsked = false;
        bool volumeAsked = false;
    };
    std::map<std::wstring, Known> known_;
    SpellingChecks spellings_;
};

// Where an open file lies, with the last piece of its reported path (the
// name it lies under) and, when the name is in doubt, the folder (spelled
// the ordinary way) that holds another entry spelled like a piece of it.
struct PlaceFound {
    Placement placement = Placement::Unknown;
    std::wstring finalName;
    std::wstring spelledAlikeIn;
};

// Whether the file open as `file` is the entry of that name in `folder`:
// its final path lies in the folder's own final path. Where the system
// gives no final path (Wine past MAX_PATH), the paths within the volume
// (FileNameInfo, which shows a link as well) and the volume's serial number
// are compared instead; Unknown when neither can be had. NameInDoubt: in
// the folder, but some folder on the file's reported path holds another
// entry of the same spelling.
// `changed` is the file's last change, read through its handle (none when
// it could not be read).
PlaceFound PlacementOf(void* file, const Path& folder, FolderLocations& folders,
                       std::optional<int64_t> changed);

// When the open file or folder last changed: the later of its last write
// and change times; none when they cannot be read.
std::optional<int64_t> LastChangeOf(void* handle);
int64_t LastChangeIn(const FILE_BASIC_INFO& basic);

// Whether `path`, opened for the question only, is the entry it names: in
// its folder, under the name it gives (not an 8.3 alias); Elsewhere for a
// link to another file.
PlaceFound PlacementOfPath(const Path& path, FolderLocations& folders);

// The same for a file already open as `file`.
PlaceFound PlacementOfEntry(void* file, const Path& path, FolderLocations& folders);

}  // namespace vantrel
