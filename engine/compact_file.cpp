// The compaction run: the main loop and its dispatch, CompactFile and CanOpenFile.
#include <engine/compaction.h>
#include <engine/compaction_run.h>
#include <engine/scan.h>
#include <platform/io_error.h>

#include <platform/byte_file.h>
#include <platform/temporary_files.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::size_t DefaultBlockSize = 256 * 1024;
constexpr int NotAFileCode = 132; // the system's code for a seek on a device, as a pipe asked for its size answers
const char* const SameFileText = "Source and destination are the same file";

// The characters some dispatch row other than the last takes under the run's options. A space counts
// only when another space follows it: a lone space is written as it is, which spares the rule a call per
// word and gives the same output.
class SpecialBytes
{
public:
    explicit SpecialBytes(const CompactionOptions& options)
    {
        m_special.fill(false);
        m_special[Tab] = m_special[Cr] = m_special[Space] = options.collapseWhitespace;
        m_special[Less] = options.squeezeTags || options.rewriteCenteredDivs;
        m_special[Greater] = options.dropTagGaps;
        m_spaces = options.collapseWhitespace;
        std::size_t n = 0;
        for (unsigned char c : {Tab, Cr, Less, Greater})
            if (m_special[c])
                m_stops[n++] = c;
        // Spaces collapse only together with TAB and CR, so either nothing is special or m_stops[0] is set.
        m_none = n == 0;
        for (std::size_t i = n; i < m_stops.size() && n > 0; ++i)
            m_stops[i] = m_stops[0]; // padding repeats a real stop
#ifdef SNELLITORE_SSE2
        for (std::size_t i = 0; i < m_stops.size(); ++i)
            m_vectors[i] = _mm_set1_epi8(static_cast<char>(m_stops[i]));
        m_vectors[4] = _mm_set1_epi8(static_cast<char>(Space));
#endif
    }

    bool stopsAt(const unsigned char* p, const unsigned char* end) const
    {
        return p != end && m_special[*p] && (*p != Space || p + 1 == end || p[1] == Space);
    }

    // Copies from p up to stop what the main loop would copy, drop or collapse by itself, and stops before
    // the first character a rule must see. end is where the buffered text ends: a space run must end
    // before stop to be collapsed here (what follows the buffer is not known yet). lastRead is set just
    // past the last character the main loop itself would have read; spaces after the first of a run are
    // read by the rule, which moves no gauge.
    const unsigned char* copy(const unsigned char* p, const unsigned char* stop, const unsigned char* end,
                              unsigned char*& out, const unsigned char*& lastRead) const
    {
        if (m_none) {
            std::memcpy(out, p, static_cast<std::size_t>(stop - p));
            out += stop - p;
            return lastRead = stop;
        }
        for (;;) {
#ifdef SNELLITORE_SSE2
            p = copyBlocks(p, stop, end, out);
            lastRead = p;
#endif
            // Character by character past whatever stopped the blocks, then blocks again.
            const unsigned char* const pause = stop - p > 16 ? p + 16 : stop;
            while (p < pause) {
                const unsigned char c = *p;
                if (m_spaces && (c == Tab || c == Cr)) { // row 1: dropped
                    lastRead = ++p;
                } else if (m_spaces && c == Space) { // row 2: one space for the run
                    const unsigned char* q = p + 1;
                    while (q != end && *q == Space)
                        ++q;
                    if (q >= stop)
                        return p; // the run may go on past what is known: the rule takes it
                    *out++ = Space;
                    lastRead = p + 1;
                    p = q;
                } else if (m_special[c]) {
                    return p;
                } else {
                    *out++ = c;
                    lastRead = ++p;
                }
            }
            if (p == stop)
                return p;
        }
    }

private:
#ifdef SNELLITORE_SSE2
    const unsigned char* copyBlocks(const unsigned char* p, const unsigned char* stop, const unsigned char* end,
                                    unsigned char*& out) const
    {
        const __m128i s0 = m_vectors[0], s1 = m_vectors[1], s2 = m_vectors[2], s3 = m_vectors[3];
        const __m128i space = m_vectors[4];
        const bool spaces = m_spaces;
        // One character past each block is read to see whether a space is followed by another.
        return ::copyBlocks(p, std::min(stop - p, end - p - 1), out, [&](__m128i v, const unsigned char* at) {
            __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, s0), _mm_cmpeq_epi8(v, s1)),
                                       _mm_or_si128(_mm_cmpeq_epi8(v, s2), _mm_cmpeq_epi8(v, s3)));
            if (spaces) {
                const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
                hit = _mm_or_si128(hit, _mm_and_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(after, space)));
            }
            return hit;
        });
    }
#endif

    std::array<bool, 256> m_special;
    std::array<unsigned char, 4> m_stops {};
#ifdef SNELLITORE_SSE2
    __m128i m_vectors[5]; // the four stops and the space, spread over sixteen lanes
#endif
    bool m_spaces = false;
    bool m_none = false;
};

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

// Copies the characters that the last dispatch row would write one by one, up to the next character
// another row takes or the end of the source. Every character copied here counts as read by the main
// loop, so the progress value is brought up to date at each step it passes.
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
        const auto buffered = static_cast<std::size_t>(source.end() - source.next());
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(std::min(buffered, destination.room()), untilChange));
        const unsigned char* const start = source.next();
        const unsigned char* const stop = start + n;
        unsigned char* out = destination.next();
        const unsigned char* lastRead = start;
        const unsigned char* const p = special.copy(start, stop, source.end(), out, lastRead);
        const bool copied = p != start;
        const std::int64_t readPosition = run.position() + (lastRead - start);
        destination.advance(static_cast<std::size_t>(out - destination.next()));
        source.skipTo(p);
        if (lastRead != start)
            run.progress.reached(readPosition);
        if (p != stop || !copied)
            return; // the next character belongs to a rule
    }
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
