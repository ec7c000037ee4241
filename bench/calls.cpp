// What each Win32 call of a checked delete costs here, per file:
//
//   calls_bench.exe <folder> [files]
//
// For each way of deleting a file listed below it makes `files` (2000
// unless given) fresh shortcut files in <folder>\calls, deletes them all
// that way, timing every call on its own, and prints the mean time per file
// of each call and of the whole, in microseconds. The first way is the
// floor: DeleteFileW on the path as listed.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

// One step of a way of deleting: gets the path and the handle the steps
// before it opened (INVALID_HANDLE_VALUE before the first), may replace it.
struct Step {
    const char* name;
    std::function<bool(const std::wstring& path, HANDLE& file)> run;
};

struct Way {
    const char* name;
    bool literalPath;  // the \\?\ form of the path, as the sweep uses
    std::vector<Step> steps;
};

bool MakeFiles(const std::wstring& folder, size_t count) {
    static const char body[] = "[InternetShortcut]\r\nURL=https://example.invalid/\r\n";
    for (size_t i = 0; i < count; ++i) {
        std::wstring path = folder + L"\\s" + std::to_wstring(100000 + i) + L".url";
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD written = 0;
        ::WriteFile(file, body, sizeof body - 1, &written, nullptr);
        ::CloseHandle(file);
    }
    return true;
}

const Step kOpen = {"CreateFileW (DELETE, no final link)", [](const std::wstring& path, HANDLE& file) {
                        file = ::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
                        return file != INVALID_HANDLE_VALUE;
                    }};
const Step kByHandleInfo = {"GetFileInformationByHandle", [](const std::wstring&, HANDLE& file) {
                                BY_HANDLE_FILE_INFORMATION info;
                                return ::GetFileInformationByHandle(file, &info) != FALSE;
                            }};
const Step kBasicInfo = {"GetFileInformationByHandleEx FileBasicInfo", [](const std::wstring&, HANDLE& file) {
                             FILE_BASIC_INFO info;
                             return ::GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info) !=
                                    FALSE;
                         }};
const Step kTagInfo = {
    "GetFileInformationByHandleEx FileAttributeTagInfo", [](const std::wstring&, HANDLE& file) {
        FILE_ATTRIBUTE_TAG_INFO info;
        return ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info) != FALSE;
    }};
// By number: headers that target Windows 7 leave the class out or number it wrongly.
constexpr auto kFileNormalizedNameInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(24);
Step NameInfo(const char* name, FILE_INFO_BY_HANDLE_CLASS kind) {
    return {name, [kind](const std::wstring&, HANDLE& file) {
                union {
                    FILE_NAME_INFO info;
                    wchar_t room[MAX_PATH + 8];
                } buffer;
                return ::GetFileInformationByHandleEx(file, kind, &buffer, sizeof buffer) != FALSE;
            }};
}
Step FinalPath(const char* name, DWORD flags) {
    return {name, [flags](const std::wstring&, HANDLE& file) {
                wchar_t buffer[MAX_PATH + 1];
                return ::GetFinalPathNameByHandleW(file, buffer, MAX_PATH + 1, flags) != 0;
            }};
}
const Step kVolume = {"GetVolumeInformationByHandleW (serial number)", [](const std::wstring&, HANDLE& file) {
                          DWORD serial = 0;
                          return ::GetVolumeInformationByHandleW(file, nullptr, 0, &serial, nullptr, nullptr,
                                                                 nullptr, 0) != FALSE;
                      }};
const Step kDispose = {
    "SetFileInformationByHandle FileDispositionInfo", [](const std::wstring&, HANDLE& file) {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) !=
               FALSE;
    }};
const Step kClose = {"CloseHandle", [](const std::wstring&, HANDLE& file) {
                         return ::CloseHandle(std::exchange(file, INVALID_HANDLE_VALUE)) != FALSE;
                     }};
const Step kFind = {"FindFirstFileExW + FindClose", [](const std::wstring& path, HANDLE&) {
                        WIN32_FIND_DATAW data;
                        HANDLE find = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data,
                                                         FindExSearchNameMatch, nullptr, 0);
                        return find != INVALID_HANDLE_VALUE && ::FindClose(find);
                    }};
const Step kDelete = {"DeleteFileW",
                      [](const std::wstring& path, HANDLE&) { return ::DeleteFileW(path.c_str()) != FALSE; }};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: calls_bench.exe <folder> [files]\n", stderr);
        return 2;
    }
    const std::wstring folder = std::wstring(argv[1]) + L"\\calls";
    const size_t files = argc > 2 ? std::wcstoul(argv[2], nullptr, 10) : 2000;
    ::CreateDirectoryW(folder.c_str(), nullptr);

    const Step finalNone = FinalPath("GetFinalPathNameByHandleW VOLUME_NAME_NONE", VOLUME_NAME_NONE);
    const Step finalDos = FinalPath("GetFinalPathNameByHandleW VOLUME_NAME_DOS", VOLUME_NAME_DOS);
    const Step finalNt = FinalPath("GetFinalPathNameByHandleW VOLUME_NAME_NT", VOLUME_NAME_NT);
    const Step nameInfo = NameInfo("GetFileInformationByHandleEx FileNameInfo", FileNameInfo);
    const Step normalizedInfo =
        NameInfo("GetFileInformationByHandleEx FileNormalizedNameInfo", kFileNormalizedNameInfo);
    const Way ways[] = {
        {"floor: DeleteFileW, path as listed", false, {kDelete}},
        {"DeleteFileW, \\\\?\\ path", true, {kDelete}},
        {"a lookup, then DeleteFileW", true, {kFind, kDelete}},
        {"open and delete with no checks", true, {kOpen, kDispose, kClose}},
        {"checked delete: by-handle information, final name without volume",
         true,
         {kOpen, kByHandleInfo, finalNone, kDispose, kClose}},
        {"checked delete: attributes only, final name with drive",
         true,
         {kOpen, kTagInfo, finalDos, kDispose, kClose}},
        {"each query once",
         true,
         {kOpen, kByHandleInfo, kVolume, kBasicInfo, kTagInfo, nameInfo, normalizedInfo, finalNone, finalDos,
          finalNt, kDispose, kClose}},
    };
    std::printf("%lu files per way; mean microseconds per file\n", static_cast<unsigned long>(files));
    for (const Way& way : ways) {
        if (!MakeFiles(folder, files)) {
            std::fprintf(stderr, "calls_bench: cannot make the files (error %lu)\n", ::GetLastError());
            return 1;
        }
        std::vector<double> spent(way.steps.size(), 0.0);
        unsigned long failures = 0;
        const double start = Now();
        for (size_t i = 0; i < files; ++i) {
            std::wstring path = folder + L"\\s" + std::to_wstring(100000 + i) + L".url";
            if (way.literalPath) {
                path = L"\\\\?\\" + path;
            }
            HANDLE file = INVALID_HANDLE_VALUE;
            for (size_t s = 0; s < way.steps.size(); ++s) {
                const double t0 = Now();
                const bool ok = way.steps[s].run(path, file);
                spent[s] += Now() - t0;
                failures += ok ? 0 : 1;
            }
            if (file != INVALID_HANDLE_VALUE) {
                ::CloseHandle(file);
            }
        }
        const double total = Now() - start;
        std::printf("%s: %.0f us%s\n", way.name, total * 1e6 / static_cast<double>(files),
                    failures ? " (some calls failed)" : "");
        for (size_t s = 0; s < way.steps.size(); ++s) {
            std::printf("    %-50s %7.0f\n", way.steps[s].name, spent[s] * 1e6 / static_cast<double>(files));
        }
        std::fflush(stdout);
    }
    ::RemoveDirectoryW(folder.c_str());
    return 0;
}
