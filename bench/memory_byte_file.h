// In-memory byte files for the benchmark: a source over a buffer the caller owns and a sink into a fixed buffer.
#pragma once

#include <platform/byte_file.h>
#include <platform/io_error.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

// Reads a buffer that outlives it; writing is refused.
class MemorySource final : public ByteFile
{
public:
    MemorySource(const unsigned char* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    int read(unsigned char* buffer, std::size_t n, std::size_t& got) override
    {
        got = m_position < m_size ? std::min(n, m_size - m_position) : 0;
        std::memcpy(buffer, m_data + m_position, got);
        m_position += got;
        return IoCode::Ok;
    }
    int write(const unsigned char*, std::size_t, std::size_t& stored) override
    {
        stored = 0;
        return IoCode::AccessDenied;
    }
    int size(std::int64_t& bytes) override
    {
        bytes = static_cast<std::int64_t>(m_size);
        return IoCode::Ok;
    }
    int seek(std::int64_t offset) override
    {
        if (offset < 0)
            return 87; // invalid parameter, as a negative file offset is on disk
        m_position = static_cast<std::size_t>(offset);
        return IoCode::Ok;
    }
    int close() override { return IoCode::Ok; }

private:
    const unsigned char* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

// Writes into a preallocated buffer, so that a timed run pays for no allocation; past its capacity the
// disk is "full".
class MemorySink final : public ByteFile
{
public:
    MemorySink(unsigned char* buffer, std::size_t capacity)
        : m_buffer(buffer)
        , m_capacity(capacity)
    {
    }

    int read(unsigned char* buffer, std::size_t n, std::size_t& got) override
    {
        got = m_position < m_length ? std::min(n, m_length - m_position) : 0;
        std::memcpy(buffer, m_buffer + m_position, got);
        m_position += got;
        return IoCode::Ok;
    }
    int write(const unsigned char* data, std::size_t n, std::size_t& stored) override
    {
        stored = m_position < m_capacity ? std::min(n, m_capacity - m_position) : 0;
        std::memcpy(m_buffer + m_position, data, stored);
        m_position += stored;
        m_length = std::max(m_length, m_position);
        return stored < n ? IoCode::DiskFull : IoCode::Ok;
    }
    int size(std::int64_t& bytes) override
    {
        bytes = static_cast<std::int64_t>(m_length);
        return IoCode::Ok;
    }
    int seek(std::int64_t offset) override
    {
        if (offset < 0)
            return 87;
        m_position = static_cast<std::size_t>(offset);
        return IoCode::Ok;
    }
    int close() override { return IoCode::Ok; }

    std::size_t length() const { return m_length; }

private:
    unsigned char* m_buffer;
    std::size_t m_capacity;
    std::size_t m_position = 0;
    std::size_t m_length = 0;
};
