// The state of one compaction run, its buffered source and destination, and the four rules that act on it.
#pragma once

#include <engine/compaction.h>

#include <cstdint>
#include <string_view>
#include <vector>

inline constexpr std::string_view OpenDivPattern = "DIV ALIGN=\"CENTER\">"; // after '<', letters compared as capitals
inline constexpr std::string_view CloseDivPattern = "/DIV>";
inline constexpr std::string_view OpenCenterText = "<center>";
inline constexpr std::string_view CloseCenterText = "</center>";

inline constexpr unsigned char Tab = 9;
inline constexpr unsigned char Lf = 10;
inline constexpr unsigned char Cr = 13;
inline constexpr unsigned char Space = 32;
inline constexpr unsigned char Quote = 34;
inline constexpr unsigned char Semicolon = 59;
inline constexpr unsigned char Less = 60;
inline constexpr unsigned char Greater = 62;

// The source seen through a block buffer. Reading on and then stepping back or rewinding is cheap while
// the target is still buffered; a rewind further back repositions the file and reads it again.
class SourceReader
{
public:
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
    void stepBack() { rewindTo(position() - 1); }
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
};

// The destination behind a block buffer. A failed flush leaves in the file exactly the bytes that fitted;
// every flush after it raises the same error again and writes nothing.
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

// Tells the sink each new whole percentage. The value only changes at known positions, so the main loop
// compares one number per character and computes a percentage about a hundred times per file.
class ProgressMeter
{
public:
    ProgressMeter(ProgressSink& sink, std::int64_t size);
    void reached(std::int64_t position)
    {
        if (position >= m_nextChange)
            change(position);
    }
    std::int64_t nextChange() const { return m_nextChange; }

private:
    void change(std::int64_t position);

    ProgressSink& m_sink;
    std::int64_t m_size;
    int m_shown = -1;
    std::int64_t m_nextChange = 1;
};

struct CompactionRun
{
    CompactionRun(ByteFile& source, ByteFile& destination, std::int64_t size, const CompactionOptions& options,
                  ProgressSink& sink, std::size_t blockSize);

    SourceReader sourceFile;           // the source; its position is the number of characters consumed
    DestinationWriter destinationFile; // the destination; it counts the characters written
    unsigned char current = 0;         // the character most recently read; the rules overwrite it as they read ahead
    std::int64_t sourceSize;           // the size of the source, taken once before the main loop
    bool insideCenteredDiv = false;    // a rewritten centred DIV is open: look for its closing tag
    CompactionOptions options;         // the four flags, fixed for the run
    ProgressMeter progress;            // the gauge's value, set after each character the main loop reads

    std::int64_t position() const { return sourceFile.position(); }
    std::int64_t written() const { return destinationFile.written(); }
    unsigned char read() { return current = sourceFile.read(); }
    void write(unsigned char c) { destinationFile.write(c); }
};

void CollapseSpaceRun(CompactionRun& run);
void DropGapAfterTag(CompactionRun& run);
bool RewriteCenteredDiv(CompactionRun& run);
void SqueezeTag(CompactionRun& run);
