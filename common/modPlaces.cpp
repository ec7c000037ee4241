#include "common/modPlaces.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "common/modNames.h"
#include "common/modOpen.h"
#include "common/modPaths.h"
#include "common/modText.h"

namespace vantrel {

namespace {

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
    std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + (kLongestPath + 1) * sizeof(wchar_t));
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
    const UniqueFile reported = OpenToAsk(Path(path));
    return reported && SameObject(reported.get(), folder);
}

// Whether `finalPath` is the folder `folder` (a path's folder part) as it
// was named, letter for letter: then it leads back to the folder opened.
bool SpelledAsNamed(const std::wstring& finalPath, const Path& folder) {
    const Path::FinalSpelling named = folder.AsFinalPath();
    if (named.root.empty()) {
        return false;
    }
    std::wstring_view rest = named.rest;
    if (rest.size() > 1 && rest.back() == L'\\') {
        rest.remove_suffix(1);
    }
    return finalPath.size() == named.root.size() + rest.size() &&
           std::wstring_view(finalPath).substr(0, named.root.size()) == named.root &&
           std::wstring_view(finalPath).substr(named.root.size()) == rest;
}

}  // namespace

const FolderLocations::Place& FolderLocations::Of(const Path& folder, Asked asked, HANDLE opened) {
    Known& known = known_[folder.Text()];
    if (known.finalAsked && (known.volumeAsked || asked == Asked::FinalPath)) {
        return known.place;
    }
    // Following links: a folder on the way may be one.
    UniqueFile own;
    if (opened == INVALID_HANDLE_VALUE) {
        own = OpenToAsk(folder);
        opened = own.get();
    }
    const HANDLE handle = opened;
    Place& place = known.place;
    if (!known.finalAsked) {
        known.finalAsked = true;
        if (handle != INVALID_HANDLE_VALUE) {
            place.finalPath = FinalPathOf(handle);
            // A final path spelled as the folder was named leads back to it.
            if (!place.finalPath.empty() && !SpelledAsNamed(place.finalPath, folder) &&
                !LeadsBackTo(place.finalPath, handle)) {
                const Path::FinalSpelling named = folder.AsFinalPath();
                place.reportedOtherwise = true;
                place.finalPath = named.root.empty() ? std::wstring() : named.root + named.rest;
            }
        }
    }
    if (asked == Asked::AlsoVolumePath && !known.volumeAsked) {
        known.volumeAsked = true;
        if (handle != INVALID_HANDLE_VALUE && VolumePathOf(handle, place.volumePath, place.volume)) {
            // Found again from the named root, or the folder as named.
            const Path::FinalSpelling named = folder.AsFinalPath();
            if (named.root.empty() || !LeadsBackTo(named.root + place.volumePath, handle)) {
                place.reportedOtherwise = true;
                place.volumePath = named.rest;
            }
        }
    }
    return place;
}

unsigned long FolderLocations::ListEntries(const Path& folder, const SpellingChecks::EntryVisitor& visit) {
    const UniqueFile handle = OpenFolderToList(folder);
    if (!handle) {
        return ::GetLastError();
    }
    const Place& place = Of(folder, Asked::FinalPath, handle.get());
    return spellings_.ListOpenFolder(handle.get(), place.finalPath, visit);
}

// A folder's move with every entry made, removed or renamed in it; a
// file's with every name bound to it, as the file system stamps the file
// it names.
int64_t LastChangeIn(const FILE_BASIC_INFO& basic) {
    return std::max(basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart);
}

std::optional<int64_t> LastChangeOf(void* handle) {
    FILE_BASIC_INFO basic;
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
        return std::nullopt;
    }
    return LastChangeIn(basic);
}

PlaceFound PlacementOf(void* file, const Path& folder, FolderLocations& folders,
                       std::optional<int64_t> changed) {
    PlaceFound found;
    if (folder.Empty()) {
        return found;
    }
    std::wstring reported = FinalPathOf(file);
    const FolderLocations::Place* place = reported.empty() ? nullptr : &folders.Of(folder);
    if (place && !place->finalPath.empty()) {
        found.placement = IsNameIn(reported, place->finalPath, found.finalName) ? Placement::InFolder
                                                                                : Placement::Elsewhere;
    } else {
        // Either final path is missing: compare the paths within the volume.
        std::wstring volumePath;
        unsigned long volume = 0;
        place = &folders.Of(folder, FolderLocations::Asked::AlsoVolumePath);
        if (!VolumePathOf(file, volumePath, volume) || place->volumePath.empty()) {
            return found;
        }
        found.placement = volume == place->volume && IsNameIn(volumePath, place->volumePath, found.finalName)
                              ? Placement::InFolder
                              : Placement::Elsewhere;
        reported = folder.AsFinalPath().root + volumePath;
    }
    if (found.placement != Placement::InFolder) {
        return found;
    }
    // Some systems (Wine) report two names alike, and a link is then open as
    // the file it points to, under a final path spelled like the link's own.
    SpellingFound spelling = folders.SpellingOf(reported, changed);
    switch (spelling.spelling) {
        case Spelling::Once:
            break;
        case Spelling::Shared:
            found.placement = Placement::NameInDoubt;
            found.spelledAlikeIn = OrdinaryPath(spelling.sharedIn);
            break;
        case Spelling::Unknown:
            found.placement = Placement::Unknown;
            break;
    }
    return found;
}

PlaceFound PlacementOfPath(const Path& path, FolderLocations& folders) {
    const UniqueFile file = OpenToAsk(path);
    if (!file) {
        return {};
    }
    return PlacementOfEntry(file.get(), path, folders);
}

PlaceFound PlacementOfEntry(void* file, const Path& path, FolderLocations& folders) {
    PlaceFound found = PlacementOf(file, path.Folder(), folders, LastChangeOf(file));
    if (found.placement == Placement::InFolder && !EqualsIgnoringCase(found.finalName, path.Name())) {
        found.placement = Placement::Elsewhere;
    }
    return found;
}

}  // namespace vantrel
