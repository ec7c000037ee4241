#include "sweep/modLineRules.h"

#include <windows.h>

#include <algorithm>

#include "common/modNames.h"
#include "common/modPaths.h"
#include "common/modText.h"

namespace vantrel::sweep {

namespace {

bool EndsWith(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Checks that hold for every piece, whatever the form of the path.
enum class PieceKind { Folder, Final };
const wchar_t* PieceRefusal(std::wstring_view piece, PieceKind kind) {
    if (piece.find(L':') != std::wstring_view::npos) {
        return L"a colon after the drive, which names a stream of a file";
    }
    if (kind == PieceKind::Folder && HasWildcards(piece)) {
        return L"a wildcard outside the final piece";
    }
    return nullptr;
}

// A path that the system takes literally: every piece must be a name.
ShortcutTarget ReadLiteralPath(std::wstring_view rest) {
    std::wstring path(kLiteralPrefix);
    size_t minimumPieces = 1;
    if (StartsWithIgnoringCase(rest, L"UNC\\")) {
        rest.remove_prefix(4);
        path += L"UNC\\";
        minimumPieces = 3;  // server, share, file
    } else if (rest.size() >= 3 && IsDriveLetter(rest[0]) && rest[1] == L':' && rest[2] == L'\\') {
        path += rest.substr(0, 3);
        rest.remove_prefix(3);
    } else {
        return ShortcutTarget::Refused(L"a device or volume path");
    }
    if (rest.find(L'/') != std::wstring_view::npos) {
        return ShortcutTarget::Refused(L"a / in a \\\\?\\ path, which names no file there");
    }
    const std::vector<std::wstring_view> pieces = PiecesOf(rest);
    if (pieces.size() < minimumPieces) {
        return ShortcutTarget::Refused(L"a share path without a share");
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::wstring_view piece = pieces[i];
        if (piece.empty()) {
            return ShortcutTarget::Refused(L"an empty piece in a \\\\?\\ path, which takes it literally");
        }
        if (piece == L"." || piece == L"..") {
            return ShortcutTarget::Refused(L"a . or .. piece in a \\\\?\\ path, which takes it literally");
        }
        if (EndsInDotOrBlank(piece)) {
            return ShortcutTarget::Refused(
                L"a piece ending in a dot or blank in a \\\\?\\ path, a name no ordinary path reaches");
        }
        if (const wchar_t* refusal =
                PieceRefusal(piece, i + 1 == pieces.size() ? PieceKind::Final : PieceKind::Folder)) {
            return ShortcutTarget::Refused(refusal);
        }
        path += piece;
        if (i + 1 < pieces.size()) {
            path += L'\\';
        }
    }
    return ShortcutTarget::To(Path(std::move(path)));
}

// The folder pieces of a full path as the system's normalisation keeps
// them: doubled separators and "." go, ".." takes away the piece before
// it, one trailing dot goes. A refusal where its outcome is in doubt.
// Where a full path's root lies.
enum class RootKind { Drive, Share };

const wchar_t* KeptFolders(const std::vector<std::wstring_view>& pieces, RootKind rootKind,
                           std::vector<std::wstring_view>& kept) {
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        std::wstring_view piece = pieces[i];
        if (const wchar_t* refusal = PieceRefusal(piece, PieceKind::Folder)) {
            return refusal;
        }
        if (piece.empty() || piece == L".") {
            continue;  // a doubled separator, or this folder
        }
        if (piece == L"..") {
            if (kept.empty()) {
                return rootKind == RootKind::Share ? L"a .. that climbs above the share"
                                                   : L"a .. that climbs above the drive's root";
            }
            kept.pop_back();
            continue;
        }
        if (piece.back() == L'.') {
            piece.remove_suffix(1);  // the system drops one trailing dot from a folder
            if (piece.empty() || piece.back() == L'.') {
                return L"a folder piece ending in more than one dot";
            }
        }
        kept.push_back(piece);
    }
    return nullptr;
}

// The system's own reading of the line, from its separators made single
// backslashes (which Windows does first, and Wine leaves undone on
// shares); empty when it cannot read it.
std::wstring SystemReading(std::wstring_view root, const std::vector<std::wstring_view>& pieces,
                           size_t expectedLength) {
    std::wstring given(root);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (!pieces[i].empty()) {
            given += pieces[i];
            if (i + 1 < pieces.size()) {
                given += L'\\';
            }
        }
    }
    return SystemFullPath(given, expectedLength);
}

// A full path on a drive or share, read as Windows reads it: `root` is
// C:\ or \\server\share\ , `rest` what follows it. The pieces are walked
// by the rules of the system's own normalisation, more strictly where its
// outcome is in doubt, and the system must come to the same path.
ShortcutTarget ReadFullPath(std::wstring_view root, std::wstring_view rest, RootKind rootKind) {
    const std::vector<std::wstring_view> pieces = PiecesOf(rest, L"\\/");
    std::vector<std::wstring_view> kept;
    if (const wchar_t* refusal = KeptFolders(pieces, rootKind, kept)) {
        return ShortcutTarget::Refused(refusal);
    }
    const std::wstring_view final = pieces.back();
    if (const wchar_t* refusal = PieceRefusal(final, PieceKind::Final)) {
        return ShortcutTarget::Refused(refusal);
    }
    std::wstring expected(root);
    for (std::wstring_view piece : kept) {
        expected += piece;
        expected += L'\\';
    }
    expected += final;
    if (expected.size() >= kLongestPath) {
        return ShortcutTarget::Refused(L"longer than any path the system takes");
    }
    const std::wstring full = SystemReading(root, pieces, expected.size());
    if (full.empty()) {
        return ShortcutTarget::Refused(L"the system cannot read it as a path");
    }
    // The drive letter's case is the one difference that does not matter.
    if (full.size() != expected.size() || !EqualsIgnoringCase(full.substr(0, 1), expected.substr(0, 1)) ||
        full.compare(1, std::wstring::npos, expected, 1, std::wstring::npos) != 0) {
        // A device name such as CON, or a rule of the system's that differs
        // from the ones above: the line could name another file.
        return ShortcutTarget::Refused(L"the system reads it as another path");
    }
    return ShortcutTarget::To(Path(rootKind == RootKind::Share ? L"\\\\?\\UNC\\" + full.substr(2)
                                                               : std::wstring(kLiteralPrefix) + full));
}

// \\server\share\ at the start of a line; empty when it is not one.
std::wstring_view ShareRoot(std::wstring_view line) {
    size_t at = 2;
    for (int piece = 0; piece < 2; ++piece) {
        const size_t start = at;
        while (at < line.size() && !IsSeparator(line[at])) {
            ++at;
        }
        const std::wstring_view name = line.substr(start, at - start);
        if (at == line.size() || name.empty() || name == L"." || name == L".." || EndsInDotOrBlank(name) ||
            HasWildcards(name) || name.find(L':') != std::wstring_view::npos) {
            return std::wstring_view();
        }
        ++at;
    }
    return line.substr(0, at);
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

ShortcutTarget CheckShortcutLine(std::wstring_view line) {
    if (!EndsWith(line, kShortcutSuffix)) {
        return ShortcutTarget::Refused(L"does not end in .url");
    }
    for (wchar_t c : line) {
        if (c < 0x20) {
            return ShortcutTarget::Refused(L"a control character");
        }
        if (c == L'<' || c == L'>' || c == L'"' || c == L'|') {
            return ShortcutTarget::Refused(L"one of < > \" |");
        }
        if (c == 0xFFFD) {
            // What the reader makes of bytes that are not UTF-8, and what
            // Wine shows for any name whose Linux bytes are not: it would
            // match files the manifest never meant.
            return ShortcutTarget::Refused(L"U+FFFD, which stands for bytes that are not UTF-8");
        }
    }
    switch (FormOf(line)) {
        case PathForm::Literal:
            return ReadLiteralPath(line.substr(kLiteralPrefix.size()));
        case PathForm::Device:
            return ShortcutTarget::Refused(L"a device path");
        case PathForm::Share: {
            const std::wstring_view root = ShareRoot(line);
            if (root.empty()) {
                return ShortcutTarget::Refused(L"a share path without a proper server and share name");
            }
            std::wstring backslashed(root);
            std::replace(backslashed.begin(), backslashed.end(), L'/', L'\\');
            return ReadFullPath(backslashed, line.substr(root.size()), RootKind::Share);
        }
        case PathForm::Drive:
            return ReadFullPath(std::wstring(line.substr(0, 2)) + L"\\", line.substr(3), RootKind::Drive);
        case PathForm::DriveRelative:
            return ShortcutTarget::Refused(L"relative to the current folder of its drive");
        case PathForm::Rooted:
            return ShortcutTarget::Refused(L"rooted on whatever drive is current");
        case PathForm::Relative:
            break;
    }
    return ShortcutTarget::Refused(L"relative to the current folder");
}

std::optional<std::wstring> ShortcutPathToDelete(std::wstring_view line) {
    ShortcutTarget target = CheckShortcutLine(line);
    if (target.refusal) {
        return std::nullopt;
    }
    return target.path.Text();
}

LineDecision DecideLine(const LineList& lines, size_t i) {
    const std::wstring_view line = lines[i];
    if (i + 1 == lines.size()) {
        // The piece after the last CR LF is never a complete entry.
        return LineDecision::Ignored(IgnoredBecause::LastPiece,
                                     L"the last piece, with no CR LF after it, is never acted on");
    }
    if (!EndsWith(line, kShortcutSuffix)) {
        if (EndsWithIgnoringCase(line, kShortcutSuffix)) {
            return LineDecision::Ignored(IgnoredBecause::SuffixInOtherCase,
                                         L"ends in .url in other letters than lower case");
        }
        return LineDecision::Ignored(IgnoredBecause::NoShortcutSuffix, L"does not end in .url");
    }
    ShortcutTarget target = CheckShortcutLine(line);
    if (target.refusal) {
        return LineDecision::Refused(target.refusal);
    }
    return LineDecision::Examined(std::move(target.path));
}

}  // namespace vantrel::sweep
