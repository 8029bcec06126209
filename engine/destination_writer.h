// The run's destination behind a block buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class ByteFile;

// A failed flush leaves in the file exactly the bytes that fitted; every flush after it raises the same
// error again and writes nothing.
class DestinationWriter
{
public:
    DestinationWriter(ByteFile& file, std::size_t blockSize);

    void write(unsigned char c)
    {
        if (m_next == m_end)
            flush();
        *m_next++ = c;
    }
    void write(std::string_view text);
    void write(const unsigned char* data, std::size_t n);
    void flush();
    std::int64_t written() const { return m_flushed + (m_next - m_buffer.data()); }
    bool failed() const { return m_failed; }

    // Direct access for bulk copying: room left in the buffer.
    unsigned char* next() { return m_next; }
    std::size_t room() const { return static_cast<std::size_t>(m_end - m_next); }
    void advance(std::size_t n) { m_next += n; }

private:
    ByteFile& m_file;
    std::vector<unsigned char> m_buffer;
    unsigned char* m_next;
    unsigned char* m_end;
    std::int64_t m_flushed = 0;
    bool m_failed = false;
    int m_failureCode = 0;
};
