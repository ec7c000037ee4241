// shortcutsweep: deletes the Internet shortcuts that the per-language
// manifests list, then the manifests and the leftover batch file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modFiles.h"

namespace vantrel {

// The folder in which manifests and the batch file are sought; it always
// ends in a backslash. Set once by RunSweep before any language is handled.
extern std::wstring BaseFolder;

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

// The path cut at every backslash, less its last `levels` pieces, with a
// backslash after it; "\" when nothing is left. C:\Apps\Vendor\Tool\bin
// with levels 2 gives C:\Apps\Vendor\ .
std::wstring ParentFolder(const std::wstring& path, int16_t levels);

// Whether the argument text holds "/noproduction", in any letter case.
bool HasDevelopmentSwitch(const std::wstring& argumentText);

// The folder the sweep looks in for a program in `programFolder`: that
// folder, or with "/noproduction" the folder ZV two levels above it; with
// a trailing backslash. Empty, and the sweep does nothing, when the
// program's folder is no full path to a drive or share, or the folder two
// levels above it would not lie on that drive or share (ParentFolder then
// gives "\", which names the current drive's root, or \\server\ alone,
// which leads to another share).
std::wstring BaseFolderFor(const std::wstring& argumentText, const std::wstring& programFolder);

// BaseFolder + "__shortcutsweep-" + lang + ".ini"
std::wstring ManifestPath(std::wstring_view lang);

// A manifest read as the sweep reads it: its lines, or one empty line
// and the reader's message when it cannot be read.
struct ManifestText {
    bool read = false;
    LineList lines;
    std::wstring message;
};
ManifestText ReadManifestAt(const std::wstring& path);

// The lines of that language's manifest; one empty line when it is absent
// or cannot be read. `readerMessage`, when given, gets the reader's
// message (empty after a successful read).
LineList ReadManifestLines(std::wstring_view lang, std::wstring* readerMessage = nullptr);

// What a listed line may delete: the path in the \\?\ form that the file
// system takes literally, or why the line is refused.
struct ShortcutTarget {
    std::wstring path;
    const wchar_t* refusal = nullptr;  // a short reason, or null

    static ShortcutTarget Path(std::wstring path) { return {std::move(path), nullptr}; }
    static ShortcutTarget Refused(const wchar_t* why) { return {std::wstring(), why}; }
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

struct LineDecision {
    LineAction action = LineAction::Ignore;
    const wchar_t* reason = nullptr;  // why it is ignored or refused
    std::wstring target;              // the path examined, in the \\?\ form

    static LineDecision Ignored(const wchar_t* why) { return {LineAction::Ignore, why, {}}; }
    static LineDecision Refused(const wchar_t* why) { return {LineAction::Refuse, why, {}}; }
    static LineDecision Examined(std::wstring path) {
        return {LineAction::Examine, nullptr, std::move(path)};
    }
};

// The decision on piece `i` of a manifest's lines. The last piece, after
// the last CR LF, is never an entry.
LineDecision DecideLine(const LineList& lines, size_t i);

// A line decided and acted on: `files` holds what became of every file it
// reached, when a report was asked for.
struct LineOutcome {
    LineDecision decision;
    std::vector<FileReport> files;
};

// Decides line `i` and acts on it: deletes what it names, or with
// `onlyCheck` makes every check but deletes nothing. `folders`, shared by
// the lines of a manifest, asks for each folder's place once.
LineOutcome HandleLine(const LineList& lines, size_t i, bool onlyCheck, bool report,
                       FolderLocations* folders = nullptr);

// "deleted", "would delete" or "kept"
const wchar_t* VerdictWord(FileVerdict verdict);

// "deleted", "would delete", "kept (read-only)" ...
std::wstring DescribeVerdict(const FileReport& file);

// "deleted C:\Links\a.url", "kept C:\Links\b.url (read-only)", "would delete ..."
std::wstring DescribeFile(const FileReport& file);

// The outcome of a line in words, as the log and sweepcheck give it:
// "deleted ...; kept ... (hidden)", "no match C:\...", "refused (...)",
// "ignored (...)".
std::wstring DescribeOutcome(const LineOutcome& outcome);

// Why the sweep did not find a manifest or batch file at `path`: "absent",
// or "left alone ..." for a folder, hidden or system file of that name.
std::wstring AbsenceOf(const std::wstring& path);

// Why the sweep leaves a manifest that is there alone: "left alone ...
// (reached through a link to another file)" when the path leads to another
// file than the entry it names; empty otherwise, and when that cannot be
// told.
std::wstring LeftAloneAsLink(const std::wstring& path);

// Deletes the shortcuts that one language's manifest lists, then the
// manifest. A step that fails is passed over.
void ProcessLanguage(std::wstring_view lang);

// The sweep for a given argument text and program folder.
void RunSweepFor(const std::wstring& argumentText, const std::wstring& programFolder);

// The sweep for this process's own command line and folder.
void RunSweep();

// The process entry; the process always ends normally, with status 0.
int Main();

}  // namespace vantrel
