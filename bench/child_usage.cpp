// fork, exec and wait4 for the peak-memory measurement.
#include <bench/child_usage.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

ChildUsage runChild(const std::vector<std::string>& argv)
{
    ChildUsage usage;
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0) {
        usage.error = std::string("fork: ") + std::strerror(errno);
        return usage;
    }
    if (child == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            ::dup2(devNull, STDOUT_FILENO);
        ::execv(args[0], args.data());
        std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
        ::_exit(127);
    }
    int status = 0;
    rusage resources {};
    while (::wait4(child, &status, 0, &resources) < 0) {
        if (errno != EINTR) {
            usage.error = std::string("wait4: ") + std::strerror(errno);
            return usage;
        }
    }
    usage.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    usage.ran = true;
    usage.maxRssKiB = resources.ru_maxrss; // KiB on Linux
    usage.cpuSeconds = resources.ru_utime.tv_sec + resources.ru_utime.tv_usec / 1e6 + resources.ru_stime.tv_sec
                       + resources.ru_stime.tv_usec / 1e6;
    if (WIFEXITED(status))
        usage.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        usage.signal = WTERMSIG(status);
    return usage;
}
