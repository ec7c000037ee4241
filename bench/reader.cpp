// Times the sweep's manifest reader in process, on one large manifest:
//
//   reader_bench.exe <folder> [megabytes] [repeats]
//
// writes <folder>\reader-bench.ini (UTF-8 with the mark, full paths ended
// by CR LF, one in four naming a Japanese folder) of about `megabytes`
// million bytes (50 unless given), then times, `repeats` times each (5
// unless given):
//
//   read     ReadUTF8File, the whole reader: open, read, decode
//   bytes    the same file read into a buffer by itself (the file system's share)
//   decode   UTF8BytesToString on those bytes (the decoder's share)
//   split    LineList::Split on the decoded text
//   both     read, then split: what a manifest costs before its first line is used
//   pieces   a reader that keeps no whole copy of the bytes: it reads 1 MiB at
//            a time and decodes each piece, cut after a line feed, straight
//            into the text (checked to give the same text as `read`)
//   fresh    writing one byte into each page of 100 MB of freshly allocated
//            memory: what the machine charges for memory touched the first
//            time, which the reader pays for its buffers (rate in MB of memory)
//
// and prints one line each: the median and the fastest time, and the median
// rate in MB/s (10^6 bytes of manifest per second). The file is removed at
// the end.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "common/Handle.h"
#include "sweep/modLineRules.h"
#include "sweep/modManifests.h"
#include "sweep/modUTF8_FileIO.h"

using vantrel::sweep::ByteBuffer;
using vantrel::sweep::LineList;

namespace {

constexpr vantrel::sweep::ReadChoices kManifest = vantrel::sweep::kManifestReading;

using bench::Now;

std::string ManifestBytes(size_t wanted) {
    const std::string folder = "Z:\\work\\main\\build\\bench\\tree\\Links\\";
    const std::string japanese = "\xE3\x83\x87\xE3\x82\xB9\xE3\x82\xAF\xE3\x83\x88\xE3\x83\x83\xE3\x83\x97\\";
    std::string bytes = "\xEF\xBB\xBF";
    bytes.reserve(wanted + 256);
    char number[16];
    for (unsigned long i = 0; bytes.size() < wanted; ++i) {
        std::snprintf(number, sizeof number, "s%07lu.url", i);
        bytes += folder;
        if (i % 4 == 3) {
            bytes += japanese;
        }
        bytes += number;
        bytes += "\r\n";
    }
    return bytes;
}

bool WriteWhole(const std::wstring& path, const std::string& bytes) {
    vantrel::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file &&
           ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

ByteBuffer ReadBytes(const std::wstring& path) {
    vantrel::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.get(), &size)) {
        return ByteBuffer();
    }
    ByteBuffer bytes(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
        got = 0;
    }
    bytes.resize(got);
    return bytes;
}

// The text of a manifest read 1 MiB at a time. A line feed is a byte of its
// own in UTF-8, never part of a longer sequence, so a piece that ends just
// after one decodes as it does within the whole.
std::wstring ReadInPieces(const std::wstring& path) {
    constexpr DWORD kPiece = 1u << 20;
    vantrel::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart < 3) {
        return std::wstring();
    }
    std::wstring text(static_cast<size_t>(size.QuadPart), L'\0');
    std::vector<char> buffer(kPiece);
    LARGE_INTEGER afterMark = {};
    afterMark.QuadPart = 3;
    if (!::SetFilePointerEx(file.get(), afterMark, nullptr, FILE_BEGIN)) {
        return std::wstring();
    }
    size_t held = 0;
    size_t written = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data() + held, static_cast<DWORD>(buffer.size() - held), &got,
                        nullptr)) {
            return std::wstring();
        }
        held += got;
        size_t cut = held;
        if (got != 0) {
            while (cut > 0 && buffer[cut - 1] != '\n') {
                --cut;
            }
            if (cut == 0) {
                cut = held;  // 1 MiB without a line feed: not a manifest the check below accepts
            }
        }
        if (cut > 0) {
            const int count = static_cast<int>(cut);
            written += static_cast<size_t>(
                ::MultiByteToWideChar(CP_UTF8, 0, buffer.data(), count, text.data() + written, count));
        }
        std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(cut),
                  buffer.begin() + static_cast<std::ptrdiff_t>(held), buffer.begin());
        held -= cut;
        if (got == 0) {
            break;
        }
    }
    text.resize(written);
    return text;
}

// Seconds to write one byte into every page of `bytes` of fresh memory.
double TouchFreshMemory(size_t bytes) {
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    auto* memory =
        static_cast<volatile char*>(::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (memory == nullptr) {
        return 0;
    }
    const double t0 = Now();
    for (size_t i = 0; i < bytes; i += system.dwPageSize) {
        memory[i] = 1;
    }
    const double t1 = Now();
    ::VirtualFree(const_cast<char*>(memory), 0, MEM_RELEASE);
    return t1 - t0;
}

void Report(const char* name, std::vector<double> seconds, size_t bytes) {
    std::sort(seconds.begin(), seconds.end());
    const size_t n = seconds.size();
    const double median = n % 2 ? seconds[n / 2] : (seconds[n / 2 - 1] + seconds[n / 2]) / 2;
    std::printf("%-7s median_ms=%.1f best_ms=%.1f MBps=%.1f\n", name, median * 1000, seconds[0] * 1000,
                static_cast<double>(bytes) / 1e6 / median);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: reader_bench.exe <folder> [megabytes] [repeats]\n", stderr);
        return 2;
    }
    const std::wstring path = std::wstring(argv[1]) + L"\\reader-bench.ini";
    const unsigned long megabytes = argc > 2 ? std::wcstoul(argv[2], nullptr, 10) : 50;
    const unsigned long repeats = argc > 3 ? std::wcstoul(argv[3], nullptr, 10) : 5;
    if (megabytes == 0 || megabytes > 400 || repeats == 0) {
        std::fputs("reader_bench: megabytes 1..400, repeats at least 1\n", stderr);
        return 2;
    }
    const std::string bytes = ManifestBytes(static_cast<size_t>(megabytes) * 1000000);
    if (!WriteWhole(path, bytes)) {
        std::fprintf(stderr, "reader_bench: cannot write the manifest (error %lu)\n", ::GetLastError());
        return 1;
    }
    const size_t size = bytes.size();

    std::vector<double> read, raw, decode, split, both, pieces, fresh;
    constexpr size_t kFreshBytes = 100000000;
    size_t lines = 0;
    bool ok = true;
    for (unsigned long i = 0; i < repeats && ok; ++i) {
        std::wstring content;
        std::wstring message;
        double t0 = Now();
        ok = vantrel::sweep::ReadUTF8File(path, content, message, kManifest.allowAnsi, kManifest.emptyOk,
                                          kManifest.descramble);
        double t1 = Now();
        read.push_back(t1 - t0);

        t0 = Now();
        LineList list = LineList::Split(std::move(content));
        t1 = Now();
        split.push_back(t1 - t0);
        lines = list.size();
        list = LineList();

        t0 = Now();
        ByteBuffer buffer = ReadBytes(path);
        t1 = Now();
        std::wstring text = vantrel::sweep::UTF8BytesToString(buffer);
        double t2 = Now();
        raw.push_back(t1 - t0);
        decode.push_back(t2 - t1);
        ok = ok && buffer.size() == size && !text.empty();
        buffer = ByteBuffer();
        text = std::wstring();

        t0 = Now();
        std::wstring again;
        ok = ok && vantrel::sweep::ReadUTF8File(path, again, message, kManifest.allowAnsi, kManifest.emptyOk,
                                                kManifest.descramble);
        list = LineList::Split(std::move(again));
        t1 = Now();
        both.push_back(t1 - t0);
        ok = ok && list.size() == lines;

        t0 = Now();
        std::wstring inPieces = ReadInPieces(path);
        t1 = Now();
        pieces.push_back(t1 - t0);
        std::wstring whole;
        ok = ok &&
             vantrel::sweep::ReadUTF8File(path, whole, message, kManifest.allowAnsi, kManifest.emptyOk,
                                          kManifest.descramble) &&
             inPieces == whole;

        fresh.push_back(TouchFreshMemory(kFreshBytes));
    }
    ::DeleteFileW(path.c_str());
    if (!ok) {
        std::fputs("reader_bench: the manifest was not read back whole\n", stderr);
        return 1;
    }
    std::printf("manifest bytes=%lu lines=%lu repeats=%lu\n", static_cast<unsigned long>(size),
                static_cast<unsigned long>(lines - 1), repeats);
    Report("read", read, size);
    Report("bytes", raw, size);
    Report("decode", decode, size);
    Report("split", split, size);
    Report("both", both, size);
    Report("pieces", pieces, size);
    Report("fresh", fresh, kFreshBytes);
    return 0;
}
