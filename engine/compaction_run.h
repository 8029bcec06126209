// The state of one compaction run: its buffered source and destination, its options and its progress.
#pragma once

#include <engine/compaction.h>
#include <engine/destination_writer.h>
#include <engine/progress_meter.h>
#include <engine/source_reader.h>

#include <cstddef>
#include <cstdint>

struct CompactionRun
{
    CompactionRun(ByteFile& source, ByteFile& destination, std::int64_t size, const CompactionOptions& options,
                  ProgressSink& sink, std::size_t blockSize);

    SourceReader sourceFile;           // the source; its position is the number of characters consumed
    DestinationWriter destinationFile; // the destination; it counts the characters written
    unsigned char current = 0;         // the character most recently read; the rules overwrite it as they read ahead
    std::int64_t sourceSize;           // the size of the source, taken once before the main loop
    bool insideCenteredDiv = false;    // a rewritten centred DIV is open: look for its closing tag
    CompactionOptions options;         // the four flags, fixed for the run
    ProgressMeter progress;            // the gauge's value, set after each character the main loop reads

    std::int64_t position() const { return sourceFile.position(); }
    std::int64_t written() const { return destinationFile.written(); }
    unsigned char read() { return current = sourceFile.read(); }
    void write(unsigned char c) { destinationFile.write(c); }
};
