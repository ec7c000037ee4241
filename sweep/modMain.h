// shortcutsweep: deletes the Internet shortcuts that the per-language
// manifests list, then the manifests and the leftover batch file.
#pragma once

#include <string>
#include <string_view>

#include "common/modFiles.h"

namespace vantrel::sweep {

// The folder in which manifests and the batch file are sought; it always
// ends in a backslash. Set once by RunSweep before any language is handled;
// empty when there is no safe one (see BaseFolderFor).
extern std::wstring BaseFolder;

// Deletes the shortcuts that one language's manifest in BaseFolder lists,
// then the manifest, and logs what became of each. A step that fails is
// passed over. `folders` keeps where folders lie for the whole run.
void ProcessLanguage(std::wstring_view lang, FolderLocations& folders);

// The sweep for a given argument text and program folder.
void RunSweepFor(const std::wstring& argumentText, const std::wstring& programFolder);

// The sweep for this process's own command line and folder.
void RunSweep();

// The process's work: the decision log, when VANTREL_TOOLS_LOG names one,
// and the sweep.
void Main();

}  // namespace vantrel::sweep
