// A source as the HTML and CSS parsers see it: a CR before an LF is dropped and a lone CR reads as LF.
#pragma once

#include <engine/source_reader.h>

#include <cstdint>

class LineInput
{
public:
    static constexpr int End = -1;

    explicit LineInput(SourceReader& source)
        : m_source(source)
    {
    }

    // The next character, or End.
    int get()
    {
        m_start = m_source.position();
        if (m_source.atEnd())
            return End;
        const unsigned char c = m_source.read();
        if (c != '\r')
            return c;
        if (!m_source.atEnd()) {
            if (m_source.next() == m_source.end())
                m_source.refill();
            if (*m_source.next() == '\n')
                m_source.skipTo(m_source.next() + 1);
        }
        return '\n';
    }
    // The character get() answered last is read again (never further back: the reader keeps it buffered).
    void unget() { m_source.rewindTo(m_start); }
    // Where the character get() answered last began in the source.
    std::int64_t lastStart() const { return m_start; }
    std::int64_t position() const { return m_source.position(); }
    void rewindTo(std::int64_t position) { m_source.rewindTo(position); }
    SourceReader& source() { return m_source; }

private:
    SourceReader& m_source;
    std::int64_t m_start = 0;
};
