// The compaction run: the main loop and its dispatch, compactStream, CompactFile and CanOpenFile.
#include <engine/compaction.h>

#include <engine/characters.h>
#include <engine/compaction_run.h>
#include <engine/plain_text.h>
#include <engine/rules.h>

#include <platform/byte_file.h>
#include <platform/io_error.h>
#include <platform/temporary_files.h>

#include <algorithm>
#include <memory>

namespace {

constexpr std::size_t DefaultBlockSize = 256 * 1024;
constexpr int NotAFileCode = 132; // the system's code for a seek on a device, as a pipe asked for its size answers

// The dispatch rows, tried in order; each row takes other characters, so a switch on the character
// keeps their order.
void dispatch(CompactionRun& run)
{
    const CompactionOptions& on = run.options;
    switch (run.current) {
    case Tab:
    case Cr:
        if (on.collapseWhitespace) // 1: dropped
            return;
        break;
    case Space:
        if (on.collapseWhitespace) { // 2
            CollapseSpaceRun(run);
            return;
        }
        break;
    case Less:
        if (on.rewriteCenteredDivs && on.squeezeTags) { // 3
            if (!RewriteCenteredDiv(run)) {
                run.current = Less;
                SqueezeTag(run);
            }
            return;
        }
        if (on.rewriteCenteredDivs) { // 4
            if (!RewriteCenteredDiv(run)) {
                run.current = Less;
                run.write(Less);
            }
            return;
        }
        if (on.squeezeTags) { // 5
            SqueezeTag(run);
            return;
        }
        break;
    case Greater:
        if (on.dropTagGaps) { // 6
            DropGapAfterTag(run);
            return;
        }
        break;
    default:
        break;
    }
    run.write(run.current); // 7: written as it is
}

void runMainLoop(CompactionRun& run)
{
    const SpecialBytes special(run.options);
    SourceReader& source = run.sourceFile;
    for (;;) {
        // Rules often hand back right before another rule's character: no copying to set up then.
        if (!special.stopsAt(source.next(), source.end()))
            copyPlainText(run, special);
        if (source.atEnd())
            return;
        run.read();
        run.progress.reached(run.position());
        dispatch(run);
    }
}

// A run needs no buffer larger than its source: a page of a few bytes must not cost two blocks of 256 KiB.
// The source is read in blocks of the same length either way, and the output is never longer than the source,
// so a small file is still read and written in one operation each.
std::size_t runBlockSize(std::int64_t sourceSize, std::size_t blockSize)
{
    return static_cast<std::size_t>(std::clamp<std::int64_t>(sourceSize, 1, static_cast<std::int64_t>(blockSize)));
}

// What was produced before a failed read still reaches the file. If that write fails as well, the read error
// is the one to report: it is why the run stopped.
void salvageOutput(DestinationWriter& destination)
{
    try {
        destination.flush();
    } catch (const EInOutError&) {
    }
}

// Refuses a destination that is the source under another spelling or through a link: creating it
// would empty the source before a single character was read.
void refuseSameFile(const SystemFile& source, const std::string& destinationPath)
{
    FileIdentity sourceId;
    if (platform::identityOf(source, sourceId) == IoCode::Ok && platform::sameFile(sourceId, destinationPath))
        throw EInOutError(IoCode::AccessDenied, SameFileText);
}

// Only regular files are compacted: a pipe opened for writing as well never ends, a device may not end either,
// and neither has a size. A pseudo-file's size says nothing, so it is first read to its end into a temporary file.
void prepareSource(std::unique_ptr<SystemFile>& source)
{
    if (!platform::isRegularFile(*source))
        throw EInOutError(NotAFileCode);
    if (platform::hasReliableSize(*source))
        return;
    std::unique_ptr<SystemFile> spooled;
    bool inTemporary = false;
    check(platform::spoolToTemporaryFile(*source, spooled, inTemporary));
    check(source->close());
    source = std::move(spooled);
}

} // namespace

CompactionRun::CompactionRun(ByteFile& source, ByteFile& destination, std::int64_t size,
                             const CompactionOptions& options, ProgressSink& sink, std::size_t blockSize)
    : sourceFile(source, size, runBlockSize(size, blockSize))
    , destinationFile(destination, runBlockSize(size, blockSize))
    , sourceSize(size)
    , options(options)
    , progress(sink, size)
{
}

CompactionResult compactStream(ByteFile& source, ByteFile& destination, const CompactionOptions& options,
                               ProgressSink& progress, std::size_t blockSize)
{
    if (blockSize == 0)
        blockSize = DefaultBlockSize;
    progress.setVisible(true);
    try {
        std::int64_t size = 0;
        check(source.size(size));
        CompactionRun run(source, destination, size, options, progress, blockSize);
        try {
            runMainLoop(run);
        } catch (const EInOutError&) {
            if (!run.destinationFile.failed())
                salvageOutput(run.destinationFile);
            throw;
        }
        run.destinationFile.flush();
        check(source.close());
        check(destination.close());
        progress.setVisible(false);
        progress.setProgress(0);
        return {run.sourceSize, run.written()};
    } catch (...) {
        // The gauge must not stay on screen after a failed run.
        progress.setVisible(false);
        progress.setProgress(0);
        throw;
    }
}

CompactionResult CompactFile(const std::string& sourcePath, const std::string& destinationPath,
                             const CompactionOptions& options, ProgressSink& progress, DestinationCreation creation)
{
    std::unique_ptr<SystemFile> source;
    std::unique_ptr<SystemFile> destination;
    check(platform::openExisting(sourcePath, FileAccess::ReadWrite, source));
    refuseSameFile(*source, destinationPath);
    prepareSource(source);
    check(creation == DestinationCreation::MustNotExist ? platform::createNew(destinationPath, destination)
                                                         : platform::createAlways(destinationPath, destination));
    return compactStream(*source, *destination, options, progress);
}

bool CanOpenFile(const std::string& path)
{
    std::unique_ptr<SystemFile> file;
    return platform::openExisting(path, FileAccess::ReadWrite, file) == IoCode::Ok && file->close() == IoCode::Ok;
}
