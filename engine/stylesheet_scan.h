// Reading a stylesheet for the elements it gives a preformatted white-space: the names in the last compound
// selector of every rule that sets white-space (or white-space-collapse) to a value that keeps whitespace.
#pragma once

#include <engine/line_input.h>
#include <engine/preserved_names.h>

#include <cstdint>
#include <string>
#include <string_view>

// A stylesheet's characters: a whole file, or a <style> block of a page, which ends before its "</style".
class CssInput
{
public:
    static constexpr int End = LineInput::End;

    CssInput(LineInput& input, bool endsAtStyleTag)
        : m_input(input)
        , m_endsAtStyleTag(endsAtStyleTag)
    {
    }
    int get();
    void unget() { m_input.rewindTo(m_start); }
    // Where the character get() answered last began.
    std::int64_t lastStart() const { return m_start; }
    std::int64_t position() const { return m_input.position(); }
    void rewindTo(std::int64_t position) { m_input.rewindTo(position); }

private:
    bool atStyleEndTag();

    LineInput& m_input;
    bool m_endsAtStyleTag;
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
