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

std::vector<std::wstring_view> PiecesOf(std::wstring_view text, std::wstring_view separators) {
    std::vector<std::wstring_view> pieces;
    for (;;) {
        const size_t cut = text.find_first_of(separators);
        pieces.push_back(text.substr(0, cut));
        if (cut == std::wstring_view::npos) {
            return pieces;
        }
        text.remove_prefix(cut + 1);
    }
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

std::wstring_view FinalPathRoot(std::wstring_view path) {
    if (path.substr(0, kLiteralPrefix.size()) != kLiteralPrefix) {
        return std::wstring_view();
    }
    const std::wstring_view rest = path.substr(kLiteralPrefix.size());
    if (rest.size() >= 2 && IsDriveLetter(rest[0]) && rest[1] == L':' &&
        (rest.size() == 2 || rest[2] == L'\\')) {
        return path.substr(0, kLiteralPrefix.size() + 2);
    }
    if (rest.size() > 4 && StartsWithIgnoringCase(rest, L"UNC\\")) {
        const size_t server = rest.find(L'\\', 4);
        if (server == std::wstring_view::npos || server == 4) {
            return std::wstring_view();
        }
        const size_t share = rest.find(L'\\', server + 1);
        const size_t end = share == std::wstring_view::npos ? rest.size() : share;
        return end == server + 1 ? std::wstring_view() : path.substr(0, kLiteralPrefix.size() + end);
    }
    return std::wstring_view();
}

namespace {

// Where a path is cut before its last piece: after its last separator, or
// after the colon of a drive (C:name); npos when it has no folder part.
size_t CutOf(std::wstring_view path) {
    const size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring_view::npos && path.size() >= 2 && path[1] == L':') {
        return 1;
    }
    return cut;
}

}  // namespace

Path Path::Folder() const {
    const size_t cut = CutOf(text_);
    return cut == std::wstring::npos ? Path() : Path(text_.substr(0, cut + 1));
}

std::wstring Path::Name() const {
    const size_t cut = CutOf(text_);
    return cut == std::wstring::npos ? text_ : text_.substr(cut + 1);
}

Path Path::Child(std::wstring_view name) const {
    std::wstring child = text_;
    if (!child.empty() && !IsSeparator(child.back())) {
        child += L'\\';
    }
    return Path(child.append(name));
}

Path Path::Parent() const {
    std::wstring folder = Folder().Text();
    if (folder.empty() || !IsSeparator(folder.back())) {
        return Path();  // no folder, or a drive alone
    }
    folder.pop_back();
    // A drive root keeps its backslash: C:\ and \\?\C:\ .
    if (!folder.empty() && folder.back() == L':') {
        folder += L'\\';
    }
    return Path(std::move(folder));
}

Path::FinalSpelling Path::AsFinalPath() const {
    const PathForm form = Form();
    std::wstring full;
    if (form == PathForm::Literal) {
        full = OrdinaryPath(text_);
    } else if (form == PathForm::Drive || form == PathForm::Share) {
        full = SystemFullPath(text_);
    }
    const std::wstring_view root = FullPathRoot(full);
    if (root.empty()) {
        return {};
    }
    FinalSpelling spelling;
    if (FormOf(full) == PathForm::Drive) {
        spelling.root = std::wstring(kLiteralPrefix) + UpperCase(full.substr(0, 1)) + L":";
    } else {
        std::wstring_view server = root.substr(2);
        if (!server.empty() && IsSeparator(server.back())) {
            server.remove_suffix(1);
        }
        spelling.root = std::wstring(kLiteralPrefix) + L"UNC\\" + std::wstring(server);
    }
    spelling.rest = L"\\" + full.substr(root.size());
    return spelling;
}

std::wstring SystemFullPath(const std::wstring& path, size_t expectedLength) {
    std::wstring full(expectedLength + 16, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD size = static_cast<DWORD>(full.size());
        const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
        if (length == 0 || length > kLongestPath + 1) {
            return std::wstring();
        }
        if (length < size) {
            full.resize(length);
            return full;
        }
        full.assign(static_cast<size_t>(length) + 1, L'\0');
    }
    return std::wstring();
}

bool IsNameIn(std::wstring_view filePath, std::wstring_view folderPath, std::wstring& name) {
    const size_t cut = filePath.find_last_of(L'\\');
    if (cut == std::wstring_view::npos || cut + 1 == filePath.size()) {
        return false;
    }
    std::wstring_view folder = folderPath;
    if (!folder.empty() && folder.back() == L'\\') {
        folder.remove_suffix(1);
    }
    if (filePath.substr(0, cut) != folder) {
        return false;
    }
    name = std::wstring(filePath.substr(cut + 1));
    return true;
}

}  // namespace vantrel
