// The process as a long run sees it: how many processors it may use, whether standard error is a terminal,
// and interrupts caught so that the run leaves no temporary file behind.
#pragma once

#include <atomic>

namespace platform {

// The processors this process may run on; at least 1.
unsigned processorCount();

// Whether standard error is a terminal, where a progress line can be redrawn in place.
bool standardErrorIsTerminal();

// What the first interrupt does once caught.
enum class InterruptStop
{
    AtOnce,     // the process ends by it at once: a run that has nothing to tidy but its temporary files
    AtNextStep, // only interruptSignal() is set, so the run stops at its next step and reports; a second ends
                // it, and so do a few seconds without that step (a run blocked in a call)
};

// Catches Ctrl+C, a hang-up, a request to terminate and a SIGPIPE sent by another process (SIGINT, SIGHUP, SIGTERM,
// SIGPIPE here; Ctrl+C, Ctrl+Break and the console's close on Windows). Each of them first removes the named
// temporary files in flight, even while the run is blocked in a call. A SIGPIPE of this process's own write to
// a pipe without a reader is no interrupt: the write fails, and the run reports it. A signal ignored when the
// program started stays ignored. On Windows the first one always stops the run at its next step.
void catchInterrupts(InterruptStop stop);
// The signal caught, 0 while none was. Safe to read from any thread.
const std::atomic<int>& interruptSignal();
// Ends the process as the caught signal would have, so that a calling shell sees the interrupt.
[[noreturn]] void endByInterrupt(int signal);

} // namespace platform
