// One compaction run of snellitore-cli: both ends opened and guarded, the engine driven, failures reported.
#pragma once

#include "cli_options.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class ByteFile;
class PosixFile;

namespace ExitCode {
inline constexpr int Success = 0;
inline constexpr int IoError = 1;
inline constexpr int UsageError = 2;
} // namespace ExitCode

// The descriptors that "-" stands for; a caller may point them elsewhere.
struct StandardStreams
{
    int input = 0;
    int output = 1;
};

// Compacts options.source into options.destination; messages, progress and the summary go to err.
int runCompaction(const CliOptions& options, std::ostream& err, StandardStreams streams = {});

// Parses the arguments after the program name and does what they ask. Help and version go to out.
int cliMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// Copies what is left of input, block by block, into an unnamed file in temporaryFolder() that vanishes
// when closed, and leaves it positioned at its start. Answers an I/O code; on failure, failedInTemporary
// tells a fault of the temporary file from one of the input.
int spoolToTemporaryFile(ByteFile& input, std::unique_ptr<PosixFile>& spooled, bool& failedInTemporary);
// $TMPDIR, or /tmp when it is unset or empty.
std::string temporaryFolder();
