// The run's destination behind a block buffer.
#include <engine/destination_writer.h>

#include <platform/byte_file.h>
#include <platform/io_error.h>

#include <algorithm>
#include <cstring>

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
        throw EInOutError(m_failureCode, FileSide::Destination);
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
        throw EInOutError(code, FileSide::Destination);
    }
}
