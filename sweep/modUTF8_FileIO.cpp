#include "sweep/modUTF8_FileIO.h"

#include <windows.h>

#include <cstdint>
#include <new>

#include "common/Handle.h"
#include "common/modProcess.h"
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

// The reader proper; returns a system error number, or ERROR_SUCCESS with
// `content` or `message` set.
DWORD ReadFileText(const std::wstring& path, std::wstring& content, std::wstring& message, bool allowAnsi,
                   bool emptyOk, bool descramble) {
    FileBytes file;
    if (DWORD error = ReadFileBytes(path, allowAnsi, file)) {
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

}  // namespace

DWORD ReadFileBytes(const std::wstring& path, bool unmarkedToo, FileBytes& file) {
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
        return ERROR_SUCCESS;
    }
    if (file.length > SIZE_MAX / 4) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }

    UniqueFile handle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) {
        return ::GetLastError();
    }
    // Bytes past the end of a shorter file stay 0 in the probe.
    unsigned char probe[3] = {0, 0, 0};
    const size_t probed = file.length < 3 ? static_cast<size_t>(file.length) : 3;
    if (DWORD error = ReadExactly(handle.get(), probe, probed)) {
        return error;
    }
    file.marked =
        probe[0] == kByteOrderMark[0] && probe[1] == kByteOrderMark[1] && probe[2] == kByteOrderMark[2];
    if (!file.marked && !unmarkedToo) {
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
    return ReadExactly(handle.get(), file.bytes.data() + kept, file.bytes.size() - kept);
}

std::wstring UTF8BytesToString(const ByteBuffer& bytes) { return DecodeBytes(CP_UTF8, bytes); }

std::wstring AnsiBytesToString(const ByteBuffer& bytes) { return DecodeBytes(CP_ACP, bytes); }

bool ReadUTF8File(const std::wstring& path, std::wstring& content, std::wstring& message, bool allowAnsi,
                  bool emptyOk, bool descramble) {
    content.clear();
    message.clear();
    DWORD error;
    try {
        error = ReadFileText(path, content, message, allowAnsi, emptyOk, descramble);
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error != ERROR_SUCCESS) {
        content.clear();
        message = SystemErrorMessage(error);
        return false;
    }
    return message.empty();
}

}  // namespace vantrel::sweep
