// Text between the system's UTF-16 and the bytes of files and of other
// programs, and text the system writes into a buffer of a given size.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "common/modPaths.h"

namespace vantrel {

// `bytes` in the code page given (CP_UTF8, CP_ACP ...), as UTF-16. Invalid
// sequences become what the system makes of them (U+FFFD for UTF-8); no
// sequence of these code pages gives more UTF-16 units than it has bytes.
// Empty for more bytes than the system converts in one call (2 GiB).
std::wstring WideFromBytes(std::string_view bytes, unsigned codePage = CP_UTF8);

// UTF-16 text as UTF-8.
std::string Utf8Text(std::wstring_view text);

// `text` with every control character written out (<CR>, <LF>, <TAB>,
// <0x01> ...), so that shown on a line it stays one line.
std::wstring Visible(std::wstring_view text);

// Text shown in quotes, its control characters written out, cut to a
// readable length.
std::wstring Quoted(std::wstring_view text);

// The text a system call writes into a buffer, the buffer grown until the
// text fits, as the Windows Implementation Library's
// AdaptFixedSizeToAllocatedResult does. `call(buffer, size)` follows the
// system's own rule (GetFinalPathNameByHandleW, GetFullPathNameW,
// GetEnvironmentVariableW ...): it returns the length written, less than
// `size`; or, when the buffer is too small, a size that fits, at least
// `size`; or 0 on failure. Empty text on failure, or past the longest path,
// the longest text the system gives here.
template <typename Call>
std::wstring TextOfFittingSize(Call call, size_t firstSize = MAX_PATH + 1) {
    std::wstring text(firstSize, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD size = static_cast<DWORD>(text.size());
        const DWORD length = call(text.data(), size);
        if (length == 0 || length > kLongestPath + 1) {
            return std::wstring();
        }
        if (length < size) {
            text.resize(length);
            return text;
        }
        text.assign(static_cast<size_t>(length) + 1, L'\0');
    }
    return std::wstring();  // a text that keeps growing
}

}  // namespace vantrel
