// Names that a system reports alike. Windows names its files one way, but a
// program may run where the files are another system's (Wine on Linux or
// macOS), whose names it writes in Windows' spelling:
//  - a dot at the end of a piece goes (a folder "D." is reported as "D", a
//    file "x.url." as "x.url"), and so may a blank;
//  - a backslash in a name reads as a separator ("sub\x.url" as the file
//    x.url in the folder sub);
//  - names that differ only in letter case are two names, where Windows
//    takes either for the other;
//  - bytes that are not UTF-8 all read as U+FFFD.
// A handle opened through a link is the file it points to, and its final
// path is then the target's in that spelling. So a final path names one
// file only where every piece of it is the one entry of that spelling in
// the folder before it: the folders on the way are listed to make sure.
//
// A listing shows every name bound before it began. A name bound later to
// a file, new or old (made, renamed, linked), stamps that file with the
// file system's clock, which is then no earlier than both the clock at
// the listing's start (less one tick of a coarse clock) and the folder's
// last change before it. So a listing is reused for a file that changed
// before both; any other file has the folders listed again while it is
// open. The system's own time guards against a folder stamped in the
// future; the folder's time against a file system whose clock runs behind
// this machine's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vantrel {

// What the folders on a path say about its spelling.
enum class Spelling {
    Once,     // every piece is the one entry of that spelling in its folder
    Shared,   // some folder on the way holds another entry of the same spelling
    Unknown,  // a folder on the way could not be listed, or the path is no full path
};

// What the folders on a path say, and where: the folder (as the system
// reports it) that holds another entry of the same spelling.
struct SpellingFound {
    Spelling spelling = Spelling::Unknown;
    std::wstring sharedIn;
};

// Whether a listing that began after `startedBefore` (the system's time,
// less a tick), of a folder last changed at `folderChanged` before it, shows
// every name of a file last changed at `fileChanged`: only when the file
// changed before both, for the file's own folder (`ownFolder`), and before
// the first for a folder further up. A file whose time is not known, or
// equal (a coarse clock stamps a whole tick alike), has its folders listed
// again.
bool ListingShowsNamesOf(int64_t startedBefore, int64_t folderChanged, std::optional<int64_t> fileChanged,
                         bool ownFolder);

// The form in which names that a system may report alike are the same:
// up to a backslash, without the dots and blanks at its end, upper-cased.
std::wstring SpellingKey(std::wstring_view name);

// The listings of the folders on the paths asked about in one run.
class SpellingChecks {
public:
    // Whether every piece of `reportedPath` is the one entry of its
    // spelling in the folder before it, and is that entry exactly.
    // `reportedPath` is a path as the system reports an open file's place:
    // \\?\C:\... or \\?\UNC\server\share\... . `fileChanged` is when the
    // open file last changed (none when it could not be read): a folder
    // listed before is listed again unless that time is earlier than the
    // listing's start and, for the file's own folder, than that folder's
    // last change before it. Further up, a folder's last change says
    // nothing about a file below it.
    SpellingFound Of(const std::wstring& reportedPath, std::optional<int64_t> fileChanged);

    // Lists the folder open as `folder`, whose place the system reports as
    // `reportedFolder` (empty when it is not known), calling `visit(name,
    // attributes)` for every entry but . and .., and keeps the listing as
    // that folder's: a pattern's folder is then listed once. The system's
    // error, or 0; ERROR_DIRECTORY when it is no folder.
    using EntryVisitor = std::function<void(std::wstring_view name, unsigned long attributes)>;
    unsigned long ListOpenFolder(HANDLE folder, const std::wstring& reportedFolder,
                                 const EntryVisitor& visit);

private:
    struct Listing {
        bool listed = false;
        int64_t startedBefore = 0;  // the system's time before the listing, less a tick
        int64_t folderChanged = 0;  // the folder's last change before it
        // Per entry: its spelling key's hash, and its exact name's. A clash
        // of two hashes only makes a name look shared.
        std::vector<std::pair<uint64_t, uint64_t>> entries;  // sorted

        size_t Count(uint64_t key) const;                // entries of that spelling
        bool Holds(uint64_t key, uint64_t exact) const;  // an entry of exactly that name
    };
    // The listing of `folder` (a path as the system reports it) fit for a
    // file that changed at `fileChanged`; listed again when it is not
    // (`fresh` then says so). `last`: the file's own folder.
    const Listing* ListingFor(const std::wstring& folder, std::optional<int64_t> fileChanged, bool last,
                              bool& fresh);
    // Whether `piece` is the one entry of its spelling in `folder`.
    Spelling PieceIn(const std::wstring& folder, std::wstring_view piece, std::optional<int64_t> fileChanged,
                     bool last);
    std::unordered_map<std::wstring, Listing> listings_;
};

}  // namespace vantrel
