#include "keeper/modService.h"

#include <windows.h>

#include <vector>

#include "common/Handle.h"
#include "common/modFailOpen.h"

namespace vantrel::keeper {

namespace {

// Both the manager and the service handles are closed with
// CloseServiceHandle; the open calls report failure as null.
struct ServiceHandleTraits {
    using type = SC_HANDLE;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

constexpr DWORD kManagerAllAccess = 0xF003F;  // SC_MANAGER_ALL_ACCESS
constexpr DWORD kServiceAllAccess = 0xF01FF;  // SERVICE_ALL_ACCESS
constexpr char kActiveDatabase[] = "ServicesActive";

// GetLastError's code for a call that failed, 0 for one that succeeded.
// Read before anything else can change it.
unsigned long ErrorOf(bool succeeded) { return succeeded ? 0 : ::GetLastError(); }

void NoteCall(ServiceOutcome* outcome, bool succeeded) {
    if (outcome) {
        outcome->called = true;
        outcome->callError = ErrorOf(succeeded);
    }
}

// Opens the manager and then the service, runs `step` on the service and
// closes the service before the manager. Returns what `step` returns, or
// `fallback` when either cannot be opened.
// What an operation gives when the service cannot be reached.
constexpr bool kNotDone = false;

template <typename Value, typename Step>
Value WithService(const std::string& machine, const std::string& service, ServiceOutcome* outcome,
                  Value fallback, Step step) {
    const UniqueServiceHandle manager(
        ::OpenSCManagerA(machine.empty() ? nullptr : machine.c_str(), kActiveDatabase, kManagerAllAccess));
    if (outcome) {
        outcome->managerOpened = static_cast<bool>(manager);
        outcome->managerError = ErrorOf(outcome->managerOpened);
    }
    if (!manager) {
        return fallback;
    }
    // Declared after the manager, so it is closed first.
    const UniqueServiceHandle handle(::OpenServiceA(manager.get(), service.c_str(), kServiceAllAccess));
    if (outcome) {
        outcome->serviceOpened = static_cast<bool>(handle);
        outcome->serviceError = ErrorOf(outcome->serviceOpened);
    }
    if (!handle) {
        return fallback;
    }
    return step(handle.get());
}

// The service's configuration, read in the two calls the manager asks for
// (the first tells the size), or why it could not be read. A buffer that
// cannot be had (out of memory) is such a reason too.
Result<std::vector<BYTE>> ReadConfig(SC_HANDLE handle) {
    BYTE probe[1] = {};
    DWORD needed = 0;
    ::QueryServiceConfigA(handle, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(probe), 0, &needed);
    if (needed == 0) {
        return Result<std::vector<BYTE>>::Failed(::GetLastError());
    }
    std::vector<BYTE> buffer;
    if (!SkipOnFailure([&] { buffer.resize(needed); })) {
        return Result<std::vector<BYTE>>::Failed(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (!::QueryServiceConfigA(handle, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()), needed,
                               &needed)) {
        return Result<std::vector<BYTE>>::Failed(::GetLastError());
    }
    return Result<std::vector<BYTE>>::Of(std::move(buffer));
}

DWORD StartTypeIn(const std::vector<BYTE>& config) {
    return reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(config.data())->dwStartType;
}

// A stop request the manager answered with an error is followed by a look
// at the state, so many times this far apart, until the service is stopped.
constexpr int kStopLooks = 20;
constexpr DWORD kStopLookMs = 100;

// The state the service reaches within a moment, STOPPED as soon as it is;
// 0 when it cannot be read.
DWORD StateAfterRefusedStop(SC_HANDLE handle) {
    for (int look = 1;; ++look) {
        SERVICE_STATUS status = {};
        const DWORD state = ::QueryServiceStatus(handle, &status) ? status.dwCurrentState : 0;
        if (state == SERVICE_STOPPED || state == 0 || look == kStopLooks) {
            return state;
        }
        ::Sleep(kStopLookMs);
    }
}

const char* StateText(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED:
            return "Stopped";
        case SERVICE_START_PENDING:
            return "Start Pending";
        case SERVICE_STOP_PENDING:
            return "Stop Pending";
        case SERVICE_RUNNING:
            return "Running";
        case SERVICE_CONTINUE_PENDING:
            return "Coninue Pending";
        case SERVICE_PAUSE_PENDING:
            return "Pause Pending";
        case SERVICE_PAUSED:
            return "Paused";
        default:
            return "";
    }
}

}  // namespace

std::string ServiceStatusText(const std::string& machine, const std::string& service,
                              ServiceOutcome* outcome) {
    return WithService(machine, service, outcome, std::string(), [outcome](SC_HANDLE handle) {
        // A query that fails leaves the record as it is: state 0, no text.
        SERVICE_STATUS status = {};
        const BOOL read = ::QueryServiceStatus(handle, &status);
        NoteCall(outcome, read != FALSE);
        if (outcome) {
            outcome->state = status.dwCurrentState;
        }
        return std::string(StateText(status.dwCurrentState));
    });
}

std::string ServiceStateText(unsigned long state) { return StateText(state); }

void StartNamedService(const std::string& machine, const std::string& service, ServiceOutcome* outcome) {
    WithService(machine, service, outcome, kNotDone, [outcome](SC_HANDLE handle) {
        const BOOL started = ::StartServiceA(handle, 0, nullptr);
        NoteCall(outcome, started != FALSE);
        return true;
    });
}

void StopNamedService(const std::string& machine, const std::string& service, ServiceOutcome* outcome) {
    WithService(machine, service, outcome, kNotDone, [outcome](SC_HANDLE handle) {
        SERVICE_STATUS status = {};
        const BOOL sent = ::ControlService(handle, SERVICE_CONTROL_STOP, &status);
        NoteCall(outcome, sent != FALSE);
        if (!sent) {
            // Asked with or without a record, so that the manager is asked
            // alike either way.
            const DWORD state = StateAfterRefusedStop(handle);
            if (outcome) {
                outcome->state = state;
            }
        }
        return true;
    });
}

void SetServiceAutoStart(const std::string& machine, const std::string& service, ServiceOutcome* outcome) {
    WithService(machine, service, outcome, kNotDone, [outcome](SC_HANDLE handle) {
        // Reading the configuration first is the guard: a service whose
        // configuration cannot be read is left alone.
        const Result<std::vector<BYTE>> before = ReadConfig(handle);
        if (outcome) {
            outcome->configError = before.Error();
            outcome->startTypeBefore = before ? StartTypeIn(before.Value()) : kStartTypeNotRead;
        }
        if (!before) {
            return false;
        }
        if (StartTypeIn(before.Value()) == SERVICE_AUTO_START) {
            if (outcome) {
                outcome->startTypeAfter = SERVICE_AUTO_START;
            }
            return true;
        }
        // Only the start type is given. Every text is left to the manager
        // rather than written back from the ANSI copy just read, which
        // would turn any character outside the ANSI code page in a display
        // name, binary path, group, dependency or account into "?".
        const BOOL changed =
            ::ChangeServiceConfigA(handle, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        NoteCall(outcome, changed != FALSE);
        if (outcome) {
            outcome->startTypeAfter = changed ? SERVICE_AUTO_START : outcome->startTypeBefore;
        }
        return true;
    });
}

}  // namespace vantrel::keeper
