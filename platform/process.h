// The process as a long run sees it: how many processors it may use, whether standard error is a terminal,
// and interrupts caught so that the run can stop cleanly.
#pragma once

#include <atomic>

namespace platform {

// The processors this process may run on; at least 1.
unsigned processorCount();

// Whether standard error is a terminal, where a progress line can be redrawn in place.
bool standardErrorIsTerminal();

// Catches Ctrl+C and a request to terminate (SIGINT, SIGTERM here): the first only sets interruptSignal(),
// so the run can stop at its next step and clean up; a second of either ends the process at once.
void catchInterrupts();
// The signal caught, 0 while none was. Safe to read from any thread.
const std::atomic<int>& interruptSignal();
// Ends the process as the caught signal would have, so that a calling shell sees the interrupt.
[[noreturn]] void endByInterrupt(int signal);

} // namespace platform
