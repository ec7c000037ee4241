#include "common/modSpellings.h"

#include <windows.h>

#include <algorithm>

#include "common/Handle.h"
#include "common/modNames.h"
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

// The root of a path as the system reports a place (\\?\C: or
// \\?\UNC\server\share) and where its pieces begin; npos when it has none.
size_t RootLength(std::wstring_view path) {
    if (path.substr(0, kLiteralPrefix.size()) != kLiteralPrefix) {
        return std::wstring_view::npos;
    }
    const std::wstring_view rest = path.substr(kLiteralPrefix.size());
    if (rest.size() >= 2 && IsDriveLetter(rest[0]) && rest[1] == L':' &&
        (rest.size() == 2 || rest[2] == L'\\')) {
        return kLiteralPrefix.size() + 2;
    }
    if (rest.size() > 4 && EqualsIgnoringCase(rest.substr(0, 4), L"UNC\\")) {
        const size_t server = rest.find(L'\\', 4);
        if (server == std::wstring_view::npos || server == 4) {
            return std::wstring_view::npos;
        }
        const size_t share = rest.find(L'\\', server + 1);
        const size_t end = share == std::wstring_view::npos ? rest.size() : share;
        return end == server + 1 ? std::wstring_view::npos : kLiteralPrefix.size() + end;
    }
    return std::wstring_view::npos;
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
    const std::wstring path = folder.size() == RootLength(folder) ? folder + L"\\" : folder;
    UniqueFile handle(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
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
    if (key.size() > RootLength(key) && key.back() == L'\\') {
        key.pop_back();
    }
    listings_[key] = std::move(listing);
    return 0;
}

SpellingFound SpellingChecks::Of(const std::wstring& reportedPath, std::optional<int64_t> fileChanged) {
    const size_t root = RootLength(reportedPath);
    if (root == std::wstring::npos || root == reportedPath.size()) {
        return {};
    }
    for (size_t start = root + 1; start <= reportedPath.size();) {
        const size_t end = std::min(reportedPath.find(L'\\', start), reportedPath.size());
        const std::wstring_view piece = std::wstring_view(reportedPath).substr(start, end - start);
        if (piece.empty()) {
            return {};
        }
        std::wstring folder = reportedPath.substr(0, start - 1);
        const bool last = end == reportedPath.size();
        bool fresh = false;
        const Listing* listing = ListingFor(folder, fileChanged, last, fresh);
        if (!listing) {
            return {};
        }
        const uint64_t key = HashOf(SpellingKey(piece));
        size_t alike = listing->Count(key);
        if (alike == 0 && !fresh) {
            // Not listed, though open through it: made since the listing.
            listing = ListingFor(folder, std::nullopt, last, fresh);
            alike = listing ? listing->Count(key) : 0;
            if (!listing) {
                return {};
            }
        }
        // A folder that a fresh listing does not show at all is one the
        // system keeps out of listings (Wine its own prefix): nothing else
        // of its spelling shows there either.
        if (alike > 1 || (alike == 1 && !listing->Holds(key, HashOf(piece)))) {
            return {Spelling::Shared, std::move(folder)};
        }
        start = end + 1;
    }
    return {Spelling::Once, {}};
}

}  // namespace vantrel
