// How the programs fail, in one place.
//
//  - Mechanisms say what happened as data and never throw on purpose: a
//    report (FileReport, LineDecision, ServiceOutcome), an enum (Match,
//    Placement), or, where a Windows call is all there is, its error code
//    (0 for none). A text that is empty means "not given".
//  - An exception (out of memory, in practice) is caught in one place
//    only: SkipOnFailure, around a step that the run may pass over. The
//    step is abandoned and the caller goes on with the next; the caller
//    learns from the result that the step did not finish, where it must
//    say so.
//  - No exception or error code crosses a program's boundary: a silent
//    program ends with status 0 whatever happened (RunSilently).
#pragma once

namespace vantrel {

// Runs one step; a step that fails (an exception of any kind, out of
// memory among them) is abandoned. True when the step ran to its end.
template <typename Step>
bool SkipOnFailure(Step step) noexcept {
    try {
        step();
        return true;
    } catch (...) {
        return false;
    }
}

// The entry of a silent program: runs `main` and ends the process normally,
// with status 0, whatever happened.
template <typename Main>
int RunSilently(Main main) noexcept {
    SkipOnFailure(main);
    return 0;
}

}  // namespace vantrel
