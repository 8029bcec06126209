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
        if (m_source.next() != m_source.end()) {
            const unsigned char c = *m_source.next();
            m_source.skipTo(m_source.next() + 1);
            m_width = 1;
            if (c != '\r')
                return c;
            return lineEnd();
        }
        if (m_source.atEnd()) {
            m_width = 0;
            return End;
        }
        m_source.refill();
        return get();
    }
    // The character get() answered last is read again (never further back: the reader keeps it buffered).
    void unget() { m_source.rewindTo(lastStart()); }
    // Where the character get() answered last began in the source.
    std::int64_t lastStart() const { return m_source.position() - m_width; }
    std::int64_t position() const { return m_source.position(); }
    void rewindTo(std::int64_t position)
    {
        m_source.rewindTo(position);
        m_width = 0;
    }
    SourceReader& source() { return m_source; }

private:
    // After a CR: an LF right after it belongs to the same line end.
    int lineEnd()
    {
        if (!m_source.atEnd()) {
            if (m_source.next() == m_source.end())
                m_source.refill();
            if (*m_source.next() == '\n') {
                m_source.skipTo(m_source.next() + 1);
                m_width = 2;
            }
        }
        return '\n';
    }

    SourceReader& m_source;
    int m_width = 0; // bytes of the source the last character took: 2 for CR LF, 0 at the end
};
