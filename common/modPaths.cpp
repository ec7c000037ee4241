#include "modPaths.h"

#include <windows.h>

#include <algorithm>

namespace vantrel {

namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The length of a server or share name at `at`: up to the next separator.
size_t NameLength(std::wstring_view path, size_t at) {
    size_t end = at;
    while (end < path.size() && !IsSeparator(path[end])) {
        ++end;
    }
    return end - at;
}

}  // namespace

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

std::wstring_view FullPathRoot(std::wstring_view path) {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) {
        return path.substr(0, 3);
    }
    if (path.size() < 5 || !IsSeparator(path[0]) || !IsSeparator(path[1])) {
        return std::wstring_view();
    }
    const size_t server = NameLength(path, 2);
    const std::wstring_view serverName = path.substr(2, server);
    if (server == 0 || serverName == L"." || serverName == L"?" || 2 + server >= path.size()) {
        return std::wstring_view();  // \\.\ and \\?\ are device and literal paths
    }
    const size_t shareAt = 2 + server + 1;
    const size_t share = NameLength(path, shareAt);
    if (share == 0) {
        return std::wstring_view();
    }
    return path.substr(0, std::min(path.size(), shareAt + share + 1));
}

std::wstring OrdinaryPath(std::wstring_view path) {
    constexpr std::wstring_view kLiteral = L"\\\\?\\";
    if (path.substr(0, kLiteral.size()) == kLiteral) {
        const std::wstring_view rest = path.substr(kLiteral.size());
        if (StartsWithIgnoringCase(rest, L"UNC\\")) {
            return L"\\\\" + std::wstring(rest.substr(4));
        }
        if (rest.size() >= 3 && IsDriveLetter(rest[0]) && rest[1] == L':' && rest[2] == L'\\') {
            return std::wstring(rest);
        }
        return std::wstring(path);
    }
    if (StartsWithIgnoringCase(path, L"UNC\\")) {
        return L"\\\\" + std::wstring(path.substr(4));
    }
    return std::wstring(path);
}

}  // namespace vantrel
