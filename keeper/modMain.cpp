#include "keeper/modMain.h"

#include <windows.h>

#include "common/modErrors.h"
#include "common/modLog.h"
#include "common/modProcess.h"
#include "common/modText.h"
#include "keeper/modService.h"

namespace vantrel::keeper {

namespace {

// The services on this machine.
const std::string kThisMachine;

// The record an operation fills, when the run is logged.
ServiceOutcome* RecordIfLogged(ServiceOutcome& outcome) { return DecisionLogOn() ? &outcome : nullptr; }

// Service names and state texts are ANSI text.
std::wstring FromAnsi(const std::string& text) { return WideFromBytes(text, CP_ACP); }

std::wstring NamedService(const std::string& service) { return L"service " + Quoted(FromAnsi(service)); }

// "on demand (3)"
std::wstring StartTypeText(unsigned long startType) {
    const wchar_t* words = L"unknown";
    switch (startType) {
        case SERVICE_BOOT_START:
            words = L"boot";
            break;
        case SERVICE_SYSTEM_START:
            words = L"system";
            break;
        case SERVICE_AUTO_START:
            words = L"automatic";
            break;
        case SERVICE_DEMAND_START:
            words = L"on demand";
            break;
        case SERVICE_DISABLED:
            words = L"disabled";
            break;
        default:
            break;
    }
    return std::wstring(words) + L" (" + std::to_wstring(startType) + L")";
}

// "succeeded", or the error's code and text.
std::wstring CallResult(unsigned long error) {
    return error == 0 ? std::wstring(L"succeeded") : L"failed: " + SystemErrorMessage(error);
}

// One line for opening the manager and, once it is open, one for opening
// the service, each led by `step`. True when both were opened.
bool LogOpens(const std::wstring& step, const std::string& service, const ServiceOutcome& outcome) {
    if (!outcome.managerOpened) {
        WriteDecisionLog(step + L"service manager not opened: " + SystemErrorMessage(outcome.managerError));
        return false;
    }
    WriteDecisionLog(step + L"service manager opened");
    if (!outcome.serviceOpened) {
        WriteDecisionLog(step + NamedService(service) + L" not opened: " +
                         SystemErrorMessage(outcome.serviceError));
        return false;
    }
    WriteDecisionLog(step + NamedService(service) + L" opened");
    return true;
}

void LogAutoStart(const std::string& service, const ServiceOutcome& outcome) {
    const std::wstring step = L"set to start automatically: ";
    if (!LogOpens(step, service, outcome)) {
        return;
    }
    if (outcome.startTypeBefore == kStartTypeNotRead) {
        WriteDecisionLog(step + L"configuration not read, so the start type is left as it is: " +
                         SystemErrorMessage(outcome.configError));
        return;
    }
    WriteDecisionLog(step + L"start type before: " + StartTypeText(outcome.startTypeBefore));
    if (!outcome.called) {
        WriteDecisionLog(step + L"already automatic, so the configuration is left as it is");
        return;
    }
    WriteDecisionLog(step + L"change to automatic " + CallResult(outcome.callError));
    WriteDecisionLog(step + L"start type after: " +
                     (outcome.startTypeAfter == kStartTypeNotRead ? std::wstring(L"not read")
                                                                  : StartTypeText(outcome.startTypeAfter)));
}

void LogState(const std::string& service, const std::string& state, const ServiceOutcome& outcome) {
    const std::wstring step = L"read the state: ";
    LogOpens(step, service, outcome);
    std::wstring line = step + L"state read: " + Quoted(FromAnsi(state)) +
                        (outcome.state == 0 ? std::wstring(L" (no state)")
                                            : L" (state " + std::to_wstring(outcome.state) + L")");
    if (outcome.called && outcome.callError != 0) {
        line += L", the query " + CallResult(outcome.callError);
    }
    WriteDecisionLog(line);
}

// What came of a stop request: the manager's answer, and when that is an
// error, whether the service stopped all the same.
std::wstring StopResult(const ServiceOutcome& outcome) {
    if (outcome.callError == 0) {
        return CallResult(0);
    }
    if (outcome.state == SERVICE_STOPPED) {
        return L"the service is stopped (the manager answered " + SystemErrorMessage(outcome.callError) +
               L")";
    }
    return CallResult(outcome.callError) + L"; the service did not stop: " +
           (outcome.state == 0 ? std::wstring(L"its state could not be read")
                               : L"its state is " + Quoted(FromAnsi(ServiceStateText(outcome.state))) +
                                     L" (state " + std::to_wstring(outcome.state) + L")");
}

// `request` is "start" or "stop".
void LogRequest(const std::wstring& request, const std::string& service, const ServiceOutcome& outcome) {
    const std::wstring step = request + L": ";
    if (LogOpens(step, service, outcome)) {
        WriteDecisionLog(step + request + L" requested: " +
                         (request == L"stop" ? StopResult(outcome) : CallResult(outcome.callError)));
    } else {
        WriteDecisionLog(step + L"no " + request + L" requested: the service could not be opened");
    }
}

}  // namespace

void KeepServiceRunning(const std::string& service) {
    ServiceOutcome setting;
    SetServiceAutoStart(kThisMachine, service, RecordIfLogged(setting));
    LogSafely([&] { LogAutoStart(service, setting); });
    YieldToEvents();
    // Decided on the state the manager gives, not on the words for it:
    // every state but running (and no state at all) asks for a start.
    ServiceOutcome reading;
    const std::string state = ServiceStatusText(kThisMachine, service, &reading);
    LogSafely([&] { LogState(service, state, reading); });
    if (reading.state != SERVICE_RUNNING) {
        ServiceOutcome starting;
        StartNamedService(kThisMachine, service, RecordIfLogged(starting));
        LogSafely([&] { LogRequest(L"start", service, starting); });
        YieldToEvents();
    } else {
        WriteDecisionLog(L"start: no start requested: the service is running");
    }
}

void RunKeeperFor(const std::wstring& argumentText, const std::string& service) {
    if (!argumentText.empty()) {
        LogSafely([&] {
            WriteDecisionLog(L"argument given: " + Quoted(argumentText) + L", so the keeper asks " +
                             NamedService(service) + L" to stop");
        });
        ServiceOutcome stopping;
        StopNamedService(kThisMachine, service, RecordIfLogged(stopping));
        LogSafely([&] { LogRequest(L"stop", service, stopping); });
        return;
    }
    LogSafely([&] {
        WriteDecisionLog(L"no argument given, so the keeper sets " + NamedService(service) +
                         L" to start automatically and starts it unless it is running");
    });
    KeepServiceRunning(service);
}

void Main() {
    // A log at the program itself would change the program.
    OpenDecisionLog(L"svckeeper", L"" VANTREL_PROGRAM_VERSION, {ProgramPath()});
    RunKeeperFor(ArgumentText(), ManagedServiceName);
    WriteDecisionLog(L"finished, exit status 0");
}

}  // namespace vantrel::keeper
