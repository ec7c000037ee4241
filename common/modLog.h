// The decision log: an opt-in record of what a program decided and why,
// for whoever has to explain afterwards why a shortcut stayed or a service
// did not run.
//
// It is on only when common/modLogSettings names a log file; otherwise
// nothing here touches any file. The log is diagnostics, never a second channel of failure: a log that cannot
// be opened or written is passed over and the program's work goes on as it would without it.
//
// The file is appended to, never truncated: UTF-8 with a byte-order mark
// (written when the file is new, so that Notepad on Windows 7 reads it) and
// CR LF line ends. Each line starts with the writer's process id in
// brackets; several programs may write to one file at once, and each line
// is appended whole under a lock on the file. The file stops growing at
// 16 MiB, with a last line saying so (common/modSharedAppend).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/modFailOpen.h"
#include "common/modPaths.h"
#include "common/modSharedAppend.h"

namespace vantrel {

// Opens the log that DecisionLogPath (common/modLogSettings) names, and writes the run's header:
// the program, its version, the process id, the local time and the command
// line. Does nothing when it names none. True when the
// log is on. `runFiles` are the files the run reads or deletes (its
// manifests, its batch file, the program itself): a log at one of them is
// passed over, so that the log never disturbs the work.
bool OpenDecisionLog(std::wstring_view program, std::wstring_view version,
                     const std::vector<Path>& runFiles = {}) noexcept;

// The same for a given path. Passed over: a path that is not a full path to
// a drive or share (relative, a device, a folder, a stream); a name that
// ends in a dot or a blank (in a \\?\ path, any piece so ending); one that
// leads to another file than the entry it names (a link, an 8.3 alias; a
// folder on the way may be a link); a file with more than one name; a file
// that is neither empty nor a decision log; and one of `runFiles`, found by
// where it lies. A new log is only ever created where nothing of that name
// is, not even a link without a target, once every check that can be made
// before has passed; one that fails a check after is removed again.
bool OpenDecisionLogAt(const Path& path, std::wstring_view program, std::wstring_view version,
                       const std::vector<Path>& runFiles = {}) noexcept;

// Closes the log; later writes do nothing.
void CloseDecisionLog();

bool DecisionLogOn();

// Appends one line. Control characters in `text` are written visibly
// (<CR>, <LF>, <TAB>, <0x01> ...), so that a line is always one line.
void WriteDecisionLog(std::wstring_view text) noexcept;

// Runs `write`, which makes log lines and writes them, when the log is on.
// Making a line can run out of memory; that must never stop the work the
// line is about, so a failure here only loses the line.
template <typename Write>
void LogSafely(Write write) noexcept {
    if (DecisionLogOn()) {
        SkipOnFailure(write);
    }
}

}  // namespace vantrel
