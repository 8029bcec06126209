// Wall-clock and CPU time of a stretch of work in this process.
#pragma once

#include <chrono>
#include <sys/resource.h>

// CPU time is kept next to wall time because on a loaded machine a run that is descheduled half of the
// time doubles its wall time, not its CPU time.
class Stopwatch
{
public:
    Stopwatch()
        : m_wallStart(std::chrono::steady_clock::now())
        , m_cpuStart(cpuNow())
    {
    }

    double wallSeconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_wallStart).count();
    }
    double cpuSeconds() const { return cpuNow() - m_cpuStart; }

    // User plus system time of this process so far.
    static double cpuNow()
    {
        rusage usage {};
        ::getrusage(RUSAGE_SELF, &usage);
        return seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
    static double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

private:
    std::chrono::steady_clock::time_point m_wallStart;
    double m_cpuStart;
};
