#include "common/modPaths.h"

#include <windows.h>

#include <algorithm>

namespace vantrel {

namespace {

// The length of a server or share name at `at`: up to the next separator.
size_t NameLength(std::wstring_view path, size_t at) {
    size_t end = at;
    while (end < path.size() && !IsSeparator(path[end])) {
        ++end;
    }
    return end - at;
}

}  // namespace

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

PathForm FormOf(std::wstring_view path) {
    if (path.substr(0, kLiteralPrefix.size()) == kLiteralPrefix) {
        return PathForm::Literal;
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        const bool device = path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && IsSeparator(path[3]);
        return device ? PathForm::Device : PathForm::Share;
    }
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
        return path.size() >= 3 && IsSeparator(path[2]) ? PathForm::Drive : PathForm::DriveRelative;
    }
    return !path.empty() && IsSeparator(path[0]) ? PathForm::Rooted : PathForm::Relative;
}

std::wstring_view FullPathRoot(std::wstring_view path) {
    switch (FormOf(path)) {
        case PathForm::Drive:
            return path.substr(0, 3);
        case PathForm::Share:
            break;
        default:
            return std::wstring_view();
    }
    const size_t server = NameLength(path, 2);
    const size_t shareAt = 2 + server + 1;
    if (server == 0 || shareAt >= path.size()) {
        return std::wstring_view();
    }
    const size_t share = NameLength(path, shareAt);
    if (share == 0) {
        return std::wstring_view();
    }
    return path.substr(0, std::min(path.size(), shareAt + share + 1));
}

std::wstring OrdinaryPath(std::wstring_view path) {
    if (FormOf(path) == PathForm::Literal) {
        const std::wstring_view rest = path.substr(kLiteralPrefix.size());
        if (StartsWithIgnoringCase(rest, L"UNC\\")) {
            return L"\\\\" + std::wstring(rest.substr(4));
        }
        if (FormOf(rest) == PathForm::Drive && rest[2] == L'\\') {
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
