/* An svckeeper whose stop sends nothing: the installers test puts it in the
   demo installers (INSTALLERS_TEST_DO_NOTHING=keeper) to see which of its
   checks rest on the keeper's stop. Without an argument it does what the
   keeper does (Vantrel Service to automatic, and started unless it runs),
   so that an install still works; with any argument it ends at once.
   Writes no log. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR ansiCommandLine, int show) {
    const wchar_t* rest = GetCommandLineW();
    SC_HANDLE manager;
    SC_HANDLE service;
    SERVICE_STATUS status;
    (void)instance;
    (void)previous;
    (void)ansiCommandLine;
    (void)show;
    /* Past the program's name, quoted or not, then the blanks after it. */
    if (*rest == L'"') {
        for (++rest; *rest != L'\0' && *rest != L'"'; ++rest) {
        }
        if (*rest == L'"') {
            ++rest;
        }
    } else {
        for (; *rest != L'\0' && *rest != L' ' && *rest != L'\t'; ++rest) {
        }
    }
    for (; *rest == L' ' || *rest == L'\t'; ++rest) {
    }
    if (*rest != L'\0') {
        return 0; /* the stop: nothing is sent */
    }
    manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    if (manager == NULL) {
        return 0;
    }
    service = OpenServiceW(manager, L"Vantrel Service",
                           SERVICE_CHANGE_CONFIG | SERVICE_QUERY_STATUS | SERVICE_START);
    if (service != NULL) {
        ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE, NULL, NULL,
                             NULL, NULL, NULL, NULL, NULL);
        if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING) {
            StartServiceW(service, 0, NULL);
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return 0;
}
