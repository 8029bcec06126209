// Win32 implementation of the processor count, the terminal test and the caught interrupts.
#include <platform/process.h>
#include <platform/win32_system.h>

#include <cstdlib>

namespace {

constexpr int InterruptSignal = 2; // SIGINT's number, so that the exit code reads as on Linux (130)
constexpr int TerminateSignal = 15; // SIGTERM's

std::atomic<int> caught { 0 };

BOOL WINAPI onConsoleEvent(DWORD event)
{
    const int signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? InterruptSignal : TerminateSignal;
    int none = 0;
    if (!caught.compare_exchange_strong(none, signal))
        return FALSE; // a second one: the default handler ends the process at once
    return TRUE;
}

} // namespace

namespace platform {

unsigned processorCount()
{
    const DWORD count = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

bool standardErrorIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void catchInterrupts()
{
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

const std::atomic<int>& interruptSignal()
{
    return caught;
}

void endByInterrupt(int signal)
{
    std::_Exit(128 + signal);
}

} // namespace platform
