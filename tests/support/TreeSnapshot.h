// A whole folder tree as it stands: every file and folder below a root, by
// full path, with its attributes; and what changed between two of them.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>

namespace testing_support {

using Tree = std::map<std::wstring, DWORD>;

namespace detail {

inline void AddToSnapshot(const std::wstring& folder, Tree& tree) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW((L"\\\\?\\" + folder + L"\\*").c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const std::wstring path = folder + L"\\" + name;
        tree[path] = data.dwFileAttributes;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            AddToSnapshot(path, tree);
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

}  // namespace detail

// Paths longer than MAX_PATH are listed too.
inline Tree Snapshot(const std::wstring& root) {
    Tree tree;
    detail::AddToSnapshot(root, tree);
    return tree;
}

// Entries of `before` that `after` lacks.
inline std::set<std::wstring> Removed(const Tree& before, const Tree& after) {
    std::set<std::wstring> removed;
    for (const auto& entry : before) {
        if (after.find(entry.first) == after.end()) {
            removed.insert(entry.first);
        }
    }
    return removed;
}

// Entries of `after` that are new, or whose attributes differ from `before`.
inline std::set<std::wstring> AddedOrChanged(const Tree& before, const Tree& after) {
    std::set<std::wstring> changed;
    for (const auto& entry : after) {
        auto was = before.find(entry.first);
        if (was == before.end() || was->second != entry.second) {
            changed.insert(entry.first);
        }
    }
    return changed;
}

}  // namespace testing_support
