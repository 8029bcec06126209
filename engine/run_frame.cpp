// The frame that every run on two open files shares.
#include <engine/run_frame.h>

#include <engine/destination_writer.h>

#include <platform/byte_file.h>
#include <platform/io_error.h>

#include <algorithm>

// A run needs no buffer larger than its source: a page of a few bytes must not cost two blocks of 256 KiB.
// The source is read in blocks of the same length either way, and the output is never longer than the source,
// so a small file is still read and written in one operation each.
std::size_t runBlockSize(std::int64_t sourceSize, std::size_t blockSize)
{
    if (blockSize == 0)
        blockSize = DefaultBlockSize;
    return static_cast<std::size_t>(std::clamp<std::int64_t>(sourceSize, 1, static_cast<std::int64_t>(blockSize)));
}

CompactionResult runFramed(ByteFile& source, ByteFile& destination, ProgressSink& progress,
                           const std::function<CompactionResult(std::int64_t size)>& body)
{
    progress.setVisible(true);
    try {
        std::int64_t size = 0;
        check(source.size(size), FileSide::Source);
        const CompactionResult result = body(size);
        check(source.close(), FileSide::Source);
        check(destination.close(), FileSide::Destination);
        progress.setVisible(false);
        progress.setProgress(0);
        return result;
    } catch (...) {
        // The gauge must not stay on screen after a failed run.
        progress.setVisible(false);
        progress.setProgress(0);
        throw;
    }
}

void writeOutAfter(DestinationWriter& destination, const std::function<void()>& loop)
{
    try {
        loop();
    } catch (const EInOutError&) {
        if (!destination.failed()) {
            try {
                destination.flush();
            } catch (const EInOutError&) {
            }
        }
        throw;
    }
    destination.flush();
}
