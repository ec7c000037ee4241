#include "modMain.h"

#include <windows.h>

#include "modProcess.h"
#include "modService.h"

namespace vantrel {

namespace {

// The services on this machine.
const std::string kThisMachine;

// The state texts are plain ASCII.
std::string AsciiLowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

void KeepServiceRunning(const std::string& service) {
    SetServiceAutoStart(kThisMachine, service);
    YieldToEvents();
    if (AsciiLowerCase(ServiceStatusText(kThisMachine, service)) != "running") {
        StartNamedService(kThisMachine, service);
        YieldToEvents();
    }
}

void RunKeeperFor(const std::wstring& argumentText, const std::string& service) {
    if (!argumentText.empty()) {
        StopNamedService(kThisMachine, service);
        return;
    }
    KeepServiceRunning(service);
}

int Main() {
    RestrictDllSearchToSystem();
    RunKeeperFor(ArgumentText(), ManagedServiceName);
    return 0;
}

}  // namespace vantrel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        return vantrel::Main();
    } catch (...) {
        return 0;
    }
}
