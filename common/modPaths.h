// Paths: the one home of the rules that belong to a path. Its form (a full
// path to a drive or a share, a literal \\?\ path, and every other kind);
// the longest path the system takes; where it is cut into folder and name,
// and into pieces; its spellings (literal, the system's own final-path
// form, and the ordinary one shown to people). Rules about a single name
// (letter case, wildcards, what a name may hold) live in common/modNames.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The kinds of path Windows knows, by how the path starts. Either
// separator counts, as Windows reads it, but in a literal path.
enum class PathForm {
    Drive,          // C:\...
    Share,          // \\server\share\...  (the names are not checked here)
    Literal,        // \\?\... exactly: taken as it is, never normalised
    Device,         // \\.\... , \\?\ spelled with / , and the like
    DriveRelative,  // C:name, relative to that drive's current folder
    Rooted,         // \name, on whatever drive is current
    Relative,       // name, relative to the current folder
};

PathForm FormOf(std::wstring_view path);

inline constexpr std::wstring_view kLiteralPrefix = L"\\\\?\\";

// The longest path Windows takes, in UTF-16 units without its closing NUL.
inline constexpr size_t kLongestPath = 32767;

bool IsSeparator(wchar_t c);
bool IsDriveLetter(wchar_t c);

// `path` without its \\?\ prefix, if it has one (that ? is no wildcard).
std::wstring_view WithoutLiteralPrefix(std::wstring_view path);

// The pieces of `text` between separators (`separators` lists which);
// empty pieces are kept.
std::vector<std::wstring_view> PiecesOf(std::wstring_view text, std::wstring_view separators = L"\\");

// The root at the start of a full path: C:\ for a drive, or for a share
// \\server\share and the separator after it (at the very end there may be
// none). Empty for any other path, and for a share without a server or
// share name.
std::wstring_view FullPathRoot(std::wstring_view path);

// The root of a path in the system's final-path spelling, \\?\C: or
// \\?\UNC\server\share, without a separator after it; empty when `path`
// has no such root.
std::wstring_view FinalPathRoot(std::wstring_view path);

// What a path that starts with UNC\ is. Wine gives a program started from
// a share the module name UNC\server\share\...; anywhere else such a path
// is relative, its first folder named UNC. This is the one place the two
// readings differ.
enum class BareUnc { Relative, ModuleName };

// `path` the ordinary way, as it is shown to people too: \\?\C:\... as
// C:\..., \\?\UNC\server\share\... as \\server\share\...; with
// BareUnc::ModuleName also UNC\server\share\... . Other paths as they are.
std::wstring OrdinaryPath(std::wstring_view path, BareUnc bare = BareUnc::Relative);

// `path` read as the system reads a path (GetFullPathNameW): made full
// against the current folder, separators made single backslashes, "." and
// ".." pieces taken away, a folder's one trailing dot and the final
// piece's dots and blanks dropped. Empty when the system cannot read it.
// `expectedLength`: about how long the result will be (a longer one grows
// the buffer; a buffer of the longest path for every line cost more than
// the line's deletion under emulation).
std::wstring SystemFullPath(const std::wstring& path, size_t expectedLength = 260);

// A path, and what can be told of it from its text (and, for
// AsFinalPath, the system's reading of it).
class Path {
public:
    Path() = default;
    // A path is its text: made from any text, as a caller gives it.
    Path(std::wstring text) : text_(std::move(text)) {}  // NOLINT(google-explicit-constructor)
    Path(const wchar_t* text) : text_(text) {}           // NOLINT(google-explicit-constructor)

    const std::wstring& Text() const noexcept { return text_; }
    const wchar_t* c_str() const noexcept { return text_.c_str(); }
    bool Empty() const noexcept { return text_.empty(); }
    PathForm Form() const { return FormOf(text_); }
    bool FitsLimit() const noexcept { return text_.size() <= kLongestPath; }

    // Cut before its last piece: the folder with its separator at its end
    // (or a drive such as C: for C:name), and the name after it.
    Path Folder() const;
    std::wstring Name() const;
    // A file in this folder (which ends in a separator, or gets one).
    Path Child(std::wstring_view name) const;
    // The folder part without a separator at its end, except at a drive
    // root (C:\, \\?\C:\); empty when there is no folder part.
    Path Parent() const;

    // The path as the system spells a final path, with its root as \\?\C:
    // or \\?\UNC\server\share, and the rest from the separator after the
    // root on (a folder keeps its separator at its end). Both empty when it
    // is no full path to a drive or share. A literal path is taken as it
    // is; any other is normalised as the system normalises it.
    struct FinalSpelling {
        std::wstring root;
        std::wstring rest;
    };
    FinalSpelling AsFinalPath() const;

    std::wstring Ordinary(BareUnc bare = BareUnc::Relative) const { return OrdinaryPath(text_, bare); }

    friend bool operator==(const Path& a, const Path& b) { return a.text_ == b.text_; }
    friend bool operator!=(const Path& a, const Path& b) { return a.text_ != b.text_; }
    friend bool operator<(const Path& a, const Path& b) { return a.text_ < b.text_; }

private:
    std::wstring text_;
};

// Whether `filePath` is a name directly in the folder `folderPath`, both
// in the system's own spelling of where things lie, compared letter for
// letter (on a file system that tells letter case apart, "Links" and
// "links" are two folders); the name is handed back.
bool IsNameIn(std::wstring_view filePath, std::wstring_view folderPath, std::wstring& name);

}  // namespace vantrel
