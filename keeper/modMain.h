// svckeeper: keeps the product's Windows service set to start automatically
// and running. Started with any argument at all, it stops the service
// instead. It shows nothing and reports nothing.
#pragma once

#include <string>

namespace vantrel::keeper {

// The service this program looks after, on this machine.
inline constexpr char ManagedServiceName[] = "Vantrel Service";

// Sets `service` to start automatically, lets pending messages through,
// and asks for it to be started unless it is already running. Any other
// state, including one that cannot be read, leads to a start request.
// When the decision log is on, each step and its outcome go to it; the
// service manager is asked exactly the same either way: the log is written
// from what the calls answered, and needs no call of its own.
void KeepServiceRunning(const std::string& service);

// What one run does for a given argument text: any text at all stops
// `service`; none keeps it running.
void RunKeeperFor(const std::wstring& argumentText, const std::string& service);

// The process's work: the decision log, when VANTREL_TOOLS_LOG names one,
// and one run for its own command line.
void Main();

}  // namespace vantrel::keeper
