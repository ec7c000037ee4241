// A service for the keeper's tests: it holds whatever state it is told to
// and writes down what the manager asks of it.
//
// Usage (as the service's command line):
//   test_service <behaviour> <log file> [<quit event>]
// behaviour: running, start_pending, paused, continue_pending, or refuse
// (reports itself stopped with an error as soon as it starts).
//
// It appends one line to the log each time it is started ("start"), for
// every stop control ("stop"), and when the named event is set ("quit");
// and the id of each of its processes to "<log file>.pids";
// on a stop control or the event it reports itself stopped and ends.
// While it holds the start-pending state it accepts no controls, as a
// service still starting would.
//
// A service must first report itself starting or running; it reaches the
// paused and continue-pending states as any service does, through pause
// and continue controls from the manager, which it asks for itself once
// it runs.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

enum class Behaviour { Running, StartPending, Paused, ContinuePending, Refuse };

Behaviour g_behaviour = Behaviour::Running;
std::wstring g_log;
std::wstring g_quitEventName;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopped = nullptr;
DWORD g_checkPoint = 0;

bool ParseBehaviour(const std::wstring& text, Behaviour& behaviour) {
    if (text == L"running") {
        behaviour = Behaviour::Running;
    } else if (text == L"start_pending") {
        behaviour = Behaviour::StartPending;
    } else if (text == L"paused") {
        behaviour = Behaviour::Paused;
    } else if (text == L"continue_pending") {
        behaviour = Behaviour::ContinuePending;
    } else if (text == L"refuse") {
        behaviour = Behaviour::Refuse;
    } else {
        return false;
    }
    return true;
}

void Append(const std::wstring& path, const char* event) {
    HANDLE file =
        ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string line = std::string(event) + "\r\n";
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
}

void Log(const char* event) { Append(g_log, event); }

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    if (state != SERVICE_START_PENDING && state != SERVICE_STOPPED) {
        status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
        if (g_behaviour == Behaviour::Paused || g_behaviour == Behaviour::ContinuePending) {
            status.dwControlsAccepted |= SERVICE_ACCEPT_PAUSE_CONTINUE;
        }
    }
    if (exitCode != NO_ERROR) {
        status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = exitCode;
    }
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_CONTINUE_PENDING ||
                         state == SERVICE_PAUSE_PENDING || state == SERVICE_STOP_PENDING;
    if (pending) {
        status.dwCheckPoint = ++g_checkPoint;
        status.dwWaitHint = 600000;
    }
    ::SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
            Log("stop");
            Report(SERVICE_STOPPED);
            ::SetEvent(g_stopped);
            return NO_ERROR;
        case SERVICE_CONTROL_PAUSE:
            Report(SERVICE_PAUSED);
            return NO_ERROR;
        case SERVICE_CONTROL_CONTINUE:
            Report(g_behaviour == Behaviour::ContinuePending ? SERVICE_CONTINUE_PENDING : SERVICE_RUNNING);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// Asks the manager to send this service a control. Asked again while the
// manager has not yet taken in the state just reported: on a loaded machine
// under qemu-i386 a pause sent at once was refused as not acceptable now,
// and the service stayed running.
void ControlSelf(const wchar_t* name, DWORD control) {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE self = manager ? ::OpenServiceW(manager, name, SERVICE_PAUSE_CONTINUE) : nullptr;
    if (self) {
        SERVICE_STATUS status = {};
        for (int tries = 0; tries < 200 && !::ControlService(self, control, &status); ++tries) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL && error != ERROR_SERVICE_NOT_ACTIVE &&
                error != ERROR_SERVICE_REQUEST_TIMEOUT) {
                break;
            }
            ::Sleep(50);
        }
        ::CloseServiceHandle(self);
    }
    if (manager) {
        ::CloseServiceHandle(manager);
    }
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
    const wchar_t* name = argc > 0 ? argv[0] : L"";
    g_statusHandle = ::RegisterServiceCtrlHandlerExW(name, Handler, nullptr);
    if (!g_statusHandle) {
        return;
    }
    Log("start");
    if (g_behaviour == Behaviour::Refuse) {
        Report(SERVICE_STOPPED, 42);
        return;
    }
    if (g_behaviour == Behaviour::StartPending) {
        Report(SERVICE_START_PENDING);
    } else {
        Report(SERVICE_RUNNING);
        if (g_behaviour == Behaviour::Paused || g_behaviour == Behaviour::ContinuePending) {
            ControlSelf(name, SERVICE_CONTROL_PAUSE);
        }
        if (g_behaviour == Behaviour::ContinuePending) {
            ControlSelf(name, SERVICE_CONTROL_CONTINUE);
        }
    }
    HANDLE quit =
        g_quitEventName.empty() ? nullptr : ::OpenEventW(SYNCHRONIZE, FALSE, g_quitEventName.c_str());
    HANDLE events[2] = {g_stopped, quit};
    const DWORD which = ::WaitForMultipleObjects(quit ? 2 : 1, events, FALSE, INFINITE);
    if (which == WAIT_OBJECT_0 + 1) {
        Log("quit");
        Report(SERVICE_STOPPED);
    }
    if (quit) {
        ::CloseHandle(quit);
    }
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 3 || !ParseBehaviour(argv[1], g_behaviour)) {
        return 2;
    }
    g_log = argv[2];
    if (argc > 3) {
        g_quitEventName = argv[3];
    }
    ::LocalFree(argv);
    // Every process of the service, so that a test can end one that
    // does not go.
    Append(g_log + L".pids", std::to_string(::GetCurrentProcessId()).c_str());
    g_stopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t name[] = L"test_service";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    const UINT code = ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
    // Ends at once, without the orderly exit that detaches every DLL from
    // every thread: under Wine run through qemu-i386 that exit now and
    // then hangs in a process with several threads, until the service
    // manager kills the process a minute later, and a test waiting for the
    // service to go would fail.
    ::TerminateProcess(::GetCurrentProcess(), code);
    return static_cast<int>(code);
}
