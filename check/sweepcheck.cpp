// sweepcheck: shows, without changing anything, what shortcutsweep would do
// with a manifest on this machine now, and which of the manifest format's
// traps it falls into. For installer authors and their build pipelines.
//
//   sweepcheck.exe [--json] [--text-only] [--ignore TRAPS] [--expect LANGS] [/noproduction] [FOLDER]
//       the manifests the sweep would read for a program in FOLDER
//       (default: the current folder)
//   sweepcheck.exe [--json] [--text-only] [--ignore TRAPS] FILE.ini [FILE.ini ...]
//       these manifest files
//
// --ignore wildcard-matches-nothing,... silences the findings of these traps: they
// are shown, marked, and do not count.
// Only the options it knows are options; any other argument is a path.
// Exit status: 0 without findings, 1 with findings, 2 for a usage error or
// a file that cannot be read.
#include "check/modMain.h"
#include "common/modFailOpen.h"
#include "common/modProcess.h"

int wmain(int argc, wchar_t** argv) {
    vantrel::RestrictDllSearchToSystem();
    // A run that fails on the way (out of memory) is trouble: status 2.
    int status = 2;
    vantrel::SkipOnFailure([&] { status = vantrel::check::Main(argc, argv); });
    return status;
}
