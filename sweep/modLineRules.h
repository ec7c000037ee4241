// The line rules: what a line of a manifest means, and the sweep's decision
// on it. The one place the rules are applied: the sweep acts on the
// decisions, its log records them and sweepcheck shows them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/modPaths.h"

namespace vantrel::sweep {

// The suffix of a line the sweep acts on, and of every file it deletes:
// exactly this, in lower case.
inline constexpr std::wstring_view kShortcutSuffix = L".url";

// The lines of a manifest: one text, cut at every CR LF, every piece kept.
class LineList {
public:
    // Cuts `text` at every CR LF. Text ending in CR LF gives a last, empty
    // piece; empty text gives no pieces at all.
    static LineList Split(std::wstring text);
    // What an absent or unreadable manifest yields.
    static LineList OneEmptyLine();

    size_t size() const { return pieces_.size(); }
    std::wstring_view operator[](size_t i) const {
        return std::wstring_view(text_).substr(pieces_[i].first, pieces_[i].second);
    }

private:
    std::wstring text_;
    std::vector<std::pair<size_t, size_t>> pieces_;  // offset and length
};

// What a listed line may delete: the path in the \\?\ form that the file
// system takes literally, or why the line is refused.
struct ShortcutTarget {
    Path path;
    const wchar_t* refusal = nullptr;  // a short reason, or null

    static ShortcutTarget To(Path path) { return {std::move(path), nullptr}; }
    static ShortcutTarget Refused(const wchar_t* why) { return {Path(), why}; }
};

// Reads a listed line ending in ".url" as Windows reads it, and refuses it
// where it could name another file than the one it seems to.
//  - A full path to a drive (C:\...) or a share (\\server\share\...) is
//    normalised as the system normalises it: / is a separator, doubled
//    separators and "." pieces go, ".." takes away the piece before it,
//    and a folder piece loses one trailing dot (a trailing blank stays).
//    A ".." that would climb above the drive or share is refused, and so
//    is a line the system's own GetFullPathNameW reads otherwise (device
//    names such as CON among them).
//  - A \\?\ path (also \\?\UNC\ in any letter case) is taken literally:
//    an empty, "." or ".." piece, a piece ending in a dot or blank, or a /
//    is refused.
//  - Refused always: relative paths, C:relative, \rooted on the current
//    drive, device and volume paths (\\.\, //?/, \\?\GLOBALROOT\,
//    \\?\Volume{...}), a colon after the drive (stream names), control
//    characters, < > " |, and * or ? outside the final piece.
ShortcutTarget CheckShortcutLine(std::wstring_view line);

// The path of CheckShortcutLine, or nothing when the line is refused.
std::optional<std::wstring> ShortcutPathToDelete(std::wstring_view line);

// What the sweep does with one line of a manifest, and why. This is the one
// place the rules are applied: the sweep acts on it, its log records it and
// sweepcheck shows it.
enum class LineAction {
    Examine,  // a shortcut line: `target` is deleted, or checked
    Ignore,   // not an entry: it does not end in ".url", or it is the last piece
    Refuse,   // an entry that could name another file than it seems to
};

// Why a line is ignored, for a caller that tells the cases apart.
enum class IgnoredBecause {
    NotIgnored,
    LastPiece,          // after the last CR LF
    NoShortcutSuffix,   // it does not end in kShortcutSuffix in any letter case
    SuffixInOtherCase,  // it ends in kShortcutSuffix in other letters than lower case
};

struct LineDecision {
    LineAction action = LineAction::Ignore;
    const wchar_t* reason = nullptr;  // why it is ignored or refused
    Path target;                      // the path examined, in the \\?\ form
    IgnoredBecause ignored = IgnoredBecause::NotIgnored;

    static LineDecision Ignored(IgnoredBecause because, const wchar_t* why) {
        return {LineAction::Ignore, why, {}, because};
    }
    static LineDecision Refused(const wchar_t* why) {
        return {LineAction::Refuse, why, {}, IgnoredBecause::NotIgnored};
    }
    static LineDecision Examined(Path path) {
        return {LineAction::Examine, nullptr, std::move(path), IgnoredBecause::NotIgnored};
    }
};

// The decision on piece `i` of a manifest's lines. The last piece, after
// the last CR LF, is never an entry.
LineDecision DecideLine(const LineList& lines, size_t i);

}  // namespace vantrel::sweep
