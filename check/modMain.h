// sweepcheck: shows, without changing anything, what shortcutsweep would do
// with a manifest on this machine now, and which of the manifest format's
// traps it falls into. For installer authors and their build pipelines.
#pragma once

namespace vantrel::check {

// The program's work for its command line; its exit status: 0 without
// findings, 1 with findings, 2 for a usage error or something not checked.
int Main(int argc, wchar_t** argv);

}  // namespace vantrel::check
