#include "common/modNames.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace vantrel {

namespace {

std::wstring MappedCase(std::wstring_view text, DWORD mapping) {
    std::wstring mapped(text);
    const int length = static_cast<int>(mapped.size());
    if (length > 0 &&
        ::LCMapStringW(LOCALE_INVARIANT, mapping, text.data(), length, mapped.data(), length) != length) {
        return std::wstring(text);
    }
    return mapped;
}

// `name` and `pattern` are upper-cased already. * stands for any run of
// characters. ? stands for one character other than a dot, or for none
// where the name has a dot or has ended: Report?.txt matches Report.txt
// and Report2.txt, and a?b.txt does not match a.b.txt. That is how Windows
// reads a ? in FindFirstFile. Where our matcher and Windows' own still
// differ on long names:
//  - Windows reads a * just before a dot as "any run without the name's
//    last dot", and a dot just before * or ? as "a dot, or nothing at the
//    end of the name". A pattern that ends in a dot and a suffix (".txt") matches the same names
//    either way: its last dot can only meet the name's last dot.
//  - Windows folds letter case with the volume's own table, we with the
//    invariant locale's; they agree on the letters of every living script.
//  - Wine's own matcher reads ? as exactly one character, and finds nothing
//    for *? ; the listing is matched here, so Wine and Windows sweep alike.
//  - Windows also matches each file's 8.3 alias; we never do (modFiles.h).
bool GlobMatches(std::wstring_view name, std::wstring_view pattern) {
    const size_t m = pattern.size();
    // reach[j]: the name read so far matches the first j pattern characters.
    std::vector<char> reach(m + 1, 0);
    std::vector<char> next(m + 1, 0);
    // Moves that read nothing: past a *, or past a ? at a dot or the end.
    auto close = [&](std::vector<char>& state, size_t at) {
        const bool atDotOrEnd = at == name.size() || name[at] == L'.';
        for (size_t j = 0; j < m; ++j) {
            if (state[j] && (pattern[j] == L'*' || (pattern[j] == L'?' && atDotOrEnd))) {
                state[j + 1] = 1;
            }
        }
    };
    reach[0] = 1;
    close(reach, 0);
    for (size_t i = 0; i < name.size(); ++i) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (size_t j = 0; j < m; ++j) {
            if (!reach[j]) {
                continue;
            }
            const wchar_t p = pattern[j];
            if (p == L'*') {
                next[j] = 1;
                any = true;
            } else if ((p == L'?' && name[i] != L'.') || p == name[i]) {
                next[j + 1] = 1;
                any = true;
            }
        }
        if (!any) {
            return false;
        }
        close(next, i + 1);
        reach.swap(next);
    }
    return reach[m] != 0;
}

}  // namespace

std::wstring UpperCase(std::wstring_view text) { return MappedCase(text, LCMAP_UPPERCASE); }

std::wstring LowerCase(std::wstring_view text) { return MappedCase(text, LCMAP_LOWERCASE); }

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithIgnoringCase(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

bool HasWildcards(std::wstring_view text) { return text.find_first_of(L"*?") != std::wstring_view::npos; }

bool NameMatchesPattern(std::wstring_view name, std::wstring_view pattern) {
    return NamePattern(pattern).Matches(name);
}

NamePattern::NamePattern(std::wstring_view pattern) : upper_(UpperCase(pattern)) {}

bool NamePattern::Matches(std::wstring_view name) const { return GlobMatches(UpperCase(name), upper_); }

bool IsPlainName(std::wstring_view name) {
    if (name.empty() || name == L"." || name == L"..") {
        return false;
    }
    for (wchar_t c : name) {
        if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
            return false;
        }
    }
    return true;
}

bool EndsInDotOrBlank(std::wstring_view name) {
    return !name.empty() && (name.back() == L'.' || name.back() == L' ');
}

}  // namespace vantrel
