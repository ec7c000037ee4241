// The entry of shortcutsweep.exe: a silent program that always ends with
// status 0.
#include <windows.h>

#include "common/modFailOpen.h"
#include "common/modProcess.h"
#include "sweep/modMain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    vantrel::RestrictDllSearchToSystem();
    return vantrel::RunSilently(vantrel::sweep::Main);
}
