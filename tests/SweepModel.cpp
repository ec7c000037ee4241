// The sweep's rules, as a model (SweepModel.h).
#include "tests/SweepModel.h"

#include <algorithm>

namespace sweep_model {

namespace {

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

std::vector<std::wstring> SplitAt(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> pieces(1);
    for (wchar_t c : text) {
        if (c == separator) {
            pieces.emplace_back();
        } else {
            pieces.back() += c;
        }
    }
    return pieces;
}

bool IsPlainName(const std::wstring& piece) {
    return !piece.empty() && piece != L"." && piece != L".." && piece.back() != L'.' && piece.back() != L' ';
}

// Whether the bytes start with EF BB BF, and the text decoded after them.
bool ModelRead(const std::string& bytes, std::wstring& text) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") != 0) {
        return false;
    }
    const int size = static_cast<int>(bytes.size() - 3);
    const int units = size == 0 ? 0 : ::MultiByteToWideChar(CP_UTF8, 0, bytes.data() + 3, size, nullptr, 0);
    text.assign(static_cast<size_t>(units), L'\0');
    if (units > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, bytes.data() + 3, size, text.data(), units);
    }
    return true;
}

bool IsOrdinaryFile(DWORD a) {
    return (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}
bool IsDeletable(DWORD a) { return IsOrdinaryFile(a) && (a & FILE_ATTRIBUTE_READONLY) == 0; }

// Each file's 8.3 alias, folded, where it has one apart from its name.
std::map<std::wstring, std::wstring> AliasesIn(const Tree& tree) {
    std::map<std::wstring, std::wstring> aliases;
    for (const auto& [path, attributes] : tree) {
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileExW((L"\\\\?\\" + path).c_str(), FindExInfoStandard, &data,
                                         FindExSearchNameMatch, nullptr, 0);
        if (find != INVALID_HANDLE_VALUE) {
            ::FindClose(find);
            if (data.cAlternateFileName[0] != L'\0') {
                aliases[path] = Fold(data.cAlternateFileName);
            }
        }
    }
    return aliases;
}

// The names a system may report alike have one key: the name up to its
// first backslash, without the dots and blanks at its end, folded.
std::wstring SpellingKeyOf(std::wstring_view name) {
    name = name.substr(0, name.find(L'\\'));
    const size_t kept = name.find_last_not_of(L". ");
    return Fold(name.substr(0, kept == std::wstring_view::npos ? 0 : kept + 1));
}

// The names in each folder of the tree, as a listing shows them.
using FolderNames = std::map<std::wstring, std::vector<std::wstring>>;

FolderNames NamesByFolder(const Tree& tree, const CaseLinks& made) {
    FolderNames names;
    for (const auto& entry : tree) {
        // A path shown for a name holding a backslash is no entry of the
        // folder it seems to lie in, unless a link lies there under it.
        if (!made.backslashed.count(entry.first) || made.files.count(entry.first)) {
            names[FolderOf(entry.first)].push_back(LeafOf(entry.first));
        }
    }
    for (const auto& [shown, folder] : made.backslashed) {
        names[folder].push_back(shown.substr(folder.size() + 1));
    }
    return names;
}

// Whether the final path the system reports for the file at `path` names
// that file alone. Wine reports a folder whose name ends in a dot without
// that dot (and a file's own name without the dots and blanks at its end,
// but such a name never ends in .url): that piece is never the entry as
// named. And each piece below `root` must be the one name of its spelling
// in the folder before it; above it, none is shared.
bool SpelledOnce(const std::wstring& path, const std::wstring& root, const FolderNames& names) {
    for (std::wstring at = path; at.size() > root.size(); at = FolderOf(at)) {
        const std::wstring name = LeafOf(at);
        if (name.empty() || name.back() == L'.') {
            return false;
        }
        const auto folder = names.find(FolderOf(at));
        if (folder == names.end()) {
            return false;
        }
        const std::wstring key = SpellingKeyOf(name);
        if (std::count_if(folder->second.begin(), folder->second.end(),
                          [&](const std::wstring& other) { return SpellingKeyOf(other) == key; }) != 1) {
            return false;
        }
    }
    return true;
}

}  // namespace

wchar_t Fold(wchar_t c) {
    if (c >= L'a' && c <= L'z') {
        return static_cast<wchar_t>(c - 0x20);
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {  // à..þ except ÷
        return static_cast<wchar_t>(c - 0x20);
    }
    if (c >= 0xFF41 && c <= 0xFF5A) {  // full-width a..z
        return static_cast<wchar_t>(c - 0x20);
    }
    return c;
}

std::wstring Fold(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        c = Fold(c);
    }
    return out;
}

bool ModelGlob(std::wstring_view name, std::wstring_view pattern) {
    // matches[i][j]: the name from i on matches the pattern from j on.
    const size_t n = name.size();
    const size_t m = pattern.size();
    std::vector<std::vector<char>> matches(n + 2, std::vector<char>(m + 1, 0));
    matches[n][m] = 1;
    for (size_t i = n + 1; i-- > 0;) {
        for (size_t j = m; j-- > 0;) {
            const wchar_t p = pattern[j];
            const bool atEnd = i >= n;
            bool ok = false;
            if (p == L'*') {
                ok = matches[i][j + 1] || (!atEnd && matches[i + 1][j]);
            } else if (p == L'?') {
                ok = (atEnd || name[i] == L'.') ? matches[i][j + 1] : matches[i + 1][j + 1];
            } else {
                ok = !atEnd && p == name[i] && matches[i + 1][j + 1];
            }
            matches[i][j] = ok ? 1 : 0;
        }
    }
    return matches[0][0] != 0;
}

std::optional<ModelTarget> TargetOf(std::wstring_view line) {
    if (line.size() < 4 || line.substr(line.size() - 4) != L".url") {
        return std::nullopt;
    }
    for (wchar_t c : line) {
        if (c < 0x20 || c == 0xFFFD || std::wstring_view(L"<>\"|").find(c) != std::wstring_view::npos) {
            return std::nullopt;
        }
    }
    std::wstring text(line);
    const bool literal = text.compare(0, 4, L"\\\\?\\") == 0;
    if (literal) {
        if (text.find(L'/') != std::wstring::npos) {
            return std::nullopt;
        }
        text = text.substr(4);
    } else {
        std::replace(text.begin(), text.end(), L'/', L'\\');
    }
    auto isDrive = [](std::wstring_view t) {
        return t.size() >= 3 && IsAsciiLetter(t[0]) && t[1] == L':' && t[2] == L'\\';
    };
    std::wstring root;  // a drive, or \ for a share
    std::wstring rest;
    if (literal && Fold(text.substr(0, 4)) == L"UNC\\") {
        root = L"\\";
        rest = text.substr(4);
    } else if (!literal && text.compare(0, 2, L"\\\\") == 0) {
        if (text.size() >= 4 && (text[2] == L'?' || text[2] == L'.') && text[3] == L'\\') {
            return std::nullopt;
        }
        root = L"\\";
        rest = text.substr(2);
    } else if (isDrive(text)) {
        root = text.substr(0, 2);
        rest = text.substr(3);
    } else {
        return std::nullopt;
    }
    const std::vector<std::wstring> raw = SplitAt(rest, L'\\');
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i].find(L':') != std::wstring::npos ||
            (i + 1 < raw.size() && raw[i].find_first_of(L"*?") != std::wstring::npos)) {
            return std::nullopt;
        }
    }
    const size_t rootPieces = root == L"\\" ? 2 : 0;  // server and share
    std::vector<std::wstring> pieces;
    for (size_t i = 0; i < raw.size(); ++i) {
        const std::wstring& piece = raw[i];
        if (literal || i < rootPieces || i + 1 == raw.size()) {
            if (!IsPlainName(piece)) {
                return std::nullopt;
            }
            pieces.push_back(piece);
        } else if (piece.empty() || piece == L".") {
        } else if (piece == L"..") {
            if (pieces.size() <= rootPieces) {
                return std::nullopt;
            }
            pieces.pop_back();
        } else if (piece.back() == L'.') {
            if (piece.size() < 2 || piece[piece.size() - 2] == L'.') {
                return std::nullopt;
            }
            pieces.push_back(piece.substr(0, piece.size() - 1));
        } else {
            pieces.push_back(piece);
        }
    }
    if (pieces.size() < rootPieces + 1) {
        return std::nullopt;
    }
    ModelTarget target;
    target.folder = root == L"\\" ? L"\\" : Fold(root);
    target.exactFolder = root == L"\\" ? L"\\" : Fold(root);
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        target.folder += L"\\" + Fold(pieces[i]);
        target.exactFolder += L"\\" + pieces[i];
    }
    target.pattern = Fold(pieces.back());
    return target;
}

std::vector<std::wstring> ModelLines(std::wstring_view text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t cut = text.find(L"\r\n"); cut != std::wstring_view::npos; cut = text.find(L"\r\n", start)) {
        lines.emplace_back(text.substr(start, cut - start));
        start = cut + 2;
    }
    return lines;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }
std::wstring LeafOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

bool IsDirectory(DWORD a) { return (a & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool ReportedOtherwise(const std::wstring& path) {
    return !path.empty() && (path.back() == L'.' || path.back() == L' ');
}

std::set<std::wstring> ModelDeletions(const Tree& before, const std::wstring& root,
                                      const std::wstring& baseFolder,
                                      const std::map<std::wstring, WrittenManifest>& written,
                                      const CaseLinks& links, std::map<std::wstring, std::wstring>& why,
                                      std::set<std::wstring>* spelledAlike) {
    const std::map<std::wstring, std::wstring> aliases = AliasesIn(before);
    const FolderNames names = NamesByFolder(before, links);
    std::set<std::wstring> deleted;
    auto isLink = [&](const std::wstring& path) { return links.files.count(path) != 0; };
    auto spelledOnce = [&](const std::wstring& path) {
        if (SpelledOnce(path, root, names)) {
            return true;
        }
        if (spelledAlike) {
            spelledAlike->insert(path);
        }
        return false;
    };
    // The ordinary file of that name in the base folder, if any.
    auto ordinaryIn = [&](const std::wstring& folder, const std::wstring& name) -> const Tree::value_type* {
        for (const auto& entry : before) {
            if (Fold(FolderOf(entry.first)) == Fold(folder) && Fold(LeafOf(entry.first)) == Fold(name)) {
                return IsOrdinaryFile(entry.second) && !isLink(entry.first) && spelledOnce(entry.first)
                           ? &entry
                           : nullptr;
            }
        }
        return nullptr;
    };
    for (const wchar_t* lang : {L"en", L"de", L"fr", L"ja"}) {
        const auto* manifest = ordinaryIn(baseFolder, L"__shortcutsweep-" + std::wstring(lang) + L".ini");
        if (!manifest) {
            continue;
        }
        auto content = written.find(Fold(manifest->first));
        std::wstring text;
        if (content != written.end() && ModelRead(content->second, text)) {
            for (const std::wstring& line : ModelLines(text)) {
                std::optional<ModelTarget> target = TargetOf(line);
                if (!target) {
                    continue;
                }
                // A line without wildcards also names a file by its alias.
                const bool plain = target->pattern.find_first_of(L"*?") == std::wstring::npos;
                const auto linked = links.folders.find(target->folder);
                const std::wstring folder = linked == links.folders.end() ? target->folder : linked->second;
                for (const auto& [path, attributes] : before) {
                    std::wstring name = Fold(LeafOf(path));
                    auto alias = aliases.find(path);
                    const bool named = ModelGlob(name, target->pattern) ||
                                       (plain && alias != aliases.end() && alias->second == target->pattern);
                    const bool placeKnown =
                        !ReportedOtherwise(FolderOf(path)) ||
                        (linked == links.folders.end() && target->exactFolder == FolderOf(path));
                    if (Fold(FolderOf(path)) == folder && IsDeletable(attributes) && !isLink(path) &&
                        !links.backslashed.count(path) && name.size() >= 4 &&
                        name.substr(name.size() - 4) == L".URL" && named && placeKnown && spelledOnce(path)) {
                        deleted.insert(path);
                        why[path] = line;
                    }
                }
            }
        }
        if (IsDeletable(manifest->second)) {
            deleted.insert(manifest->first);
            why[manifest->first] = L"a manifest";
        }
    }
    if (const auto* batch = ordinaryIn(baseFolder, L"__shortcutsweep.bat")) {
        if (IsDeletable(batch->second)) {
            deleted.insert(batch->first);
            why[batch->first] = L"the batch file";
        }
    }
    const std::set<std::wstring> gone = deleted;
    for (const auto& entry : before) {
        const auto link = links.files.find(entry.first);
        if (link != links.files.end() && gone.count(link->second)) {
            deleted.insert(entry.first);
            why[entry.first] = L"a link whose target went, which no listing shows";
        }
    }
    return deleted;
}

}  // namespace sweep_model
