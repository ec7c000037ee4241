// An empty Windows program, built like the sweep: what starting any
// program costs, the baseline for a sweep with nothing to do.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
