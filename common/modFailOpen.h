// The one way failures are passed over: a silent program never fails
// outward, and a step of the sweep that fails is abandoned for the next.
// No exception or error code crosses a program's boundary.
#pragma once

namespace vantrel {

// Runs one step; a step that fails (an exception of any kind, out of
// memory among them) is abandoned and the caller goes on with the next.
template <typename Step>
void SkipOnFailure(Step step) noexcept {
    try {
        step();
    } catch (...) {
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
