// One compaction run of snellitore-cli.
#include "cli_run.h"

#include <arithmetic.h>
#include <byte_file.h>
#include <compaction.h>
#include <io_error.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t SpoolBlockSize = 64 * 1024;

namespace Text {
constexpr const char* Program = "snellitore-cli: ";
constexpr const char* StandardStream = "-";
constexpr const char* SameFile = "Source and destination are the same file";
constexpr const char* Exists = "File exists (use --force to replace it)";
constexpr const char* TemporaryIn = "temporary file in ";
constexpr const char* Removed = "removed incomplete ";
constexpr const char* NotRemoved = "could not remove incomplete ";
} // namespace Text

// A failure, with the name of the file it concerns.
struct CliFailure
{
    std::string name;
    std::string text;
};

// One end of the run.
struct Endpoint
{
    std::string name; // the path as given, or "-" for a standard stream
    std::unique_ptr<PosixFile> file; // open for the run
    std::optional<FileIdentity> identity; // known for regular files only: what a destination must not be
    bool created = false; // a regular file this run created or emptied: removed on failure
};

// Notes which file an operation was last asked of. The engine raises right after an operation fails, so
// that file is the one an error concerns.
class TrackedFile final : public ByteFile
{
public:
    TrackedFile(ByteFile& inner, const std::string& name, const std::string*& last)
        : m_inner(inner)
        , m_name(name)
        , m_last(last)
    {
    }

    int read(unsigned char* buffer, std::size_t n, std::size_t& got) override
    {
        m_last = &m_name;
        return m_inner.read(buffer, n, got);
    }
    int write(const unsigned char* buffer, std::size_t n, std::size_t& stored) override
    {
        m_last = &m_name;
        return m_inner.write(buffer, n, stored);
    }
    int size(std::int64_t& bytes) override
    {
        m_last = &m_name;
        return m_inner.size(bytes);
    }
    int seek(std::int64_t offset) override
    {
        m_last = &m_name;
        return m_inner.seek(offset);
    }
    int close() override
    {
        m_last = &m_name;
        return m_inner.close();
    }

private:
    ByteFile& m_inner;
    const std::string& m_name;
    const std::string*& m_last;
};

// Prints each new whole percentage on its own line.
class StreamProgress final : public ProgressSink
{
public:
    explicit StreamProgress(std::ostream* out)
        : m_out(out)
    {
    }
    // The engine hides the gauge before it resets it to 0 at the end of a run; that reset is no progress.
    void setVisible(bool visible) override { m_visible = visible; }
    void setProgress(int percent) override
    {
        if (m_out && m_visible)
            *m_out << percent << "%\n";
    }

private:
    std::ostream* m_out;
    bool m_visible = false;
};

void check(int code, const std::string& name)
{
    if (code != IoCode::Ok)
        throw CliFailure { name, ioErrorText(code) };
}

std::optional<FileIdentity> regularIdentity(const PosixFile& file)
{
    FileIdentity identity;
    if (platform::isRegularFile(file) && platform::identityOf(file, identity) == IoCode::Ok)
        return identity;
    return std::nullopt;
}

// The engine takes the size first and repositions the source for its look-ahead, so only a regular file read
// from its start serves as it is; a pipe, a terminal, a device or a file partly read already is spooled.
bool usableInPlace(const PosixFile& file)
{
    return platform::isRegularFile(file) && ::lseek(file.descriptor(), 0, SEEK_CUR) == 0;
}

// Only reading is asked for, so a read-only source compacts as well as any other.
void openSource(const CliOptions& options, int inputFd, Endpoint& source)
{
    std::unique_ptr<PosixFile> file;
    if (readsStandardInput(options)) {
        source.name = Text::StandardStream;
        file = std::make_unique<PosixFile>(inputFd, false);
    } else {
        source.name = options.source;
        check(platform::openExisting(options.source, FileAccess::ReadOnly, file), source.name);
    }
    source.identity = regularIdentity(*file);
    if (usableInPlace(*file)) {
        source.file = std::move(file);
        return;
    }
    bool inTemporary = false;
    const int code = spoolToTemporaryFile(*file, source.file, inTemporary);
    check(code, inTemporary ? Text::TemporaryIn + temporaryFolder() : source.name);
}

void refuseSource(const Endpoint& source, const FileIdentity& candidate, const std::string& name)
{
    if (source.identity && *source.identity == candidate)
        throw CliFailure { name, Text::SameFile };
}

// The destination is compared with the source before anything is created or emptied, whatever name
// (a link, another spelling) leads to it.
void openDestination(const CliOptions& options, int outputFd, const Endpoint& source, Endpoint& destination)
{
    FileIdentity existing;
    if (writesStandardOutput(options)) {
        destination.name = Text::StandardStream;
        destination.file = std::make_unique<PosixFile>(outputFd, false);
        if (platform::identityOf(*destination.file, existing) == IoCode::Ok)
            refuseSource(source, existing, destination.name);
        return;
    }
    const std::string& path = destination.name = options.destination;
    if (platform::identityOf(path, existing) == IoCode::Ok)
        refuseSource(source, existing, path);
    const int code
        = options.force ? platform::createAlways(path, destination.file) : platform::createNew(path, destination.file);
    if (code == IoCode::FileExists && !options.force)
        throw CliFailure { path, Text::Exists };
    check(code, path);
    destination.identity = regularIdentity(*destination.file);
    destination.created = destination.identity.has_value();
}

CompactionResult compact(const CliOptions& options, Endpoint& source, Endpoint& destination, std::ostream& err)
{
    const std::string* last = &source.name;
    TrackedFile from(*source.file, source.name, last);
    TrackedFile to(*destination.file, destination.name, last);
    StreamProgress progress(options.progress ? &err : nullptr);
    try {
        return compactStream(from, to, options.compaction, progress);
    } catch (const EInOutError& error) {
        throw CliFailure { *last, error.what() };
    }
}

// A pipeline must not pick up half a file. Only the very file written is removed, under the name it was
// written by: a symbolic link is not followed, and a name that meanwhile leads elsewhere is left alone.
void removeIncomplete(Endpoint& destination, std::ostream& err)
{
    if (!destination.created)
        return;
    destination.file.reset();
    struct stat info
    {
    };
    const bool same = ::lstat(destination.name.c_str(), &info) == 0 && S_ISREG(info.st_mode)
        && FileIdentity { static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino) }
            == *destination.identity;
    const bool removed = same && platform::deleteFile(destination.name) == IoCode::Ok;
    err << Text::Program << (removed ? Text::Removed : Text::NotRemoved) << destination.name << '\n';
}

int openTemporaryFile(std::unique_ptr<PosixFile>& file)
{
    const std::string folder = temporaryFolder();
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd < 0) {
        // Not every file system offers unnamed files; a named one unlinked at once is as private.
        std::string name = folder + "/snellitore-XXXXXX";
        fd = ::mkstemp(name.data());
        if (fd < 0)
            return platform::ioCodeFromErrno(errno, name);
        ::unlink(name.c_str());
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    file = std::make_unique<PosixFile>(fd);
    return IoCode::Ok;
}

} // namespace

std::string temporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

int spoolToTemporaryFile(ByteFile& input, std::unique_ptr<PosixFile>& spooled, bool& failedInTemporary)
{
    failedInTemporary = true;
    std::unique_ptr<PosixFile> file;
    if (const int code = openTemporaryFile(file))
        return code;
    std::vector<unsigned char> block(SpoolBlockSize);
    for (;;) {
        std::size_t got = 0;
        if (const int code = input.read(block.data(), block.size(), got)) {
            failedInTemporary = false;
            return code;
        }
        if (got == 0)
            break;
        std::size_t stored = 0;
        if (const int code = file->write(block.data(), got, stored))
            return code;
    }
    if (const int code = file->seek(0))
        return code;
    spooled = std::move(file);
    return IoCode::Ok;
}

int runCompaction(const CliOptions& options, std::ostream& err, StandardStreams streams)
{
    Endpoint source;
    Endpoint destination;
    try {
        openSource(options, streams.input, source);
        openDestination(options, streams.output, source, destination);
        const CompactionResult result = compact(options, source, destination, err);
        if (options.stats)
            err << summaryText(source.name, result.sourceSize, destination.name, result.written) << '\n';
        return ExitCode::Success;
    } catch (const CliFailure& failure) {
        err << Text::Program << failure.name << ": " << failure.text << '\n';
    } catch (const std::exception& failure) { // out of memory, or anything else the run could not survive
        err << Text::Program << failure.what() << '\n';
    }
    removeIncomplete(destination, err);
    return ExitCode::IoError;
}

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
        err << Text::Program << parsed.error << '\n' << usageText();
        return ExitCode::UsageError;
    case CliCommand::Compact:
        break;
    }
    return runCompaction(parsed.options, err);
}
