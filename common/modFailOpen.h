// How the programs fail, in one place: one vocabulary for failure.
//
//  - What can fail for a reason hands back a Result<T> (below): the value,
//    or the system's error number that kept it from being had. Where a
//    caller needs no reason, bool. What was decided, beyond failing, is
//    data of its own: a report (FileReport, LineDecision, ServiceOutcome)
//    or an enum (Match, Placement, Spelling). A text that is empty means
//    "not given".
//  - Nothing throws on purpose. Running out of memory is an exception
//    (std::bad_alloc) from wherever memory is asked for, caught in one
//    place only: SkipOnFailure, around a step that the run may pass over.
//    The step is abandoned and the caller goes on with the next; where it
//    must say why, the reason is ERROR_NOT_ENOUGH_MEMORY.
//  - No exception or error code crosses a program's or a DLL's boundary: a
//    silent program ends with status 0 whatever happened (RunSilently); an
//    exported function stops any exception and returns a failure.
#pragma once

#include <utility>

namespace vantrel {

// A value, or the system's error number (never 0) that kept it from being
// had.
template <typename T>
class Result {
public:
    static Result Of(T value) { return Result(std::move(value), 0); }
    static Result Failed(unsigned long error) { return Result(T(), error == 0 ? 1 : error); }

    explicit operator bool() const noexcept { return error_ == 0; }
    unsigned long Error() const noexcept { return error_; }
    const T& Value() const& noexcept { return value_; }
    T&& Value() && noexcept { return std::move(value_); }

private:
    Result(T value, unsigned long error) : value_(std::move(value)), error_(error) {}
    T value_;
    unsigned long error_;
};

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
