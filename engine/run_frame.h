// The frame that every run on two open files shares, whatever rules it applies: the gauge shown and hidden,
// the source's size taken first, buffers no larger than the source, and what a failed run still writes out.
#pragma once

#include <engine/compaction.h>

#include <cstddef>
#include <cstdint>
#include <functional>

class DestinationWriter;

inline constexpr std::size_t DefaultBlockSize = 256 * 1024;

// The size of each of a run's two buffers: blockSize (0: the default), but no more than the source holds.
std::size_t runBlockSize(std::int64_t sourceSize, std::size_t blockSize);

// Shows the gauge, takes the source's size and hands it to body, which compacts and answers the results;
// then closes both files. The gauge is hidden and reset whether body succeeds or raises.
CompactionResult runFramed(ByteFile& source, ByteFile& destination, ProgressSink& progress,
                           const std::function<CompactionResult(std::int64_t size)>& body);

// Runs loop, then writes out what the destination still holds. When loop raises, what was produced before the
// failure still reaches the file unless writing itself had failed; if that write fails too, loop's error is
// the one raised: it is why the run stopped.
void writeOutAfter(DestinationWriter& destination, const std::function<void()>& loop);
