// POSIX implementation of the processor count, the terminal test and the caught interrupts.
#include <platform/pending_names.h>
#include <platform/process.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int Caught[] = { SIGHUP, SIGINT, SIGPIPE, SIGTERM };
// A run that stops at its next step does so within a block; one still running this long after the interrupt is
// blocked in a call (a write to a pipe nobody reads) and is ended as the signal would have ended it.
constexpr unsigned StopGraceSeconds = 3;

std::atomic<int> caught { 0 };
std::atomic<bool> endAtOnce { true };
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "used from a signal handler");

std::atomic<bool> alarmIgnored { false };

// With the alarm that ends the grace after an interrupt.
sigset_t caughtSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : Caught)
        sigaddset(&set, signal);
    sigaddset(&set, SIGALRM);
    return set;
}

// The kernel raises SIGPIPE for a write to a pipe without a reader as if the writing process had sent it to
// itself (or, having no room for the details, as if from nobody); another process's kill names that process.
bool fromOwnWrite(const siginfo_t* info)
{
    return info->si_code == SI_USER && (info->si_pid == ::getpid() || info->si_pid == 0);
}

[[noreturn]] void endNow(int signal)
{
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    std::_Exit(128 + signal);
}

extern "C" void onInterrupt(int signal, siginfo_t* info, void*)
{
    if (signal == SIGPIPE && fromOwnWrite(info))
        return; // the write fails with EPIPE, which the run reports
    const int savedErrno = errno;
    int none = 0;
    const bool first = caught.compare_exchange_strong(none, signal);
    const bool ending = !first || endAtOnce.load();
    platform::removePendingNames(ending);
    // A second one: the user does not want to wait for the clean-up; a run of one file has none left to do.
    if (ending)
        endNow(signal);
    ::alarm(StopGraceSeconds);
    errno = savedErrno;
}

// The grace after an interrupt is over; without one, an alarm set before the program started ends it as it would
// have, less the temporary files.
extern "C" void onGraceOver(int)
{
    const int signal = caught.load();
    if (signal == 0 && alarmIgnored.load())
        return;
    platform::removePendingNames(true);
    endNow(signal != 0 ? signal : SIGALRM);
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

void catchInterrupts(InterruptStop stop)
{
    endAtOnce.store(stop == InterruptStop::AtOnce);
    struct sigaction action {};
    action.sa_sigaction = onInterrupt;
    action.sa_mask = caughtSet(); // one handler at a time on a thread
    // The run notices the flag itself; no call should fail with EINTR meanwhile.
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    for (const int signal : Caught) {
        struct sigaction previous {};
        // A shell starts background jobs with SIGINT ignored, nohup SIGHUP: they must stay deaf to it.
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
    if (stop == InterruptStop::AtNextStep) {
        struct sigaction grace {};
        if (::sigaction(SIGALRM, nullptr, &grace) == 0 && grace.sa_handler == SIG_IGN)
            alarmIgnored.store(true);
        grace = {};
        grace.sa_handler = onGraceOver;
        grace.sa_mask = caughtSet();
        ::sigaction(SIGALRM, &grace, nullptr);
    }
}

const std::atomic<int>& interruptSignal()
{
    return caught;
}

void endByInterrupt(int signal)
{
    removePendingNames(true);
    endNow(signal);
}

// lstat, unlink and the comparison are all a handler may call.
void removeIfStill(const char* path, const FileIdentity& identity) noexcept
{
    struct stat info {};
    if (::lstat(path, &info) == 0 && static_cast<std::uint64_t>(info.st_dev) == identity.device
        && static_cast<std::uint64_t>(info.st_ino) == identity.inode)
        ::unlink(path);
}

CaughtSignalsHeld::CaughtSignalsHeld() noexcept
{
    static_assert(sizeof(sigset_t) <= sizeof m_saved, "room for a signal mask");
    const sigset_t set = caughtSet();
    sigset_t saved;
    m_held = ::pthread_sigmask(SIG_BLOCK, &set, &saved) == 0;
    std::memcpy(m_saved, &saved, sizeof saved);
}

CaughtSignalsHeld::~CaughtSignalsHeld()
{
    if (!m_held)
        return;
    sigset_t saved;
    std::memcpy(&saved, m_saved, sizeof saved);
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

} // namespace platform
