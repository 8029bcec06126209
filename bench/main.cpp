// The benchmark: the engine against a TAB/CR byte filter on real pages, in memory and on pathological inputs,
// and the peak memory of the CLI on a 100 MB and a 1 GB file; ends with the verdict on the three targets.
#include <bench/bench_inputs.h>
#include <bench/byte_filter.h>
#include <bench/child_usage.h>
#include <bench/guarded_run.h>
#include <bench/memory_byte_file.h>
#include <bench/report.h>
#include <bench/stopwatch.h>

#include <engine/compaction.h>
#include <engine/safe_compaction.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t Megabyte = 1000000;
constexpr std::int64_t CorpusBytes = 100 * Megabyte;
constexpr std::int64_t PathologicalBytes = 20 * Megabyte;
constexpr std::int64_t BigBytes = 1000 * Megabyte;
constexpr double FilterShareTarget = 0.5;  // all-options throughput over the filter's, at least
constexpr double PathologicalTarget = 2.0; // per-MB time over the real pages', at most
constexpr double RssLimitMiB = 16.0;       // the CLI's peak resident memory, below
constexpr double SafeShareTarget = 0.8;    // the safe compaction's throughput over all four options', at least
constexpr CompactionOptions AllOptions{true, true, true, true};
constexpr CompactionOptions DefaultOnly{};

const char* const UsageText = "usage: snellitore-bench [--runs N] [--timeout SECONDS] [--skip-1g]\n"
                              "  SNELLITORE_BENCH_DIR  folder of the cached corpus and the scratch files\n"
                              "                        (default: bench-data/ in the source tree)\n";

struct Settings
{
    std::string folder = std::string(SNELLITORE_SOURCE_DIR) + "/bench-data";
    int runs = 5;
    double timeoutSeconds = 120; // for one engine run; generous, it only catches a hang
    bool bigFile = true;
};

bool readSettings(int argc, char** argv, Settings& settings)
{
    if (const char* folder = std::getenv("SNELLITORE_BENCH_DIR"); folder && *folder)
        settings.folder = folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            settings.runs = std::atoi(argv[++i]);
        else if (arg == "--timeout" && i + 1 < argc)
            settings.timeoutSeconds = std::atof(argv[++i]);
        else if (arg == "--skip-1g")
            settings.bigFile = false;
        else
            return false;
    }
    return settings.runs > 0 && settings.timeoutSeconds > 0;
}

// Where the run is, on standard error, so that a long run shows life and the table stays clean.
void progressNote(const char* text)
{
    std::fprintf(stderr, "snellitore-bench: %s\n", text);
}

// options null: the safe compaction.
RunOutcome compactFileOnce(const std::string& source, const std::string& destination, const CompactionOptions* options)
{
    NullProgress progress;
    const Stopwatch watch;
    const CompactionResult result = options ? CompactFile(source, destination, *options, progress)
                                            : CompactFileSafe(source, destination, progress);
    return {true, watch.wallSeconds(), watch.cpuSeconds(), result.written, {}};
}

// CompactFile in a child process, so that an engine that hangs costs a timeout and not the whole run.
RunOutcome guardedCompactFile(const std::string& source, const std::string& destination,
                              const CompactionOptions* options, const Settings& settings)
{
    return runGuarded([&] { return compactFileOnce(source, destination, options); }, settings.timeoutSeconds);
}

RunOutcome filterFileOnce(const std::string& source, const std::string& destination)
{
    try {
        const Stopwatch watch;
        const std::int64_t written = filterFile(source, destination);
        return {true, watch.wallSeconds(), watch.cpuSeconds(), written, {}};
    } catch (const std::exception& e) {
        return {false, 0, 0, 0, e.what()};
    }
}

struct FileFigures
{
    Measurement all;
    Measurement filter;
    Measurement defaultOnly;
    Measurement safe;
};

// Every run writes a new file: truncating the previous output could wait for its writeback to the disk,
// which would time the disk rather than the run.
std::string freshOutput(ScratchFiles& scratch, const Settings& settings, const char* stem, int run)
{
    return scratch.add(settings.folder, std::string(stem) + "-" + std::to_string(run) + ".out");
}

// Engine and filter alternate, so that a slow spell of the machine hits both alike.
FileFigures measureRealFiles(const Corpus& corpus, const Settings& settings)
{
    FileFigures f{{"CompactFile, all four options", corpus.bytes},
                  {"TAB/CR filter, read/write in 1 MiB blocks", corpus.bytes},
                  {"CompactFile, \"Default\" only", corpus.bytes},
                  {"CompactFileSafe, the safe compaction", corpus.bytes}};
    ScratchFiles outputs;
    for (int run = 0; run < settings.runs; ++run) {
        if (f.all.stillRunning())
            f.all.record(guardedCompactFile(corpus.path, freshOutput(outputs, settings, "all", run), &AllOptions,
                                            settings));
        if (f.safe.stillRunning())
            f.safe.record(
                guardedCompactFile(corpus.path, freshOutput(outputs, settings, "safe", run), nullptr, settings));
        f.filter.record(filterFileOnce(corpus.path, freshOutput(outputs, settings, "filter", run)));
        if (f.defaultOnly.stillRunning())
            f.defaultOnly.record(guardedCompactFile(corpus.path, freshOutput(outputs, settings, "default", run),
                                                    &DefaultOnly, settings));
    }
    return f;
}

struct MemoryFigures
{
    Measurement all;
    Measurement filter;
    Measurement defaultOnly;
};

RunOutcome compactStreamOnce(const std::vector<unsigned char>& input, unsigned char* output, std::size_t capacity,
                             const CompactionOptions& options)
{
    MemorySource source(input.data(), input.size());
    MemorySink destination(output, capacity);
    NullProgress progress;
    try {
        const Stopwatch watch;
        const CompactionResult result = compactStream(source, destination, options, progress);
        return {true, watch.wallSeconds(), watch.cpuSeconds(), result.written, {}};
    } catch (const std::exception& e) {
        return {false, 0, 0, 0, e.what()};
    }
}

RunOutcome filterMemoryOnce(const std::vector<unsigned char>& input, unsigned char* output)
{
    const Stopwatch watch;
    const std::size_t kept = filterTabsAndCrs(input.data(), input.size(), output);
    return {true, watch.wallSeconds(), watch.cpuSeconds(), static_cast<std::int64_t>(kept), {}};
}

// The same work without the file system: the corpus is read into memory first and the output goes to a
// buffer touched beforehand, so these figures are the engine's CPU cost alone. Runs in this process; an
// option set whose file runs failed (a hang, say) is left out.
MemoryFigures measureInMemory(const Corpus& corpus, const Settings& settings, const FileFigures& files)
{
    MemoryFigures m{{"compactStream, all four options", corpus.bytes},
                    {"TAB/CR filter, one pass over memory", corpus.bytes},
                    {"compactStream, \"Default\" only", corpus.bytes}};
    const std::vector<unsigned char> input = readWhole(corpus.path);
    const std::size_t capacity = input.size() + 4096; // a rewritten DIV pair never grows the text
    const std::unique_ptr<unsigned char[]> output(new unsigned char[capacity]);
    std::memset(output.get(), 0, capacity);
    if (!files.all.ok())
        m.all.failure = "skipped: the file runs failed";
    if (!files.defaultOnly.ok())
        m.defaultOnly.failure = "skipped: the file runs failed";
    for (int run = 0; run < settings.runs; ++run) {
        m.all.record(compactStreamOnce(input, output.get(), capacity, AllOptions));
        m.filter.record(filterMemoryOnce(input, output.get()));
        m.defaultOnly.record(compactStreamOnce(input, output.get(), capacity, DefaultOnly));
    }
    return m;
}

struct PathologicalCase
{
    const char* label;
    const char* fileName;
    std::string prefix;
    std::string unit;
    std::string suffix;
    bool safe = false; // the safe compaction instead of all four options
};

// Mixed spaces, TABs and CR LF line ends: every kind of character the whitespace rules handle.
const std::string WhitespaceUnit = "  \t \r\n\t\t   \r\n \t  \r\n";

std::vector<PathologicalCase> pathologicalCases()
{
    return {
        {"script: \"if (a > b) x = c >> 1;\" repeated", "script.js", "", "if (a > b) x = c >> 1;\n", ""},
        {"\"<p>\" + whitespace run + \"<b>x</b>\"", "gap.html", "<p>", WhitespaceUnit, "<b>x</b>"},
        {"\">\" + whitespace run + \"x\" (rewind)", "rewind.html", "<p>", WhitespaceUnit, "x</p>\n"},
        // The safe compaction's own worst cases: the longest look-aheads and re-readings it can be made to do.
        {"safe: whitespace runs in text", "text.html", "<p>", WhitespaceUnit, "</p>", true},
        {"safe: \"<b>\" repeated (tags only)", "tags.html", "", "<b>", "", true},
        {"safe: one tag of 20 MB of attributes", "attributes.html", "<p", " a=\"1\"\r\n\tb=c", ">", true},
        {"safe: a tag the end leaves open (read ahead)", "open.html", "<p", " a=b\r\n", "", true},
        {"safe: \"<style\" repeated (each cuts the last)", "styles.html", "", "<style>.a{", "", true},
        {"safe: one selector of 20 MB, kept (read twice)", "selector.html", "<style>", ".a .b\r\n", "{white-space:pre}</style>", true},
        {"safe: \"<pre>\" nested 20 MB deep", "nested.html", "", "<pre> \r\n", "", true},
        {"safe: a comment of 20 MB", "comment.html", "<!--", " -- -! \r\n", "-->", true},
        {"safe: stylesheet of whitespace runs", "runs.css", "a{", WhitespaceUnit, "}", true},
    };
}

// Each input is 20 MB of the repeated unit; CompactFile with every option on, as for the real pages.
std::vector<Measurement> measurePathological(const Settings& settings)
{
    std::vector<Measurement> results;
    for (const PathologicalCase& c : pathologicalCases()) {
        ScratchFiles files;
        const std::string path = files.add(settings.folder, c.fileName);
        Measurement m{c.label, writePattern(path, c.prefix, c.unit, PathologicalBytes, c.suffix)};
        readThrough(path);
        for (int run = 0; run < settings.runs && m.stillRunning(); ++run)
            m.record(guardedCompactFile(path, freshOutput(files, settings, "pathological", run),
                                        c.safe ? nullptr : &AllOptions, settings));
        results.push_back(m);
    }
    return results;
}

struct UsageFigures
{
    std::string skipped; // why the measurement was not made; empty when it was
    ChildUsage floor;
    ChildUsage hundred;
    ChildUsage big;
    ChildUsage safeHundred; // --safe
    ChildUsage safeBig;
    std::int64_t bigBytes = 0;
    std::string bigSkipped;
};

ChildUsage runCli(const std::string& cli, const std::string& source, const std::string& destination,
                  bool safe = false)
{
    if (safe)
        return runChild({cli, "--safe", "-o", destination, "--force", source});
    return runChild({cli, "-o", destination, "--force", source});
}

// The 1 GB input and its output together need about 2 GB; they are deleted as soon as the run ends.
void measureBigFile(const std::string& cli, const Corpus& corpus, const Settings& settings, UsageFigures& u)
{
    const std::int64_t needed = 2 * BigBytes + 512 * Megabyte;
    const std::int64_t available = freeBytes(settings.folder);
    if (available < needed) {
        u.bigSkipped = "skipped: " + std::to_string(available / Megabyte) + " MB free in " + settings.folder
                       + ", " + std::to_string(needed / Megabyte) + " MB needed";
        return;
    }
    ScratchFiles big;
    const std::string input = big.add(settings.folder, "big-input.html");
    const std::string output = big.add(settings.folder, "big-output.html");
    try {
        u.bigBytes = writeRepeated(input, corpus.path, BigBytes);
    } catch (const std::exception& e) {
        u.bigSkipped = std::string("skipped: ") + e.what();
        return;
    }
    u.big = runCli(cli, input, output);
    u.safeBig = runCli(cli, input, output, true);
}

UsageFigures measurePeakMemory(const Corpus& corpus, const Settings& settings, ScratchFiles& scratch)
{
    UsageFigures u;
#ifdef SNELLITORE_CLI_PATH
    const std::string cli = SNELLITORE_CLI_PATH;
#else
    const std::string cli;
#endif
    if (cli.empty()) {
        u.skipped = "skipped: the build has no snellitore-cli target";
        return u;
    }
    if (::access(cli.c_str(), X_OK) != 0) {
        u.skipped = "skipped: " + cli + " is not built";
        return u;
    }
    u.floor = runChild({"/bin/true"});
    u.hundred = runCli(cli, corpus.path, scratch.add(settings.folder, "cli.out"));
    u.safeHundred = runCli(cli, corpus.path, scratch.add(settings.folder, "cli-safe.out"), true);
    if (settings.bigFile)
        measureBigFile(cli, corpus, settings, u);
    else
        u.bigSkipped = "skipped: --skip-1g";
    return u;
}

std::string timesText(const Measurement& m, const Measurement& reference, const char* what)
{
    const bool known = m.ok() && reference.ok();
    return ratioText(known, known ? reference.bestSeconds / m.bestSeconds : 0) + " " + what;
}

std::string perMegabyteText(const Measurement& m, const Measurement& reference)
{
    const bool known = m.ok() && reference.ok();
    return ratioText(known, known ? m.secondsPerMegabyte() / reference.secondsPerMegabyte() : 0)
           + " per-MB time of real pages";
}

// The engine on disk and in memory must agree on the output size; a mismatch means a broken run.
void checkAgreement(const Measurement& onDisk, const Measurement& inMemory)
{
    if (onDisk.ok() && inMemory.ok() && onDisk.written != inMemory.written)
        printNote("WARNING: " + inMemory.name + " wrote " + std::to_string(inMemory.written)
                  + " bytes, CompactFile " + std::to_string(onDisk.written));
}

void printThroughput(const FileFigures& f, const MemoryFigures& m)
{
    printSection("Real pages on disk: CompactFile against the filter (source and destination in the bench folder)");
    printColumns();
    printRow(f.all, timesText(f.all, f.filter, "filter throughput"));
    printRow(f.filter, "reference");
    printRow(f.defaultOnly, timesText(f.defaultOnly, f.filter, "filter throughput"));
    printRow(f.safe, timesText(f.safe, f.all, "all-options throughput"));
    printSection("Real pages in memory: compactStream on in-memory byte files, no file system");
    printColumns();
    printRow(m.all, timesText(m.all, m.filter, "memory filter throughput"));
    printRow(m.filter, "reference");
    printRow(m.defaultOnly, timesText(m.defaultOnly, m.filter, "memory filter throughput"));
    checkAgreement(f.all, m.all);
    checkAgreement(f.defaultOnly, m.defaultOnly);
}

bool isSafeCase(const Measurement& m)
{
    return m.name.rfind("safe:", 0) == 0;
}

// The safe cases are set against the safe compaction of the real pages, the others against all four options.
void printPathological(const std::vector<Measurement>& cases, const FileFigures& f)
{
    printSection("Pathological inputs: CompactFile, all four options; \"safe:\" CompactFileSafe");
    printColumns();
    for (const Measurement& m : cases)
        printRow(m, perMegabyteText(m, isSafeCase(m) ? f.safe : f.all));
}

void printPeakMemory(const UsageFigures& u, const Corpus& corpus)
{
    printSection("Peak memory of snellitore-cli -o <dest> --force <src> (ru_maxrss of the child)");
    if (!u.skipped.empty()) {
        printNote(u.skipped);
        return;
    }
    printUsageRow("floor: /bin/true started the same way", 0, u.floor);
    printUsageRow("100 MB: the corpus", corpus.bytes, u.hundred);
    printUsageRow("100 MB: the corpus, --safe", corpus.bytes, u.safeHundred);
    if (u.bigSkipped.empty()) {
        printUsageRow("1 GB (the corpus repeated)", u.bigBytes, u.big);
        printUsageRow("1 GB (the corpus repeated), --safe", u.bigBytes, u.safeBig);
    } else
        printNote("1 GB input: " + u.bigSkipped);
}

Verdict throughputVerdict(const FileFigures& f, std::string& figure)
{
    const bool known = f.all.ok() && f.filter.ok();
    const double share = known ? f.filter.bestSeconds / f.all.bestSeconds : 0;
    figure = ratioText(known, share) + " of the filter (by CPU time "
             + ratioText(known, known ? f.filter.bestCpuSeconds / f.all.bestCpuSeconds : 0) + ")";
    return known && share >= FilterShareTarget ? Verdict::Pass : Verdict::Fail;
}

Verdict pathologicalVerdict(const std::vector<Measurement>& cases, const FileFigures& f, std::string& figure)
{
    double worst = 0;
    double worstCpu = 0;
    std::string worstName;
    for (const Measurement& m : cases) {
        const Measurement& realistic = isSafeCase(m) ? f.safe : f.all;
        if (!m.ok() || !realistic.ok()) {
            figure = m.name + ": " + (m.ok() ? "no realistic figure" : m.failure);
            return Verdict::Fail;
        }
        const double ratio = m.secondsPerMegabyte() / realistic.secondsPerMegabyte();
        if (ratio > worst) {
            worst = ratio;
            worstName = m.name;
        }
        worstCpu = std::max(worstCpu, m.cpuSecondsPerMegabyte() / realistic.cpuSecondsPerMegabyte());
    }
    figure = "worst " + ratioText(true, worst) + " (by CPU time " + ratioText(true, worstCpu) + "): " + worstName;
    return worst <= PathologicalTarget ? Verdict::Pass : Verdict::Fail;
}

// Fails on a run that failed or went over the limit; skips when either size could not be measured.
Verdict memoryVerdict(const UsageFigures& u, std::string& figure)
{
    if (!u.skipped.empty()) {
        figure = u.skipped;
        return Verdict::Skip;
    }
    const ChildUsage* runs[] = {&u.hundred, &u.safeHundred, u.bigSkipped.empty() ? &u.big : nullptr,
                                u.bigSkipped.empty() ? &u.safeBig : nullptr};
    Verdict verdict = u.bigSkipped.empty() ? Verdict::Pass : Verdict::Skip;
    char text[128];
    std::snprintf(text, sizeof text, "100 MB: %.1f MiB (--safe %.1f), 1 GB: ", mebibytes(u.hundred.maxRssKiB),
                  mebibytes(u.safeHundred.maxRssKiB));
    figure = text;
    if (runs[2]) {
        std::snprintf(text, sizeof text, "%.1f MiB (--safe %.1f)", mebibytes(u.big.maxRssKiB),
                      mebibytes(u.safeBig.maxRssKiB));
        figure += text;
    } else {
        figure += "not measured";
    }
    for (const ChildUsage* run : runs) {
        if (run && (!run->ran || run->exitCode != 0 || mebibytes(run->maxRssKiB) >= RssLimitMiB))
            verdict = Verdict::Fail;
    }
    return verdict;
}

bool printTargets(const FileFigures& f, const std::vector<Measurement>& cases, const UsageFigures& u)
{
    printSection("Targets");
    std::string figure;
    bool failed = false;
    Verdict v = throughputVerdict(f, figure);
    printTarget(v, "all-options throughput >= 0.5x the filter's", figure);
    failed |= v == Verdict::Fail;
    const bool safeKnown = f.safe.ok() && f.all.ok();
    const double safeShare = safeKnown ? f.all.bestSeconds / f.safe.bestSeconds : 0;
    figure = ratioText(safeKnown, safeShare) + " of all four options (by CPU time "
             + ratioText(safeKnown, safeKnown ? f.all.bestCpuSeconds / f.safe.bestCpuSeconds : 0) + ")";
    v = safeKnown && safeShare >= SafeShareTarget ? Verdict::Pass : Verdict::Fail;
    printTarget(v, "safe compaction throughput >= 0.8x all four options'", figure);
    failed |= v == Verdict::Fail;
    v = pathologicalVerdict(cases, f, figure);
    printTarget(v, "pathological per-MB time <= 2x the real pages'", figure);
    failed |= v == Verdict::Fail;
    v = memoryVerdict(u, figure);
    printTarget(v, "CLI peak RSS < 16 MiB for 100 MB and 1 GB", figure);
    failed |= v == Verdict::Fail;
    return !failed;
}

// Other work on the machine moves every figure; the load average says how much to trust a run.
std::string loadAverage()
{
    std::FILE* file = std::fopen("/proc/loadavg", "r");
    char text[64] = "unknown";
    if (file) {
        if (!std::fgets(text, sizeof text, file))
            std::strcpy(text, "unknown");
        std::fclose(file);
    }
    std::string load = text;
    const auto third = load.find(' ', load.find(' ', load.find(' ') + 1) + 1);
    return third == std::string::npos ? load : load.substr(0, third);
}

int runBenchmark(const Settings& settings)
{
    ScratchFiles scratch;
    progressNote("preparing the corpus");
    const Corpus corpus = prepareCorpus(settings.folder, CorpusBytes);
    readThrough(corpus.path); // warms the page cache
    char heading[512];
    std::snprintf(heading, sizeof heading,
                  "Snellitore benchmark: best of %d runs, MB = 10^6 bytes of input\ncorpus: %s, %.1f MB %s",
                  settings.runs, corpus.path.c_str(), corpus.bytes / BytesPerMegabyte,
                  corpus.htmlFiles ? ("assembled from " + std::to_string(corpus.htmlFiles) + " HTML files").c_str()
                                   : "(cached; delete it to assemble it again)");
    printHeading(heading);
    printHeading("load average before the run (1, 5, 15 min): " + loadAverage());
    std::fflush(stdout);
    progressNote("real pages on disk");
    const FileFigures files = measureRealFiles(corpus, settings);
    progressNote("pathological inputs");
    const std::vector<Measurement> cases = measurePathological(settings);
    progressNote("real pages in memory");
    const MemoryFigures memory = measureInMemory(corpus, settings, files);
    progressNote("peak memory of the CLI");
    const UsageFigures usage = measurePeakMemory(corpus, settings, scratch);
    printThroughput(files, memory);
    printPathological(cases, files);
    printPeakMemory(usage, corpus);
    return printTargets(files, cases, usage) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    Settings settings;
    if (!readSettings(argc, argv, settings)) {
        std::fputs(UsageText, stderr);
        return 2;
    }
    try {
        return runBenchmark(settings);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "snellitore-bench: %s\n", e.what());
        return 2;
    }
}
