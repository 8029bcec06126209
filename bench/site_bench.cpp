// The whole-site benchmark: snellitore-cli -r against a general-purpose minifier's recursive mode and against a
// shell loop over the single-file CLI, on the real pages as a folder of separate files and on many tiny files;
// the scaling of --jobs; and what writing each new file out to the disk before its rename would cost.
#include <bench/bench_inputs.h>
#include <bench/child_usage.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Settings
{
    std::vector<std::string> folders; // each gets the whole set of runs: a tmpfs, a disk
    std::int64_t corpusBytes = 100'000'000;
    int tinyFiles = 100'000;
    int loopTinyFiles = 10'000; // the shell loop starts a process per file: a part of the tiny set is enough
    int runs = 3;
    std::string minify = "/usr/bin/minify";
    std::string cli = SNELLITORE_CLI_PATH;
    std::string baselineCli; // another build of snellitore-cli, measured in the same rounds
};

struct Tree
{
    std::string path;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string fileSystemOf(const std::string& folder)
{
    // The type of the mount that holds the folder, from /proc/self/mounts: the longest mount point that prefixes it.
    const std::string real = fs::canonical(folder).string();
    std::ifstream mounts("/proc/self/mounts");
    std::string device, point, type, rest, best, bestType = "?";
    while (mounts >> device >> point >> type && std::getline(mounts, rest)) {
        const bool prefix = real == point || real.rfind(point == "/" ? point : point + "/", 0) == 0;
        if (prefix && point.size() >= best.size()) {
            best = point;
            bestType = type;
        }
    }
    return bestType + " at " + best;
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
}

// The documentation pages, each under its path below /usr/share, in numbered rounds until the bytes are reached.
// Only .htm and .html: the names both programs take as HTML.
Tree makeCorpusTree(const std::string& folder, std::int64_t minimumBytes)
{
    Tree tree { folder + "/corpus", 0, 0 };
    fs::remove_all(tree.path);
    std::vector<std::string> pages;
    for (const std::string& page : findHtmlPages()) {
        const std::string extension = fs::path(page).extension().string();
        if (extension == ".htm" || extension == ".html")
            pages.push_back(page);
    }
    if (pages.empty())
        throw std::runtime_error("no HTML page under /usr/share");
    for (int round = 1; tree.bytes < minimumBytes; ++round) {
        for (const std::string& page : pages) {
            const fs::path to = fs::path(tree.path) / ("round" + std::to_string(round)) / fs::path(page).relative_path();
            fs::create_directories(to.parent_path());
            fs::copy_file(page, to);
            tree.bytes += static_cast<std::int64_t>(fs::file_size(to));
            ++tree.files;
        }
    }
    return tree;
}

// Tiny pages of a few bytes, a thousand to a folder.
Tree makeTinyTree(const std::string& folder, int files)
{
    Tree tree { folder + "/tiny", 0, 0 };
    fs::remove_all(tree.path);
    for (int i = 0; i < files; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/d%03d", i / 1000);
        if (i % 1000 == 0)
            fs::create_directories(tree.path + name);
        char file[64];
        std::snprintf(file, sizeof file, "/p%04d.html", i % 1000);
        const std::string bytes = "<p>  page " + std::to_string(i) + "\t</p>\n";
        writeFile(tree.path + name + file, bytes);
        tree.bytes += static_cast<std::int64_t>(bytes.size());
        ++tree.files;
    }
    return tree;
}

struct Measured
{
    std::string label;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    double seconds = 0; // the median of the runs
    double cpuSeconds = 0; // user plus system time of that run: what a busy machine disturbs least
    double bestSeconds = 0; // the shortest run: on a machine shared with other work, the least disturbed
    long maxRssKiB = 0;
    bool failed = false;
    std::string note;
};

// The labels of a table's rows: the comparisons below find their rows by these.
namespace Label {
const std::string Minify = "minify -r (whitespace-only flags)";
const std::string Site = "snellitore-cli -r";
const std::string SiteOneJob = "snellitore-cli -r --jobs=1";
const std::string SiteTwoJobs = "snellitore-cli -r --jobs=2";
const std::string BaselineOneJob = "baseline -r --jobs=1";
const std::string BaselineTwoJobs = "baseline -r --jobs=2";
} // namespace Label

// The row of that label; a row left out of the table (the baseline's, without a baseline build) counts as failed.
const Measured& rowNamed(const std::vector<Measured>& rows, const std::string& label)
{
    static const Measured missing { .label = {}, .failed = true, .note = "not run" };
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const Measured& r) { return r.label == label; });
    return row == rows.end() ? missing : *row;
}

// One command of a table: its argument list for a given output folder.
struct Command
{
    std::string label;
    std::function<std::vector<std::string>(const std::string& output)> argv;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};

// Runs every command once per round, in turn, and keeps each command's median time. Each run writes into a
// folder of its own that is only removed at the end: on ext4, creating files right after deleting as many
// costs many times more (the allocator steps over recently freed inodes), which would favour whichever
// command ran first. Outputs are written out to the disk before each run, untimed. lastOutput gets the folder of
// the last run of the command labelled kept, or of the only command.
std::vector<Measured> measureRounds(const std::vector<Command>& commands, const std::string& outputs, int runs,
                                    std::string& lastOutput, const std::string& kept = {})
{
    std::vector<Measured> results(commands.size());
    std::vector<std::vector<std::pair<double, double>>> times(commands.size());
    for (std::size_t i = 0; i < commands.size(); ++i) {
        results[i].label = commands[i].label;
        results[i].files = commands[i].files;
        results[i].bytes = commands[i].bytes;
    }
    for (int round = 0; round < runs; ++round) {
        for (std::size_t i = 0; i < commands.size(); ++i) {
            if (results[i].failed)
                continue;
            const std::string output = outputs + "/run" + std::to_string(round) + "-" + std::to_string(i);
            ::sync();
            const ChildUsage usage = runChild(commands[i].argv(output));
            if (!usage.ran || usage.exitCode != 0) {
                results[i].failed = true;
                results[i].note = usage.error.empty() ? "exit " + std::to_string(usage.exitCode) : usage.error;
                continue;
            }
            times[i].push_back({ usage.seconds, usage.cpuSeconds });
            results[i].maxRssKiB = std::max(results[i].maxRssKiB, usage.maxRssKiB);
            if (commands[i].label == kept || commands.size() == 1) // compared afterwards
                lastOutput = output;
        }
    }
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (results[i].failed)
            continue;
        std::sort(times[i].begin(), times[i].end());
        results[i].seconds = times[i][times[i].size() / 2].first;
        results[i].bestSeconds = times[i].front().first;
        results[i].cpuSeconds = times[i][times[i].size() / 2].second;
    }
    return results;
}

// The loop a user would write: one snellitore-cli per file, the folders made first.
std::vector<std::string> shellLoop(const std::string& cli, const std::string& source, const std::string& output,
                                   int limit)
{
    const std::string script = R"(cli=$1; out=$3; limit=$4
cd "$2" || exit 1
mkdir -p "$out" && find . -type d -print0 | (cd "$out" && xargs -0 mkdir -p) || exit 1
find . -type f -print0 | sort -z | head -z -n "$limit" | while IFS= read -r -d '' f; do
    "$cli" -o "$out/$f" "$f" || exit 1
done)";
    return { "/bin/bash", "-c", script, "loop", cli, source, output, std::to_string(limit) };
}

bool sameTrees(const fs::path& a, const fs::path& b, std::int64_t& compared)
{
    compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(b)) {
        if (!entry.is_regular_file())
            continue;
        const fs::path other = a / entry.path().lexically_relative(b);
        std::ifstream x(entry.path(), std::ios::binary), y(other, std::ios::binary);
        std::ostringstream bx, by;
        bx << x.rdbuf();
        by << y.rdbuf();
        if (bx.str() != by.str())
            return false;
        ++compared;
    }
    return true;
}

// Microseconds per new file of 16 bytes written under a temporary name and renamed, with and without fsync.
double stagedFileMicros(const std::string& folder, int files, bool sync)
{
    const std::string& scratch = folder;
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    ::sync();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < files; ++i) {
        const std::string temporary = scratch + "/.tmp" + std::to_string(i);
        const std::string name = scratch + "/f" + std::to_string(i);
        const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, "<p> sixteen </p>", 16) != 16 || (sync && ::fsync(fd) != 0) || ::close(fd) != 0
            || ::rename(temporary.c_str(), name.c_str()) != 0)
            throw std::runtime_error("fsync probe: " + std::string(std::strerror(errno)));
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * 1e6 / files;
}

void printTable(const std::string& title, const std::vector<Measured>& rows, const Measured& reference)
{
    std::printf("\n%s\n", title.c_str());
    std::printf("| %-34s | %7s | %8s | %8s | %8s | %8s | %9s | %9s | %9s |\n", "run", "files", "MB", "seconds",
                "cpu s", "MB/s", "files/s", "vs minify", "peak RSS");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(9, '-').c_str(),
                std::string(10, '-').c_str(), std::string(10, '-').c_str(), std::string(10, '-').c_str(),
                std::string(10, '-').c_str(), std::string(11, '-').c_str(), std::string(11, '-').c_str(),
                std::string(11, '-').c_str());
    for (const Measured& row : rows) {
        if (row.failed) {
            std::printf("| %-34s | failed: %s\n", row.label.c_str(), row.note.c_str());
            continue;
        }
        const double mb = static_cast<double>(row.bytes) / 1e6;
        const double filesPerSecond = static_cast<double>(row.files) / row.seconds;
        const double referenceRate = static_cast<double>(reference.files) / reference.seconds;
        std::printf("| %-34s | %7lld | %8.2f | %8.3f | %8.3f | %8.1f | %9.0f | %8.2fx | %5.1f MiB |\n",
                    row.label.c_str(), static_cast<long long>(row.files), mb, row.seconds, row.cpuSeconds,
                    mb / row.seconds, filesPerSecond, reference.failed ? 0.0 : filesPerSecond / referenceRate,
                    row.maxRssKiB / 1024.0);
    }
}

void benchFolder(const Settings& settings, const std::string& folder)
{
    fs::create_directories(folder);
    std::printf("\n## %s (%s), load average %s\n", folder.c_str(), fileSystemOf(folder).c_str(),
                loadAverage().c_str());
    std::fflush(stdout);
    // Before anything is deleted here, and each variant in a folder of its own (see measureRounds).
    const double without = stagedFileMicros(folder + "/probe-plain", 2000, false);
    const double with = stagedFileMicros(folder + "/probe-fsync", 2000, true);
    const Tree corpus = makeCorpusTree(folder, settings.corpusBytes);
    const Tree tiny = makeTinyTree(folder, settings.tinyFiles);
    std::vector<long> peakRss;
    const auto minify = [&](const Tree& tree, const std::string& out) {
        return std::vector<std::string> { settings.minify, "--html-keep-whitespace", "-r", "-o", out + "/", tree.path };
    };
    const auto cli = [&](const Tree& tree, const std::string& jobs, const std::string& out) {
        std::vector<std::string> argv { settings.cli, "-r", tree.path, "-o", out };
        if (!jobs.empty())
            argv.insert(argv.begin() + 1, "--jobs=" + jobs);
        return argv;
    };
    for (const Tree* tree : { &corpus, &tiny }) {
        const bool isCorpus = tree == &corpus;
        std::fprintf(stderr, "%s: %lld files\n", tree->path.c_str(), static_cast<long long>(tree->files));
        const std::string outputs = folder + "/outputs/" + (isCorpus ? "corpus" : "tiny");
        fs::create_directories(outputs);
        std::vector<Command> commands {
            { Label::Minify, [&](const std::string& o) { return minify(*tree, o); } },
            { Label::Site, [&](const std::string& o) { return cli(*tree, "", o); } },
            { Label::SiteOneJob, [&](const std::string& o) { return cli(*tree, "1", o); } },
            { Label::SiteTwoJobs, [&](const std::string& o) { return cli(*tree, "2", o); } },
        };
        if (!settings.baselineCli.empty()) {
            commands.push_back({ Label::BaselineOneJob, [&](const std::string& o) {
                                    auto argv = cli(*tree, "1", o);
                                    argv.front() = settings.baselineCli;
                                    return argv;
                                } });
            commands.push_back({ Label::BaselineTwoJobs, [&](const std::string& o) {
                                    auto argv = cli(*tree, "2", o);
                                    argv.front() = settings.baselineCli;
                                    return argv;
                                } });
        }
        for (Command& command : commands) {
            command.files = tree->files;
            command.bytes = tree->bytes;
        }
        std::string cliOutput;
        std::vector<Measured> rows = measureRounds(commands, outputs, settings.runs, cliOutput, Label::SiteTwoJobs);
        // The loop's output is kept to check that the site run gives the same bytes.
        const int loopFiles = isCorpus ? static_cast<int>(tree->files) : std::min(settings.loopTinyFiles, settings.tinyFiles);
        const std::int64_t loopBytes = isCorpus ? tree->bytes : tree->bytes * loopFiles / tree->files;
        std::string loopOut;
        const std::vector<Command> loopCommand { { isCorpus ? "shell loop of snellitore-cli" :
                                                              "shell loop (" + std::to_string(loopFiles) + " files)",
                                                   [&](const std::string& o) {
                                                       return shellLoop(settings.cli, tree->path, o, loopFiles);
                                                   },
                                                   loopFiles, loopBytes } };
        rows.push_back(measureRounds(loopCommand, outputs + "/loop", 1, loopOut).front());
        printTable(isCorpus ? "Real pages, " + std::to_string(tree->files) + " files" :
                              "Tiny pages, " + std::to_string(tree->files) + " files",
                   rows, rowNamed(rows, Label::Minify));
        const Measured& minifyRun = rowNamed(rows, Label::Minify);
        const Measured& site = rowNamed(rows, Label::Site);
        const Measured& oneJob = rowNamed(rows, Label::SiteOneJob);
        const Measured& twoJobs = rowNamed(rows, Label::SiteTwoJobs);
        const Measured& baselineOne = rowNamed(rows, Label::BaselineOneJob);
        const Measured& baselineTwo = rowNamed(rows, Label::BaselineTwoJobs);
        const double scaling = oneJob.seconds / twoJobs.seconds;
        const double bestScaling = oneJob.bestSeconds / twoJobs.bestSeconds;
        const double versusMinify = minifyRun.seconds / site.seconds; // same input: the ratio of MB/s and files/s
        const double goal = isCorpus ? 5.0 : 2.0;
        std::printf("%s: snellitore-cli -r %s %.2fx minify's (goal %.0fx; by CPU time %.2fx)\n",
                    versusMinify >= goal ? "PASS" : "FAIL", isCorpus ? "MB/s" : "files/s", versusMinify, goal,
                    minifyRun.cpuSeconds / site.cpuSeconds);
        std::printf("%s: --jobs=2 against --jobs=1: %.2fx by the medians, %.2fx by the shortest runs (%.3f s, %.3f s) "
                    "(goal 1.7x)\n",
                    scaling >= 1.7 ? "PASS" : "FAIL", scaling, bestScaling, oneJob.bestSeconds, twoJobs.bestSeconds);
        if (!baselineOne.failed && !baselineTwo.failed)
            std::printf("against the baseline build: --jobs=1 %.2fx, --jobs=2 %.2fx faster by the medians; the "
                        "baseline's --jobs=2 %.2fx its --jobs=1, %.2fx minify's\n",
                        baselineOne.seconds / oneJob.seconds, baselineTwo.seconds / twoJobs.seconds,
                        baselineOne.seconds / baselineTwo.seconds, minifyRun.seconds / baselineTwo.seconds);
        peakRss.push_back(std::max({ site.maxRssKiB, oneJob.maxRssKiB, twoJobs.maxRssKiB }));
        // Same bytes as the single-file runs: the last run of the site (--jobs=2) against the loop's files.
        std::int64_t compared = 0;
        const bool same = !cliOutput.empty() && !loopOut.empty() && sameTrees(cliOutput, loopOut, compared);
        std::printf("snellitore-cli -r output identical to the single-file runs: %s (%lld files compared)\n",
                    same ? "yes" : "NO", static_cast<long long>(compared));
        std::fflush(stdout);
    }
    std::printf("%s: peak RSS of snellitore-cli -r: %.1f MiB on the real pages, %.1f MiB on the tiny ones "
                "(goal: below 16 MiB for both)\n",
                std::max(peakRss[0], peakRss[1]) < 16 * 1024 ? "PASS" : "FAIL", peakRss[0] / 1024.0,
                peakRss[1] / 1024.0);
    std::printf("\nA new file of 16 bytes, staged and renamed: %.1f us; with fsync before the rename: %.1f us (%.1fx)\n",
                without, with, with / without);
    for (const char* name : { "/outputs", "/corpus", "/tiny", "/probe-plain", "/probe-fsync" })
        fs::remove_all(folder + name);
}

} // namespace

int main(int argc, char** argv)
{
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(arg + " needs a value");
            return argv[++i];
        };
        try {
            if (arg == "--folder")
                settings.folders.push_back(value());
            else if (arg == "--tiny")
                settings.tinyFiles = std::stoi(value());
            else if (arg == "--loop-tiny")
                settings.loopTinyFiles = std::stoi(value());
            else if (arg == "--corpus-mb")
                settings.corpusBytes = std::stoll(value()) * 1'000'000;
            else if (arg == "--runs")
                settings.runs = std::max(1, std::stoi(value()));
            else if (arg == "--minify")
                settings.minify = value();
            else if (arg == "--baseline-cli")
                settings.baselineCli = value();
            else
                throw std::runtime_error("unknown argument " + arg);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "snellitore-bench-site: %s\nusage: snellitore-bench-site [--folder DIR]... [--tiny N] "
                                 "[--loop-tiny N] [--corpus-mb N] [--runs N] [--minify PATH] [--baseline-cli PATH]\n",
                         error.what());
            return 2;
        }
    }
    if (settings.folders.empty())
        settings.folders.push_back(fs::exists("/dev/shm") ? "/dev/shm/snellitore-bench-site" : "/tmp/snellitore-bench-site");
    if (::access(settings.minify.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "snellitore-bench-site: no minifier at %s (apt-get install minify)\n", settings.minify.c_str());
        return 2;
    }
    std::printf("# Whole-site runs: %u processors, median of %d runs (the shell loop: one run)\n",
                static_cast<unsigned>(::sysconf(_SC_NPROCESSORS_ONLN)), settings.runs);
    try {
        for (const std::string& folder : settings.folders) {
            benchFolder(settings, folder);
            fs::remove_all(folder);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "snellitore-bench-site: %s\n", error.what());
        return 2;
    }
    return 0;
}
