#include "common/modSpellings.h"

#include <windows.h>

#include <algorithm>

#include "common/Handle.h"
#include "common/modNames.h"
#include "common/modOpen.h"
#include "common/modPaths.h"

namespace vantrel {

namespace {

// A coarse file system clock stamps a change with the time of its last
// tick: up to 15.6 ms early on Windows, up to 10 ms on Linux. Two of
// Windows' ticks, in the 100 ns units of a file time.
constexpr int64_t kClockTick = 320000;

uint64_t HashOf(std::wstring_view text) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (wchar_t c : text) {
        hash = (hash ^ static_cast<uint16_t>(c)) * 1099511628211ull;
    }
    return hash;
}

int64_t SystemTimeNow() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

// Calls `visit` for every entry of the folder open as `folder` but . and
// .. ; the system's error, or 0.
DWORD ForEachEntry(HANDLE folder, const std::function<void(std::wstring_view, DWORD)>& visit) {
    std::vector<unsigned char> buffer(64 * 1024);
    FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(folder, kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
            const DWORD error = ::GetLastError();
            return error == ERROR_NO_MORE_FILES ? 0 : error;
        }
        kind = FileFullDirectoryInfo;
        for (size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer.data() + at);
            const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                visit(name, entry->FileAttributes);
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
            at += entry->NextEntryOffset;
        }
    }
}

}  // namespace

bool ListingShowsNamesOf(int64_t startedBefore, int64_t folderChanged, std::optional<int64_t> fileChanged,
                         bool ownFolder) {
    return fileChanged && *fileChanged < startedBefore && (!ownFolder || *fileChanged < folderChanged);
}

std::wstring SpellingKey(std::wstring_view name) {
    name = name.substr(0, name.find(L'\\'));
    const size_t kept = name.find_last_not_of(L". ");
    return UpperCase(name.substr(0, kept == std::wstring_view::npos ? 0 : kept + 1));
}

size_t SpellingChecks::Listing::Count(uint64_t key) const {
    const auto same = std::equal_range(entries.begin(), entries.end(), std::make_pair(key, uint64_t{0}),
                                       [](const auto& a, const auto& b) { return a.first < b.first; });
    return static_cast<size_t>(same.second - same.first);
}

bool SpellingChecks::Listing::Holds(uint64_t key, uint64_t exact) const {
    return std::binary_search(entries.begin(), entries.end(), std::make_pair(key, exact));
}

const SpellingChecks::Listing* SpellingChecks::ListingFor(const std::wstring& folder,
                                                          std::optional<int64_t> fileChanged, bool last,
                                                          bool& fresh) {
    Listing& listing = listings_[folder];
    if (listing.listed &&
        ListingShowsNamesOf(listing.startedBefore, listing.folderChanged, fileChanged, last)) {
        return &listing;
    }
    // Listed now, while the file is open: whatever was bound to it before
    // shows.
    fresh = true;
    listing = Listing();
    // A root is opened with its separator; without, it names the volume.
    const std::wstring path = folder.size() == FinalPathRoot(folder).size() ? folder + L"\\" : folder;
    const UniqueFile handle = OpenFolderToList(Path(path));
    if (!handle || ListOpenFolder(handle.get(), folder, [](std::wstring_view, unsigned long) {}) != 0) {
        return nullptr;
    }
    return &listing;
}

unsigned long SpellingChecks::ListOpenFolder(HANDLE folder, const std::wstring& reportedFolder,
                                             const EntryVisitor& visit) {
    Listing listing;
    listing.startedBefore = SystemTimeNow() - kClockTick;
    FILE_BASIC_INFO basic;
    if (!::GetFileInformationByHandleEx(folder, FileBasicInfo, &basic, sizeof basic)) {
        return ::GetLastError();
    }
    if ((basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return ERROR_DIRECTORY;
    }
    listing.folderChanged = std::max(basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart);
    const DWORD error = ForEachEntry(folder, [&](std::wstring_view name, DWORD attributes) {
        listing.entries.emplace_back(HashOf(SpellingKey(name)), HashOf(name));
        visit(name, attributes);
    });
    if (error != 0 || reportedFolder.empty()) {
        return error;
    }
    std::sort(listing.entries.begin(), listing.entries.end());
    listing.listed = true;
    std::wstring key = reportedFolder;
    if (key.size() > FinalPathRoot(key).size() && key.back() == L'\\') {
        key.pop_back();
    }
    listings_[key] = std::move(listing);
    return 0;
}

Spelling SpellingChecks::PieceIn(const std::wstring& folder, std::wstring_view piece,
                                 std::optional<int64_t> fileChanged, bool last) {
    bool fresh = false;
    const Listing* listing = ListingFor(folder, fileChanged, last, fresh);
    if (!listing || piece.empty()) {
        return Spelling::Unknown;
    }
    const uint64_t key = HashOf(SpellingKey(piece));
    size_t alike = listing->Count(key);
    if (alike == 0 && !fresh) {
        // Not listed, though open through it: made since the listing.
        listing = ListingFor(folder, std::nullopt, last, fresh);
        if (!listing) {
            return Spelling::Unknown;
        }
        alike = listing->Count(key);
    }
    // A piece that a fresh listing does not show at all is one the system
    // keeps out of listings (Wine its own prefix): nothing else of its
    // spelling shows there either.
    return alike > 1 || (alike == 1 && !listing->Holds(key, HashOf(piece))) ? Spelling::Shared
                                                                            : Spelling::Once;
}

SpellingFound SpellingChecks::Of(const std::wstring& reportedPath, std::optional<int64_t> fileChanged) {
    const std::wstring_view root = FinalPathRoot(reportedPath);
    if (root.empty() || root.size() == reportedPath.size()) {
        return {};
    }
    const std::vector<std::wstring_view> pieces =
        PiecesOf(std::wstring_view(reportedPath).substr(root.size() + 1));
    std::wstring folder(root);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Spelling spelling = PieceIn(folder, pieces[i], fileChanged, i + 1 == pieces.size());
        if (spelling != Spelling::Once) {
            return {spelling, spelling == Spelling::Shared ? folder : std::wstring()};
        }
        folder += L'\\';
        folder += pieces[i];
    }
    return {Spelling::Once, {}};
}

}  // namespace vantrel
