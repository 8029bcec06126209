// Spooling a source that cannot be read where it is: the same on every system, on top of openTemporaryFile.
#include <platform/io_error.h>
#include <platform/temporary_files.h>

#include <vector>

namespace {

constexpr std::size_t SpoolBlockSize = 64 * 1024;

} // namespace

namespace platform {

int spoolToTemporaryFile(ByteFile& input, std::unique_ptr<SystemFile>& spooled, bool& failedInTemporary)
{
    failedInTemporary = true;
    std::unique_ptr<SystemFile> file;
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

} // namespace platform
