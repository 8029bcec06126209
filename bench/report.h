// The benchmark's figures and the table they are printed in.
#pragma once

#include <bench/child_usage.h>
#include <bench/guarded_run.h>

#include <cstdint>
#include <string>
#include <utility>

inline constexpr double BytesPerMegabyte = 1e6;

// The best of several runs of one measurement; a run that fails ends the measurement.
struct Measurement
{
    Measurement(std::string name, std::int64_t inputBytes)
        : name(std::move(name))
        , inputBytes(inputBytes)
    {
    }

    std::string name;
    std::int64_t inputBytes = 0;
    double bestSeconds = 0;    // wall time of the fastest run
    double bestCpuSeconds = 0; // CPU time of the run that used least, on its own
    std::int64_t written = -1; // output size of the fastest run
    int runs = 0;
    std::string failure;

    void record(const RunOutcome& outcome);
    bool stillRunning() const { return failure.empty(); }
    bool ok() const { return runs > 0 && failure.empty(); }
    double megabytesPerSecond() const { return inputBytes / BytesPerMegabyte / bestSeconds; }
    double secondsPerMegabyte() const { return bestSeconds / (inputBytes / BytesPerMegabyte); }
    double cpuSecondsPerMegabyte() const { return bestCpuSeconds / (inputBytes / BytesPerMegabyte); }
};

enum class Verdict
{
    Pass,
    Fail,
    Skip,
};

void printHeading(const std::string& text);
void printSection(const std::string& text);
void printColumns();
void printRow(const Measurement& m, const std::string& comparison);
void printNote(const std::string& text);
// A child run of the CLI: input size, wall time, MB/s and its peak resident memory.
void printUsageRow(const std::string& label, std::int64_t inputBytes, const ChildUsage& usage);
void printTarget(Verdict verdict, const std::string& target, const std::string& figure);

// "0.71x", or "n/a" when either side failed.
std::string ratioText(bool known, double ratio);
double mebibytes(long kibibytes);
