// The engine fuzz target's input layout, one run of the engine in memory, and its comparison with the reference.
#pragma once

#include <tests/support/naive_compactor.h>

#include <engine/compaction.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What one fuzz input asks for. Byte 0: the options in its low four bits (1 "Default", 2 "Apici", 4 "<>",
// 8 "Div") and, in its high four bits, the most bytes one read of the source delivers (0: no limit).
// Byte 1: the size of the engine's buffers, 1..MaxFuzzBlock (0: the engine's default). The rest is the page.
struct EngineCase
{
    CompactionOptions options;
    std::size_t blockSize = 0;
    std::size_t readLimit = 0;
    std::string page;
};

constexpr std::size_t MaxFuzzBlock = 48;

EngineCase decodeEngineCase(const std::uint8_t* data, std::size_t size);

// What a run of the engine left behind, as the gauge and the two files in memory saw it.
struct EngineOutcome
{
    std::string output;
    std::int64_t sourceSize = 0;
    std::int64_t written = 0;
    std::vector<std::string> gaugeCalls; // "show", each percentage, "hide", in the order they came
    std::string sourceAfter; // the source's bytes once the run is over
    bool bothClosed = false;
    std::string error; // what the run raised, if it raised
};

EngineOutcome runEngine(const EngineCase& run);

// The first way in which the outcome departs from the reference's result for the same page and options;
// empty when there is none.
std::string differenceFromReference(const EngineOutcome& got, const std::string& page, const NaiveResult& expected);

// The case in a form a person can read: options, buffer, read limit and the page with control bytes escaped.
std::string describeCase(const EngineCase& run);
