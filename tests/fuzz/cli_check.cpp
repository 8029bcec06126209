// Properties of the CLI's argument parser that must hold whatever the command line.
#include <tests/fuzz/cli_check.h>

#include <tests/fuzz/fuzz_text.h>

#include <cli/cli_options.h>

#include <algorithm>

namespace {

std::string listed(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const std::string& argument : arguments)
        text += " \"" + escaped(argument) + '"';
    return text;
}

bool sameOptions(const CliOptions& a, const CliOptions& b)
{
    return compactionList(a.compaction) == compactionList(b.compaction) && a.source == b.source
        && a.destination == b.destination && a.force == b.force && a.progress == b.progress && a.stats == b.stats;
}

// The options of a parsed command line written out again, every option spelt explicitly.
std::vector<std::string> optionArguments(const CliOptions& options)
{
    std::vector<std::string> arguments { "--options=" + compactionList(options.compaction) };
    if (!options.destination.empty())
        arguments.insert(arguments.end(), { "-o", options.destination });
    if (options.force)
        arguments.push_back("--force");
    if (options.progress)
        arguments.push_back("--progress");
    if (options.stats)
        arguments.push_back("--stats");
    return arguments;
}

// An accepted list switches on one compaction per name; the names of what it switched on give it again.
std::string brokenListProperty(const std::string& list)
{
    std::string error;
    const auto chosen = parseOptionList(list, error);
    if (!chosen)
        return error.empty() ? "parseOptionList refused \"" + escaped(list) + "\" without saying why" : std::string();
    const std::size_t names = list.empty() ? 0 : std::count(list.begin(), list.end(), ',') + 1;
    const std::size_t on
        = chosen->collapseWhitespace + chosen->squeezeTags + chosen->dropTagGaps + chosen->rewriteCenteredDivs;
    if (on != names)
        return "parseOptionList switched on " + std::to_string(on) + " compactions for the " + std::to_string(names)
            + " names of \"" + escaped(list) + '"';
    const auto again = parseOptionList(compactionList(*chosen), error);
    if (!again || compactionList(*again) != compactionList(*chosen))
        return "the list \"" + compactionList(*chosen) + "\" read back from \"" + escaped(list)
            + "\" means something else";
    return {};
}

// Whatever follows --help or --version does not matter.
std::string brokenAnswerProperty(const std::vector<std::string>& arguments, CliCommand command)
{
    std::vector<std::string> longer = arguments;
    longer.insert(longer.end(), { "--no-such-option", "extra", "--help", "--version" });
    if (parseCommandLine(longer).command != command)
        return "arguments after --help or --version changed the answer:" + listed(longer);
    return {};
}

// A command line written out again means the same; then any option given twice is refused, and one given
// for the first time is taken.
std::string brokenCompactProperty(const std::vector<std::string>& arguments, const CliOptions& options)
{
    if (options.source.empty() || std::find(arguments.begin(), arguments.end(), options.source) == arguments.end())
        return "SOURCE \"" + escaped(options.source) + "\" is not one of the arguments:" + listed(arguments);
    const std::vector<std::string> written = optionArguments(options);
    std::vector<std::vector<std::string>> spellings;
    spellings.push_back(written);
    spellings.back().insert(spellings.back().end(), { "--", options.source });
    if (options.source == "-" || options.source[0] != '-') { // an operand may also come first
        spellings.push_back({ options.source });
        spellings.back().insert(spellings.back().end(), written.begin(), written.end());
    }
    for (const auto& spelling : spellings) {
        const ParsedCommandLine again = parseCommandLine(spelling);
        if (again.command != CliCommand::Compact || !sameOptions(again.options, options))
            return "written out again, the command line means something else:" + listed(spelling);
    }
    const std::pair<std::string, bool> extras[]
        = { { "--options=default", true }, { "--output=other", !options.destination.empty() },
              { "--force", options.force }, { "--progress", options.progress }, { "--stats", options.stats } };
    for (const auto& [extra, repeated] : extras) {
        std::vector<std::string> more = written;
        more.insert(more.end(), { extra, "--", options.source });
        const ParsedCommandLine parsed = parseCommandLine(more);
        if (repeated != (parsed.command == CliCommand::UsageError))
            return std::string(repeated ? "an option given twice was taken:" : "an option given once was refused:")
                + listed(more);
    }
    return {};
}

} // namespace

std::vector<std::string> splitArguments(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments;
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t nul = std::min(text.find('\0', start), text.size());
        arguments.push_back(text.substr(start, nul - start));
        start = nul + 1;
    }
    return arguments;
}

std::string brokenParserProperty(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments) { // the text after the first '=', or all of it
        const std::size_t equals = argument.find('=');
        if (const std::string broken = brokenListProperty(argument.substr(equals + 1)); !broken.empty())
            return broken;
    }
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    if ((parsed.command == CliCommand::UsageError) == parsed.error.empty())
        return "a usage error must come with a reason, and only a usage error:" + listed(arguments);
    switch (parsed.command) {
    case CliCommand::Help:
    case CliCommand::Version:
        return brokenAnswerProperty(arguments, parsed.command);
    case CliCommand::Compact:
        return brokenCompactProperty(arguments, parsed.options);
    case CliCommand::UsageError:
        break;
    }
    return {};
}
