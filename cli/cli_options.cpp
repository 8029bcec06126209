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
    = "usage: snellitore-cli [--options=LIST] [-o DEST] [--force] [--progress] [--stats] SOURCE\n";
constexpr std::string_view TryHelp = "Try 'snellitore-cli --help' for more information.\n";
constexpr std::string_view Help = R"(
Writes a compacted copy of the web page SOURCE to DEST. SOURCE '-' reads standard input;
without -o, or with -o -, the copy goes to standard output. SOURCE itself is only read.

Options:
  --options=LIST     comma-separated compactions to apply (default: default,apici,div)
                       default  drop TAB and CR, collapse runs of spaces
                       apici    squeeze whitespace inside tags after '<', ';' and '"'
                       tags     drop whitespace between a '>' and the next '<'
                       div      rewrite <div align="center"> ... </div> as <center> ... </center>
                     an empty LIST (--options=) copies SOURCE byte for byte
  -o, --output=DEST  write the copy to DEST, which must not exist yet
  --force            replace an existing DEST (never SOURCE itself)
  --progress         print each new whole percentage to standard error
  --stats            print the size summary to standard error
  --help             show this help and exit
  --version          show the version and exit

Exit status: 0 on success, 1 on an I/O error, 2 on a usage error.
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
        std::optional<std::string> source;
        while (m_next < m_arguments.size()) {
            const std::string& argument = m_arguments[m_next++];
            if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
                takeOperand(argument, source);
            } else if (argument == "--") {
                optionsEnded = true;
            } else if (const auto command = readOption(argument, options)) {
                return *command;
            }
        }
        if (!source)
            throw UsageFailure { "missing SOURCE" };
        options.source = *source;
        return CliCommand::Compact;
    }

private:
    static void takeOperand(const std::string& argument, std::optional<std::string>& source)
    {
        if (source)
            throw UsageFailure { "unexpected operand '" + argument + "'" };
        if (argument.empty())
            throw UsageFailure { "SOURCE must not be empty" };
        source = argument;
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
        } else if (name == "--force") {
            options.force = noValue(name, value);
        } else if (name == "--progress") {
            options.progress = noValue(name, value);
        } else if (name == "--stats") {
            options.stats = noValue(name, value);
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
        if (!m_given.insert(name == "-o" ? "--output" : name).second)
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
