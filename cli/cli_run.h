// The single-file run of snellitore-cli: both ends opened and guarded, the engine driven, failures reported.
#pragma once

#include <cli/cli_options.h>
#include <engine/safe_compaction.h>
#include <platform/byte_file.h>

#include <atomic>
#include <iosfwd>
#include <string>

// The files that "-" stands for; a caller may point them elsewhere.
struct StandardStreams
{
    platform::NativeHandle input = platform::standardInput();
    platform::NativeHandle output = platform::standardOutput();
    bool errorIsTerminal = false; // the messages go to a terminal, where --progress redraws one line
};

// What a caller that runs many files asks of the run of one, and learns from it.
struct FileRunControl
{
    const std::atomic<int>* stop = nullptr; // once non-zero, the run ends at its next read as a failed one
    bool syncNewFile = true; // a file under a name that was free is written out to the disk before it takes it
    // Without --force, the destination is looked at only when the finished file finds its name taken: a site's
    // destinations are new as a rule. The refusal and its message stay the same; only a failed read of the
    // source is then reported before a name that was taken.
    bool destinationLikelyFree = false;
    bool keepModificationTime = false; // a staged copy shows its regular source's time of last change
    StylesheetMemo* stylesheets = nullptr; // with --safe: what the run's stylesheets gave earlier pages
    CompactionResult result {}; // the sizes, after a run that succeeded
    bool stopped = false; // the run failed because stop was set
};

// Compacts options.source into options.destination; messages, progress and the summary go to err.
int runCompaction(const CliOptions& options, std::ostream& err, StandardStreams streams = {},
                  FileRunControl* control = nullptr);

// A failed run: the name of the file it concerns and the text to show.
struct CliFailure
{
    std::string name;
    std::string text;
};

// Compacts two open files, with the four rules of options or, when safe is given, the safe compaction. A
// failure is raised as CliFailure naming the file the engine's error concerns: the source when a read fails,
// even when writing out what was produced before it then fails as well.
CompactionResult compactNamedFiles(ByteFile& source, const std::string& sourceName, ByteFile& destination,
                                   const std::string& destinationName, const CompactionOptions& options,
                                   ProgressSink& progress, const SafeCompaction* safe = nullptr);
