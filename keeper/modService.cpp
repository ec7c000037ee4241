#include "modService.h"

#include <windows.h>

#include <memory>
#include <new>

#include "Handle.h"

namespace vantrel {

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

// Opens the manager and then the service, runs `step` on the service and
// closes the service before the manager. Returns what `step` returns, or
// `fallback` when either cannot be opened.
template <typename Result, typename Step>
Result WithService(const std::string& machine, const std::string& service, Result fallback, Step step) {
    const UniqueServiceHandle manager(
        ::OpenSCManagerA(machine.empty() ? nullptr : machine.c_str(), kActiveDatabase, kManagerAllAccess));
    if (!manager) {
        return fallback;
    }
    // Declared after the manager, so it is closed first.
    const UniqueServiceHandle handle(::OpenServiceA(manager.get(), service.c_str(), kServiceAllAccess));
    if (!handle) {
        return fallback;
    }
    return step(handle.get());
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

std::string ServiceStatusText(const std::string& machine, const std::string& service) {
    return WithService(machine, service, std::string(), [](SC_HANDLE handle) {
        // A query that fails leaves the record as it is: state 0, no text.
        SERVICE_STATUS status = {};
        ::QueryServiceStatus(handle, &status);
        return std::string(StateText(status.dwCurrentState));
    });
}

void StartNamedService(const std::string& machine, const std::string& service) {
    WithService(machine, service, false, [](SC_HANDLE handle) {
        ::StartServiceA(handle, 0, nullptr);
        return true;
    });
}

void StopNamedService(const std::string& machine, const std::string& service) {
    WithService(machine, service, false, [](SC_HANDLE handle) {
        SERVICE_STATUS status = {};
        ::ControlService(handle, SERVICE_CONTROL_STOP, &status);
        return true;
    });
}

void SetServiceAutoStart(const std::string& machine, const std::string& service) {
    WithService(machine, service, false, [](SC_HANDLE handle) {
        // Reading the configuration first is the guard: a service whose
        // configuration cannot be read is left alone.
        BYTE probe[1] = {};
        DWORD needed = 0;
        ::QueryServiceConfigA(handle, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(probe), 0, &needed);
        if (needed == 0) {
            return false;
        }
        const std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
        if (!buffer || !::QueryServiceConfigA(handle, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.get()),
                                              needed, &needed)) {
            return false;
        }
        // Only the start type is given. Every text is left to the manager
        // rather than written back from the ANSI copy just read, which
        // would turn any character outside the ANSI code page in a display
        // name, binary path, group, dependency or account into "?".
        ::ChangeServiceConfigA(handle, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        return true;
    });
}

}  // namespace vantrel
