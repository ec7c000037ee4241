// svckeeper: keeps the product's Windows service set to start automatically
// and running. Started with any argument at all, it stops the service
// instead. It shows nothing and reports nothing.
#pragma once

#include <string>

namespace vantrel {

// The service this program looks after, on this machine.
inline constexpr char ManagedServiceName[] = "Vantrel Service";

// Sets `service` to start automatically, lets pending messages through,
// and asks for it to be started unless it is already running. Any other
// state, including one that cannot be read, leads to a start request.
// With `logDecisions`, each step and its outcome go to the decision log;
// what is done is the same either way.
void KeepServiceRunning(const std::string& service, bool logDecisions = false);

// What one run does for a given argument text: any text at all stops
// `service`; none keeps it running.
void RunKeeperFor(const std::wstring& argumentText, const std::string& service, bool logDecisions = false);

// The process entry: logs its decisions when VANTREL_TOOLS_LOG names a log
// file. The process always ends normally, with status 0.
int Main();

}  // namespace vantrel
