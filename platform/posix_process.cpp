// POSIX implementation of the processor count, the terminal test and the caught interrupts.
#include <platform/process.h>

#include <csignal>
#include <cstdlib>
#include <sched.h>
#include <unistd.h>

namespace {

std::atomic<int> caught { 0 };
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void onInterrupt(int signal)
{
    int none = 0;
    if (!caught.compare_exchange_strong(none, signal)) {
        // A second interrupt: the user does not want to wait for the clean-up.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    }
}

} // namespace

namespace platform {

unsigned processorCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void catchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // the run notices the flag itself; no call should fail with EINTR meanwhile
    for (const int signal : { SIGINT, SIGTERM }) {
        struct sigaction previous {};
        // A shell starts background jobs with SIGINT ignored; they must stay deaf to it.
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
}

const std::atomic<int>& interruptSignal()
{
    return caught;
}

void endByInterrupt(int signal)
{
    ::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    std::_Exit(128 + signal);
}

} // namespace platform
