#include "sweep/modUTF8_FileIO.h"

#include <windows.h>

#include <cstdint>
#include <new>

#include "common/Handle.h"
#include "common/modFailOpen.h"
#include "common/modOpen.h"
#include "common/modText.h"

namespace vantrel::sweep {

namespace {

constexpr unsigned char kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
constexpr DWORD kReadChunk = 1u << 24;

// Fills `bytes` from the file's current position; the file must hold them.
DWORD ReadExactly(HANDLE file, unsigned char* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        size_t left = count - done;
        DWORD want = left < kReadChunk ? static_cast<DWORD>(left) : kReadChunk;
        DWORD got = 0;
        if (!::ReadFile(file, bytes + done, want, &got, nullptr)) {
            return ::GetLastError();
        }
        if (got == 0) {
            return ERROR_HANDLE_EOF;  // the file shrank since its length was taken
        }
        done += got;
    }
    return ERROR_SUCCESS;
}

std::wstring DecodeBytes(UINT codePage, const ByteBuffer& bytes) {
    return WideFromBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                         codePage);
}

// The reader proper, on bytes read by `readBytes(unmarked, file)`; returns
// a system error number, or ERROR_SUCCESS with `content` or `message` set.
template <typename ReadBytes>
DWORD ReadFileText(ReadBytes readBytes, const std::wstring& path, std::wstring& content,
                   std::wstring& message, bool allowAnsi, bool emptyOk, bool descramble) {
    FileBytes file;
    if (DWORD error = readBytes(allowAnsi ? Unmarked::Read : Unmarked::Skipped, file)) {
        return error;
    }
    if (file.length < 1) {
        if (!emptyOk) {
            message = L"File not found or empty";
        }
        return ERROR_SUCCESS;
    }
    if (!file.marked && !allowAnsi) {
        message = L"Error: The file " + path + L" is not UTF-8 encoded";
        return ERROR_SUCCESS;
    }
    if (file.marked && file.bytes.empty()) {
        return ERROR_HANDLE_EOF;  // the mark and nothing after it
    }
    if (descramble) {
        DescrambleBytes(file.bytes);
    }
    content = file.marked ? UTF8BytesToString(file.bytes) : AnsiBytesToString(file.bytes);
    return ERROR_SUCCESS;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0 when there is
// none; `bad` is then the length of the ill-formed piece (at least 1).
size_t SequenceAt(const ByteBuffer& bytes, size_t at, size_t& bad) {
    const unsigned char lead = bytes[at];
    if (lead < 0x80) {
        return 1;
    }
    // The second byte's range by lead byte, then 80..BF for the others.
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    }
    size_t good = length == 0 ? 0 : 1;
    for (; good > 0 && good < length && at + good < bytes.size(); ++good) {
        const unsigned char c = bytes[at + good];
        if (c < (good == 1 ? low : 0x80) || c > (good == 1 ? high : 0xBF)) {
            break;
        }
    }
    if (length > 0 && good == length) {
        return length;
    }
    bad = good > 0 ? good : 1;  // the lead byte and the continuation bytes that fit it
    return 0;
}

// The bytes of the file open as `handle`, `file.length` long, read from
// its start: the mark probed, then the rest.
DWORD ReadBytesFrom(HANDLE handle, Unmarked unmarked, FileBytes& file) {
    if (file.length < 1) {
        return ERROR_SUCCESS;
    }
    if (file.length > SIZE_MAX / 4) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // Bytes past the end of a shorter file stay 0 in the probe.
    unsigned char probe[3] = {0, 0, 0};
    const size_t probed = file.length < 3 ? static_cast<size_t>(file.length) : 3;
    if (DWORD error = ReadExactly(handle, probe, probed)) {
        return error;
    }
    file.marked =
        probe[0] == kByteOrderMark[0] && probe[1] == kByteOrderMark[1] && probe[2] == kByteOrderMark[2];
    if (!file.marked && unmarked == Unmarked::Skipped) {
        return ERROR_SUCCESS;
    }

    file.bytes.resize(static_cast<size_t>(file.marked ? file.length - 3 : file.length));
    size_t kept = 0;
    if (!file.marked) {
        // The probe already holds the first bytes of an unmarked file.
        for (; kept < probed; ++kept) {
            file.bytes[kept] = probe[kept];
        }
    }
    return ReadExactly(handle, file.bytes.data() + kept, file.bytes.size() - kept);
}

}  // namespace

DWORD ReadFileBytes(const std::wstring& path, Unmarked unmarked, FileBytes& file) {
    file = FileBytes();
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) {
        return ::GetLastError();
    }
    if (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        return ERROR_ACCESS_DENIED;  // a folder is not an empty file
    }
    file.length = (static_cast<uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    if (file.length < 1) {
        return ERROR_SUCCESS;  // not opened
    }
    const UniqueFile handle = OpenToRead(Path(path));
    if (!handle) {
        return ::GetLastError();
    }
    return ReadBytesFrom(handle.get(), unmarked, file);
}

DWORD ReadOpenFileBytes(HANDLE handle, Unmarked unmarked, FileBytes& file) {
    file = FileBytes();
    FILE_STANDARD_INFO standard;
    if (!::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
        return ::GetLastError();
    }
    if (standard.Directory) {
        return ERROR_ACCESS_DENIED;  // a folder is not an empty file
    }
    file.length = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    return ReadBytesFrom(handle, unmarked, file);
}

std::wstring UTF8BytesToString(const ByteBuffer& bytes) { return DecodeBytes(CP_UTF8, bytes); }

std::wstring AnsiBytesToString(const ByteBuffer& bytes) { return DecodeBytes(CP_ACP, bytes); }

std::vector<std::pair<size_t, size_t>> InvalidUTF8Sequences(const ByteBuffer& bytes) {
    std::vector<std::pair<size_t, size_t>> invalid;
    for (size_t at = 0; at < bytes.size();) {
        size_t bad = 0;
        const size_t good = SequenceAt(bytes, at, bad);
        if (good == 0) {
            invalid.emplace_back(at, bad);
        }
        at += good + bad;
    }
    return invalid;
}

namespace {

// ReadUTF8File's frame around the reader: the one catch-all exit, where a
// failure on the way (out of memory) is an error like any other.
template <typename ReadBytes>
bool ReadText(ReadBytes readBytes, const std::wstring& path, std::wstring& content, std::wstring& message,
              const ReadChoices& choices) {
    content.clear();
    message.clear();
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    SkipOnFailure([&] {
        error = ReadFileText(readBytes, path, content, message, choices.allowAnsi, choices.emptyOk,
                             choices.descramble);
    });
    if (error != ERROR_SUCCESS) {
        content.clear();
        message = SystemErrorMessage(error);
        return false;
    }
    return message.empty();
}

}  // namespace

bool ReadUTF8File(const std::wstring& path, std::wstring& content, std::wstring& message, bool allowAnsi,
                  bool emptyOk, bool descramble) {
    return ReadText(
        [&path](Unmarked unmarked, FileBytes& file) { return ReadFileBytes(path, unmarked, file); }, path,
        content, message, ReadChoices{allowAnsi, emptyOk, descramble});
}

bool ReadUTF8OpenFile(HANDLE file, const std::wstring& path, std::wstring& content, std::wstring& message,
                      const ReadChoices& choices) {
    return ReadText(
        [file](Unmarked unmarked, FileBytes& bytes) { return ReadOpenFileBytes(file, unmarked, bytes); },
        path, content, message, choices);
}

}  // namespace vantrel::sweep
