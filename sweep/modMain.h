// shortcutsweep: deletes the Internet shortcuts that the per-language
// manifests list, then the manifests and the leftover batch file.
#pragma once

#include <string>
#include <string_view>

#include "common/modFiles.h"
#include "common/modPaths.h"

namespace vantrel::sweep {

// One run of the sweep: where it looks, and where folders lie, kept for
// the whole run so that each folder is asked about once.
struct SweepRun {
    explicit SweepRun(Path baseFolder) : BaseFolder(std::move(baseFolder)) {}

    // The folder in which manifests and the batch file are sought; it
    // always ends in a backslash. Set once, before any language is handled.
    const Path BaseFolder;
    FolderLocations folders;
};

// Deletes the shortcuts that one language's manifest in the run's base
// folder lists, then the manifest, and logs what became of each. A step
// that fails is passed over.
void ProcessLanguage(std::wstring_view lang, SweepRun& run);

// The sweep for a given argument text and program folder.
void RunSweepFor(const std::wstring& argumentText, const Path& programFolder);

// The sweep for this process's own command line and folder.
void RunSweep();

// The process's work: the decision log, when VANTREL_TOOLS_LOG names one,
// and the sweep.
void Main();

}  // namespace vantrel::sweep
