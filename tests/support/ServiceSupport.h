// Services that a test registers for its own length, running the test
// service program (test_service.exe), and ways to watch what happens to
// them.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "tests/support/TestSupport.h"

namespace testing_support {

// What the test service does once started.
enum class Behaviour { Running, StartPending, Paused, ContinuePending, Refuse };

struct ServiceOptions {
    std::wstring program;  // the test service to run
    Behaviour behaviour = Behaviour::Running;
    std::wstring name;  // a fresh unique name when empty
    DWORD startType = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::wstring displayName;  // none when empty
    std::wstring group;        // none when empty
    std::vector<std::wstring> dependencies;
};

// A service's configuration as the manager reports it in wide text;
// dependencies joined by "|".
struct ServiceConfig {
    DWORD serviceType = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    std::wstring binaryPath;
    std::wstring group;
    std::wstring dependencies;
    std::wstring startName;
    std::wstring displayName;
};

// Owns a manager or service handle.
struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// A registered service, removed when the object goes: ended if it runs,
// deleted, and waited for until the manager no longer knows it. It keeps
// one connection to the manager for its whole life.
class ScopedService {
public:
    explicit ScopedService(ServiceOptions options);
    ~ScopedService();
    ScopedService(const ScopedService&) = delete;
    ScopedService& operator=(const ScopedService&) = delete;

    const std::wstring& name() const { return name_; }
    // The name as ANSI text, as the keeper takes it.
    std::string AnsiName() const;

    // StartServiceW; the error it gives, NO_ERROR when it started.
    DWORD Start();
    // The current state; 0 when it cannot be read.
    DWORD State() const;
    bool WaitForState(DWORD state, DWORD timeoutMs = 30000) const;
    ServiceConfig Config() const;

    // How often the service's log shows `event`: "start", "stop", "quit".
    int Count(std::string_view event) const;
    bool WaitForCount(std::string_view event, int count, DWORD timeoutMs = 30000) const;

    // Ends, deletes and forgets the service; true when the manager no
    // longer knows it afterwards. A handle still open on the service
    // anywhere keeps it from going.
    bool Remove();

private:
    ServiceHandle OpenSelf() const;
    int EndLingeringProcesses() const;

    ServiceHandle manager_;
    std::unique_ptr<TempFolder> folder_;
    std::wstring name_;
    std::wstring log_;
    HANDLE quit_ = nullptr;
    bool removed_ = false;
};

// Expects every item of a configuration but the start type to be as it
// was. Under Wine only for services without dependencies: Wine drops them
// on every change of a configuration.
void ExpectSameBesidesStartType(const ServiceConfig& after, const ServiceConfig& before);

// A service's entry in the registry, where the manager keeps its
// configuration (HKLM\SYSTEM\CurrentControlSet\Services\<name>): every
// value by its name, as its type and its data in words ("REG_EXPAND_SZ
// C:\x.exe", "REG_MULTI_SZ a|b", "REG_DWORD 2"); empty when there is no
// such key. What the manager reports can hide what it rewrote there.
std::map<std::wstring, std::wstring> ServiceRegistryEntry(const std::wstring& name);

// Whether the manager knows a service of this name.
bool ServiceExists(const std::wstring& name);
// Ends and deletes a service left behind by an earlier, broken run.
void RemoveLeftoverService(const std::wstring& name);

// Text in the ANSI code page, and whether it survives the trip there and
// back unchanged.
std::string Ansi(std::wstring_view text);
bool RoundTripsThroughAnsi(std::wstring_view text);

}  // namespace testing_support
