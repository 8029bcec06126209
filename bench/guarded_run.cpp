// The child process around a timed piece of work, with its deadline.
#include <bench/guarded_run.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void sendOutcome(int fd, const RunOutcome& outcome)
{
    char message[512];
    const int length = outcome.ok
        ? std::snprintf(message, sizeof message, "ok %.9f %.9f %" PRId64, outcome.seconds, outcome.cpuSeconds,
                        outcome.written)
        : std::snprintf(message, sizeof message, "error %s", outcome.error.c_str());
    const ssize_t ignored = ::write(fd, message, static_cast<std::size_t>(std::min<int>(length, static_cast<int>(sizeof message) - 1)));
    (void)ignored; // the parent reports a child that said nothing
}

[[noreturn]] void runChild(int fd, const std::function<RunOutcome()>& work)
{
    RunOutcome outcome;
    try {
        outcome = work();
    } catch (const std::exception& e) {
        outcome = {false, 0, 0, 0, e.what()};
    } catch (...) {
        outcome = {false, 0, 0, 0, "unknown exception"};
    }
    sendOutcome(fd, outcome);
    ::_exit(0); // no atexit handlers or stream flushes of the parent's copy
}

// Reads the child's message until it closes the pipe or the deadline passes; false on the deadline.
bool readMessage(int fd, double timeoutSeconds, std::string& message)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd watch{fd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR)
            return true;
        if (ready <= 0)
            continue;
        char chunk[256];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got <= 0)
            return true;
        message.append(chunk, static_cast<std::size_t>(got));
    }
}

RunOutcome parseMessage(const std::string& message, int status)
{
    RunOutcome outcome;
    double seconds = 0;
    double cpuSeconds = 0;
    std::int64_t written = 0;
    if (std::sscanf(message.c_str(), "ok %lf %lf %" SCNd64, &seconds, &cpuSeconds, &written) == 3)
        return {true, seconds, cpuSeconds, written, {}};
    if (message.rfind("error ", 0) == 0)
        outcome.error = message.substr(6);
    else if (WIFSIGNALED(status))
        outcome.error = std::string("killed by signal ") + strsignal(WTERMSIG(status));
    else
        outcome.error = "the child process ended without a result";
    return outcome;
}

} // namespace

RunOutcome runGuarded(const std::function<RunOutcome()>& work, double timeoutSeconds)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return {false, 0, 0, 0, std::string("pipe: ") + std::strerror(errno)};
    std::fflush(nullptr); // nothing buffered may be printed twice
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return {false, 0, 0, 0, std::string("fork: ") + std::strerror(errno)};
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        runChild(pipeEnds[1], work);
    }
    ::close(pipeEnds[1]);
    std::string message;
    const bool finished = readMessage(pipeEnds[0], timeoutSeconds, message);
    ::close(pipeEnds[0]);
    if (!finished)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (!finished) {
        char text[64];
        std::snprintf(text, sizeof text, "timed out after %g s", timeoutSeconds);
        return {false, 0, 0, 0, text};
    }
    return parseMessage(message, status);
}
