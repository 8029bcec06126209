// A deliberately naive, byte-at-a-time transcription of the compaction, kept as the reference for the engine.
#pragma once

#include <engine/compaction.h>

#include <cstdint>
#include <string>
#include <vector>

struct NaiveResult
{
    std::string output;
    std::vector<int> progress; // every value set, repeats folded: what a gauge would show in turn
    std::int64_t sourceSize = 0;
    std::int64_t written = 0;
};

NaiveResult naiveCompact(const std::string& source, const CompactionOptions& options);
