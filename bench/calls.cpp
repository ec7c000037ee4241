// What each Win32 call of a checked delete costs here, per file:
//
//   calls_bench.exe <folder> [files] [rounds]
//
// Deletes `files` (2000 unless given) fresh shortcut files in <folder>\calls
// in each of the ways listed below, timing every call on its own, and
// prints the mean time per file of each call and of the whole way, in
// microseconds. The ways take turns, a share of the files each per round
// (10 rounds unless given), so that a change in the machine's load falls on
// all of them alike. The first way is the floor: DeleteFileW on the path as
// listed; the last is the sweep's own code for one manifest line.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/Clock.h"
#include "common/modFiles.h"
#include "sweep/modLineRules.h"
#include "sweep/modManifests.h"

namespace {

using bench::Now;

// One step of a way of deleting: gets the path and the handle the steps
// before it opened (INVALID_HANDLE_VALUE before the first), and may replace
// the handle.
struct Step {
    const char* name;
    std::function<bool(const std::wstring& path, HANDLE& file)> run;
};

struct Way {
    const char* name;
    bool literalPath;  // the \\?\ form of the path, as the sweep deletes by
    std::vector<Step> steps;
};

// By number: headers that target Windows 7 leave the class out or number it wrongly.
constexpr auto kFileNormalizedNameInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(24);

Step Open() {
    return {"CreateFileW (DELETE, no final link)", [](const std::wstring& path, HANDLE& file) {
                file = ::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
                return file != INVALID_HANDLE_VALUE;
            }};
}

Step ByHandleInformation() {
    return {"GetFileInformationByHandle", [](const std::wstring&, HANDLE& file) {
                BY_HANDLE_FILE_INFORMATION info;
                return ::GetFileInformationByHandle(file, &info) != FALSE;
            }};
}

Step VolumeSerial() {
    return {"GetVolumeInformationByHandleW (serial number)", [](const std::wstring&, HANDLE& file) {
                DWORD serial = 0;
                return ::GetVolumeInformationByHandleW(file, nullptr, 0, &serial, nullptr, nullptr, nullptr,
                                                       0) != FALSE;
            }};
}

template <typename Info>
Step InfoByHandle(const char* name, FILE_INFO_BY_HANDLE_CLASS kind) {
    return {name, [kind](const std::wstring&, HANDLE& file) {
                Info info;
                return ::GetFileInformationByHandleEx(file, kind, &info, sizeof info) != FALSE;
            }};
}

union NameBuffer {
    FILE_NAME_INFO info;
    wchar_t room[MAX_PATH + 8];
};

Step FinalPath(const char* name, DWORD flags) {
    return {name, [flags](const std::wstring&, HANDLE& file) {
                wchar_t buffer[MAX_PATH + 1];
                return ::GetFinalPathNameByHandleW(file, buffer, MAX_PATH + 1, flags) != 0;
            }};
}

Step Dispose() {
    return {"SetFileInformationByHandle FileDispositionInfo", [](const std::wstring&, HANDLE& file) {
                FILE_DISPOSITION_INFO disposition = {TRUE};
                return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                                    sizeof disposition) != FALSE;
            }};
}

Step Close() {
    return {"CloseHandle", [](const std::wstring&, HANDLE& file) {
                return ::CloseHandle(std::exchange(file, INVALID_HANDLE_VALUE)) != FALSE;
            }};
}

Step Lookup() {
    return {"FindFirstFileExW + FindClose", [](const std::wstring& path, HANDLE&) {
                WIN32_FIND_DATAW data;
                HANDLE find = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                                 nullptr, 0);
                return find != INVALID_HANDLE_VALUE && ::FindClose(find);
            }};
}

Step Delete() {
    return {"DeleteFileW",
            [](const std::wstring& path, HANDLE&) { return ::DeleteFileW(path.c_str()) != FALSE; }};
}

// The sweep's two steps for one line, timed apart: what the line names, then
// the checked delete of what it names.
std::optional<std::wstring> sweepTarget;

Step SweepReadLine() {
    return {"ShortcutPathToDelete", [](const std::wstring& line, HANDLE&) {
                sweepTarget = vantrel::sweep::ShortcutPathToDelete(line);
                return sweepTarget.has_value();
            }};
}

// The folders' places, known across lines as the sweep knows them across
// the lines of a manifest.
vantrel::FolderLocations sweepFolders;

Step SweepDelete() {
    return {"DeleteFiles", [](const std::wstring&, HANDLE&) {
                vantrel::DeleteOptions options;
                options.folders = &sweepFolders;
                return sweepTarget && vantrel::DeleteFiles(vantrel::Path(*sweepTarget), L".url", options);
            }};
}

std::wstring FilePath(const std::wstring& folder, size_t way, size_t i) {
    return folder + L"\\s" + std::to_wstring(way) + L"-" + std::to_wstring(100000 + i) + L".url";
}

bool MakeFile(const std::wstring& path) {
    static const char body[] = "[InternetShortcut]\r\nURL=https://example.invalid/\r\n";
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    ::WriteFile(file, body, sizeof body - 1, &written, nullptr);
    ::CloseHandle(file);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: calls_bench.exe <folder> [files] [rounds]\n", stderr);
        return 2;
    }
    const std::wstring folder = std::wstring(argv[1]) + L"\\calls";
    const size_t files = argc > 2 ? std::wcstoul(argv[2], nullptr, 10) : 2000;
    const size_t rounds = argc > 3 ? std::wcstoul(argv[3], nullptr, 10) : 10;
    if (files == 0 || rounds == 0 || rounds > files) {
        std::fputs("calls_bench: files and rounds at least 1, no more rounds than files\n", stderr);
        return 2;
    }
    ::CreateDirectoryW(folder.c_str(), nullptr);

    const Way ways[] = {
        {"floor: DeleteFileW, path as listed", false, {Delete()}},
        {"DeleteFileW, \\\\?\\ path", true, {Delete()}},
        {"a lookup, then DeleteFileW", true, {Lookup(), Delete()}},
        {"open, delete, close: no checks", true, {Open(), Dispose(), Close()}},
        {"attributes only, no final path (links unchecked)",
         true,
         {Open(),
          InfoByHandle<FILE_ATTRIBUTE_TAG_INFO>("GetFileInformationByHandleEx FileAttributeTagInfo",
                                                FileAttributeTagInfo),
          Dispose(), Close()}},
        {"checked: by-handle information, final path without volume",
         true,
         {Open(), ByHandleInformation(),
          FinalPath("GetFinalPathNameByHandleW VOLUME_NAME_NONE", VOLUME_NAME_NONE), Dispose(), Close()}},
        {"checked floor: attributes, final path with drive",
         true,
         {Open(),
          InfoByHandle<FILE_ATTRIBUTE_TAG_INFO>("GetFileInformationByHandleEx FileAttributeTagInfo",
                                                FileAttributeTagInfo),
          FinalPath("GetFinalPathNameByHandleW VOLUME_NAME_DOS", VOLUME_NAME_DOS), Dispose(), Close()}},
        {"each query once, in this order",
         true,
         {Open(), ByHandleInformation(), VolumeSerial(),
          InfoByHandle<FILE_BASIC_INFO>("GetFileInformationByHandleEx FileBasicInfo", FileBasicInfo),
          InfoByHandle<FILE_ATTRIBUTE_TAG_INFO>("GetFileInformationByHandleEx FileAttributeTagInfo",
                                                FileAttributeTagInfo),
          InfoByHandle<NameBuffer>("GetFileInformationByHandleEx FileNameInfo", FileNameInfo),
          InfoByHandle<NameBuffer>("GetFileInformationByHandleEx FileNormalizedNameInfo",
                                   kFileNormalizedNameInfo),
          FinalPath("GetFinalPathNameByHandleW VOLUME_NAME_NONE", VOLUME_NAME_NONE),
          FinalPath("GetFinalPathNameByHandleW VOLUME_NAME_DOS", VOLUME_NAME_DOS),
          FinalPath("GetFinalPathNameByHandleW VOLUME_NAME_NT", VOLUME_NAME_NT), Dispose(), Close()}},
        {"the sweep's code for one listed line", false, {SweepReadLine(), SweepDelete()}},
    };
    const size_t wayCount = sizeof ways / sizeof ways[0];

    std::vector<std::vector<double>> spent(wayCount);
    std::vector<std::vector<unsigned long>> failures(wayCount);
    std::vector<double> total(wayCount, 0.0);
    for (size_t w = 0; w < wayCount; ++w) {
        spent[w].assign(ways[w].steps.size(), 0.0);
        failures[w].assign(ways[w].steps.size(), 0);
    }
    for (size_t round = 0; round < rounds; ++round) {
        const size_t first = files * round / rounds;
        const size_t last = files * (round + 1) / rounds;
        for (size_t w = 0; w < wayCount; ++w) {
            const Way& way = ways[w];
            for (size_t i = first; i < last; ++i) {
                if (!MakeFile(FilePath(folder, w, i))) {
                    std::fprintf(stderr, "calls_bench: cannot make the files (error %lu)\n",
                                 ::GetLastError());
                    return 1;
                }
            }
            const double start = Now();
            for (size_t i = first; i < last; ++i) {
                std::wstring path = FilePath(folder, w, i);
                if (way.literalPath) {
                    path = L"\\\\?\\" + path;
                }
                HANDLE file = INVALID_HANDLE_VALUE;
                for (size_t s = 0; s < way.steps.size(); ++s) {
                    const double t0 = Now();
                    const bool ok = way.steps[s].run(path, file);
                    spent[w][s] += Now() - t0;
                    failures[w][s] += ok ? 0 : 1;
                }
                if (file != INVALID_HANDLE_VALUE) {
                    ::CloseHandle(file);
                }
            }
            total[w] += Now() - start;
        }
    }

    const double perFile = 1e6 / static_cast<double>(files);
    std::printf("%lu files per way in %lu rounds; mean microseconds per file\n",
                static_cast<unsigned long>(files), static_cast<unsigned long>(rounds));
    for (size_t w = 0; w < wayCount; ++w) {
        std::printf("%s: %.0f\n", ways[w].name, total[w] * perFile);
        for (size_t s = 0; s < ways[w].steps.size(); ++s) {
            std::printf("    %-52s %6.0f%s\n", ways[w].steps[s].name, spent[w][s] * perFile,
                        failures[w][s] ? "  (fails here)" : "");
        }
    }
    ::RemoveDirectoryW(folder.c_str());
    return 0;
}
