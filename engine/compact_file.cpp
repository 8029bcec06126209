// The compaction run: the main loop and its dispatch, CompactFile and CanOpenFile.
#include "compaction.h"
#include "compaction_run.h"
#include "io_error.h"

#include <platform/byte_file.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::size_t DefaultBlockSize = 256 * 1024;
const char* const SameFileText = "Source and destination are the same file";

void check(int code)
{
    if (code != IoCode::Ok)
        throw EInOutError(code);
}

// The characters some dispatch row other than the last takes under the run's options.
class SpecialBytes
{
public:
    explicit SpecialBytes(const CompactionOptions& options)
    {
        m_special.fill(false);
        m_special[Tab] = m_special[Cr] = m_special[Space] = options.collapseWhitespace;
        m_special[Less] = options.squeezeTags || options.rewriteCenteredDivs;
        m_special[Greater] = options.dropTagGaps;
    }
    bool operator[](unsigned char c) const { return m_special[c]; }

private:
    std::array<bool, 256> m_special;
};

void dispatch(CompactionRun& run)
{
    const CompactionOptions& on = run.options;
    const unsigned char c = run.current;
    if (on.collapseWhitespace && (c == Tab || c == Cr)) // 1: dropped
        return;
    if (on.collapseWhitespace && c == Space) { // 2
        CollapseSpaceRun(run);
        return;
    }
    if (on.rewriteCenteredDivs && on.squeezeTags && c == Less) { // 3
        if (!RewriteCenteredDiv(run)) {
            run.current = Less;
            SqueezeTag(run);
        }
        return;
    }
    if (on.rewriteCenteredDivs && c == Less) { // 4
        if (!RewriteCenteredDiv(run)) {
            run.current = Less;
            run.write(Less);
        }
        return;
    }
    if (on.squeezeTags && c == Less) { // 5
        SqueezeTag(run);
        return;
    }
    if (on.dropTagGaps && c == Greater) { // 6
        DropGapAfterTag(run);
        return;
    }
    run.write(c); // 7: written as it is
}

// Copies in bulk the characters that the last dispatch row would write one by one, up to the next
// character another row takes or the end of the source. Every character copied here counts as read by
// the main loop, so the progress value is brought up to date at each step it passes.
void copyPlainText(CompactionRun& run, const SpecialBytes& special)
{
    SourceReader& source = run.sourceFile;
    DestinationWriter& destination = run.destinationFile;
    for (;;) {
        if (source.next() == source.end()) {
            if (source.atEnd())
                return;
            source.refill();
        }
        if (destination.room() == 0)
            destination.flush();
        const std::int64_t untilChange = std::max<std::int64_t>(1, run.progress.nextChange() - run.position());
        const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(
            std::min<std::size_t>(source.end() - source.next(), destination.room()), untilChange));
        const unsigned char* const from = source.next();
        const unsigned char* const stop = from + n;
        const unsigned char* p = from;
        while (p != stop && !special[*p])
            ++p;
        if (p == from)
            return; // the next character belongs to a rule
        std::memcpy(destination.next(), from, static_cast<std::size_t>(p - from));
        destination.advance(static_cast<std::size_t>(p - from));
        source.skipTo(p);
        run.progress.reached(run.position());
        if (p != stop)
            return;
    }
}

void runMainLoop(CompactionRun& run)
{
    const SpecialBytes special(run.options);
    for (;;) {
        copyPlainText(run, special);
        if (run.sourceFile.atEnd())
            return;
        run.read();
        run.progress.reached(run.position());
        dispatch(run);
    }
}

// Refuses a destination that is the source under another spelling or through a link: creating it
// would empty the source before a single character was read.
void refuseSameFile(const PosixFile& source, const std::string& destinationPath)
{
    FileIdentity sourceId, destinationId;
    if (platform::identityOf(source, sourceId) == IoCode::Ok
        && platform::identityOf(destinationPath, destinationId) == IoCode::Ok && sourceId == destinationId)
        throw EInOutError(IoCode::AccessDenied, SameFileText);
}

} // namespace

CompactionRun::CompactionRun(ByteFile& source, ByteFile& destination, std::int64_t size,
                             const CompactionOptions& options, ProgressSink& sink, std::size_t blockSize)
    : sourceFile(source, size, blockSize)
    , destinationFile(destination, blockSize)
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
            run.destinationFile.flush(); // what was produced before a failed read still reaches the file
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
                             const CompactionOptions& options, ProgressSink& progress)
{
    std::unique_ptr<PosixFile> source;
    std::unique_ptr<PosixFile> destination;
    check(platform::openExisting(sourcePath, FileAccess::ReadWrite, source));
    refuseSameFile(*source, destinationPath);
    check(platform::createAlways(destinationPath, destination));
    return compactStream(*source, *destination, options, progress);
}

bool CanOpenFile(const std::string& path)
{
    std::unique_ptr<PosixFile> file;
    return platform::openExisting(path, FileAccess::ReadWrite, file) == IoCode::Ok && file->close() == IoCode::Ok;
}
