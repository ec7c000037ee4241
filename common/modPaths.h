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

bool IsSeparator(wchar_t c);
bool IsDriveLetter(wchar_t c);

// The root at the start of a full path: C:\ for a drive, or for a share
// \\server\share and the separator after it (at the very end there may be
// none). Empty for any other path, and for a share without a server or
// share name.
std::wstring_view FullPathRoot(std::wstring_view path);

// `path` the ordinary way: \\?\C:\... as C:\..., \\?\UNC\server\share\...
// and Wine's UNC\server\share\... (its module name for a program started
// from a share) as \\server\share\... . Other paths as they are.
std::wstring OrdinaryPath(std::wstring_view path);

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix);

}  // namespace vantrel
