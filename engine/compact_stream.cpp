// The compaction run on two open files: the main loop, its dispatch, and compactStream.
#include <engine/compaction.h>

#include <engine/characters.h>
#include <engine/compaction_run.h>
#include <engine/plain_text.h>
#include <engine/rules.h>
#include <engine/run_frame.h>

#include <platform/byte_file.h>

namespace {

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
    return runFramed(source, destination, progress, [&](std::int64_t size) {
        CompactionRun run(source, destination, size, options, progress, blockSize);
        writeOutAfter(run.destinationFile, [&] { runMainLoop(run); });
        return CompactionResult {run.sourceSize, run.written()};
    });
}
