// Files handed to a fixed set of workers and reported in the order they were handed over.
#include <cli/ordered_run.h>

#include <cli/cli_run.h>
#include <cli/messages.h>

#include <engine/arithmetic.h>
#include <engine/size_summary.h>
#include <platform/directory.h>
#include <platform/io_error.h>
#include <platform/process.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <system_error>

namespace {

namespace Text {
constexpr const char* Interrupted = "interrupted";
} // namespace Text

// Enough files queued per worker that none waits while the walk lists a folder, few enough to hold no memory.
constexpr std::size_t FilesPerWorker = 32;
constexpr std::size_t SmallestWindow = 16;
constexpr auto RedrawEvery = std::chrono::milliseconds(100);

const CompactionOptions ByteForByte { false, false, false, false };

} // namespace

OrderedRun::OrderedRun(const CliOptions& options, std::ostream& err, std::int64_t totalBytes)
    : m_options(options)
    , m_err(err)
    , m_totalBytes(totalBytes)
    , m_terminal(options.progress && platform::standardErrorIsTerminal())
    , m_started(std::chrono::steady_clock::now())
    , m_lastDrawn(m_started)
{
    const unsigned jobs = options.jobs ? options.jobs : platform::processorCount();
    m_window = std::max<std::size_t>(SmallestWindow, jobs * FilesPerWorker);
    m_workers.reserve(jobs);
    // Under a limit on processes or memory a worker may fail to start: the run goes on with those that did,
    // or on this thread when none did, and says so once.
    for (unsigned i = 0; i < jobs; ++i) {
        try {
            m_workers.emplace_back([this] { work(); });
        } catch (const std::system_error& error) {
            m_err << CliText::Program << "started " << m_workers.size() << " of " << jobs
                  << " workers (" << error.what() << ")" << (m_workers.empty() ? "; working on one thread" : "")
                  << '\n';
            break;
        }
    }
}

OrderedRun::~OrderedRun()
{
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_workReady.notify_all();
    for (std::thread& worker : m_workers)
        if (worker.joinable())
            worker.join();
}

bool OrderedRun::stopping() const
{
    return platform::interruptSignal().load(std::memory_order_relaxed) != 0;
}

void OrderedRun::add(FileAction action, std::string source, std::string destination)
{
    auto task = std::make_unique<Task>();
    task->action = action;
    task->source = std::move(source);
    task->destination = std::move(destination);
    push(std::move(task));
}

void OrderedRun::note(std::string path, std::string text, bool failed)
{
    auto task = std::make_unique<Task>();
    task->isNote = true;
    task->done = true;
    task->failed = failed;
    task->text = messageLine(path, text);
    push(std::move(task));
}

// The walk hands over files until the window is full, then waits until half of it is reported: a batch at a
// time, so that neither side wakes the other for every tiny file.
void OrderedRun::push(std::unique_ptr<Task> task)
{
    Task* const raw = task.get();
    const bool isNote = task->isNote; // once handed over, a worker may report and free the task at any moment
    {
        std::unique_lock lock(m_mutex);
        if (m_inFlight.size() >= m_window) {
            m_walkWaits = true;
            m_room.wait(lock, [this] { return m_inFlight.size() <= m_window / 2; });
            m_walkWaits = false;
        }
        m_inFlight.push_back(std::move(task));
        if (!isNote)
            m_waiting.push_back(raw);
    }
    if (isNote) {
        drain(); // no worker reports a note: it may be the first of the window now
    } else if (m_workers.empty()) {
        runInPlace();
    } else {
        m_workReady.notify_one();
    }
}

// Without a worker the walk itself runs each file as it is handed over; the window never fills.
void OrderedRun::runInPlace()
{
    Task* task = nullptr;
    {
        std::lock_guard lock(m_mutex);
        task = m_waiting.front();
        m_waiting.pop_front();
    }
    run(*task);
    {
        std::lock_guard lock(m_mutex);
        task->done = true;
    }
    drain();
}

int OrderedRun::finish()
{
    drain();
    {
        std::unique_lock lock(m_mutex);
        m_walkWaits = true;
        m_room.wait(lock, [this] { return m_inFlight.empty(); });
        m_walkWaits = false;
        m_closing = true;
    }
    m_workReady.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
    std::lock_guard report(m_reportMutex);
    if (const int signal = platform::interruptSignal().load()) {
        clearProgressLine();
        m_err << CliText::Program << Text::Interrupted << std::endl;
        platform::endByInterrupt(signal);
    }
    showProgress(true);
    if (m_options.stats) {
        m_err << "total " << m_files << " files " << m_bytesIn << " byte  ==> " << m_bytesOut << " byte "
              << ratioText(m_bytesIn, m_bytesOut);
        if (m_failed > 0)
            m_err << ", " << m_failed << " failed";
        m_err << '\n';
    }
    m_err.flush();
    return m_failed > 0 ? 1 : 0;
}

void OrderedRun::work()
{
    for (;;) {
        Task* task = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_workReady.wait(lock, [this] { return !m_waiting.empty() || m_closing; });
            if (m_waiting.empty())
                return;
            task = m_waiting.front();
            m_waiting.pop_front();
        }
        run(*task);
        bool first = false;
        {
            std::lock_guard lock(m_mutex);
            task->done = true;
            first = m_inFlight.front().get() == task;
        }
        // Only the first file of the window can be reported; whoever finishes it reports those done after it too.
        if (first)
            drain();
    }
}

// Each file goes through the single-file run, so its bytes, its refusals and its messages are those of
// snellitore-cli run on that file alone.
void OrderedRun::run(Task& task) const
{
    if (stopping()) {
        task.stopped = true;
        return;
    }
    if (task.action == FileAction::Link) {
        const int code = platform::copyLink(task.source, task.destination, m_options.force);
        task.failed = code != IoCode::Ok;
        const bool taken = code == IoCode::FileExists && !m_options.force;
        if (task.failed)
            task.text = messageLine(task.destination, taken ? CliText::Exists : failureText(code, task.destination));
        return;
    }
    CliOptions one;
    one.compaction = task.action == FileAction::Copy ? ByteForByte : m_options.compaction;
    one.safe = task.action != FileAction::Copy && m_options.safe;
    one.siteRoot = m_options.recursive ? m_options.source : std::string();
    one.source = task.source;
    one.destination = task.destination;
    one.force = m_options.force;
    one.stats = m_options.stats;
    FileRunControl control;
    control.stop = &platform::interruptSignal();
    control.syncNewFile = false;
    control.destinationLikelyFree = true;
    control.keepModificationTime = task.action == FileAction::Copy; // a copy, not a file written anew
    control.stylesheets = &m_stylesheets;
    std::ostringstream text;
    const int code = runCompaction(one, text, {}, &control);
    task.text = std::move(text).str();
    task.failed = code != 0;
    task.stopped = control.stopped;
    task.written = code == 0;
    task.result = control.result;
    // A file that failed or was refused is done all the same: its bytes count towards the progress.
    if (!task.written && !task.stopped && platform::fileSizeOf(task.source, task.result.sourceSize) != IoCode::Ok)
        task.result.sourceSize = 0;
}

void OrderedRun::drain()
{
    std::lock_guard report(m_reportMutex);
    std::vector<std::unique_ptr<Task>> finished;
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        while (!m_inFlight.empty() && m_inFlight.front()->done) {
            finished.push_back(std::move(m_inFlight.front()));
            m_inFlight.pop_front();
        }
        wake = m_walkWaits && m_inFlight.size() <= m_window / 2;
    }
    if (wake)
        m_room.notify_one();
    for (const auto& task : finished) {
        print(*task);
        showProgress(false); // each file's bytes count, so no percentage is passed over
    }
}

void OrderedRun::print(const Task& task)
{
    if (task.stopped)
        return;
    if (!task.text.empty()) {
        clearProgressLine();
        m_err << task.text;
    }
    if (task.failed)
        ++m_failed;
    m_bytesDone += task.result.sourceSize;
    if (task.written) {
        ++m_files;
        m_bytesIn += task.result.sourceSize;
        m_bytesOut += task.result.written;
    }
}

// On a terminal one line, redrawn in place; elsewhere each new whole percentage of the bytes on its own line.
void OrderedRun::showProgress(bool final)
{
    if (!m_options.progress)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_terminal) {
        if (!final && now - m_lastDrawn < RedrawEvery)
            return;
        m_lastDrawn = now;
        const double seconds = std::chrono::duration<double>(now - m_started).count();
        const double megabytes = static_cast<double>(m_bytesIn) / 1e6;
        char line[160];
        std::snprintf(line, sizeof line, "\r%lld files, %.1f MB, %.1f MB/s, %.0f files/s\x1b[K",
                      static_cast<long long>(m_files), megabytes, seconds > 0 ? megabytes / seconds : 0.0,
                      seconds > 0 ? static_cast<double>(m_files) / seconds : 0.0);
        m_err << line;
        if (final)
            m_err << '\n';
        m_progressLineShown = !final;
        m_err.flush();
        return;
    }
    if (m_totalBytes <= 0)
        return;
    // Every file is done at the end, whatever it came to, even if some grew or shrank since they were counted.
    const int percent = final ? 100 : progressPercent(std::min(m_bytesDone, m_totalBytes), m_totalBytes);
    if (percent > m_percentShown) {
        m_percentShown = percent;
        m_err << percent << "%\n";
    }
}

void OrderedRun::clearProgressLine()
{
    if (m_progressLineShown) {
        m_err << "\r\x1b[K";
        m_progressLineShown = false;
    }
}
