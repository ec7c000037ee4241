// The system's errors: the one home of "not found", and the words for an
// error number.
#pragma once

#include <string>

namespace vantrel {

// Whether the error says there is no such file or folder on the way.
bool IsNotFound(unsigned long error);

// "Error <code> <description>": the system's error number and its text.
std::wstring SystemErrorMessage(unsigned long code);

}  // namespace vantrel
