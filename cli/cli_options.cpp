// Command-line parsing of snellitore-cli.
#include <cli/cli_options.h>

#include <set>

namespace {

// The names --options accepts, each with the compaction it switches on.
struct CompactionName
{
    std::string_view name;
    bool CompactionOptions::*flag;
};
constexpr CompactionName CompactionNames[] = {
    { "default", &CompactionOptions::collapseWhitespace },
    { "apici", &CompactionOptions::squeezeTags },
    { "tags", &CompactionOptions::dropTagGaps },
    { "div", &CompactionOptions::rewriteCenteredDivs },
};

namespace Text {
constexpr std::string_view Usage
    = "usage: snellitore-cli [--options=LIST | --safe] [-o DEST] [--force] [--progress] [--stats] SOURCE\n"
      "       snellitore-cli [OPTION...] [--jobs=N] -o DEST_FOLDER/ SOURCE...\n"
      "       snellitore-cli [OPTION...] [--jobs=N] [--match=MASKS] [--copy-others] -r SOURCE_FOLDER -o DEST_FOLDER\n";
constexpr std::string_view TryHelp = "Try 'snellitore-cli --help' for more information.\n";
constexpr std::string_view Help = R"(
Writes a compacted copy of the web page SOURCE to DEST. SOURCE '-' reads standard input;
without -o, or with -o -, the copy goes to standard output. SOURCE itself is only read.
With several SOURCEs, or a DEST that ends with '/', each SOURCE goes into the folder DEST under
its own name. With -r, every file of SOURCE_FOLDER and its subfolders that matches MASKS goes to
the same relative path under DEST_FOLDER; folders are created as needed, symbolic links are
never followed, and DEST_FOLDER must not lie inside SOURCE_FOLDER.

Options:
  --options=LIST     comma-separated compactions to apply (default: default,apici,div)
                       default  drop TAB and CR, collapse runs of spaces
                       apici    squeeze whitespace inside tags after '<', ';' and '"'
                       tags     drop whitespace between a '>' and the next '<'
                       div      rewrite <div align="center"> ... </div> as <center> ... </center>
                     an empty LIST (--options=) copies SOURCE byte for byte
  --safe             instead of --options: change only what a browser renders the same
                       (see "Safe compaction" below)
  -o, --output=DEST  write the copy to DEST, which must not exist yet
  --force            replace an existing DEST (never SOURCE itself)
  --progress         print each new whole percentage to standard error
                       (on a terminal on one line, redrawn in place)
  --stats            print the size summary to standard error
                       (for many files: one line per file, in order, then a total line)
  -r, --recursive    compact the folder SOURCE_FOLDER with its subfolders into DEST_FOLDER
  --match=MASKS      with -r, the names to compact, ';' between masks, case ignored
                       (default: *.htm;*.html;*.js;*.vbs; '*.*' takes every name)
  --copy-others      with -r, copy the other files byte for byte and recreate symbolic links
  --jobs=N           compact N files at once (default: one per processor)
  --help             show this help and exit
  --version          show the version and exit

Safe compaction (--safe): HTML (.htm .html .shtml .xhtml .xht, and standard input) keeps
the content of pre, textarea, script, style, title and the like, comments, attribute values,
SVG and MathML, and every element that a style attribute or the page's stylesheets give a
preformatted white-space; elsewhere a run of whitespace becomes one space, or one line break
if it held one, and whitespace between attributes one space. The stylesheets are the page's
<style> blocks and the local files its <link rel="stylesheet"> and @import name (a remote or
missing one is noted with --stats); standard input sees only its own <style> blocks. CSS
(.css): runs of whitespace outside strings and comments become one character. Scripts (.js
.mjs .cjs): only CR LF becomes LF. Any other file is copied byte for byte. Everywhere CR LF
and a lone CR become LF.

Exit status: 0 on success, 1 on an I/O error, 2 on a usage error. A run of many files goes
on after a file fails, and exits with 1 at its end. A standard error that cannot be written
(a closed pipe) does not stop a run, but makes its exit status 1. A standard output or FIFO
whose reader stops fails the run with 1; a FIFO as DEST waits for a reader, as with '>'.
Ctrl+C, SIGTERM, SIGHUP, or a SIGPIPE sent by another program, ends the program by that
signal (130, 143, 129, 141), even while it waits: no half-written file is left, and DEST is
as it was. A run of many files first stops at the next block and says so; a second signal
ends it at once.
DEST appears only once complete; after an I/O error an earlier DEST is as it was.
)";
constexpr std::string_view ChooseFrom = " (choose from default, apici, tags, div)";
} // namespace Text

struct UsageFailure
{
    std::string message;
};

// Splits "--name=value" and "-oVALUE" into the option's name and the value written with it, if any.
std::pair<std::string, std::optional<std::string>> splitOption(const std::string& argument)
{
    if (argument.rfind("--", 0) == 0) {
        const auto equals = argument.find('=');
        if (equals == std::string::npos)
            return { argument, std::nullopt };
        return { argument.substr(0, equals), argument.substr(equals + 1) };
    }
    if (argument.size() > 2)
        return { argument.substr(0, 2), argument.substr(2) };
    return { argument, std::nullopt };
}

class ArgumentReader
{
public:
    explicit ArgumentReader(const std::vector<std::string>& arguments)
        : m_arguments(arguments)
    {
    }

    CliCommand read(CliOptions& options)
    {
        bool optionsEnded = false;
        std::vector<std::string> sources;
        while (m_next < m_arguments.size()) {
            const std::string& argument = m_arguments[m_next++];
            if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
                if (argument.empty())
                    throw UsageFailure { "SOURCE must not be empty" };
                sources.push_back(argument);
            } else if (argument == "--") {
                optionsEnded = true;
            } else if (const auto command = readOption(argument, options)) {
                return *command;
            }
        }
        if (sources.empty())
            throw UsageFailure { "missing SOURCE" };
        options.source = sources.front();
        options.moreSources.assign(sources.begin() + 1, sources.end());
        checkCombination(options);
        return CliCommand::Compact;
    }

private:
    // Several SOURCEs need a folder to go into; -r needs one to write; "-" has no name to go there under.
    void checkCombination(const CliOptions& options) const
    {
        const bool toFolder = !options.destination.empty() && options.destination != "-";
        if (!options.moreSources.empty() && (options.recursive || !toFolder))
            throw UsageFailure { "unexpected operand '" + options.moreSources.front() + "'" };
        if (options.safe && m_given.count("--options"))
            throw UsageFailure { "--safe and --options cannot be given together" };
        if (options.recursive && !toFolder)
            throw UsageFailure { "-r needs -o DEST_FOLDER" };
        for (const char* name : { "--match", "--copy-others" })
            if (m_given.count(name) && !options.recursive)
                throw UsageFailure { "option '" + std::string(name) + "' needs -r" };
        if (writesIntoFolder(options) && readsStandardInput(options))
            throw UsageFailure { "SOURCE '-' cannot be written into a folder" };
        for (const std::string& source : options.moreSources)
            if (source == "-")
                throw UsageFailure { "SOURCE '-' cannot be written into a folder" };
    }

    static unsigned jobCount(const std::string& value)
    {
        constexpr unsigned MostJobs = 1024;
        unsigned jobs = 0;
        for (const char digit : value) {
            if (digit < '0' || digit > '9' || jobs > MostJobs)
                throw UsageFailure { "--jobs needs a whole number from 1 to 1024, not '" + value + "'" };
            jobs = jobs * 10 + static_cast<unsigned>(digit - '0');
        }
        if (jobs < 1 || jobs > MostJobs)
            throw UsageFailure { "--jobs needs a whole number from 1 to 1024, not '" + value + "'" };
        return jobs;
    }

    // Takes one option; answers the command when the option is --help or --version.
    std::optional<CliCommand> readOption(const std::string& argument, CliOptions& options)
    {
        const auto [name, value] = splitOption(argument);
        if (name == "--help" || name == "--version") {
            noValue(name, value);
            return name == "--help" ? CliCommand::Help : CliCommand::Version;
        }
        if (name == "--options") {
            std::string error;
            const auto chosen = parseOptionList(valueOf(name, value), error);
            if (!chosen)
                throw UsageFailure { error };
            options.compaction = *chosen;
        } else if (name == "-o" || name == "--output") {
            options.destination = valueOf(name, value);
            if (options.destination.empty())
                throw UsageFailure { "DEST must not be empty" };
        } else if (name == "--safe") {
            options.safe = noValue(name, value);
        } else if (name == "--force") {
            options.force = noValue(name, value);
        } else if (name == "--progress") {
            options.progress = noValue(name, value);
        } else if (name == "--stats") {
            options.stats = noValue(name, value);
        } else if (name == "-r" || name == "--recursive") {
            options.recursive = noValue(name, value);
        } else if (name == "--copy-others") {
            options.copyOthers = noValue(name, value);
        } else if (name == "--jobs") {
            options.jobs = jobCount(valueOf(name, value));
        } else if (name == "--match") {
            options.match = valueOf(name, value);
            if (options.match.find_first_not_of("; ") == std::string::npos)
                throw UsageFailure { "MASKS must name at least one mask" };
        } else {
            throw UsageFailure { "unrecognised option '" + argument + "'" };
        }
        return std::nullopt;
    }

    // The option's value, written with it or as the next argument; marks the option as given.
    std::string valueOf(const std::string& name, const std::optional<std::string>& value)
    {
        given(name);
        if (value)
            return *value;
        if (m_next == m_arguments.size())
            throw UsageFailure { "option '" + name + "' needs a value" };
        return m_arguments[m_next++];
    }

    bool noValue(const std::string& name, const std::optional<std::string>& value)
    {
        if (value)
            throw UsageFailure { "option '" + name + "' takes no value" };
        given(name);
        return true;
    }

    // A second use of an option is refused rather than letting the last one win silently.
    void given(const std::string& name)
    {
        const std::string canonical = name == "-o" ? "--output" : name == "-r" ? "--recursive" : name;
        if (!m_given.insert(canonical).second)
            throw UsageFailure { "option '" + name + "' given more than once" };
    }

    const std::vector<std::string>& m_arguments;
    std::size_t m_next = 0;
    std::set<std::string> m_given;
};

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    ParsedCommandLine parsed;
    try {
        parsed.command = ArgumentReader(arguments).read(parsed.options);
    } catch (const UsageFailure& failure) {
        parsed.command = CliCommand::UsageError;
        parsed.error = failure.message;
    }
    return parsed;
}

std::optional<CompactionOptions> parseOptionList(std::string_view list, std::string& error)
{
    CompactionOptions chosen { false, false, false, false };
    if (list.empty())
        return chosen;
    for (std::size_t start = 0;;) {
        const std::size_t comma = list.find(',', start);
        const std::string_view item = list.substr(start, comma == std::string_view::npos ? comma : comma - start);
        const CompactionName* entry = nullptr;
        for (const CompactionName& candidate : CompactionNames)
            if (candidate.name == item)
                entry = &candidate;
        if (item.empty()) {
            error = "empty name in --options list";
            return std::nullopt;
        }
        if (!entry) {
            error = "unknown compaction '" + std::string(item) + "'" + std::string(Text::ChooseFrom);
            return std::nullopt;
        }
        if (chosen.*entry->flag) {
            error = "compaction '" + std::string(item) + "' listed more than once";
            return std::nullopt;
        }
        chosen.*entry->flag = true;
        if (comma == std::string_view::npos)
            return chosen;
        start = comma + 1;
    }
}

bool readsStandardInput(const CliOptions& options)
{
    return options.source == "-";
}

bool writesStandardOutput(const CliOptions& options)
{
    return options.destination.empty() || options.destination == "-";
}

bool writesIntoFolder(const CliOptions& options)
{
    return options.recursive || !options.moreSources.empty()
        || (!writesStandardOutput(options) && options.destination.back() == '/');
}

std::string usageText()
{
    return std::string(Text::Usage) + std::string(Text::TryHelp);
}

std::string helpText()
{
    return std::string(Text::Usage) + std::string(Text::Help);
}

std::string versionText()
{
    return "snellitore-cli " SNELLITORE_VERSION "\n";
}
