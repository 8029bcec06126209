// The run's source seen through a block buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ByteFile;

// Told of every block the reader takes from its file, as it takes it (again after a rewind that forgets).
class BlockWatcher
{
public:
    virtual ~BlockWatcher() = default;
    virtual void taken(const unsigned char* block, std::size_t n) = 0;
};

// Reading on and then rewinding is cheap while the target is still buffered; a rewind further back
// repositions the file and reads it again.
class SourceReader
{
public:
    // Characters kept from the previous block, so that rewinding a short look-ahead never has to read the
    // file again.
    static constexpr std::size_t KeepBehind = 32;

    SourceReader(ByteFile& file, std::int64_t size, std::size_t blockSize);

    bool atEnd() const { return position() >= m_size; }
    std::int64_t position() const { return m_base + (m_next - m_buffer.data()); }
    // The next character; call only when not at the end.
    unsigned char read()
    {
        if (m_next == m_end)
            refill();
        return *m_next++;
    }
    void rewindTo(std::int64_t target)
    {
        if (target >= m_base && target <= m_base + (m_end - m_buffer.data()))
            m_next = m_buffer.data() + (target - m_base);
        else
            forget(target);
    }
    // Skips characters while keep(c) holds. True when it stopped before a character that fails the test
    // (still unread, at next()), false when the source ended.
    template <class Keep>
    bool skipWhile(Keep keep)
    {
        for (;;) {
            const unsigned char* p = m_next;
            while (p != m_end && keep(*p))
                ++p;
            m_next = p;
            if (p != m_end)
                return true;
            if (atEnd())
                return false;
            refill();
        }
    }

    // Direct access for bulk scanning: the buffered characters not read yet.
    const unsigned char* next() const { return m_next; }
    const unsigned char* end() const { return m_end; }
    void skipTo(const unsigned char* next) { m_next = next; }
    // Buffers more characters; call only when none are buffered and the source is not at its end.
    void refill();
    // null: none.
    void watch(BlockWatcher* watcher) { m_watcher = watcher; }

private:
    void forget(std::int64_t target);

    ByteFile& m_file;
    std::int64_t m_size;
    std::size_t m_blockSize;
    std::vector<unsigned char> m_buffer;
    std::int64_t m_base = 0;       // source offset of m_buffer[0]
    std::int64_t m_fileOffset = -1; // where the file's own pointer stands; unknown until the first read
    const unsigned char* m_next;
    const unsigned char* m_end;
    BlockWatcher* m_watcher = nullptr;
};
