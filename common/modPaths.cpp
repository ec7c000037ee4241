#include "common/modPaths.h"

#include <windows.h>

#include <algorithm>

#include "common/modNames.h"

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

std::wstring_view WithoutLiteralPrefix(std::wstring_view path) {
    return path.substr(0, kLiteralPrefix.size()) == kLiteralPrefix ? path.substr(kLiteralPrefix.size())
                                                                   : path;
}

FolderAndName SplitPath(std::wstring_view path) {
    size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring_view::npos && path.size() >= 2 && path[1] == L':') {
        cut = 1;
    }
    if (cut == std::wstring_view::npos) {
        return {std::wstring(), std::wstring(path)};
    }
    return {std::wstring(path.substr(0, cut + 1)), std::wstring(path.substr(cut + 1))};
}

std::wstring FolderOfPath(std::wstring_view filePath) {
    std::wstring folder = SplitPath(filePath).folder;
    if (folder.empty() || !IsSeparator(folder.back())) {
        return std::wstring();  // no folder, or a drive alone
    }
    folder.pop_back();
    // A drive root keeps its backslash: C:\ and \\?\C:\ .
    if (!folder.empty() && folder.back() == L':') {
        folder += L'\\';
    }
    return folder;
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

std::wstring OrdinaryPath(std::wstring_view path, BareUnc bare) {
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
    if (bare == BareUnc::ModuleName && StartsWithIgnoringCase(path, L"UNC\\")) {
        return L"\\\\" + std::wstring(path.substr(4));
    }
    return std::wstring(path);
}

}  // namespace vantrel
