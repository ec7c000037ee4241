// Where the decision log is to be written, as this run is told: the log's
// configuration, apart from its writing (common/modLog).
//
// The log is on only when the environment variable VANTREL_TOOLS_LOG holds
// the full path of a log file, or, without the variable, when the
// machine-wide value DecisionLog under HKLM\SOFTWARE\Vantrel\Tools (the
// 32-bit view) does: an installer's service runs the programs with the
// machine's environment, not the user's.
#pragma once

#include <string>

namespace vantrel {

inline constexpr wchar_t kLogVariable[] = L"VANTREL_TOOLS_LOG";
inline constexpr wchar_t kLogKey[] = L"SOFTWARE\\Vantrel\\Tools";
inline constexpr wchar_t kLogValue[] = L"DecisionLog";

// The log's path as this run is told it: VANTREL_TOOLS_LOG when it is set
// and not empty, otherwise the machine's DecisionLog value (REG_SZ, or
// REG_EXPAND_SZ with its variables expanded); empty when neither names one.
std::wstring DecisionLogPath();

}  // namespace vantrel
