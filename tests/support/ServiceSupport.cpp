#include "tests/support/ServiceSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <stdexcept>
#include <utility>

namespace testing_support {

namespace {

constexpr DWORD kPollMs = 100;

[[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(::GetLastError()));
}

ServiceHandle OpenManager() {
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        Fail("OpenSCManagerW");
    }
    return manager;
}

// The service, or no handle when the manager does not know it.
ServiceHandle OpenService(const ServiceHandle& manager, const std::wstring& name) {
    return ServiceHandle(::OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
}

DWORD StateOf(const ServiceHandle& service) {
    SERVICE_STATUS status = {};
    return ::QueryServiceStatus(service.get(), &status) ? status.dwCurrentState : 0;
}

// Polls `done` until it holds or `timeoutMs` has passed.
template <typename Done>
bool PollUntil(Done done, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) {
            return true;
        }
        if (::GetTickCount64() >= end) {
            return false;
        }
        ::Sleep(kPollMs);
    }
}

bool WaitUntilStopped(const ServiceHandle& service, DWORD timeoutMs) {
    return PollUntil(
        [&] {
            const DWORD state = StateOf(service);
            return state == SERVICE_STOPPED || state == 0;
        },
        timeoutMs);
}

void KillServiceProcess(const ServiceHandle& service) {
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed) ||
        status.dwProcessId == 0) {
        return;
    }
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, status.dwProcessId);
    if (process) {
        ::TerminateProcess(process, 1);
        ::CloseHandle(process);
    }
}

// Ends the service if it runs, by the quit event when there is one, then
// by the stop control, then by ending its process; and deletes it.
void EndAndDelete(const ServiceHandle& service, HANDLE quit) {
    if (StateOf(service) != SERVICE_STOPPED) {
        if (quit) {
            ::SetEvent(quit);
        }
        if (!quit || !WaitUntilStopped(service, 20000)) {
            SERVICE_STATUS status = {};
            ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
            if (!WaitUntilStopped(service, 20000)) {
                KillServiceProcess(service);
                WaitUntilStopped(service, 10000);
            }
        }
    }
    ::DeleteService(service.get());
}

bool WaitUntilUnknown(const ServiceHandle& manager, const std::wstring& name, DWORD timeoutMs) {
    return PollUntil(
        [&] { return !OpenService(manager, name) && ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST; },
        timeoutMs);
}

const wchar_t* BehaviourArgument(Behaviour behaviour) {
    switch (behaviour) {
        case Behaviour::StartPending:
            return L"start_pending";
        case Behaviour::Paused:
            return L"paused";
        case Behaviour::ContinuePending:
            return L"continue_pending";
        case Behaviour::Refuse:
            return L"refuse";
        default:
            return L"running";
    }
}

std::wstring UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    return std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L"-" +
           std::to_wstring(::GetTickCount());
}

std::wstring TextOrEmpty(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

}  // namespace

ScopedService::ScopedService(ServiceOptions options) : manager_(OpenManager()) {
    folder_ = std::make_unique<TempFolder>(L"svc");
    name_ = options.name.empty() ? L"VantrelTest-" + UniqueSuffix() : options.name;
    log_ = *folder_ / L"service.log";
    const std::wstring quitName = L"Global\\vantrel-test-quit-" + UniqueSuffix();
    quit_ = ::CreateEventW(nullptr, TRUE, FALSE, quitName.c_str());
    if (!quit_) {
        Fail("CreateEventW");
    }
    const std::wstring commandLine = L"\"" + options.program + L"\" " + BehaviourArgument(options.behaviour) +
                                     L" \"" + log_ + L"\" " + quitName;
    std::wstring dependencies;
    for (const std::wstring& dependency : options.dependencies) {
        dependencies += dependency + L'\0';
    }
    dependencies += L'\0';
    const ServiceHandle service(::CreateServiceW(
        manager_.get(), name_.c_str(), options.displayName.empty() ? nullptr : options.displayName.c_str(),
        SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, options.startType, options.errorControl,
        commandLine.c_str(), options.group.empty() ? nullptr : options.group.c_str(), nullptr,
        options.dependencies.empty() ? nullptr : dependencies.c_str(), nullptr, nullptr));
    if (!service) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(quit_);
        ::SetLastError(error);
        Fail("CreateServiceW");
    }
}

ScopedService::~ScopedService() {
    try {
        Remove();
    } catch (...) {
    }
    ::CloseHandle(quit_);
}

ServiceHandle ScopedService::OpenSelf() const { return OpenService(manager_, name_); }

std::string ScopedService::AnsiName() const { return Ansi(name_); }

DWORD ScopedService::Start() {
    const ServiceHandle service = OpenSelf();
    if (!service) {
        return ::GetLastError();
    }
    return ::StartServiceW(service.get(), 0, nullptr) ? NO_ERROR : ::GetLastError();
}

DWORD ScopedService::State() const {
    const ServiceHandle service = OpenSelf();
    return service ? StateOf(service) : 0;
}

bool ScopedService::WaitForState(DWORD state, DWORD timeoutMs) const {
    const ServiceHandle service = OpenSelf();
    return service && PollUntil([&] { return StateOf(service) == state; }, timeoutMs);
}

ServiceConfig ScopedService::Config() const {
    const ServiceHandle service = OpenSelf();
    if (!service) {
        Fail("OpenServiceW");
    }
    DWORD needed = 0;
    ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (needed == 0 || !::QueryServiceConfigW(service.get(), config, needed, &needed)) {
        Fail("QueryServiceConfigW");
    }
    ServiceConfig result;
    result.serviceType = config->dwServiceType;
    result.startType = config->dwStartType;
    result.errorControl = config->dwErrorControl;
    result.binaryPath = TextOrEmpty(config->lpBinaryPathName);
    result.group = TextOrEmpty(config->lpLoadOrderGroup);
    for (const wchar_t* p = config->lpDependencies; p && *p; p += wcslen(p) + 1) {
        result.dependencies += (result.dependencies.empty() ? L"" : L"|") + std::wstring(p);
    }
    result.startName = TextOrEmpty(config->lpServiceStartName);
    result.displayName = TextOrEmpty(config->lpDisplayName);
    return result;
}

int ScopedService::Count(std::string_view event) const {
    const std::string text = ReadWholeFile(log_);
    int count = 0;
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        if (std::string_view(text).substr(start, end - start) == event) {
            ++count;
        }
    }
    return count;
}

bool ScopedService::WaitForCount(std::string_view event, int count, DWORD timeoutMs) const {
    return PollUntil([&] { return Count(event) == count; }, timeoutMs);
}

bool ScopedService::Remove() {
    if (removed_) {
        return true;
    }
    if (const ServiceHandle service = OpenSelf()) {
        EndAndDelete(service, quit_);
    }
    removed_ = WaitUntilUnknown(manager_, name_, 20000);
    if (!removed_ && EndLingeringProcesses() > 0) {
        removed_ = WaitUntilUnknown(manager_, name_, 10000);
    }
    return removed_;
}

// Under Wine run through qemu-i386 a test service's process now and then
// hangs on its way out after it has reported itself stopped, and the
// manager keeps a service until its process is gone. Ends every process of
// this service that still runs the test service, and says so.
int ScopedService::EndLingeringProcesses() const {
    const std::string text = ReadWholeFile(log_ + L".pids");
    int ended = 0;
    size_t at = 0;
    while (at < text.size()) {
        const DWORD id = std::strtoul(text.c_str() + at, nullptr, 10);
        at = text.find('\n', at);
        at = at == std::string::npos ? text.size() : at + 1;
        HANDLE process =
            ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id);
        if (!process) {
            continue;
        }
        wchar_t image[MAX_PATH + 1];
        DWORD length = MAX_PATH + 1;
        DWORD code = 0;
        const bool runsTheTestService =
            ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE &&
            ::QueryFullProcessImageNameW(process, 0, image, &length) &&
            std::wstring(image, length).find(L"test_service.exe") != std::wstring::npos;
        if (runsTheTestService && ::TerminateProcess(process, 1)) {
            ::WaitForSingleObject(process, 10000);
            std::printf("note: process %lu of the test service did not end; ended it\n",
                        static_cast<unsigned long>(id));
            std::fflush(stdout);
            ++ended;
        }
        ::CloseHandle(process);
    }
    return ended;
}

std::map<std::wstring, std::wstring> ServiceRegistryEntry(const std::wstring& name) {
    std::map<std::wstring, std::wstring> entry;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"SYSTEM\\CurrentControlSet\\Services\\" + name).c_str(), 0,
                        KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return entry;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        DWORD type = 0;
        BYTE data[4096 + sizeof(wchar_t)] = {};  // the last character stays 0, so text ends
        DWORD size = 4096;
        if (::RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type, data, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        const auto* text = reinterpret_cast<const wchar_t*>(data);
        std::wstring words;
        switch (type) {
            case REG_SZ:
            case REG_EXPAND_SZ:
                words = (type == REG_SZ ? L"REG_SZ " : L"REG_EXPAND_SZ ") +
                        std::wstring(text, wcsnlen(text, size / sizeof(wchar_t)));
                break;
            case REG_MULTI_SZ:
                words = L"REG_MULTI_SZ ";
                for (const wchar_t* p = text; p < text + size / sizeof(wchar_t) && *p; p += wcslen(p) + 1) {
                    words += (p == text ? L"" : L"|") + std::wstring(p);
                }
                break;
            case REG_DWORD:
                words = L"REG_DWORD " + std::to_wstring(*reinterpret_cast<const DWORD*>(data));
                break;
            default:
                words = L"type " + std::to_wstring(type) + L", " + std::to_wstring(size) + L" bytes:";
                for (DWORD i = 0; i < size; ++i) {
                    words += L" " + std::to_wstring(data[i]);
                }
                break;
        }
        entry[std::wstring(valueName, nameLength)] = words;
    }
    ::RegCloseKey(key);
    return entry;
}

bool ServiceExists(const std::wstring& name) { return static_cast<bool>(OpenService(OpenManager(), name)); }

void RemoveLeftoverService(const std::wstring& name) {
    const ServiceHandle manager = OpenManager();
    if (const ServiceHandle service = OpenService(manager, name)) {
        EndAndDelete(service, nullptr);
    } else {
        return;
    }
    if (!WaitUntilUnknown(manager, name, 20000)) {
        throw std::runtime_error("a service left behind by an earlier run cannot be removed");
    }
}

std::string Ansi(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, out.data(), bytes, nullptr, nullptr);
    return out;
}

bool RoundTripsThroughAnsi(std::wstring_view text) {
    const std::string ansi = Ansi(text);
    if (ansi.empty()) {
        return text.empty();
    }
    const int length = static_cast<int>(ansi.size());
    const int chars = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    std::wstring back(static_cast<size_t>(chars), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, back.data(), chars);
    return back == text;
}

void ExpectSameBesidesStartType(const ServiceConfig& after, const ServiceConfig& before) {
    EXPECT_EQ(after.serviceType, before.serviceType);
    EXPECT_EQ(after.errorControl, before.errorControl);
    EXPECT_EQ(after.binaryPath, before.binaryPath);
    EXPECT_EQ(after.group, before.group);
    EXPECT_EQ(after.dependencies, before.dependencies);
    EXPECT_EQ(after.startName, before.startName);
    EXPECT_EQ(after.displayName, before.displayName);
}

}  // namespace testing_support
