// Appending whole lines to a file that several programs write at once:
// each line goes in whole, under a lock on one byte far past the end of the
// file (so that the lock never stands in the way of a reader), and the file
// stops growing at a limit, with a last line that says so. UTF-8 with a
// byte-order mark (written when the file is new) and CR LF line ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// Where the file stops growing.
inline constexpr uint64_t kLogLimitBytes = 16u << 20;

// Appends `prefix` + `text` as one line: UTF-8, cut to 64 KiB at a
// character's start, ended by CR LF. False when the file should be given
// up: it cannot be locked or written, or it is full. The first writer to
// find it full says so, once; everyone after it finds that line at the end
// and writes nothing more.
bool AppendLine(HANDLE file, const std::wstring& prefix, std::wstring_view text);

}  // namespace vantrel
