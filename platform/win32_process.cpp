// Win32 implementation of the processor count, the terminal test and the caught interrupts.
#include <platform/pending_names.h>
#include <platform/process.h>
#include <platform/win32_system.h>

#include <cstdlib>

namespace {

constexpr int InterruptSignal = 2; // SIGINT's number, so that the exit code reads as on Linux (130)
constexpr int TerminateSignal = 15; // SIGTERM's
constexpr DWORD CloseGrace = 4000; // of the five seconds Windows grants a console's close, in milliseconds
constexpr DWORD GraceStep = 50;

std::atomic<int> caught { 0 };

// The handler runs on a thread of its own while the run goes on. Ctrl+C stops the run at its next step, which
// removes its files itself; a second one, or the console's close (after which Windows ends the process however
// the handler answers), first removes the named files that are not open, then lets the process end.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    const int signal = interrupt ? InterruptSignal : TerminateSignal;
    int none = 0;
    const bool first = caught.compare_exchange_strong(none, signal);
    if (first && interrupt)
        return TRUE;
    if (first) {
        // Time for the run to stop at its next step and end the process itself.
        for (DWORD waited = 0; waited < CloseGrace; waited += GraceStep)
            ::Sleep(GraceStep);
    }
    platform::removePendingNames(true);
    return FALSE; // the default handler ends the process at once
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

void catchInterrupts(InterruptStop)
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

// On the console handler's own thread, where anything may be called. A file still open here without sharing its
// deletion cannot be removed; the name stays, as it did before.
void removeIfStill(const char* path, const FileIdentity& identity) noexcept
{
    try {
        FileIdentity now;
        if (identityOf(path, now) == 0 && now == identity)
            deleteFile(path);
    } catch (...) { // out of memory for the wide name: nothing more can be done as the process ends
    }
}

CaughtSignalsHeld::CaughtSignalsHeld() noexcept = default;

CaughtSignalsHeld::~CaughtSignalsHeld() = default;

} // namespace platform
