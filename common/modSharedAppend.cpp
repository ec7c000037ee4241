#include "common/modSharedAppend.h"

#include "common/modText.h"

namespace vantrel {

namespace {

// Room kept below the limit for the line that says the log is full.
constexpr uint64_t kRoomForLastLine = 512;
// Longest line written, in bytes; a longer one is cut. It also bounds how
// far from the end the "full" line can stand.
constexpr size_t kLongestLine = 64 * 1024;
constexpr std::string_view kFullLineEnd = "nothing more is written to this file\r\n";
// How long a writer waits for another to finish its line.
constexpr DWORD kLockWaitMs = 5000;

// The writers serialise on one byte far past the end of any log, so that
// the lock never stands in the way of someone reading the file.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

class LockedForWriting {
public:
    explicit LockedForWriting(HANDLE file) : file_(file) {
        const DWORD started = ::GetTickCount();
        for (;;) {
            OVERLAPPED at = {};
            at.OffsetHigh = kLockOffsetHigh;
            if (::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
                locked_ = true;
                return;
            }
            const DWORD error = ::GetLastError();
            if ((error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) ||
                ::GetTickCount() - started > kLockWaitMs) {
                return;
            }
            ::Sleep(1);
        }
    }
    ~LockedForWriting() {
        if (locked_) {
            OVERLAPPED at = {};
            at.OffsetHigh = kLockOffsetHigh;
            ::UnlockFileEx(file_, 0, 1, 0, &at);
        }
    }
    LockedForWriting(const LockedForWriting&) = delete;
    LockedForWriting& operator=(const LockedForWriting&) = delete;
    explicit operator bool() const { return locked_; }

private:
    HANDLE file_;
    bool locked_ = false;
};

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Whether the file ends with the line that says it is full. Only a file
// within a line's length of the limit can.
bool EndsFull(HANDLE file, uint64_t used) {
    if (used + kLongestLine + kRoomForLastLine < kLogLimitBytes || used < kFullLineEnd.size()) {
        return false;
    }
    char tail[64];
    OVERLAPPED at = {};
    const uint64_t from = used - kFullLineEnd.size();
    at.Offset = static_cast<DWORD>(from);
    at.OffsetHigh = static_cast<DWORD>(from >> 32);
    DWORD got = 0;
    return !::ReadFile(file, tail, static_cast<DWORD>(kFullLineEnd.size()), &got, &at) ||
           std::string_view(tail, got) == kFullLineEnd;
}

// Appends `line` (UTF-8, with its CR LF, at most kLongestLine bytes) under
// the lock; false when the log should be given up: it cannot be written,
// or it is full. The first writer to find it full says so, once: everyone
// after it finds that line at the end and writes nothing more.
bool Append(HANDLE file, const std::wstring& prefix, std::string line) {
    LockedForWriting lock(file);
    LARGE_INTEGER size;
    if (!lock || !::GetFileSizeEx(file, &size)) {
        return false;
    }
    const uint64_t used = static_cast<uint64_t>(size.QuadPart);
    if (EndsFull(file, used)) {
        return false;
    }
    if (used == 0) {
        line.insert(0, "\xEF\xBB\xBF");
    }
    if (used + line.size() <= kLogLimitBytes - kRoomForLastLine) {
        return WriteAll(file, line);
    }
    if (used <= kLogLimitBytes - kRoomForLastLine) {
        WriteAll(file, Utf8Text(prefix + L"the log is full (16 MiB): ") + std::string(kFullLineEnd));
    }
    return false;
}

// `line` cut to kLongestLine bytes, at a character's start, and ended.
std::string Ended(std::string line) {
    if (line.size() + 2 > kLongestLine) {
        size_t cut = kLongestLine - 64;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;  // not inside a character
        }
        line = line.substr(0, cut) + "... (cut: the line is " + std::to_string(line.size()) + " bytes long)";
    }
    return line + "\r\n";
}

}  // namespace

bool AppendLine(HANDLE file, const std::wstring& prefix, std::wstring_view text) {
    return Append(file, prefix, Ended(Utf8Text(prefix + std::wstring(text))));
}

}  // namespace vantrel
