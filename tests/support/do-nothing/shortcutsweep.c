/* A shortcutsweep that does nothing: the installers test puts it in the
   demo installers (INSTALLERS_TEST_DO_NOTHING=sweep) to see which of its
   checks rest on the sweep's work. Deletes nothing, writes no log. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    return 0;
}
