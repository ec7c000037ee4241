// Paths: the one place the programs tell a full path to a drive or a
// share from every other kind (relative, on the current drive, a device,
// literal), and write the \\?\ forms the ordinary way.
#pragma once

#include <string>
#include <string_view>

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

// `path` without its \\?\ prefix, if it has one (that ? is no wildcard).
std::wstring_view WithoutLiteralPrefix(std::wstring_view path);

// A path cut before its last piece: the folder with its separator at its
// end (or a drive such as C: for C:name), and the name after it. The one
// place paths are cut so.
struct FolderAndName {
    std::wstring folder;
    std::wstring name;
};
FolderAndName SplitPath(std::wstring_view path);

// The folder part of a full file path, without a separator at its end
// except at a drive root (C:\); empty when the path has no folder part.
std::wstring FolderOfPath(std::wstring_view filePath);

bool IsSeparator(wchar_t c);
bool IsDriveLetter(wchar_t c);

// The root at the start of a full path: C:\ for a drive, or for a share
// \\server\share and the separator after it (at the very end there may be
// none). Empty for any other path, and for a share without a server or
// share name.
std::wstring_view FullPathRoot(std::wstring_view path);

// What a path that starts with UNC\ is. Wine gives a program started from
// a share the module name UNC\server\share\...; anywhere else such a path
// is relative, its first folder named UNC. This is the one place the two
// readings differ.
enum class BareUnc { Relative, ModuleName };

// `path` the ordinary way, as it is shown to people too: \\?\C:\... as
// C:\..., \\?\UNC\server\share\... as \\server\share\...; with
// BareUnc::ModuleName also UNC\server\share\... . Other paths as they are.
std::wstring OrdinaryPath(std::wstring_view path, BareUnc bare = BareUnc::Relative);

}  // namespace vantrel
