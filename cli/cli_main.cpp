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
    int code = ExitCode::Success;
    if (writesIntoFolder(parsed.options)) {
        code = runIntoFolder(parsed.options, err);
    } else {
        // One file has nothing to tidy after an interrupt but its temporary file, which the handler removes.
        platform::catchInterrupts(platform::InterruptStop::AtOnce);
        StandardStreams streams;
        streams.errorIsTerminal = parsed.options.progress && platform::standardErrorIsTerminal();
        code = runCompaction(parsed.options, err, streams);
        if (const int signal = platform::interruptSignal().load())
            platform::endByInterrupt(signal);
    }
    // A message that could not be written (standard error closed) fails a run that otherwise succeeded; the files
    // are written all the same.
    err.flush();
    return code == ExitCode::Success && !err ? ExitCode::IoError : code;
}
