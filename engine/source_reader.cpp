// The run's source seen through a block buffer.
#include <engine/source_reader.h>

#include <platform/byte_file.h>
#include <platform/io_error.h>

#include <algorithm>
#include <cstring>

SourceReader::SourceReader(ByteFile& file, std::int64_t size, std::size_t blockSize)
    : m_file(file)
    , m_size(size)
    , m_blockSize(blockSize)
    , m_buffer(KeepBehind + blockSize)
    , m_next(m_buffer.data())
    , m_end(m_buffer.data())
{
}

// Too far back for the buffer: forget it; the next read repositions the file.
void SourceReader::forget(std::int64_t target)
{
    m_base = target;
    m_next = m_end = m_buffer.data();
}

void SourceReader::refill()
{
    const std::int64_t at = position();
    const std::size_t kept = std::min<std::size_t>(KeepBehind, static_cast<std::size_t>(m_end - m_buffer.data()));
    std::memmove(m_buffer.data(), m_end - kept, kept);
    unsigned char* const fresh = m_buffer.data() + kept;
    m_base = at - static_cast<std::int64_t>(kept);
    m_next = m_end = fresh;
    if (m_fileOffset != at) {
        check(m_file.seek(at), FileSide::Source);
        m_fileOffset = at;
    }
    const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(m_blockSize, m_size - at));
    std::size_t got = 0;
    check(m_file.read(fresh, wanted, got), FileSide::Source);
    if (got == 0) // the source became shorter than its size said
        throw EInOutError(IoCode::ReadPastEnd, FileSide::Source);
    m_fileOffset += static_cast<std::int64_t>(got);
    m_end = fresh + got;
    if (m_watcher)
        m_watcher->taken(fresh, got);
}
