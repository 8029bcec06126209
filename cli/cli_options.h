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
    bool safe = false; // --safe: only what a browser renders the same is changed, by the file's language
    std::string siteRoot; // with --safe, the folder that a stylesheet link starting with "/" is taken from
    std::string source; // "-" reads standard input; the first of several, or the folder of -r
    std::vector<std::string> moreSources; // the SOURCEs after the first: each goes into the folder DEST
    std::string destination; // empty or "-" writes standard output
    bool force = false; // an existing destination may be replaced
    bool progress = false; // each new whole percentage goes to standard error
    bool stats = false; // the size summary goes to standard error
    bool recursive = false; // -r: source is a folder, mirrored into the folder destination
    unsigned jobs = 0; // files compacted at once; 0: one per processor
    std::string match = DefaultMatch; // with -r, the names compacted: masks separated by ";"
    bool copyOthers = false; // with -r, the other files and the symbolic links are copied as they are

    // The desktop program's own filter list, without "All files".
    static constexpr const char* DefaultMatch = "*.htm;*.html;*.js;*.vbs";
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
// Whether the run writes into a folder: -r, several SOURCEs, or a DEST that ends with "/".
bool writesIntoFolder(const CliOptions& options);

// The short reminder shown after a usage error, the full help, and the version line.
std::string usageText();
std::string helpText();
std::string versionText();
