// The floors the sweep is measured against: the same deletions made with
// nothing but the file system's own calls.
//
// Like the sweep it reads __shortcutsweep-<lang>.ini beside itself for en,
// de, fr and ja (UTF-8 after a three-byte mark), takes every piece followed
// by CR LF as a path and deletes it; a path with * or ? is listed with
// FindFirstFileExW and each file found deleted by name. Then it deletes the
// manifest, and at the end __shortcutsweep.bat, both with DeleteFileW. A
// path on a drive is used in its \\?\ form, as the sweep uses it: the
// system then takes it as it is, which costs less than parsing it.
//
// Built twice from this file:
//   floor.exe          DeleteFileW on each path, no checks at all;
//   checked_floor.exe  (BENCH_CHECKED_FLOOR) the least a checked delete can
//                      do: one handle opened without following a final
//                      link, its attributes and its final path read through
//                      it (the folder's own final path asked once per
//                      folder), the file deleted through it unless they
//                      forbid it, the handle closed. No other call.
//   listed_floor.exe   (BENCH_CHECKED_FLOOR and BENCH_LISTED_FLOOR) the same,
//                      with every folder it deletes from listed whole once
//                      (FindFirstFileExW on folder\*, every name kept): the
//                      least a check of the names beside a file costs. A
//                      wildcard line's folder is listed whole, matched here,
//                      and that listing is the folder's one.
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring ReadManifest(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    std::vector<char> bytes;
    LARGE_INTEGER size;
    if (::GetFileSizeEx(file, &size) && size.QuadPart > 3 && size.QuadPart < 0x40000000) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
            got = 0;
        }
        bytes.resize(got);
    }
    ::CloseHandle(file);
    if (bytes.size() <= 3) {
        return std::wstring();
    }
    const int count = static_cast<int>(bytes.size() - 3);
    std::wstring text(bytes.size() - 3, L'\0');
    int units = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data() + 3, count, text.data(), count);
    text.resize(units > 0 ? static_cast<size_t>(units) : 0);
    return text;
}

#ifdef BENCH_CHECKED_FLOOR
std::wstring FinalPath(HANDLE handle) {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length =
        ::GetFinalPathNameByHandleW(handle, buffer, MAX_PATH + 1, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

// The final path of the folder a file was named in, asked once per folder,
// as the sweep asks it: lines of many folders may take turns.
const std::wstring& FolderFinalPath(const std::wstring& folder) {
    static std::map<std::wstring, std::wstring> known;
    auto found = known.find(folder);
    if (found != known.end()) {
        return found->second;
    }
    HANDLE handle = ::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    std::wstring final = handle == INVALID_HANDLE_VALUE ? std::wstring() : FinalPath(handle) + L"\\";
    if (handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
    }
    return known.emplace(folder, std::move(final)).first->second;
}

#ifdef BENCH_LISTED_FLOOR
// Every name in `folder`, listed once a run.
const std::set<std::wstring>& FolderNames(const std::wstring& folder) {
    static std::map<std::wstring, std::set<std::wstring>> listed;
    auto found = listed.find(folder);
    if (found != listed.end()) {
        return found->second;
    }
    std::set<std::wstring>& names = listed[folder];
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            names.insert(data.cFileName);
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    return names;
}
#endif

void DeleteOne(const std::wstring& path) {
#ifdef BENCH_LISTED_FLOOR
    FolderNames(path.substr(0, path.find_last_of(L'\\') + 1));
#endif
    HANDLE file = ::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    constexpr DWORD kKept =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    const std::wstring& folderFinal = FolderFinalPath(folder);
    if (::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
        (tag.FileAttributes & kKept) == 0 && !folderFinal.empty() &&
        FinalPath(file).compare(0, folderFinal.size(), folderFinal) == 0) {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    }
    ::CloseHandle(file);
}
#else
void DeleteOne(const std::wstring& path) { ::DeleteFileW(path.c_str()); }
#endif

void DeleteListed(std::wstring path) {
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') {
        path.insert(0, L"\\\\?\\");
    }
    const size_t cut = path.find_last_of(L'\\') + 1;  // wildcards only in the final piece
    if (path.find_first_of(L"*?", cut) == std::wstring::npos) {
        DeleteOne(path);
        return;
    }
    const std::wstring folder = path.substr(0, cut);
    std::vector<std::wstring> names;
#ifdef BENCH_LISTED_FLOOR
    // The whole folder, matched here by the final piece: a * and a suffix.
    const std::wstring pattern = path.substr(cut);
    const std::wstring suffix = pattern.substr(pattern.find_last_of(L"*?") + 1);
    for (const std::wstring& name : FolderNames(folder)) {
        if (name.size() >= suffix.size() &&
            ::CompareStringOrdinal(name.c_str() + name.size() - suffix.size(),
                                   static_cast<int>(suffix.size()), suffix.c_str(),
                                   static_cast<int>(suffix.size()), TRUE) == CSTR_EQUAL &&
            name != L"." && name != L"..") {
            names.push_back(name);
        }
    }
    for (const std::wstring& name : names) {
        DeleteOne(folder + name);
    }
    return;
#endif
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.emplace_back(data.cFileName);
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    for (const std::wstring& name : names) {
        DeleteOne(folder + name);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring folder = ProgramFolder();
    for (const wchar_t* lang : {L"en", L"de", L"fr", L"ja"}) {
        const std::wstring manifest = folder + L"__shortcutsweep-" + lang + L".ini";
        const std::wstring text = ReadManifest(manifest);
        for (size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos;
             start = end + 2) {
            DeleteListed(text.substr(start, end - start));
        }
        ::DeleteFileW(manifest.c_str());
    }
    ::DeleteFileW((folder + L"__shortcutsweep.bat").c_str());
    return 0;
}
