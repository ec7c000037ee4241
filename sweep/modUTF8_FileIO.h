// Reads a whole text file into UTF-16 text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/modErrors.h"  // SystemErrorMessage
#include "sweep/modCrypt.h"

namespace vantrel::sweep {

// Reads the file at `path`. A file must start with the UTF-8 byte-order
// mark EF BB BF unless `allowAnsi`, which decodes an unmarked file from the
// system's ANSI code page. `emptyOk` makes a zero-length file a success
// with empty content. `descramble` runs the bytes after the mark through
// DescrambleBytes before decoding.
//
// Returns true with `content` set and `message` empty, or false with
// `message` set to one of:
//   "File not found or empty"
//   "Error: The file <path> is not UTF-8 encoded"
//   "Error <code> <description>"  (the system's error number and text)
bool ReadUTF8File(const std::wstring& path, std::wstring& content, std::wstring& message, bool allowAnsi,
                  bool emptyOk, bool descramble);

// The reader's three choices, named, for its callers.
struct ReadChoices {
    bool allowAnsi = false;
    bool emptyOk = false;
    bool descramble = false;
};

// How a manifest is read: marked UTF-8 only, never empty, as it stands.
inline constexpr ReadChoices kManifestReading{};

// A file's bytes as the reader takes them, before any decoding.
struct FileBytes {
    uint64_t length = 0;  // the file's length; 0 for an empty file, which is not opened
    bool marked = false;  // it starts with EF BB BF
    ByteBuffer bytes;     // what follows the mark; for an unmarked file, all of it or nothing
};

// The reader's first half, which ReadUTF8File decodes from: the file's
// length, its mark, and its bytes, with the reader's own way of opening it.
// An unmarked file's bytes are read only with Unmarked::Read. Returns
// ERROR_SUCCESS or the system's error number.
enum class Unmarked { Skipped, Read };
unsigned long ReadFileBytes(const std::wstring& path, Unmarked unmarked, FileBytes& file);

// The same through a file already open for reading, from its start.
unsigned long ReadOpenFileBytes(void* file, Unmarked unmarked, FileBytes& bytes);

// ReadUTF8File through a file already open for reading, from its start;
// `path` is the name the messages give it.
bool ReadUTF8OpenFile(void* file, const std::wstring& path, std::wstring& content, std::wstring& message,
                      const ReadChoices& choices);

// Decodes UTF-8 bytes; invalid sequences become U+FFFD, as the system's
// converter makes them. Empty text when the conversion fails.
std::wstring UTF8BytesToString(const ByteBuffer& bytes);

// Decodes bytes from the system's default ANSI code page.
std::wstring AnsiBytesToString(const ByteBuffer& bytes);

// Where `bytes` are not UTF-8: the offset and length of each ill-formed
// sequence (a stray, overlong, surrogate or out-of-range byte, or a
// sequence cut short), each of which the converter turns into U+FFFD.
std::vector<std::pair<size_t, size_t>> InvalidUTF8Sequences(const ByteBuffer& bytes);

}  // namespace vantrel::sweep
