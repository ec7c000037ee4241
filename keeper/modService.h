// The product's Windows service as seen through the Service Control
// Manager: its state as text, and the requests to start it, stop it and
// set it to start automatically.
//
// Each operation opens the manager of `machine` (empty text: this machine)
// and the service named `service` with full access, does its one step and
// closes both again. Names are ANSI text. No operation reports success or
// failure: one that cannot open the manager or the service does nothing.
#pragma once

#include <string>

namespace vantrel {

// "Stopped", "Start Pending", "Stop Pending", "Running", "Coninue Pending",
// "Pause Pending" or "Paused"; empty text when the service cannot be opened
// or its state cannot be read. The misspelt continue state is the text this
// system has always shown and is kept as it is.
std::string ServiceStatusText(const std::string& machine, const std::string& service);

// Asks the manager to start the service, without arguments; does not wait
// for it to run.
void StartNamedService(const std::string& machine, const std::string& service);

// Sends the service the stop control; does not wait for it to stop.
void StopNamedService(const std::string& machine, const std::string& service);

// Sets the service to start automatically. Nothing else in its
// configuration changes, and nothing at all when its configuration
// cannot be read.
void SetServiceAutoStart(const std::string& machine, const std::string& service);

}  // namespace vantrel
