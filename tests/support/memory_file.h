// A byte file in memory that can be told to fail: at its n-th operation, when full, or by reading short.
#pragma once

#include <platform/byte_file.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

class MemoryFile : public ByteFile
{
public:
    explicit MemoryFile(std::string contents = {})
        : data(std::move(contents))
    {
    }

    int read(unsigned char* buffer, std::size_t n, std::size_t& got) override
    {
        got = 0;
        if (int code = nextOperation())
            return code;
        const std::size_t available = position < data.size() ? data.size() - position : 0;
        got = std::min({n, available, maxRead});
        data.copy(reinterpret_cast<char*>(buffer), got, position);
        position += got;
        return 0;
    }
    int write(const unsigned char* buffer, std::size_t n, std::size_t& stored) override
    {
        stored = 0;
        if (int code = nextOperation())
            return code;
        const std::size_t room = position < capacity ? capacity - position : 0;
        stored = std::min(n, room);
        if (data.size() < position + stored)
            data.resize(position + stored);
        data.replace(position, stored, reinterpret_cast<const char*>(buffer), stored);
        position += stored;
        return stored < n ? 101 : 0;
    }
    int size(std::int64_t& bytes) override
    {
        if (int code = nextOperation())
            return code;
        bytes = reportedSize >= 0 ? reportedSize : static_cast<std::int64_t>(data.size());
        return 0;
    }
    int seek(std::int64_t offset) override
    {
        if (int code = nextOperation())
            return code;
        ++seeks;
        position = static_cast<std::size_t>(offset);
        return 0;
    }
    int close() override
    {
        if (int code = nextOperation())
            return code;
        closed = true;
        return 0;
    }

    std::string data;
    std::size_t position = 0;
    int failAt = -1;  // the operation (0 = first) that fails with failCode
    int failCode = 0;
    std::size_t maxRead = std::numeric_limits<std::size_t>::max(); // bytes one read delivers at most
    std::size_t capacity = std::numeric_limits<std::size_t>::max(); // writes past this store nothing: disk full
    std::int64_t reportedSize = -1; // when set, size() claims this instead of the real length
    int operations = 0;
    int seeks = 0;
    bool closed = false;

private:
    int nextOperation() { return operations++ == failAt ? failCode : 0; }
};
