#include "sweep/modBaseFolder.h"

#include <algorithm>

#include "common/modNames.h"
#include "common/modPaths.h"

namespace vantrel::sweep {

namespace {

constexpr std::wstring_view kDevelopmentSwitch = L"/noproduction";
constexpr std::wstring_view kDevelopmentFolder = L"ZV\\";

}  // namespace

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

bool HasDevelopmentSwitch(const std::wstring& argumentText) {
    return LowerCase(argumentText).find(kDevelopmentSwitch) != std::wstring::npos;
}

Path BaseFolderFor(const std::wstring& argumentText, const Path& programFolder) {
    const std::wstring_view root = FullPathRoot(programFolder.Text());
    if (root.empty()) {
        return Path();
    }
    if (!HasDevelopmentSwitch(argumentText)) {
        return Path(programFolder.Text() + L"\\");
    }
    const std::wstring parent = ParentFolder(programFolder.Text(), 2);
    // At or below the program's own root, C:\ or \\server\share\ .
    std::wstring rootFolder(root);
    if (rootFolder.back() != L'\\' && rootFolder.back() != L'/') {
        rootFolder += L'\\';
    }
    return StartsWithIgnoringCase(parent, rootFolder) ? Path(parent + std::wstring(kDevelopmentFolder))
                                                      : Path();
}

}  // namespace vantrel::sweep
