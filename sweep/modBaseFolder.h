// Where the sweep looks for its manifests: the program's own folder, or
// with the development switch the folder ZV two levels above it, and only
// ever on the program's own drive or share.
#pragma once

#include <cstdint>
#include <string>

#include "common/modPaths.h"

namespace vantrel::sweep {

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
Path BaseFolderFor(const std::wstring& argumentText, const Path& programFolder);

}  // namespace vantrel::sweep
