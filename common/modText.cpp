#include "common/modText.h"

#include <climits>
#include <cstdio>

namespace vantrel {

namespace {

// Longest text shown in quotes, in UTF-16 units.
constexpr size_t kLongestQuote = 1024;

}  // namespace

std::wstring WideFromBytes(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) {
        return std::wstring();
    }
    if (bytes.size() > static_cast<size_t>(INT_MAX)) {
        return std::wstring();  // more than the system converts in one call: no text
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

std::wstring Visible(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (c >= 0x20 && c != 0x7F) {
            out += c;
        } else if (c == L'\r') {
            out += L"<CR>";
        } else if (c == L'\n') {
            out += L"<LF>";
        } else if (c == L'\t') {
            out += L"<TAB>";
        } else {
            wchar_t hex[8];
            std::swprintf(hex, 8, L"<0x%02X>", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out;
}

std::wstring Quoted(std::wstring_view text) {
    if (text.size() <= kLongestQuote) {
        return L"\"" + Visible(text) + L"\"";
    }
    return L"\"" + Visible(text.substr(0, kLongestQuote)) + L"\"... (" + std::to_wstring(text.size()) +
           L" characters)";
}

}  // namespace vantrel
