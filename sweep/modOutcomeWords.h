// The words for outcomes that the log and sweepcheck both use, so that the
// two always say the same: what became of a file, a line, a manifest.
#pragma once

#include <string>
#include <vector>

#include "common/modFiles.h"
#include "sweep/modLineRules.h"
#include "sweep/modManifests.h"

namespace vantrel::sweep {

// Why a file stays, in words: "read-only", "hidden", "Error 32 The process
// cannot access ..." ...
// `spelledAlikeIn` names the folder for KeepReason::SpelledAlike.
std::wstring KeepReasonText(KeepReason reason, unsigned long error, std::wstring_view spelledAlikeIn = {});

// "deleted", "would delete", "kept" or "already gone"
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
std::wstring AbsenceOf(const Path& path);

// What a line's decision means before anything it names is looked for:
// "an entry: the sweep deletes C:\Links\a.url", "an entry: the sweep
// deletes what matches C:\Links\*.url", "ignored (...)", "refused (...)".
std::wstring DescribeDecision(const LineDecision& decision);

// How a manifest was found and read: "absent", "left alone ...", "found,
// read", "found, not read (...): no line is acted on", "could not be
// looked for; read all the same, read" ...
std::wstring DescribeFinding(const Path& path, const ManifestFinding& finding);

// What became of a manifest or the batch file at `path`, from its report:
// "deleted", "kept (read-only)", or why there was none to act on.
std::wstring DescribeOwnFile(const Path& path, const std::vector<FileReport>& report);

}  // namespace vantrel::sweep
