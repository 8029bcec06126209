// The compaction engine: options, progress, results, and the two entry points CompactFile and CanOpenFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ByteFile;

struct CompactionOptions
{
    bool collapseWhitespace = true;   // "Default": TAB and CR dropped, space runs collapsed
    bool squeezeTags = false;         // "Apici": whitespace squeezed inside tags
    bool dropTagGaps = false;         // "<>": whitespace between a '>' and the next '<' dropped
    bool rewriteCenteredDivs = false; // "Div": centred DIV blocks rewritten as center elements
};

// What the progress gauge offers a run.
class ProgressSink
{
public:
    virtual ~ProgressSink() = default;
    virtual void setVisible(bool visible) = 0;
    // A whole percentage 0..100; called only when the value changes.
    virtual void setProgress(int percent) = 0;
};

class NullProgress final : public ProgressSink
{
public:
    void setVisible(bool) override { }
    void setProgress(int) override { }
};

// Sizes are 64-bit so that sources of 2 GiB and more give their true numbers.
struct CompactionResult
{
    std::int64_t sourceSize = 0; // bytes in the source
    std::int64_t written = 0;    // characters written, the destination's size
};

// Compacts source, read from its beginning, into destination, both open, and closes both when the run
// succeeds. Raises EInOutError, whose side() names the file that failed; when a read fails, that error is raised
// even if writing out what was produced before it fails too. The gauge is hidden and reset either way. blockSize
// is the largest size of each of the two file buffers, which are no larger than the source (0: the default);
// small values serve the tests.
CompactionResult compactStream(ByteFile& source, ByteFile& destination, const CompactionOptions& options,
                               ProgressSink& progress, std::size_t blockSize = 0);

// How CompactFile creates its destination.
enum class DestinationCreation
{
    ReplaceExisting, // an existing file is emptied and written anew
    MustNotExist,    // for a caller that has made sure the name is free: a file that appeared since is kept
};

// Why a destination that is the source under any name is refused, here and in the CLI.
inline constexpr const char* SameFileText = "Source and destination are the same file";

// Opens the source for reading and writing, creates the destination and compacts.
// Refuses, before creating anything, a destination that is the source itself under any name, and a source
// that is no regular file (a pipe, a device: code 132). A pseudo-file, whose reported size is no size (those
// of /proc and /sys), is first copied to a temporary file, so that the copy holds what it really reads.
CompactionResult CompactFile(const std::string& sourcePath, const std::string& destinationPath,
                             const CompactionOptions& options, ProgressSink& progress,
                             DestinationCreation creation = DestinationCreation::ReplaceExisting);

// True when the file exists and can be opened for reading and writing and closed again. Never raises.
bool CanOpenFile(const std::string& path);
