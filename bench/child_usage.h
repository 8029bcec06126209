// Running a program as a child process and reading its peak resident memory and its time.
#pragma once

#include <string>
#include <vector>

struct ChildUsage
{
    bool ran = false;     // the child was started and waited for
    int exitCode = -1;    // its exit code; -1 when a signal ended it
    int signal = 0;       // the signal that ended it, if any
    double seconds = 0;   // wall time from fork to its end
    double cpuSeconds = 0; // its user plus system time
    long maxRssKiB = 0;   // ru_maxrss of the child
    std::string error;    // why it could not be run
};

// Runs argv[0] with the arguments, standard output thrown away, and waits for it with wait4.
// The kernel folds the memory a child had before exec into its peak. A vfork-style spawn would hand it
// this process's own all-time peak; fork hands it only the anonymous memory held at the moment, so the
// caller should hold no big buffer then (running /bin/true the same way shows the floor).
ChildUsage runChild(const std::vector<std::string>& argv);
