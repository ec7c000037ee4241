// What a program learns about its own process: the argument text, the
// folder it was started from; and a way to let pending messages through.
#pragma once

#include "common/modPaths.h"

#include <string>
#include <string_view>

namespace vantrel {

// Everything after the program's own name on the command line, as one
// string, with the blanks in front of it dropped.
std::wstring ArgumentText();

// The same, taken from a given command line. The program's name ends, by
// the rules Windows applies to the first token, at the closing quote when
// it starts with one, and otherwise at the first space or tab.
std::wstring ArgumentTextOf(std::wstring_view commandLine);

// The running program's own full path, written the ordinary way (not
// \\?\); empty when it cannot be determined, or is no full path to a drive
// or share.
Path ProgramPath();

// The folder that holds the running program, without a trailing backslash
// except at a drive root (C:\), written the ordinary way (not \\?\). Empty
// when it cannot be determined, or is no full path to a drive or share.
Path ProgramFolder();

// Delivers the messages already waiting for this thread and returns at
// once; it never waits for new ones. The first call also ends the
// "app starting" cursor that Windows shows for a new GUI program.
void YieldToEvents();

// Makes the process load DLLs only from the system directory, so that a
// DLL planted beside the program is never picked up.
void RestrictDllSearchToSystem();

}  // namespace vantrel
