// An empty Windows program that lets its waiting messages through once, as
// the sweep does after each manifest: what loading user32 and making a
// message queue add to the cost of starting a program.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
    return 0;
}
