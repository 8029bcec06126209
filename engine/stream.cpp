// The run's buffered source and destination, and the progress meter.
#include <engine/arithmetic.h>
#include <engine/compaction_run.h>
#include <platform/io_error.h>

#include <platform/byte_file.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Characters kept from the previous block, so that stepping back one or rewinding a short look-ahead
// (at most the length of OpenDivPattern) never has to read the file again.
constexpr std::size_t KeepBehind = 32;
static_assert(KeepBehind > OpenDivPattern.size());

} // namespace

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
        check(m_file.seek(at));
        m_fileOffset = at;
    }
    const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(m_blockSize, m_size - at));
    std::size_t got = 0;
    check(m_file.read(fresh, wanted, got));
    if (got == 0) // the source became shorter than its size said
        throw EInOutError(IoCode::ReadPastEnd);
    m_fileOffset += static_cast<std::int64_t>(got);
    m_end = fresh + got;
}

DestinationWriter::DestinationWriter(ByteFile& file, std::size_t blockSize)
    : m_file(file)
    , m_buffer(blockSize)
    , m_next(m_buffer.data())
    , m_end(m_buffer.data() + m_buffer.size())
{
}

void DestinationWriter::write(std::string_view text)
{
    write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

void DestinationWriter::write(const unsigned char* data, std::size_t n)
{
    while (n > 0) {
        if (m_next == m_end)
            flush();
        const std::size_t part = std::min(n, room());
        std::memcpy(m_next, data, part);
        m_next += part;
        data += part;
        n -= part;
    }
}

void DestinationWriter::flush()
{
    if (m_failed) {
        // Nothing more may reach the file after the bytes that did not fit. The buffer is emptied, so that a
        // caller that goes on writing after the error stays inside it, and the error is raised again.
        m_next = m_buffer.data();
        throw EInOutError(m_failureCode);
    }
    const auto pending = static_cast<std::size_t>(m_next - m_buffer.data());
    if (pending == 0)
        return;
    std::size_t stored = 0;
    int code = m_file.write(m_buffer.data(), pending, stored);
    if (code == IoCode::Ok && stored < pending)
        code = IoCode::DiskFull;
    m_flushed += static_cast<std::int64_t>(stored);
    m_next = m_buffer.data();
    if (code != IoCode::Ok) {
        m_failed = true;
        m_failureCode = code;
        throw EInOutError(code);
    }
}

ProgressMeter::ProgressMeter(ProgressSink& sink, std::int64_t size)
    : m_sink(sink)
    , m_size(size)
{
}

void ProgressMeter::change(std::int64_t position)
{
    const int percent = progressPercent(position, m_size);
    if (percent != m_shown) {
        m_shown = percent;
        m_sink.setProgress(percent);
    }
    if (percent >= 100) {
        m_nextChange = std::numeric_limits<std::int64_t>::max();
        return;
    }
    // First position whose percentage passes percent + 1/2; one more when that is an exact half rounded down.
    std::int64_t next = ((2 * percent + 1) * m_size + 199) / 200;
    while (progressPercent(next, m_size) <= percent)
        ++next;
    m_nextChange = next;
}
