// Running one timed piece of work in a child process that is killed when it overruns its time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct RunOutcome
{
    bool ok = false;
    double seconds = 0;       // wall time of the work itself, taken inside the child
    double cpuSeconds = 0;    // user plus system time of the work
    std::int64_t written = 0; // the work's output size
    std::string error;        // why it did not finish
};

// Forks, runs work in the child and hands its outcome back through a pipe. A child still running after
// timeoutSeconds is killed: an engine that loops or turns quadratic must not hang the whole benchmark.
RunOutcome runGuarded(const std::function<RunOutcome()>& work, double timeoutSeconds);
