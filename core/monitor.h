#pragma once
// The monitor thread: one connection from opening the port to closing it, with the poll cycle,
// and the short-lived dial and hang-up workers.

#include <string>

#include "core/window_ops.h"

namespace core {

// Wires the front end and creates the command lock. window lives for the rest of the process;
// observer may be null. Call once before StartMonitor.
bool InitCore(WindowOps& window, RunObserver* observer = nullptr);

// Starts a connection unless one is active. Runs PrepareConnection on the caller's thread.
void StartMonitor();

// Requests the end of the running connection; exitAfter makes the finishing thread end the
// program. Does nothing while no connection is active. True when the finishing monitor thread
// will end the program (this request or an earlier one asked it to): a closing window then stays
// open; false means nothing is left to end it.
bool StopMonitor(bool exitAfter);

// Ends the program with exit code 0 (through WindowOps::ExitProgram).
void ExitProgram();

// Starts the dial worker ("ATD" + number + ";") or the hang-up worker ("ATH").
void StartCall(bool dial, const std::string& number);

bool ConnectionActive();
bool ExitAfterStop();
// True from StartMonitor until the monitor thread has closed its port and finished.
bool MonitorThreadRunning();

}  // namespace core
