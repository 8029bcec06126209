// Recording best-of-N figures and printing the table rows.
#include <bench/report.h>

#include <cstdio>
#include <string>

void Measurement::record(const RunOutcome& outcome)
{
    if (!stillRunning())
        return;
    if (!outcome.ok) {
        failure = outcome.error;
        return;
    }
    if (runs == 0 || outcome.seconds < bestSeconds) {
        bestSeconds = outcome.seconds;
        written = outcome.written;
    }
    if (runs == 0 || outcome.cpuSeconds < bestCpuSeconds)
        bestCpuSeconds = outcome.cpuSeconds;
    ++runs;
}

void printHeading(const std::string& text)
{
    std::printf("%s\n", text.c_str());
}

void printSection(const std::string& text)
{
    std::printf("\n%s\n", text.c_str());
}

void printColumns()
{
    std::printf("%-46s %7s %7s %7s %7s %8s  %s\n", "  measurement", "in MB", "out MB", "best s", "cpu s", "MB/s",
                "comparison");
    std::printf("%s\n", std::string(118, '-').c_str());
}

void printRow(const Measurement& m, const std::string& comparison)
{
    const double in = m.inputBytes / BytesPerMegabyte;
    if (!m.ok()) {
        std::printf("  %-44s %7.1f %7s %7s %7s %8s  FAILED: %s\n", m.name.c_str(), in, "-", "-", "-", "-",
                    m.failure.empty() ? "no run" : m.failure.c_str());
        return;
    }
    std::printf("  %-44s %7.1f %7.1f %7.3f %7.3f %8.1f  %s\n", m.name.c_str(), in, m.written / BytesPerMegabyte,
                m.bestSeconds, m.bestCpuSeconds, m.megabytesPerSecond(), comparison.c_str());
}

void printNote(const std::string& text)
{
    std::printf("  %s\n", text.c_str());
}

void printUsageRow(const std::string& label, std::int64_t inputBytes, const ChildUsage& usage)
{
    const double in = inputBytes / BytesPerMegabyte;
    if (!usage.ran) {
        std::printf("  %-44s %7.1f  could not run: %s\n", label.c_str(), in, usage.error.c_str());
        return;
    }
    char ending[96];
    if (usage.exitCode == 0)
        std::snprintf(ending, sizeof ending, "peak RSS %.1f MiB", mebibytes(usage.maxRssKiB));
    else if (usage.exitCode > 0)
        std::snprintf(ending, sizeof ending, "peak RSS %.1f MiB, but it exited with %d", mebibytes(usage.maxRssKiB),
                      usage.exitCode);
    else
        std::snprintf(ending, sizeof ending, "ended by signal %d", usage.signal);
    std::printf("  %-44s %7.1f %7s %7.3f %7.3f %8.1f  %s\n", label.c_str(), in, "", usage.seconds, usage.cpuSeconds,
                usage.seconds > 0 ? in / usage.seconds : 0.0, ending);
}

void printTarget(Verdict verdict, const std::string& target, const std::string& figure)
{
    const char* word = verdict == Verdict::Pass ? "PASS" : verdict == Verdict::Fail ? "FAIL" : "SKIP";
    std::printf("  %-5s %-50s %s\n", word, target.c_str(), figure.c_str());
}

std::string ratioText(bool known, double ratio)
{
    if (!known)
        return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", ratio);
    return text;
}

double mebibytes(long kibibytes)
{
    return kibibytes / 1024.0;
}
