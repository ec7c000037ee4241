// The product's Windows service as seen through the Service Control
// Manager: its state as text, and the requests to start it, stop it and
// set it to start automatically.
//
// Each operation opens the manager of `machine` (empty text: this machine)
// and the service named `service` with full access, does its one step and
// closes both again. Names are ANSI text. No operation reports success or
// failure in its result: one that cannot open the manager or the service
// does nothing. A caller that wants to know what happened passes an
// outcome record, which the operation fills.
#pragma once

#include <string>

namespace vantrel::keeper {

// A start type that could not be read.
inline constexpr unsigned long kStartTypeNotRead = 0xFFFFFFFF;

// What one operation did, step by step. Error codes are GetLastError's,
// 0 when the step succeeded; a step after one that failed is not taken.
struct ServiceOutcome {
    bool managerOpened = false;
    unsigned long managerError = 0;
    bool serviceOpened = false;
    unsigned long serviceError = 0;
    // The operation's own call: QueryServiceStatus, StartServiceA,
    // ControlService or ChangeServiceConfigA.
    bool called = false;
    unsigned long callError = 0;
    // ServiceStatusText: the state read; 0 when none was. StopNamedService:
    // after a stop request the manager answered with an error, the state
    // the service then reached, read for a moment; 0 when none was read.
    unsigned long state = 0;
    // SetServiceAutoStart: the start type before the change, or
    // kStartTypeNotRead with the reason in configError (the change is then
    // not asked for); and after it, as the change's result gives it: the
    // configuration is not read again for the record. A service already
    // automatic is asked no change: `called` stays false.
    unsigned long startTypeBefore = kStartTypeNotRead;
    unsigned long configError = 0;
    unsigned long startTypeAfter = kStartTypeNotRead;
};

// "Stopped", "Start Pending", "Stop Pending", "Running", "Coninue Pending",
// "Pause Pending" or "Paused"; empty text when the service cannot be opened
// or its state cannot be read. The misspelt continue state is the text this
// system has always shown and is kept as it is.
std::string ServiceStatusText(const std::string& machine, const std::string& service,
                              ServiceOutcome* outcome = nullptr);

// Asks the manager to start the service, without arguments; does not wait
// for it to run.
void StartNamedService(const std::string& machine, const std::string& service,
                       ServiceOutcome* outcome = nullptr);

// The words for a service's state, as ServiceStatusText gives them;
// empty text for no state.
std::string ServiceStateText(unsigned long state);

// Sends the service the stop control; does not wait for it to stop. Only
// when the manager answers the request with an error does it read the
// state again, for up to two seconds, to tell whether the service stopped
// all the same (the manager can lose the answer of a service that ends
// as it answers).
void StopNamedService(const std::string& machine, const std::string& service,
                      ServiceOutcome* outcome = nullptr);

// Sets the service to start automatically. Nothing else in its
// configuration changes, and nothing at all when its configuration
// cannot be read or the service is already automatic: then no change is
// asked of the manager, which may take any change as a chance to write the
// whole configuration anew (Wine drops the dependencies and turns the
// binary path's expandable text into plain text).
void SetServiceAutoStart(const std::string& machine, const std::string& service,
                         ServiceOutcome* outcome = nullptr);

}  // namespace vantrel::keeper
