// The rules of the Windows Installer custom actions (VantrelActions.cpp)
// that need no installer: how CustomActionData is cut, what is a full path,
// which paths a manifest may be written to, and whose a service's program
// is. Kept apart, with nothing but the standard library and Windows'
// headers, so that they are tested with the programs' own tests and an
// author can build the DLL from these two files alone.
#pragma once

#include <cwctype>
#include <string>
#include <vector>

namespace vantrel_actions {

// Every piece between separators, empty ones too: a piece's place is its
// meaning.
inline std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    size_t begin = 0;
    for (;;) {
        const size_t end = text.find(separator, begin);
        pieces.push_back(text.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin));
        if (end == std::wstring::npos) {
            return pieces;
        }
        begin = end + 1;
    }
}

// A path given in quotes is taken without them.
inline std::wstring Unquoted(const std::wstring& path) {
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
        return path.substr(1, path.size() - 2);
    }
    return path;
}

inline std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
        if (c == L'/') {
            c = L'\\';
        }
    }
    return text;
}

// A path on a drive (C:\...) or a share (\\server\...).
inline bool IsFullPath(const std::wstring& path) {
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && separator(path[2])) {
        return true;
    }
    return path.size() >= 3 && separator(path[0]) && separator(path[1]) && path[2] != L'?' &&
           path[2] != L'.' && !separator(path[2]);
}

// True when the path's file name is one of the four manifests'.
inline bool NamesManifest(const std::wstring& path) {
    const std::wstring lower = Lower(path);
    const size_t slash = lower.find_last_of(L'\\');
    const std::wstring name = slash == std::wstring::npos ? lower : lower.substr(slash + 1);
    for (const wchar_t* language : {L"en", L"de", L"fr", L"ja"}) {
        if (name == std::wstring(L"__shortcutsweep-") + language + L".ini") {
            return true;
        }
    }
    return false;
}

// The program of a binary path: the text in quotes when it starts with a
// quote, otherwise everything up to and including the first ".exe".
inline std::wstring ProgramOf(const std::wstring& binaryPath) {
    if (!binaryPath.empty() && binaryPath[0] == L'"') {
        const size_t end = binaryPath.find(L'"', 1);
        return binaryPath.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
    }
    const size_t exe = Lower(binaryPath).find(L".exe");
    return exe == std::wstring::npos ? binaryPath : binaryPath.substr(0, exe + 4);
}

// Whether `program` lies in `folder` (or a folder below it), letter case
// aside, either separator counting; a folder that is no full path holds
// nothing.
inline bool LiesInFolder(const std::wstring& program, const std::wstring& folder) {
    std::wstring within = Lower(folder);
    if (within.empty() || !IsFullPath(within)) {
        return false;
    }
    if (within.back() != L'\\') {
        within += L'\\';
    }
    return Lower(program).compare(0, within.size(), within) == 0;
}

}  // namespace vantrel_actions
