// Reading a stylesheet for the elements it gives a preformatted white-space: the names in the last compound
// selector of every rule that sets white-space (or white-space-collapse) to a value that keeps whitespace.
#pragma once

#include <engine/line_input.h>
#include <engine/preserved_names.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// A stylesheet's characters: a whole file, or a <style> block of a page, which ends before its "</style". A
// block that the first reading of a page found without knowing the markup around it may not be one (it may
// stand in a script's string), so it also ends before the next "<style", and is then cut: what it was in the
// middle of is not known.
class CssInput
{
public:
    static constexpr int End = LineInput::End;

    CssInput(LineInput& input, bool styleBlock)
        : m_input(input)
        , m_styleBlock(styleBlock)
    {
    }
    int get()
    {
        SourceReader& source = m_input.source();
        if (source.next() != source.end()) { // the common character, read straight from the buffer
            const unsigned char c = *source.next();
            if (c != '<' && c != '\r' && c != '\f') {
                m_start = source.position();
                source.skipTo(source.next() + 1);
                return c;
            }
        }
        return slowGet();
    }
    void unget() { m_input.rewindTo(m_start); }
    // Passes over the buffered characters that neither end a statement nor open a string, a comment, an escape or
    // a bracket; window takes the last of them, in lower case.
    std::uint64_t skipPlain(std::uint64_t window)
    {
        SourceReader& source = m_input.source();
        const unsigned char* p = source.next();
        const unsigned char* const e = source.end();
        while (p != e && Plain[*p]) {
            const unsigned char c = *p++;
            window = (window << 8) | (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        source.skipTo(p);
        return window;
    }
    // Where the character get() answered last began.
    std::int64_t lastStart() const { return m_start; }
    std::int64_t position() const { return m_input.position(); }
    void rewindTo(std::int64_t position) { m_input.rewindTo(position); }
    // The block ended at a "<style" rather than at its end tag.
    bool cut() const { return m_cut; }

private:
    static constexpr std::array<bool, 256> Plain = [] {
        std::array<bool, 256> plain {};
        plain.fill(true);
        for (const unsigned char c : {'/', '"', '\'', '\\', '(', ')', '[', ']', '{', '}', ';', '<', '\r', '\f'})
            plain[c] = false;
        return plain;
    }();

    int slowGet();
    bool atStyleTag();

    LineInput& m_input;
    bool m_styleBlock;
    bool m_cut = false;
    std::int64_t m_start = 0;
};

// Where the @import rules of a stylesheet lead.
class ImportHandler
{
public:
    virtual ~ImportHandler() = default;
    // url as written (an empty one when it was too long to keep).
    virtual void import(std::string_view url) = 0;
};

// Reads the stylesheet to its end and adds to names what its rules give a preformatted white-space. A rule that
// names no element in a last compound (`*`, `:root`, `:not(.a)`), or one it cannot tell, keeps everything.
// Memory is bounded: blocks are nested at most MostNesting deep (deeper ones keep everything once they match),
// and a selector is read a second time, from the source, only once its block turns out to keep whitespace.
void scanStylesheet(CssInput& input, PreservedNames& names, ImportHandler& imports);

// Whether a declaration's value keeps whitespace when its property is white-space or white-space-collapse:
// pre, pre-wrap, pre-line, break-spaces, preserve..., or anything it cannot tell (var(), an escape).
class PreservingValue
{
public:
    void add(unsigned char c);
    bool found() const { return m_found; }

private:
    std::uint64_t m_window = 0; // the last eight characters, in lower case
    bool m_found = false;
};

// A style attribute's value, looked at a character at a time: true when it may give the element a white-space
// that keeps whitespace. Entities and escapes count as such, since they may spell anything.
class StyleAttributeCheck
{
public:
    void add(unsigned char c);
    bool keepsWhitespace() const { return m_escaped || (m_white && m_value.found()); }

private:
    PreservingValue m_value;
    std::uint64_t m_window = 0;
    bool m_white = false;
    bool m_escaped = false;
};
