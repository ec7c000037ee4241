#include "modMain.h"

#include <windows.h>

#include <algorithm>
#include <exception>

#include "modFiles.h"
#include "modProcess.h"
#include "modUTF8_FileIO.h"

namespace vantrel {

std::wstring BaseFolder;

namespace {

constexpr std::wstring_view kLanguages[] = {L"en", L"de", L"fr", L"ja"};
constexpr std::wstring_view kDevelopmentSwitch = L"/noproduction";
constexpr std::wstring_view kDevelopmentFolder = L"ZV\\";
constexpr std::wstring_view kBatchFile = L"__shortcutsweep.bat";
constexpr std::wstring_view kShortcutSuffix = L".url";

// Runs one step of a sweep; a step that fails is abandoned and the sweep
// goes on with the next one.
template <typename Step>
void SkipOnFailure(Step step) noexcept {
    try {
        step();
    } catch (const std::exception&) {
    }
}

bool EndsWith(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsSafePiece(std::wstring_view piece, bool isFinal) {
    if (piece.empty() || piece == L"." || piece == L".." || piece.back() == L'.' || piece.back() == L' ') {
        return false;
    }
    for (wchar_t c : piece) {
        if (c < 0x20 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|') {
            return false;
        }
        if (!isFinal && (c == L'*' || c == L'?')) {
            return false;
        }
    }
    return true;
}

// Appends the backslash-separated pieces of `rest` to `out` after checking
// each; `minimum` pieces must be present.
bool AppendSafePieces(std::wstring_view rest, size_t minimum, std::wstring& out) {
    size_t count = 0;
    for (;;) {
        size_t cut = rest.find(L'\\');
        bool isFinal = cut == std::wstring_view::npos;
        std::wstring_view piece = rest.substr(0, cut);
        if (!IsSafePiece(piece, isFinal)) {
            return false;
        }
        out += piece;
        ++count;
        if (isFinal) {
            return count >= minimum;
        }
        out += L'\\';
        rest.remove_prefix(cut + 1);
    }
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

LineList LineList::Split(std::wstring text) {
    LineList list;
    list.text_ = std::move(text);
    if (list.text_.empty()) {
        return list;
    }
    size_t start = 0;
    for (;;) {
        size_t end = list.text_.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            list.pieces_.emplace_back(start, list.text_.size() - start);
            return list;
        }
        list.pieces_.emplace_back(start, end - start);
        start = end + 2;
    }
}

LineList LineList::OneEmptyLine() {
    LineList list;
    list.pieces_.emplace_back(0, 0);
    return list;
}

std::wstring ParentFolder(const std::wstring& path, int16_t levels) {
    if (path.empty()) {
        return L"\\";  // no pieces at all
    }
    const long pieces = static_cast<long>(std::count(path.begin(), path.end(), L'\\')) + 1;
    const long last = pieces - 1 - levels;
    if (last < 0) {
        return L"\\";
    }
    if (last >= pieces - 1) {
        return path + L"\\";
    }
    // Pieces 0..last joined by backslashes are the text before the
    // (last + 1)-th backslash.
    size_t cut = 0;
    for (long i = 0; i <= last; ++i) {
        cut = path.find(L'\\', i == 0 ? 0 : cut + 1);
    }
    return path.substr(0, cut + 1);
}

std::wstring ManifestPath(std::wstring_view lang) {
    return BaseFolder + L"__shortcutsweep-" + std::wstring(lang) + L".ini";
}

LineList ReadManifestLines(std::wstring_view lang) {
    try {
        const std::wstring path = ManifestPath(lang);
        if (FileMatches(path)) {
            std::wstring content;
            std::wstring message;
            if (ReadUTF8File(path, content, message, false, false, false)) {
                return LineList::Split(std::move(content));
            }
        }
    } catch (const std::exception&) {
    }
    return LineList::OneEmptyLine();
}

std::optional<std::wstring> ShortcutPathToDelete(std::wstring_view line) {
    std::wstring text(line);
    std::replace(text.begin(), text.end(), L'/', L'\\');
    std::wstring_view rest(text);
    std::wstring path;
    size_t minimumPieces = 1;
    if (StartsWith(rest, L"\\\\?\\UNC\\")) {
        rest.remove_prefix(8);
        path = L"\\\\?\\UNC\\";
        minimumPieces = 3;  // server, share, file
    } else if (StartsWith(rest, L"\\\\?\\")) {
        rest.remove_prefix(4);
        if (rest.size() < 3 || !IsDriveLetter(rest[0]) || rest[1] != L':' || rest[2] != L'\\') {
            return std::nullopt;  // device and volume names
        }
        path = L"\\\\?\\" + std::wstring(rest.substr(0, 3));
        rest.remove_prefix(3);
    } else if (StartsWith(rest, L"\\\\")) {
        rest.remove_prefix(2);
        path = L"\\\\?\\UNC\\";
        minimumPieces = 3;
    } else if (rest.size() >= 3 && IsDriveLetter(rest[0]) && rest[1] == L':' && rest[2] == L'\\') {
        path = L"\\\\?\\" + std::wstring(rest.substr(0, 3));
        rest.remove_prefix(3);
    } else {
        return std::nullopt;  // relative, drive-relative or rooted at the current drive
    }
    if (!EndsWith(rest, kShortcutSuffix) || !AppendSafePieces(rest, minimumPieces, path)) {
        return std::nullopt;
    }
    return path;
}

void ProcessLanguage(std::wstring_view lang) {
    SkipOnFailure([&] {
        const std::wstring path = ManifestPath(lang);
        // A test that fails lets the steps it guards run, as if it had passed.
        if (FindMatchingFile(path) == Match::NotFound) {
            return;
        }
        const LineList lines = ReadManifestLines(lang);
        // Every line but the last: the piece after the last CR LF is never
        // a complete entry.
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            const std::wstring_view line = lines[i];
            if (EndsWith(line, kShortcutSuffix)) {
                SkipOnFailure([&] {
                    if (std::optional<std::wstring> target = ShortcutPathToDelete(line)) {
                        DeleteFiles(*target, kShortcutSuffix);
                    }
                });
            }
        }
        SkipOnFailure([&] { DeleteFiles(path); });
    });
    YieldToEvents();
}

void RunSweepFor(const std::wstring& argumentText, const std::wstring& programFolder) {
    if (programFolder.empty()) {
        return;  // without its own folder the sweep has nowhere safe to look
    }
    SkipOnFailure([&] {
        const bool development = LowerCase(argumentText).find(kDevelopmentSwitch) != std::wstring::npos;
        BaseFolder = development ? ParentFolder(programFolder, 2) + std::wstring(kDevelopmentFolder)
                                 : programFolder + L"\\";
    });
    if (BaseFolder.empty()) {
        return;
    }
    for (std::wstring_view lang : kLanguages) {
        ProcessLanguage(lang);
    }
    SkipOnFailure([&] { DeleteFiles(BaseFolder + std::wstring(kBatchFile)); });
}

void RunSweep() { RunSweepFor(ArgumentText(), ProgramFolder()); }

int Main() {
    RestrictDllSearchToSystem();
    RunSweep();
    return 0;
}

}  // namespace vantrel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        return vantrel::Main();
    } catch (...) {
        return 0;
    }
}
