// Command-line parsing of snellitore-cli: the options, the operand and the texts that explain them.
#pragma once

#include <engine/compaction.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What one invocation asks for, once the command line has been read.
struct CliOptions
{
    CompactionOptions compaction { true, true, false, true }; // "default,apici,div" unless --options says otherwise
    std::string source; // "-" reads standard input
    std::string destination; // empty or "-" writes standard output
    bool force = false; // an existing destination may be replaced
    bool progress = false; // each new whole percentage goes to standard error
    bool stats = false; // the size summary goes to standard error
};

enum class CliCommand
{
    Compact,
    Help,
    Version,
    UsageError,
};

struct ParsedCommandLine
{
    CliCommand command = CliCommand::UsageError;
    CliOptions options;
    std::string error; // why the command line was refused, for UsageError
};

// Reads the arguments after the program name. Options and the operand may come in any order; "--" ends the
// options. --help and --version answer at once, whatever follows them.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// Reads a comma-separated subset of "default", "apici", "tags" and "div"; an empty list switches all four off.
std::optional<CompactionOptions> parseOptionList(std::string_view list, std::string& error);

bool readsStandardInput(const CliOptions& options);
bool writesStandardOutput(const CliOptions& options);

// The short reminder shown after a usage error, the full help, and the version line.
std::string usageText();
std::string helpText();
std::string versionText();
