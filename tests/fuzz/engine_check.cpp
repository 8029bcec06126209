// The engine fuzz target's decoding, run and comparison.
#include <tests/fuzz/engine_check.h>

#include <tests/fuzz/fuzz_text.h>
#include <tests/support/memory_file.h>
#include <tests/support/progress_recorder.h>

#include <exception>

EngineCase decodeEngineCase(const std::uint8_t* data, std::size_t size)
{
    EngineCase run;
    const unsigned flags = size > 0 ? data[0] & 0x0Fu : 0;
    run.options = { (flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0, (flags & 8) != 0 };
    run.readLimit = size > 0 ? data[0] >> 4 : 0;
    run.blockSize = size > 1 && data[1] != 0 ? 1 + (data[1] - 1u) % MaxFuzzBlock : 0;
    if (size > 2)
        run.page.assign(reinterpret_cast<const char*>(data) + 2, size - 2);
    return run;
}

EngineOutcome runEngine(const EngineCase& run)
{
    MemoryFile source(run.page), destination;
    if (run.readLimit != 0)
        source.maxRead = run.readLimit;
    ProgressRecorder gauge;
    EngineOutcome outcome;
    try {
        const CompactionResult result = compactStream(source, destination, run.options, gauge, run.blockSize);
        outcome.sourceSize = result.sourceSize;
        outcome.written = result.written;
    } catch (const std::exception& error) {
        outcome.error = error.what();
    }
    outcome.output = destination.data;
    outcome.gaugeCalls = gauge.calls;
    outcome.sourceAfter = source.data;
    outcome.bothClosed = source.closed && destination.closed;
    return outcome;
}

namespace {

std::string joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : " ") + item;
    return text;
}

std::string mismatch(const char* what, const std::string& got, const std::string& expected)
{
    return std::string(what) + " differs\n  engine:    " + got + "\n  reference: " + expected;
}

} // namespace

std::string differenceFromReference(const EngineOutcome& got, const std::string& page, const NaiveResult& expected)
{
    if (!got.error.empty())
        return "the run raised: " + got.error;
    if (got.output != expected.output)
        return mismatch("output", '"' + escaped(got.output) + '"', '"' + escaped(expected.output) + '"');
    if (got.written != expected.written)
        return mismatch("written", std::to_string(got.written), std::to_string(expected.written));
    if (got.sourceSize != expected.sourceSize)
        return mismatch("source size", std::to_string(got.sourceSize), std::to_string(expected.sourceSize));
    // The gauge is shown, steps through the reference's values, and is hidden and set back to 0.
    std::vector<std::string> gauge { "show" };
    for (int percent : expected.progress)
        gauge.push_back(std::to_string(percent));
    gauge.insert(gauge.end(), { "hide", "0" });
    if (got.gaugeCalls != gauge)
        return mismatch("gauge calls", joined(got.gaugeCalls), joined(gauge));
    if (got.sourceAfter != page)
        return "the source was changed: \"" + escaped(got.sourceAfter) + '"';
    if (!got.bothClosed)
        return "a file was left open after a run that succeeded";
    return {};
}

std::string describeCase(const EngineCase& run)
{
    return "options '" + compactionList(run.options) + "' block "
        + (run.blockSize ? std::to_string(run.blockSize) : "default") + " read limit "
        + (run.readLimit ? std::to_string(run.readLimit) : "none") + " page \"" + escaped(run.page) + '"';
}
