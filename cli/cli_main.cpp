// The whole of snellitore-cli below its main.
#include <cli/cli_main.h>

#include <cli/cli_options.h>
#include <cli/cli_run.h>
#include <cli/messages.h>
#include <cli/site_run.h>

#include <platform/process.h>

#include <ostream>

int cliMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    switch (parsed.command) {
    case CliCommand::Help:
        out << helpText() << std::flush;
        return out ? ExitCode::Success : ExitCode::IoError;
    case CliCommand::Version:
        out << versionText() << std::flush;
        return out ? ExitCode::Success : ExitCode::IoError;
    case CliCommand::UsageError:
        err << programLine(parsed.error) << usageText();
        return ExitCode::UsageError;
    case CliCommand::Compact:
        break;
    }
    if (writesIntoFolder(parsed.options))
        return runIntoFolder(parsed.options, err);
    StandardStreams streams;
    streams.errorIsTerminal = parsed.options.progress && platform::standardErrorIsTerminal();
    return runCompaction(parsed.options, err, streams);
}
