// shortcutsweep: deletes the Internet shortcuts that the per-language
// manifests list, then the manifests and the leftover batch file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// BaseFolder + "__shortcutsweep-" + lang + ".ini"
std::wstring ManifestPath(std::wstring_view lang);

// The lines of that language's manifest; one empty line when it is absent
// or cannot be read.
LineList ReadManifestLines(std::wstring_view lang);

// The path a listed line may delete, in the \\?\ form that the file system
// takes literally; nothing when the line could name a file other than the
// one it seems to. A line must be a full path to a drive (C:\...) or a
// share (\\server\share\...), either also in the \\?\ form, with no empty,
// "." or ".." piece, no piece ending in a dot or blank, no control
// character, none of < > : " | outside the drive, and * or ? only in its
// final piece, which ends in ".url".
std::optional<std::wstring> ShortcutPathToDelete(std::wstring_view line);

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
