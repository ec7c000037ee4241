// sweepcheck's command line: its options, and the paths it names.
#pragma once

#include <string>
#include <vector>

#include "check/modFindings.h"
#include "check/modOutput.h"

namespace vantrel::check {

// Exit statuses: no findings, findings, a usage error or something not
// checked.
inline constexpr int kClean = 0;
inline constexpr int kFindings = 1;
inline constexpr int kTrouble = 2;

// What the command line asks for.
struct Options {
    Format format = Format::Text;
    Mode mode = Mode::ThisMachine;
    bool development = false;
    bool help = false;
    std::vector<std::wstring> expected;  // --expect: languages whose manifests must be there
    std::vector<Trap> ignored;           // --ignore: traps whose findings do not count
    std::vector<std::wstring> files;     // FILE.ini arguments
    std::wstring folder;                 // the FOLDER argument
};

// The usage text, several lines.
const wchar_t* UsageText();

// Reads the arguments; false with `error` set for a usage error. Only the
// options it knows are options; any other argument is a path.
bool ParseArguments(int argc, wchar_t** argv, Options& options, std::wstring& error);

}  // namespace vantrel::check
