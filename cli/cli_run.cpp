// The single-file run of snellitore-cli.
#include <cli/cli_run.h>

#include <cli/messages.h>

#include <engine/compaction.h>
#include <engine/size_summary.h>
#include <platform/byte_file.h>
#include <platform/directory.h>
#include <platform/file_facts.h>
#include <platform/io_error.h>
#include <platform/process.h>
#include <platform/temporary_files.h>

#include <memory>
#include <optional>
#include <ostream>

namespace {

namespace Text {
constexpr const char* StandardStream = "-";
constexpr const char* TemporaryIn = "temporary file in ";
constexpr const char* NotRemoved = "could not remove incomplete ";
} // namespace Text

constexpr int Stopped = 995; // "operation aborted": the run was asked to stop

struct Source
{
    std::string name; // the path as given, or "-" for standard input
    std::unique_ptr<SystemFile> file; // open for the run
    std::optional<FileIdentity> identity; // known for regular files only: what a destination must not be
    std::optional<std::int64_t> size; // known already for a file read where it is, from its start
    unsigned permissions = platform::DefaultFileBits; // a regular file's own; what its copy is created with
    std::optional<FileTime> modified; // a regular file's last change
};

// Where the copy goes. A regular file, or a name that does not exist yet, is written as a staged file and put
// in place only once complete; standard output, a device and a FIFO are written as they are.
struct Destination
{
    std::string name; // the path as given, or "-" for standard output
    std::unique_ptr<SystemFile> direct;
    std::unique_ptr<StagedFile> staged;
    bool replace = false; // the staged file may take the place of whatever the name holds

    ByteFile& file() { return staged ? static_cast<ByteFile&>(*staged) : *direct; }
};

// A source whose reads fail once the caller asks the run to stop, so that a long file ends within a block.
class StoppableFile final : public ByteFile
{
public:
    StoppableFile(ByteFile& inner, const std::atomic<int>& stop)
        : m_inner(inner)
        , m_stop(stop)
    {
    }
    int read(unsigned char* buffer, std::size_t n, std::size_t& got) override
    {
        got = 0;
        if (m_stop.load(std::memory_order_relaxed) != 0)
            return Stopped;
        return m_inner.read(buffer, n, got);
    }
    int write(const unsigned char* buffer, std::size_t n, std::size_t& stored) override
    {
        return m_inner.write(buffer, n, stored);
    }
    int size(std::int64_t& bytes) override { return m_inner.size(bytes); }
    int seek(std::int64_t offset) override { return m_inner.seek(offset); }
    int close() override { return m_inner.close(); }

private:
    ByteFile& m_inner;
    const std::atomic<int>& m_stop;
};

// A source read where it is, from its start, whose size was looked at already: the engine asks for the size
// and repositions the file before its first read, and neither needs a call to the system.
class PlacedSource final : public ByteFile
{
public:
    PlacedSource(ByteFile& inner, std::int64_t size)
        : m_inner(inner)
        , m_size(size)
    {
    }
    int read(unsigned char* buffer, std::size_t n, std::size_t& got) override
    {
        const int code = m_inner.read(buffer, n, got);
        m_position = code == IoCode::Ok ? m_position + static_cast<std::int64_t>(got) : -1;
        return code;
    }
    int write(const unsigned char* buffer, std::size_t n, std::size_t& stored) override
    {
        m_position = -1;
        return m_inner.write(buffer, n, stored);
    }
    int size(std::int64_t& bytes) override
    {
        bytes = m_size;
        return IoCode::Ok;
    }
    int seek(std::int64_t offset) override
    {
        if (offset == m_position)
            return IoCode::Ok;
        const int code = m_inner.seek(offset);
        m_position = code == IoCode::Ok ? offset : -1;
        return code;
    }
    int close() override { return m_inner.close(); }

private:
    ByteFile& m_inner;
    std::int64_t m_size;
    std::int64_t m_position = 0; // -1 once unknown
};

// Prints each new whole percentage: on a terminal on one line, redrawn in place, elsewhere each on its own line.
class StreamProgress final : public ProgressSink
{
public:
    StreamProgress(std::ostream* out, bool terminal)
        : m_out(out)
        , m_terminal(terminal)
    {
    }
    // The engine hides the gauge before it resets it to 0 at the end of a run; that reset is no progress.
    void setVisible(bool visible) override { m_visible = visible; }
    void setProgress(int percent) override
    {
        if (!m_out || !m_visible)
            return;
        if (!m_terminal) {
            *m_out << percent << "%\n";
            return;
        }
        *m_out << '\r' << percent << "%\x1b[K" << std::flush;
        m_lineShown = true;
    }
    // The line drawn stays, ended, before what comes after a run that succeeded.
    void end()
    {
        if (m_lineShown)
            *m_out << '\n';
        m_lineShown = false;
    }
    // The line drawn goes, so that a message takes its place.
    void clear()
    {
        if (m_lineShown)
            *m_out << "\r\x1b[K";
        m_lineShown = false;
    }

private:
    std::ostream* m_out;
    bool m_terminal;
    bool m_visible = false;
    bool m_lineShown = false;
};

void check(int code, const std::string& name)
{
    if (code != IoCode::Ok)
        throw CliFailure { name, failureText(code, name) };
}

// The engine takes the size first and repositions the source for its look-ahead, so only a regular file whose
// size can be believed, read from its start, serves as it is; a pipe, a terminal, a device, a pseudo-file of
// /proc or /sys, or a file partly read already is spooled. One look at the file tells all but the position, and
// a file opened here by its name stands at its start.
void openSource(const CliOptions& options, platform::NativeHandle input, Source& source)
{
    std::unique_ptr<SystemFile> file;
    platform::FileFacts facts;
    bool known = true;
    const bool standardInput = readsStandardInput(options);
    if (standardInput) {
        source.name = Text::StandardStream;
        file = std::make_unique<SystemFile>(input, false);
        known = platform::factsOf(*file, facts) == IoCode::Ok;
    } else {
        source.name = options.source;
        const int code = platform::openExistingWithFacts(options.source, file, facts);
        // A folder opens nowhere, or opens as no regular file; either way it wants -r.
        if ((code != IoCode::Ok || !facts.regular) && platform::leadsToFolder(options.source))
            throw CliFailure { source.name, CliText::SourceIsFolder };
        check(code, source.name);
    }
    if (known && facts.regular) {
        source.identity = facts.identity;
        source.modified = facts.modified;
        // Standard input has no bits of its own to hand on, whatever it was redirected from.
        if (!standardInput)
            source.permissions = facts.permissions;
    }
    std::int64_t offset = -1;
    if (known && facts.reliableSize && (!standardInput || (file->position(offset) == IoCode::Ok && offset == 0))) {
        source.file = std::move(file);
        source.size = facts.size;
        return;
    }
    bool inTemporary = false;
    const int code = platform::spoolToTemporaryFile(*file, source.file, inTemporary);
    if (code != IoCode::Ok && inTemporary) {
        const std::string folder = platform::temporaryFolder();
        throw CliFailure { Text::TemporaryIn + folder, folderFailureText(code, folder) };
    }
    check(code, source.name);
}

template <typename Candidate>
void refuseSource(const Source& source, const Candidate& candidate, const std::string& name)
{
    if (source.identity && platform::sameFile(*source.identity, candidate))
        throw CliFailure { name, SameFileText };
}

// The staged file is created beside the name, with the source's permission bits less the umask, as a new copy
// gets them. One that replaces a regular file keeps that file's owner and permission bits instead, and a file that
// may not be written is refused as before, not replaced.
void stageDestination(NameContents contents, bool force, const FileRunControl* control, const Source& source,
                      Destination& destination)
{
    const std::string& path = destination.name;
    if (contents == NameContents::RegularFile)
        check(platform::checkWritable(path), path);
    // A new name takes a file that has no name until it is complete; a replaced one keeps the way of a rename.
    if (contents == NameContents::Nothing && !force)
        check(platform::createStagedNew(path, destination.staged, source.permissions), path);
    else
        check(platform::createStaged(path, destination.staged, source.permissions), path);
    // Only a file that takes the place of another has earlier contents that a crash must not cost.
    if (contents == NameContents::Nothing && control && !control->syncNewFile)
        destination.staged->setSyncOnClose(false);
    if (contents == NameContents::RegularFile)
        check(destination.staged->adoptOwnerAndMode(path), path);
    if (control && control->keepModificationTime && source.modified)
        destination.staged->keepModificationTime(*source.modified);
    destination.replace = force;
}

// The destination is compared with the source before anything is created, whatever name (a link, another
// spelling) leads to it.
void openDestination(const CliOptions& options, platform::NativeHandle output, const Source& source,
                     const FileRunControl* control, Destination& destination)
{
    if (writesStandardOutput(options)) {
        destination.name = Text::StandardStream;
        destination.direct = std::make_unique<SystemFile>(output, false);
        refuseSource(source, *destination.direct, destination.name);
        return;
    }
    const std::string& path = destination.name = options.destination;
    if (control && control->destinationLikelyFree && !options.force) {
        stageDestination(NameContents::Nothing, false, control, source, destination);
        return;
    }
    NameContents contents = NameContents::Nothing;
    check(platform::contentsOfName(path, contents), path);
    // A free name leads to no file at all: only a taken one can be the source (one look-up less per file of a site).
    if (contents != NameContents::Nothing)
        refuseSource(source, path, path);
    // --force replaces files, never a folder: the user's DEST most likely meant to go into it.
    if (contents == NameContents::Folder)
        throw CliFailure { path, control ? CliText::FolderInTheWay : CliText::DestinationIsFolder };
    if (contents != NameContents::Nothing && !options.force)
        throw CliFailure { path, CliText::Exists };
    switch (contents) {
    case NameContents::Folder: // refused above
        break;
    case NameContents::Stream: // /dev/null must stay a device: it is written, never replaced
        check(platform::openForWriting(path, destination.direct), path);
        break;
    case NameContents::Nothing:
    case NameContents::RegularFile:
    case NameContents::Link:
        stageDestination(contents, options.force, control, source, destination);
        break;
    }
}

// The complete copy takes the destination's name. Without --force a name taken meanwhile is kept, refused as
// a name found taken before.
void putInPlace(const Source& source, Destination& destination)
{
    if (!destination.staged)
        return;
    const int code = destination.staged->commit(destination.replace);
    if (code == IoCode::FileExists && !destination.replace) {
        refuseSource(source, destination.name, destination.name);
        NameContents contents = NameContents::Nothing;
        const bool folder = platform::contentsOfName(destination.name, contents) == IoCode::Ok
            && contents == NameContents::Folder;
        throw CliFailure { destination.name, folder ? CliText::FolderInTheWay : CliText::Exists };
    }
    check(code, destination.name);
}

// An incomplete copy never took the destination's name; only its temporary file is left to remove.
void discardIncomplete(Destination& destination, std::ostream& err)
{
    if (destination.staged && destination.staged->discard() != IoCode::Ok)
        err << programLine(Text::NotRemoved + destination.staged->temporaryPath());
}

} // namespace

CompactionResult compactNamedFiles(ByteFile& source, const std::string& sourceName, ByteFile& destination,
                                   const std::string& destinationName, const CompactionOptions& options,
                                   ProgressSink& progress, const SafeCompaction* safe)
{
    try {
        if (safe)
            return compactStreamSafe(source, destination, *safe, progress);
        return compactStream(source, destination, options, progress);
    } catch (const EInOutError& error) {
        throw CliFailure { error.side() == FileSide::Destination ? destinationName : sourceName, error.what() };
    }
}

int runCompaction(const CliOptions& options, std::ostream& err, StandardStreams streams, FileRunControl* control)
{
    Source source;
    Destination destination;
    StreamProgress progress(options.progress ? &err : nullptr, streams.errorIsTerminal);
    // A run of its own stops at an interrupt that only asks it to (on Windows); one of many at its caller's.
    const std::atomic<int>& stop = control && control->stop ? *control->stop : platform::interruptSignal();
    try {
        openSource(options, streams.input, source);
        openDestination(options, streams.output, source, control, destination);
        std::optional<PlacedSource> placed;
        std::optional<StoppableFile> stoppable;
        ByteFile* from = source.file.get();
        if (source.size)
            from = &placed.emplace(*from, *source.size);
        from = &stoppable.emplace(*from, stop);
        std::vector<std::string> notes;
        std::optional<FolderStylesheets> stylesheets;
        std::optional<SafeCompaction> safe;
        if (options.safe) {
            if (!readsStandardInput(options))
                stylesheets.emplace(options.source, options.siteRoot, control ? control->stylesheets : nullptr);
            safe = SafeCompaction {safeLanguageOf(source.name), stylesheets ? &*stylesheets : nullptr, &notes};
        }
        const CompactionResult result = compactNamedFiles(*from, source.name, destination.file(), destination.name,
                                                          options.compaction, progress, safe ? &*safe : nullptr);
        putInPlace(source, destination);
        progress.end();
        if (options.stats) {
            for (const std::string& note : notes)
                err << messageLine(source.name, note);
            err << summaryText(shownText(source.name), result.sourceSize, shownText(destination.name),
                               result.written)
                << '\n';
        }
        if (control)
            control->result = result;
        return ExitCode::Success;
    } catch (const CliFailure& failure) {
        const bool stopped = stop.load() != 0;
        if (control)
            control->stopped = stopped;
        progress.clear();
        // The interrupt is the whole story: the caller says it, once.
        if (!stopped || control)
            err << messageLine(failure.name, failure.text);
    } catch (const std::exception& failure) { // out of memory, or anything else the run could not survive
        progress.clear();
        err << programLine(failure.what());
    }
    discardIncomplete(destination, err);
    return ExitCode::IoError;
}
