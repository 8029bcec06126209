// Reading a stylesheet for the elements it gives a preformatted white-space.
#include <engine/stylesheet_scan.h>

#include <array>
#include <cstddef>

namespace {

constexpr int End = CssInput::End;
constexpr std::size_t MostNesting = 32;        // blocks inside blocks whose selectors are remembered
constexpr std::size_t MostSelectorNesting = 4; // :is() inside :is() ... read for names
constexpr std::size_t MostUrl = 2048;          // characters of an @import's URL kept
constexpr std::size_t MostCompoundNames = 32;  // names of one compound selector held until it proves last

unsigned char lower(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool isWhitespace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f';
}

bool isNameCharacter(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
        || c >= 0x80;
}

bool isHexDigit(int c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(int c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

template <std::size_t N>
bool endsWith(std::uint64_t window, const char (&text)[N])
{
    std::uint64_t want = 0;
    for (std::size_t i = 0; i + 1 < N; ++i)
        want = (want << 8) | static_cast<unsigned char>(text[i]);
    const std::uint64_t mask = N - 1 >= 8 ? ~0ull : (1ull << (8 * (N - 1))) - 1;
    return (window & mask) == want;
}

// Adds the UTF-8 form of a code point, as the name is spelt in a page.
void addCodePoint(NameHash& hash, unsigned long code)
{
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if (code < 0x80) {
        hash.add(static_cast<unsigned char>(code));
    } else if (code < 0x800) {
        hash.add(static_cast<unsigned char>(0xC0 | (code >> 6)));
        hash.add(static_cast<unsigned char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        hash.add(static_cast<unsigned char>(0xE0 | (code >> 12)));
        hash.add(static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F)));
        hash.add(static_cast<unsigned char>(0x80 | (code & 0x3F)));
    } else {
        hash.add(static_cast<unsigned char>(0xF0 | (code >> 18)));
        hash.add(static_cast<unsigned char>(0x80 | ((code >> 12) & 0x3F)));
        hash.add(static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F)));
        hash.add(static_cast<unsigned char>(0x80 | (code & 0x3F)));
    }
}

// Skips a comment whose "/*" has been read.
void skipComment(CssInput& in)
{
    for (int previous = 0, c = in.get(); c != End; previous = c, c = in.get())
        if (previous == '*' && c == '/')
            return;
}

// Skips a string whose opening quote has been read; an unescaped line break ends it, as it does for the parser.
void skipString(CssInput& in, int quote, std::string* kept = nullptr)
{
    for (int c = in.get(); c != End && c != quote; c = in.get()) {
        if (c == '\n') {
            in.unget();
            return;
        }
        if (c == '\\') {
            c = in.get();
            if (c == End)
                return;
        }
        if (kept && kept->size() < MostUrl)
            kept->push_back(static_cast<char>(c));
    }
}

// Skips the rest of an unquoted url( ... ), whose quotes are no strings.
void skipUnquotedUrl(CssInput& in, std::string* kept = nullptr)
{
    for (int c = in.get(); c != End && c != ')'; c = in.get()) {
        if (c == '\\' && (c = in.get()) == End)
            return;
        if (kept && kept->size() < MostUrl && !isWhitespace(c))
            kept->push_back(static_cast<char>(c));
    }
}

// Reads "url(" 's argument, after the "(": a string or an unquoted URL.
void readUrlArgument(CssInput& in, std::string* kept)
{
    int c = in.get();
    while (isWhitespace(c))
        c = in.get();
    if (c == '"' || c == '\'') {
        skipString(in, c, kept);
        return;
    }
    in.unget();
    skipUnquotedUrl(in, kept);
}

// One statement or block prelude, read up to the '{', ';' or '}' that ends it (outside strings, comments and
// brackets), with what the rest of the scan needs to know of it.
struct Segment
{
    std::int64_t start = 0;     // where its first character is
    std::int64_t finish = 0;    // where the character that ended it is
    int terminator = End;       // '{', ';', '}' or End
    bool atRule = false;        // it starts with '@'
    bool keyframes = false;     // @keyframes and its prefixed forms
    bool import = false;        // @import
    bool whiteSpace = false;    // a declaration of white-space or white-space-collapse (or an escaped name)
    bool preserving = false;    // its value may keep whitespace
    bool empty = true;          // no character but whitespace and comments
    std::string url;            // an @import's URL
};

class SegmentReader
{
public:
    explicit SegmentReader(CssInput& in)
        : m_in(in)
    {
    }

    Segment read()
    {
        Segment s;
        int c = skipSpace();
        s.start = c == End ? m_in.position() : m_in.lastStart();
        m_name.clear();
        m_nameDone = false;
        m_nameEscaped = false;
        m_inValue = false;
        m_value = PreservingValue();
        m_window = 0;
        int depth = 0;
        for (; c != End; c = m_in.get()) {
            if (depth == 0 && (c == '{' || c == ';' || c == '}')) {
                s.terminator = c;
                break;
            }
            if (s.empty) {
                s.empty = false;
                s.atRule = c == '@';
                if (s.atRule) {
                    readAtName(s);
                    continue;
                }
            }
            step(c, depth, s);
            // Past a declaration's name, only a white-space value needs each character looked at.
            if (m_nameDone && !(m_inValue && (m_nameEscaped || m_name.rfind("white-space", 0) == 0)))
                m_window = m_in.skipPlain(m_window);
        }
        s.finish = c == End ? m_in.position() : m_in.lastStart();
        const bool named = m_name.rfind("white-space", 0) == 0 || m_nameEscaped;
        s.whiteSpace = !s.atRule && m_inValue && named;
        s.preserving = m_value.found();
        return s;
    }

private:
    int skipSpace()
    {
        for (;;) {
            int c = m_in.get();
            if (isWhitespace(c))
                continue;
            if (c == '/') {
                if (m_in.get() == '*') {
                    skipComment(m_in);
                    continue;
                }
                m_in.unget();
            }
            return c;
        }
    }

    void readAtName(Segment& s)
    {
        std::string name;
        int c = m_in.get();
        while (isNameCharacter(c) && name.size() < 64) {
            name.push_back(static_cast<char>(lower(static_cast<unsigned char>(c))));
            c = m_in.get();
        }
        m_in.unget();
        s.keyframes = name.find("keyframes") != std::string::npos;
        s.import = name == "import";
    }

    void step(int c, int& depth, Segment& s)
    {
        if (c == '/') {
            if (m_in.get() == '*') {
                skipComment(m_in);
                return;
            }
            m_in.unget();
        }
        if (c == '"' || c == '\'') {
            skipString(m_in, c, s.import && s.url.empty() ? &s.url : nullptr);
            return;
        }
        if (c == '\\') {
            if (!m_nameDone)
                m_nameEscaped = true;
            m_value.add('\\');
            if (m_in.get() == End)
                m_in.unget();
            return;
        }
        const unsigned char u = static_cast<unsigned char>(c);
        m_window = (m_window << 8) | lower(u);
        if (c == '(') {
            if (endsWith(m_window, "url(")) {
                readUrlArgument(m_in, s.import && s.url.empty() ? &s.url : nullptr);
                return;
            }
            ++depth;
        } else if ((c == ')' || c == ']') && depth > 0) {
            --depth;
        } else if (c == '[') {
            ++depth;
        }
        if (!m_nameDone) {
            if (c == ':' && depth == 0) {
                m_nameDone = true;
                m_inValue = true;
            } else if (isNameCharacter(c) && m_name.size() < 32) {
                m_name.push_back(static_cast<char>(lower(u)));
            } else if (!isWhitespace(c)) {
                m_nameDone = true; // a selector, not a declaration
            }
            return;
        }
        if (m_inValue)
            m_value.add(u);
    }

    CssInput& m_in;
    std::string m_name;
    bool m_nameDone = false;
    bool m_nameEscaped = false;
    bool m_inValue = false;
    PreservingValue m_value;
    std::uint64_t m_window = 0;
};

// The names of one compound selector, held until the compound proves to be the last of its selector.
class Compound
{
public:
    explicit Compound(PreservedNames& names)
        : m_names(names)
    {
    }
    void add(NameKind kind, std::uint64_t hash)
    {
        m_restricted = true;
        if (m_count == MostCompoundNames) { // too many to hold: a few names too many is only less saved
            m_names.add(kind, hash);
            return;
        }
        m_kinds[m_count] = kind;
        m_hashes[m_count++] = hash;
    }
    // An argument of :is() that names nothing leaves the compound unrestricted, whatever else it names.
    void unrestrict() { m_unrestricted = true; }
    void nesting() { m_nesting = true; }
    void clear()
    {
        m_count = 0;
        m_restricted = m_unrestricted = m_nesting = false;
    }
    bool restricted() const { return m_restricted && !m_unrestricted; }
    bool hasNesting() const { return m_nesting; }
    bool empty() const { return m_count == 0 && !m_restricted && !m_unrestricted && !m_nesting; }
    void commit(Compound* into) const
    {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (into)
                into->add(m_kinds[i], m_hashes[i]);
            else
                m_names.add(m_kinds[i], m_hashes[i]);
        }
    }

private:
    PreservedNames& m_names;
    std::array<NameKind, MostCompoundNames> m_kinds {};
    std::array<std::uint64_t, MostCompoundNames> m_hashes {};
    std::size_t m_count = 0;
    bool m_restricted = false;
    bool m_unrestricted = false;
    bool m_nesting = false;
};

// What a selector list says about the elements it matches.
struct SelectorOutcome
{
    bool unrestricted = false; // some last compound names no element
    bool nesting = false;      // some last compound holds '&': the enclosing rule's names count too
};

// Reads a selector list (a rule's prelude, up to finish, or an :is() argument list, up to its ')') and adds the
// names of each selector's last compound to into, or to the names when into is null.
class SelectorReader
{
public:
    SelectorReader(CssInput& in, PreservedNames& names)
        : m_in(in)
        , m_names(names)
    {
    }

    SelectorOutcome readList(std::int64_t finish, Compound* into, std::size_t nesting)
    {
        SelectorOutcome outcome;
        Compound compound(m_names);
        bool space = false;
        for (;;) {
            if (finish >= 0 && m_in.position() >= finish)
                break;
            const int c = m_in.get();
            if (c == End || (c == ')' && finish < 0))
                break;
            if (isWhitespace(c)) {
                space = true;
                continue;
            }
            if (c == ',') {
                finishSelector(compound, into, outcome);
                space = false;
                continue;
            }
            if (c == '>' || c == '+' || c == '~' || c == '|') {
                if (c != '|' || m_in.get() == '|')
                    compound.clear();
                else
                    m_in.unget();
                space = false;
                continue;
            }
            if (space && !compound.empty())
                compound.clear();
            space = false;
            readSimple(c, compound, nesting);
        }
        finishSelector(compound, into, outcome);
        return outcome;
    }

private:
    void finishSelector(Compound& compound, Compound* into, SelectorOutcome& outcome)
    {
        if (compound.hasNesting())
            outcome.nesting = true;
        if (!compound.restricted() && !compound.hasNesting())
            outcome.unrestricted = true;
        compound.commit(into);
        compound.clear();
    }

    void readSimple(int c, Compound& compound, std::size_t nesting)
    {
        switch (c) {
        case '.':
        case '#': {
            const NameKind kind = c == '.' ? NameKind::Class : NameKind::Id;
            const NameHash name = readName(kind, m_in.get());
            if (name.length() > 0)
                compound.add(kind, name.value());
            return;
        }
        case '[':
            readAttribute(compound);
            return;
        case ':':
            readPseudo(compound, nesting);
            return;
        case '&':
            compound.nesting();
            return;
        case '*':
            return;
        case '"':
        case '\'':
            skipString(m_in, c);
            return;
        case '/':
            if (m_in.get() == '*')
                skipComment(m_in);
            else
                m_in.unget();
            return;
        default:
            if (isNameCharacter(c) || c == '\\') {
                const NameHash name = readName(NameKind::Tag, c);
                if (name.length() > 0)
                    compound.add(NameKind::Tag, name.value());
            }
            return;
        }
    }

    // Reads a name starting with c, escapes decoded; the character after it is left unread.
    NameHash readName(NameKind kind, int c)
    {
        NameHash hash(kind);
        for (;; c = m_in.get()) {
            if (c == '\\') {
                readEscape(hash);
                continue;
            }
            if (!isNameCharacter(c))
                break;
            hash.add(static_cast<unsigned char>(c));
        }
        m_in.unget();
        return hash;
    }

    void readEscape(NameHash& hash)
    {
        int c = m_in.get();
        if (c == End || c == '\n') {
            m_in.unget();
            return;
        }
        if (!isHexDigit(c)) {
            hash.add(static_cast<unsigned char>(c));
            return;
        }
        unsigned long code = 0;
        for (int digits = 0; digits < 6 && isHexDigit(c); ++digits, c = m_in.get())
            code = code * 16 + static_cast<unsigned long>(hexValue(c));
        if (!isWhitespace(c))
            m_in.unget();
        addCodePoint(hash, code);
    }

    void readAttribute(Compound& compound)
    {
        int c = m_in.get();
        while (isWhitespace(c))
            c = m_in.get();
        if (c == '*' || c == '|') { // a namespace prefix: the name follows it
            if (c == '*')
                m_in.get();
            c = m_in.get();
        }
        NameHash name = readName(NameKind::Attribute, c);
        c = m_in.get();
        if (c == '|' && (c = m_in.get()) != '=') // that was the namespace
            name = readName(NameKind::Attribute, c);
        else
            m_in.unget();
        if (name.length() > 0)
            compound.add(NameKind::Attribute, name.value());
        else
            compound.unrestrict();
        for (c = m_in.get(); c != End && c != ']'; c = m_in.get())
            if (c == '"' || c == '\'')
                skipString(m_in, c);
    }

    // A pseudo-class or pseudo-element. Only :is() and its synonyms restrict the element by the names inside;
    // the names inside :not(), :has() and the others say nothing about which elements match.
    void readPseudo(Compound& compound, std::size_t nesting)
    {
        int c = m_in.get();
        if (c == ':')
            c = m_in.get();
        std::string name;
        for (; isNameCharacter(c) || c == '\\'; c = m_in.get())
            if (name.size() < 16)
                name.push_back(static_cast<char>(lower(static_cast<unsigned char>(c))));
        if (c != '(') {
            m_in.unget();
            return;
        }
        const bool either = name == "is" || name == "where" || name == "matches" || name == "any"
            || name == "-webkit-any" || name == "-moz-any";
        if (!either || nesting >= MostSelectorNesting) {
            skipBalanced();
            return;
        }
        Compound inner(m_names);
        const SelectorOutcome outcome = readList(-1, &inner, nesting + 1);
        inner.commit(&compound);
        if (outcome.unrestricted)
            compound.unrestrict();
        if (outcome.nesting)
            compound.nesting();
    }

    void skipBalanced()
    {
        int depth = 1;
        for (int c = m_in.get(); c != End; c = m_in.get()) {
            if (c == '"' || c == '\'')
                skipString(m_in, c);
            else if (c == '(')
                ++depth;
            else if (c == ')' && --depth == 0)
                return;
        }
    }

    CssInput& m_in;
    PreservedNames& m_names;
};

// A block being read: where its prelude lies, and what was found in it.
struct Block
{
    std::int64_t start = 0;
    std::int64_t finish = 0;
    bool atRule = false;
    bool keyframes = false;
    bool matched = false;   // one of its own declarations keeps whitespace
    bool namesRead = false; // its selectors' names are in already
};

class StylesheetScan
{
public:
    StylesheetScan(CssInput& in, PreservedNames& names, ImportHandler& imports)
        : m_in(in)
        , m_names(names)
        , m_imports(imports)
        , m_segments(in)
    {
    }

    void run()
    {
        for (;;) {
            Segment s = m_segments.read();
            if (s.import && s.terminator != '{') {
                m_imports.import(s.url.size() < MostUrl ? std::string_view(s.url) : std::string_view());
            } else if (s.terminator == '{') {
                open(s);
                continue;
            } else if (s.whiteSpace && s.preserving && m_depth > 0) {
                if (m_depth > MostNesting)
                    m_names.keepEverything();
                else
                    m_blocks[m_depth - 1].matched = true;
            }
            if (s.terminator == '}')
                close();
            if (s.terminator == End) {
                while (m_depth > 0)
                    close();
                return;
            }
        }
    }

private:
    void open(const Segment& s)
    {
        if (m_depth < MostNesting)
            m_blocks[m_depth] = Block {s.start, s.finish, s.atRule, s.keyframes};
        ++m_depth;
    }

    void close()
    {
        if (m_depth == 0) // a stray '}' is no block's end
            return;
        --m_depth;
        if (m_depth < MostNesting && m_blocks[m_depth].matched)
            resolve(m_depth);
    }

    // The block at index keeps whitespace: the elements its selector names do.
    void resolve(std::size_t index)
    {
        for (std::size_t i = 0; i <= index; ++i)
            if (m_blocks[i].keyframes) { // an animation may set it on any element
                m_names.keepEverything();
                return;
            }
        while (!m_names.everything()) {
            Block& block = m_blocks[index];
            if (block.atRule) { // declarations right inside @media, @scope ...: no selector of their own to read
                m_names.keepEverything();
                return;
            }
            if (block.namesRead)
                return;
            block.namesRead = true;
            const SelectorOutcome outcome = readSelectors(block);
            if (outcome.unrestricted)
                m_names.keepEverything();
            if (!outcome.nesting)
                return;
            // '&' stands for the enclosing rule's selector: its names count too.
            std::size_t parent = index;
            while (parent > 0 && m_blocks[parent - 1].atRule)
                --parent;
            if (parent == 0) {
                m_names.keepEverything();
                return;
            }
            index = parent - 1;
        }
    }

    SelectorOutcome readSelectors(const Block& block)
    {
        const std::int64_t resume = m_in.position();
        m_in.rewindTo(block.start);
        SelectorReader reader(m_in, m_names);
        const SelectorOutcome outcome = reader.readList(block.finish, nullptr, 0);
        m_in.rewindTo(resume);
        return outcome;
    }

    CssInput& m_in;
    PreservedNames& m_names;
    ImportHandler& m_imports;
    SegmentReader m_segments;
    std::array<Block, MostNesting> m_blocks {};
    std::size_t m_depth = 0;
};

} // namespace

// After a '<': "/style" or "style" followed by whitespace, '/' or '>'. The source is left where it was.
bool CssInput::atStyleTag()
{
    const std::int64_t resume = m_input.position();
    int c = m_input.get();
    const bool endTag = c == '/';
    if (endTag)
        c = m_input.get();
    bool matches = lower(static_cast<unsigned char>(c & 0xFF)) == 's';
    for (const char letter : {'t', 'y', 'l', 'e'})
        matches = matches && lower(static_cast<unsigned char>(m_input.get() & 0xFF)) == letter;
    const int after = matches ? m_input.get() : End;
    m_input.rewindTo(resume);
    if (!matches || !(isWhitespace(after) || after == '/' || after == '>'))
        return false;
    m_cut = !endTag;
    return true;
}

int CssInput::slowGet()
{
    m_start = m_input.position();
    const int c = m_input.get();
    if (c == '<' && m_styleBlock && atStyleTag()) {
        m_input.rewindTo(m_start);
        return End;
    }
    return c == '\f' ? '\n' : c;
}

void PreservingValue::add(unsigned char c)
{
    m_window = (m_window << 8) | lower(c);
    if (endsWith(m_window, "pre") || endsWith(m_window, "break") || endsWith(m_window, "var(")
        || endsWith(m_window, "env(") || endsWith(m_window, "attr(") || c == '\\')
        m_found = true;
}

void StyleAttributeCheck::add(unsigned char c)
{
    m_window = (m_window << 8) | lower(c);
    m_value.add(c);
    if (endsWith(m_window, "white"))
        m_white = true;
    if (c == '\\' || c == '&')
        m_escaped = true;
}

void scanStylesheet(CssInput& input, PreservedNames& names, ImportHandler& imports)
{
    StylesheetScan(input, names, imports).run();
}
