#include "common/modText.h"

#include <climits>
#include <new>

namespace vantrel {

std::wstring WideFromBytes(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) {
        return std::wstring();
    }
    if (bytes.size() > static_cast<size_t>(INT_MAX)) {
        throw std::bad_alloc();
    }
    const int count = static_cast<int>(bytes.size());
    std::wstring text(bytes.size(), L'\0');
    const int units = ::MultiByteToWideChar(codePage, 0, bytes.data(), count, text.data(), count);
    text.resize(units > 0 ? static_cast<size_t>(units) : 0);
    return text;
}

std::string Utf8Text(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), bytes, nullptr, nullptr);
    }
    return out;
}

}  // namespace vantrel
