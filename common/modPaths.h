// Full paths to a drive or a share: how the programs tell them from every
// other kind of path (relative, on the current drive, a device), and how
// the \\?\ forms are written the ordinary way.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// The root at the start of a full path: C:\ for a drive, or for a share
// \\server\share and the separator after it (either separator; at the
// very end there may be none). Empty for any other path: relative, C:relative,
// \rooted on the current drive, a device or \\?\ path, a share without a
// server or share name.
std::wstring_view FullPathRoot(std::wstring_view path);

// `path` the ordinary way: \\?\C:\... as C:\..., \\?\UNC\server\share\...
// and Wine's UNC\server\share\... (its module name for a program started
// from a share) as \\server\share\... . Other paths as they are.
std::wstring OrdinaryPath(std::wstring_view path);

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix);

}  // namespace vantrel
