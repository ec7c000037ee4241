// A DLL to plant beside a program under the name of a system DLL. Once
// loaded it leaves "<its own path>.loaded" beside itself and ends the
// process at once with status 77, so that a test sees both.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 16] = L"";
        const DWORD length = ::GetModuleFileNameW(self, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            ::lstrcatW(path, L".loaded");
            HANDLE marker = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (marker != INVALID_HANDLE_VALUE) {
                ::CloseHandle(marker);
            }
        }
        ::TerminateProcess(::GetCurrentProcess(), 77);
    }
    return TRUE;
}
