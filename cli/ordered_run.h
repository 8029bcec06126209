// Files handed to a fixed set of workers and reported in the order they were handed over.
#pragma once

#include <cli/cli_options.h>

#include <chrono>
#include <engine/compaction.h>
#include <engine/stylesheet_memo.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What to do with one entry of the run.
enum class FileAction
{
    Compact,  // compacted with the run's options
    Copy,     // copied byte for byte
    Link,     // a symbolic link recreated with the same target
};

// Runs the files handed to it on a few worker threads. At most a small window of files is in flight, so
// memory does not grow with the number of files; what each file prints is held until every file handed
// over before it is reported, then printed, so the output is the same whatever the number of workers.
class OrderedRun
{
public:
    // totalBytes: the bytes the run will read, for --progress percentages; negative when unknown.
    OrderedRun(const CliOptions& options, std::ostream& err, std::int64_t totalBytes);
    ~OrderedRun();
    OrderedRun(const OrderedRun&) = delete;
    OrderedRun& operator=(const OrderedRun&) = delete;

    void add(FileAction action, std::string source, std::string destination);
    // A message of the walk itself, printed in its place; failed counts it as a failed file.
    void note(std::string path, std::string text, bool failed);
    // True once an interrupt asks the run to stop: the walk ends, files not started are left.
    bool stopping() const;
    // Waits for every file, prints the rest and the total line, and answers the exit code. After an interrupt
    // it ends the process by that signal instead.
    int finish();

private:
    struct Task
    {
        FileAction action = FileAction::Compact;
        std::string source;
        std::string destination;
        bool isNote = false;
        bool done = false;
        // Filled in by the worker.
        std::string text;
        bool failed = false;
        bool stopped = false; // ended by the interrupt: nothing to report
        bool written = false;
        CompactionResult result;
    };

    void push(std::unique_ptr<Task> task);
    void work();
    void runInPlace();
    void run(Task& task) const;
    // Reports the finished files at the head of the window, in order; called by whichever thread finished one.
    void drain();
    void print(const Task& task);
    void showProgress(bool final);
    void clearProgressLine();

    const CliOptions& m_options;
    // The site's stylesheets and scripts are read once for all its pages; the workers share what they gave.
    mutable StylesheetMemo m_stylesheets;
    std::ostream& m_err;
    const std::int64_t m_totalBytes;
    const bool m_terminal;
    std::size_t m_window;

    std::mutex m_mutex; // guards the window and the queue
    std::condition_variable m_workReady;
    std::condition_variable m_room; // the walk may hand over more files
    std::deque<std::unique_ptr<Task>> m_inFlight; // in the order handed over
    std::deque<Task*> m_waiting; // not started yet
    bool m_closing = false;
    bool m_walkWaits = false;
    std::vector<std::thread> m_workers;

    std::mutex m_reportMutex; // one thread reports at a time, so the lines keep their order
    // Reporting, under m_reportMutex.
    std::int64_t m_files = 0;
    std::int64_t m_failed = 0;
    std::int64_t m_bytesIn = 0;
    std::int64_t m_bytesOut = 0;
    std::int64_t m_bytesDone = 0; // of every file done, written or not: the progress
    int m_percentShown = 0; // as for one file, 0% is never shown
    bool m_progressLineShown = false;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastDrawn;
};
