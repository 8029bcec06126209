// The engine against the naive byte-at-a-time reference on many seeded random inputs, all option sets,
// and buffer sizes small enough to put every look-ahead across block boundaries.
#include <tests/support/escaped_text.h>
#include <tests/support/memory_file.h>
#include <tests/support/naive_compactor.h>
#include <tests/support/progress_recorder.h>

#include <engine/compaction.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {

const char* const Fragments[] = {
    "<", ">", " ", "  ", "\t", "\r", "\n", "\r\n", ";", "\"", "a", "b", "x", "=", "<p>", "</p>", "< ", " >",
    "<div align=\"center\">", "<DIV ALIGN=\"CENTER\">", "<Div Align=\"Center\">", "</div>", "</DIV>", "</div >",
    "<div align=\"cent", "<div", "</di", "div", "<a href=\"x\">", "; ", "\" ", "\"\t\r\n", ">  \r\n  <", "> x <",
    "if (a > b) x = c >> 1;", "<<", ">>", "      ",
};

std::string randomInput(std::mt19937& rng, int maxPieces = 24)
{
    std::uniform_int_distribution<int> pieces(0, maxPieces);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(Fragments) - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> coin(0, 19);
    std::string input;
    for (int n = pieces(rng); n > 0; --n) {
        if (coin(rng) == 0)
            input.push_back(static_cast<char>(byte(rng))); // now and then any byte at all
        else
            input += Fragments[pick(rng)];
    }
    return input;
}

CompactionOptions optionsFromBits(unsigned bits)
{
    return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

// Runs one input through both and compares output, counts, gauge values and the gauge's final state.
void expectSameAsReference(const std::string& input, const CompactionOptions& options, std::size_t block,
                           const std::string& where)
{
    const NaiveResult expected = naiveCompact(input, options);
    MemoryFile source(input), destination;
    ProgressRecorder progress;
    const CompactionResult got = compactStream(source, destination, options, progress, block);
    ASSERT_FALSE(progress.values.empty()) << where;
    progress.values.pop_back(); // the reset to 0 once the run is over
    const auto context = [&] { return where + " block " + std::to_string(block) + " input \"" + escaped(input) + "\""; };
    ASSERT_EQ(escaped(destination.data), escaped(expected.output)) << context();
    ASSERT_EQ(got.written, expected.written) << context();
    ASSERT_EQ(got.sourceSize, expected.sourceSize) << context();
    ASSERT_EQ(progress.values, expected.progress) << context();
    ASSERT_FALSE(progress.visible) << context();
}

unsigned seedFromEnvironment()
{
    const char* seedText = std::getenv("SNELLITORE_SEED");
    return seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20261208u;
}

TEST(Differential, ShortInputsAllOptionSetsAndTinyBuffers)
{
    const unsigned seed = seedFromEnvironment();
    const char* casesText = std::getenv("SNELLITORE_CASES");
    const long cases = casesText ? std::strtol(casesText, nullptr, 10) : 120000;
    const std::size_t blockSizes[] = {1, 2, 3, 5, 8, 19, 64, 0};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> pickBlock(0, std::size(blockSizes) - 1);
    for (long i = 0; i < cases; ++i) {
        const std::string input = randomInput(rng);
        const auto bits = static_cast<unsigned>(i % 16);
        expectSameAsReference(input, optionsFromBits(bits), blockSizes[pickBlock(rng)],
                              "seed " + std::to_string(seed) + " case " + std::to_string(i) + " options "
                                  + std::to_string(bits));
        if (HasFatalFailure())
            return;
    }
}

// Long inputs put the sixteen-character scans, long space runs and many gauge steps to work.
TEST(Differential, LongInputs)
{
    const unsigned seed = seedFromEnvironment() + 1;
    const std::size_t blockSizes[] = {17, 100, 4096, 0};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> pickBlock(0, std::size(blockSizes) - 1);
    for (int i = 0; i < 1600; ++i) {
        const std::string input = randomInput(rng, 1200);
        const auto bits = static_cast<unsigned>(i % 16);
        expectSameAsReference(input, optionsFromBits(bits), blockSizes[pickBlock(rng)],
                              "seed " + std::to_string(seed) + " long case " + std::to_string(i) + " options "
                                  + std::to_string(bits));
        if (HasFatalFailure())
            return;
    }
}

} // namespace
