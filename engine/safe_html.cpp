// The safe compaction of HTML. One tokenizer serves both readings of a page: the first (Writing false) only
// looks for stylesheets and for a construct the end of the page leaves open; the second writes the page, with
// whitespace changed only where a browser renders it the same: in text outside any element that keeps it, and
// between the attributes of a tag. Everything else is copied, with its line ends read as the HTML parser reads
// them (CR LF and a lone CR as LF).
#include <engine/safe_html.h>

#include <engine/destination_writer.h>
#include <engine/line_input.h>
#include <engine/preserved_names.h>
#include <engine/progress_meter.h>
#include <engine/safe_scan.h>
#include <engine/source_reader.h>
#include <engine/stylesheet_scan.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace {

constexpr int End = LineInput::End;
constexpr std::uint32_t MostDepth = 1u << 30; // nesting counters stop here: a page that deep keeps the rest
constexpr std::size_t ShortName = 12;         // bytes of a tag or attribute name kept to recognise it
constexpr std::size_t MostHref = 2048;        // bytes of a link's href kept
constexpr std::size_t MostRel = 128;          // bytes of a link's rel and as kept
constexpr std::int64_t MostCandidateTag = 64 * 1024; // a longer <link>, <base>, <style> or <script> keeps all

bool isAlpha(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whitespace between attributes, as the tokenizer skips it.
bool isTagSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f';
}

// Whitespace in text that CSS collapses (a form feed is none: it is rendered).

unsigned char lower(int c)
{
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

// A tag's or attribute's name: its first bytes in lower case, to be recognised, and the hash of all of it.
struct Name
{
    explicit Name(NameKind kind)
        : hash(kind)
    {
    }
    void add(int c)
    {
        if (hash.length() < ShortName)
            letters[hash.length()] = static_cast<char>(lower(c));
        hash.add(static_cast<unsigned char>(c));
    }
    std::string_view text() const { return {letters.data(), std::min(hash.length(), ShortName)}; }
    bool is(std::string_view name) const { return hash.length() == name.size() && text() == name; }

    std::array<char, ShortName> letters {};
    NameHash hash;
};

// How an element's content is read, by its name.
enum class Content
{
    Markup,
    RcData,    // title, textarea: text up to the end tag
    RawText,   // style, xmp, iframe, noembed, noframes, noscript: likewise
    Script,    // script: its own escapes
    PlainText, // plaintext: the rest of the page
};

// What a tag's name says of its element.
struct TagKind
{
    Content content = Content::Markup;
    bool isVoid = false;     // it has no content and no end tag
    bool foreign = false;    // svg, math: CDATA sections inside, and a self-closing tag ends it
    bool keeps = false;      // pre, listing, svg, math: the browser's own stylesheet keeps their whitespace
    bool linkOrBase = false; // link, base: the first reading looks at their attributes
    bool base = false;
    bool script = false;     // the first reading looks at its src and its text
    std::string_view rawName; // for RCDATA and RAWTEXT: the name its end tag must have
};

TagKind raw(TagKind kind, Content content, std::string_view name)
{
    kind.content = content;
    kind.rawName = name;
    return kind;
}

// By the name's letters in lower case, and its length.
TagKind kindOf(std::string_view n, std::size_t length)
{
    TagKind kind;
    if (length > 9 || length < 2)
        return kind;
    const auto is = [&](std::string_view a) { return n == a; };
    switch (n[0]) { // most tags are none of these, and are told so by their first letter
    case 'a':
        kind.isVoid = is("area");
        break;
    case 'b':
        kind.isVoid = is("br") || is("base") || is("basefont") || is("bgsound");
        kind.linkOrBase = kind.base = is("base");
        break;
    case 'c':
        kind.isVoid = is("col");
        break;
    case 'e':
        kind.isVoid = is("embed");
        break;
    case 'f':
        kind.isVoid = is("frame");
        break;
    case 'h':
        kind.isVoid = is("hr");
        break;
    case 'i':
        kind.isVoid = is("img") || is("input");
        if (is("iframe"))
            kind = raw(kind, Content::RawText, "iframe");
        break;
    case 'k':
        kind.isVoid = is("keygen");
        break;
    case 'l':
        kind.isVoid = kind.linkOrBase = is("link");
        kind.keeps = is("listing");
        break;
    case 'm':
        kind.isVoid = is("meta");
        kind.foreign = is("math");
        break;
    case 'n':
        for (const std::string_view name : {"noembed", "noframes", "noscript"})
            if (is(name))
                kind = raw(kind, Content::RawText, name);
        break;
    case 'p':
        kind.isVoid = is("param");
        kind.keeps = is("pre");
        if (is("plaintext"))
            kind.content = Content::PlainText;
        break;
    case 's':
        kind.isVoid = is("source");
        kind.foreign = is("svg");
        if (is("style"))
            kind = raw(kind, Content::RawText, "style");
        else if (is("script"))
            kind.content = Content::Script;
        kind.script = kind.content == Content::Script;
        break;
    case 't':
        kind.isVoid = is("track");
        for (const std::string_view name : {"title", "textarea"})
            if (is(name))
                kind = raw(kind, Content::RcData, name);
        break;
    case 'w':
        kind.isVoid = is("wbr");
        break;
    case 'x':
        if (is("xmp"))
            kind = raw(kind, Content::RawText, "xmp");
        break;
    default:
        break;
    }
    kind.keeps = kind.keeps || kind.foreign;
    return kind;
}

// What the attributes of one start tag tell.
struct TagFacts
{
    bool named = false;        // a name of the stylesheets' (tag, class, id, attribute) is among them
    bool styleKeeps = false;   // its style attribute may keep whitespace
    bool hasClassOrId = false;
    bool selfClosing = false;
};

// The attributes of a <link> or <base> that the first reading looks at.
struct LinkAttributes
{
    std::string rel;
    std::string as;
    std::string href;
    bool hasHref = false;
};

// Whether a contenteditable value says "plaintext-only" (or anything with "plaintext" in it).
struct PlaintextCheck
{
    void add(unsigned char c)
    {
        window = (window << 8) | lower(c);
        found = found || window == 0x706c61696e746578ull; // "plaintex"
    }
    std::uint64_t window = 0;
    bool found = false;
};

// The attribute being read, and what its value is collected for.
enum class Collect
{
    Nothing,
    Class,
    Id,
    Style,
    Editable, // contenteditable: "plaintext-only" is rendered with its whitespace
    Rel,
    As,
    Href,
};

template <bool Writing>
class HtmlScan
{
public:
    HtmlScan(SourceReader& source, const PreservedNames& names, DestinationWriter* destination,
             ProgressMeter* progress, PreservedNames* collected, PageLinks* links)
        : m_source(source)
        , m_in(source)
        , m_names(names)
        , m_out(destination)
        , m_progress(progress)
        , m_collected(collected)
        , m_links(links)
    {
        if (m_names.everything())
            m_kept = MostDepth;
    }

    void run()
    {
        if constexpr (!Writing) {
            findStylesheets();
            return;
        }
        for (;;) {
            text();
            if (m_stopped)
                return;
            if (quickMarkup())
                continue;
            const int c = m_in.get();
            if (c == End)
                return;
            markup(m_in.lastStart());
            if (m_stopped)
                return;
        }
    }

private:
    // ---- writing --------------------------------------------------------------------------------------------

    void emit(unsigned char c)
    {
        if constexpr (Writing)
            m_out->write(c);
        m_last = c;
    }
    void emit(std::string_view text)
    {
        for (const char c : text)
            emit(static_cast<unsigned char>(c));
    }
    void emit(const unsigned char* p, std::size_t n)
    {
        if (n == 0)
            return;
        if constexpr (Writing)
            m_out->write(p, n);
        m_last = p[n - 1];
    }
    void showProgress()
    {
        if constexpr (Writing)
            m_progress->reached(m_source.position());
    }
    bool kept() const { return m_kept > 0; }

    // Copies the buffered characters up to the first that isStop accepts (or a CR, which reads as LF); false at
    // the end of the page.
    template <class IsStop>
    bool copyUntil(IsStop isStop)
    {
        for (;;) {
            if (m_source.next() == m_source.end()) {
                if (m_source.atEnd())
                    return false;
                m_source.refill();
            }
            const unsigned char* const p = m_source.next();
            const unsigned char* const e = m_source.end();
            const unsigned char* q = p;
            while (q != e && *q != '\r' && !isStop(*q))
                ++q;
            emit(p, static_cast<std::size_t>(q - p));
            m_source.skipTo(q);
            showProgress();
            if (q == e)
                continue;
            if (*q != '\r')
                return true;
            m_in.get();
            emit('\n');
        }
    }

    // copyUntil for one stop character, sixteen characters at a time.
    bool copyUntilByte(unsigned char stop)
    {
        for (;;) {
            if (m_source.next() == m_source.end()) {
                if (m_source.atEnd())
                    return false;
                m_source.refill();
            }
            const unsigned char* const p = m_source.next();
            const unsigned char* const q = safe_scan::findEither(p, m_source.end(), stop, '\r');
            emit(p, static_cast<std::size_t>(q - p));
            m_source.skipTo(q);
            showProgress();
            if (q == m_source.end())
                continue;
            if (*q != '\r')
                return true;
            m_in.get();
            emit('\n');
        }
    }

    // From the start of the construct at `at`, the page is copied as it stands: the end of the page leaves it
    // open, and what a browser makes of that is not to be guessed.
    void copyRest(std::int64_t at)
    {
        m_source.rewindTo(at);
        for (;;) {
            if (m_source.next() == m_source.end()) {
                if (m_source.atEnd())
                    break;
                m_source.refill();
            }
            emit(m_source.next(), static_cast<std::size_t>(m_source.end() - m_source.next()));
            m_source.skipTo(m_source.end());
            showProgress();
        }
        m_stopped = true;
    }

    // The end of the page inside a construct: what was read of it is written, and nothing follows.
    void openAtEnd(std::int64_t)
    {
        m_stopped = true;
    }

    // ---- text -----------------------------------------------------------------------------------------------

    // Text up to the next '<' (left unread) or the end of the page.
    void text()
    {
        for (;;) {
            if (m_source.next() == m_source.end()) {
                if (m_source.atEnd())
                    return;
                m_source.refill();
            }
            const unsigned char* const p = m_source.next();
            const unsigned char* const e = m_source.end();
            const unsigned char* q = !Writing ? findLess(p, e) : kept() ? plainKept(p, e) : plainText(p, e);
            emit(p, static_cast<std::size_t>(q - p));
            m_source.skipTo(q);
            showProgress();
            if (q == e)
                continue;
            if (*q == '<') {
                if (e - q >= 3 && isAlpha(q[q[1] == '/' ? 2 : 1]) && plainTag(q, q[1] == '/'))
                    continue; // the commonest tags go by without leaving the text
                return;
            }
            if (kept()) {
                m_in.get(); // a CR
                emit('\n');
            } else {
                collapseRun();
            }
        }
    }

    // Where the characters that stay as they are end: at '<', a CR, a TAB, or a space or LF followed by more
    // whitespace (or by the end of the buffer, past which the run may go on).
    static const unsigned char* plainText(const unsigned char* p, const unsigned char* e)
    {
        return safe_scan::textStop(p, e);
    }
    static const unsigned char* findLess(const unsigned char* p, const unsigned char* e)
    {
        const void* less = std::memchr(p, '<', static_cast<std::size_t>(e - p));
        return less ? static_cast<const unsigned char*>(less) : e;
    }
    static const unsigned char* plainKept(const unsigned char* p, const unsigned char* e)
    {
        return safe_scan::findEither(p, e, '<', '\r');
    }

    // A run of whitespace becomes one character: LF if it held a line break, else a space.
    void collapseRun()
    {
        bool lineBreak = false;
        int c = m_in.get();
        for (; c == ' ' || c == '\t' || c == '\n'; c = m_in.get())
            lineBreak = lineBreak || c == '\n';
        emit(lineBreak ? '\n' : ' ');
        if (c != End)
            m_in.unget();
    }

    // ---- markup ---------------------------------------------------------------------------------------------

    // The commonest tag of all, "<p>" or "</td>": a name of letters and digits right before '>', which nothing
    // but its name can make matter. Copied as it is, when its name is none that matters and no name of the
    // stylesheets' or of an element being kept needs to be compared.
    bool plainTag(const unsigned char* p, bool endTag)
    {
        if (!Writing || kept() || m_names.has(NameKind::Tag))
            return false;
        const unsigned char* const name = p + (endTag ? 2 : 1);
        const unsigned char* const e = m_source.end();
        const unsigned char* q = name;
        while (q != e && (isAlpha(*q) || (*q >= '0' && *q <= '9')))
            ++q;
        if (q == e || *q != '>' || mayMatter(name, static_cast<std::size_t>(q - name)))
            return false;
        const auto n = static_cast<std::size_t>(q + 1 - p);
        if (m_out->room() < n)
            return false;
        unsigned char* const out = m_out->next();
        for (std::size_t i = 0; i < n; ++i)
            out[i] = p[i];
        m_out->advance(n);
        m_last = '>';
        m_source.skipTo(q + 1);
        return true;
    }

    // Names whose elements read their content otherwise, keep its whitespace or count as foreign.
    static bool mayMatter(const unsigned char* name, std::size_t length)
    {
        if (length < 3 || length > 9)
            return false;
        switch (lower(name[0])) {
        case 'i':
        case 'l':
        case 'm':
        case 'n':
        case 'p':
        case 's':
        case 't':
        case 'x':
            break;
        default:
            return false;
        }
        std::array<char, 9> letters {};
        for (std::size_t i = 0; i < length; ++i)
            letters[i] = static_cast<char>(lower(name[i]));
        const TagKind kind = kindOf({letters.data(), length}, length);
        return kind.content != Content::Markup || kind.keeps;
    }

    // The first reading: every "<style", "<link" and "<base" of the page, wherever it stands. Reading them
    // without the markup around them takes one that is only text (in a comment, a script) for an element, which
    // at worst keeps whitespace that could go; it never misses one.
    void findStylesheets()
    {
        for (;;) {
            if (m_collected->everything()) // nothing more to learn
                return;
            if (m_source.next() == m_source.end()) {
                if (m_source.atEnd())
                    return;
                m_source.refill();
            }
            const unsigned char* const p = m_source.next();
            const unsigned char* const e = m_source.end();
            const unsigned char* const less = safe_scan::findEither(p, e, '<', '<');
            m_source.skipTo(less);
            if (less == e)
                continue;
            if (e - less >= 8) { // told from the buffer itself, as most are: "<script" and one more
                m_source.skipTo(less + 1);
                if (!isSheetTag(less + 1))
                    continue;
                m_source.skipTo(less);
            }
            const std::int64_t at = m_source.position();
            m_in.get();
            if (!lookingAtTag("style") && !lookingAtTag("link") && !lookingAtTag("base") && !lookingAtTag("script"))
                continue;
            // What is read for the tag is only looked at: every character after its '<' is looked through again
            // for the next, since this one may stand in text that holds a real one.
            const int c = m_in.get();
            const std::int64_t resume = m_in.position();
            const bool closes = tagCloses(MostCandidateTag);
            m_in.rewindTo(resume);
            if (closes)
                tag(at, c, false);
            else // a tag too long to be sure of: what it names cannot be known
                m_collected->keepEverything();
            m_stopped = false;
            m_in.rewindTo(at + 1);
        }
    }

    // Whether the seven buffered characters at p start "style", "script", "link" or "base" and the character after
    // the name.
    static bool isSheetTag(const unsigned char* p)
    {
        const auto is = [p](std::string_view name) {
            for (std::size_t i = 0; i < name.size(); ++i)
                if (lower(p[i]) != static_cast<unsigned char>(name[i]))
                    return false;
            const unsigned char after = p[name.size()];
            return isTagSpace(after) || after == '\r' || after == '/' || after == '>';
        };
        switch (lower(p[0])) {
        case 's':
            return is("style") || is("script");
        case 'l':
            return is("link");
        case 'b':
            return is("base");
        default:
            return false;
        }
    }

    // The letters of name, without case, followed by whitespace, '/' or '>'.
    bool lookingAtTag(std::string_view name)
    {
        const std::int64_t resume = m_in.position();
        bool matches = true;
        for (const char want : name)
            matches = matches && lower(m_in.get()) == static_cast<unsigned char>(want);
        const int after = matches ? m_in.get() : End;
        m_in.rewindTo(resume);
        return matches && (isTagSpace(after) || after == '/' || after == '>');
    }

    // At a '<' that starts a tag whose name's first letter is buffered too: quickTag reads it, if it can.
    bool quickMarkup()
    {
        const unsigned char* const p = m_source.next();
        if (m_source.end() - p < 3)
            return false;
        const bool endTag = p[1] == '/';
        if (!isAlpha(p[endTag ? 2 : 1]))
            return false;
        if (plainTag(p, endTag))
            return true;
        m_source.skipTo(p + (endTag ? 2 : 1));
        if (quickTag(endTag))
            return true;
        m_source.skipTo(p);
        return false;
    }

    // After a '<' that began at `at`.
    void markup(std::int64_t at)
    {
        int c = m_in.get();
        if (isAlpha(c)) {
            m_in.unget();
            if (!quickTag(false))
                tag(at, m_in.get(), false);
            return;
        }
        if (c == '/') {
            c = m_in.get();
            if (isAlpha(c)) {
                m_in.unget();
                if (!quickTag(true))
                    tag(at, m_in.get(), true);
            } else if (c == End) {
                emit("</");
            } else {
                emit("</");
                m_in.unget();
                bogusComment(at);
            }
            return;
        }
        if (c == '!') {
            emit("<!");
            declaration(at);
            return;
        }
        if (c == '?') {
            emit('<');
            m_in.unget();
            bogusComment(at);
            return;
        }
        emit('<'); // a '<' that opens nothing is text
        if (c != End)
            m_in.unget();
    }

    // Reads on while the characters match text (letters without case); true when all did. Either way the
    // source is left where it was.
    bool lookingAt(std::string_view text, bool caseless = true)
    {
        const std::int64_t resume = m_in.position();
        bool matches = true;
        for (const char want : text)
            if (const int c = m_in.get(); (caseless ? lower(c) : c) != static_cast<unsigned char>(want)) {
                matches = false;
                break;
            }
        m_in.rewindTo(resume);
        return matches;
    }

    void skip(std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
            emit(static_cast<unsigned char>(m_in.get()));
    }

    // After "<!": a comment, a CDATA section (in SVG and MathML), or a doctype or bogus comment up to '>'.
    void declaration(std::int64_t at)
    {
        if (lookingAt("--")) {
            skip(2);
            comment(at);
        } else if (m_foreign > 0 && lookingAt("[CDATA[", false)) {
            skip(7);
            cdata(at);
        } else {
            bogusComment(at);
        }
    }

    void bogusComment(std::int64_t at)
    {
        if (!copyUntilByte('>')) {
            openAtEnd(at);
            return;
        }
        emit(static_cast<unsigned char>(m_in.get()));
    }

    // After "<!--": ends at "-->" or "--!>", or at once with ">" or "->".
    void comment(std::int64_t at)
    {
        // The last characters of the comment's text, to see whether a '>' ends it.
        std::uint32_t window = 0;
        int c = m_in.get();
        if (c == '-') {
            emit('-');
            window = '-';
            c = m_in.get();
        }
        if (c == '>') {
            emit('>');
            return;
        }
        for (;; c = m_in.get()) {
            if (c == End) {
                openAtEnd(at);
                return;
            }
            emit(static_cast<unsigned char>(c));
            if (c == '>' && ((window & 0xFFFF) == ('-' << 8 | '-') || (window & 0xFFFFFF) == ('-' << 16 | '-' << 8 | '!')))
                return;
            window = (window << 8) | static_cast<unsigned char>(c);
            if (c != '-' && c != '!' && c != '>')
                copyRunOf([](unsigned char k) { return k != '-' && k != '!' && k != '>'; }, window);
        }
    }

    // Copies the buffered characters that keep is true of, as the comment and CDATA loops pass over plain text;
    // none of them may be one the window looks for.
    template <class Keep>
    void copyRunOf(Keep keep, std::uint32_t& window)
    {
        const unsigned char* const p = m_source.next();
        const unsigned char* q = p;
        while (q != m_source.end() && *q != '\r' && keep(*q))
            ++q;
        if (q != p) {
            emit(p, static_cast<std::size_t>(q - p));
            m_source.skipTo(q);
            window = q[-1];
            showProgress();
        }
    }

    // After "<![CDATA[": ends at "]]>".
    void cdata(std::int64_t at)
    {
        std::uint32_t window = 0;
        for (;;) {
            const int c = m_in.get();
            if (c == End) {
                openAtEnd(at);
                return;
            }
            emit(static_cast<unsigned char>(c));
            if (c == '>' && (window & 0xFFFF) == (']' << 8 | ']'))
                return;
            window = (window << 8) | static_cast<unsigned char>(c);
            if (c != ']')
                copyRunOf([](unsigned char k) { return k != ']' && k != '>'; }, window);
        }
    }

    // ---- tags -----------------------------------------------------------------------------------------------

    // Whitespace inside a tag, read up to the character after it: outside an element that keeps its whitespace
    // it becomes one space, or nothing before '>' (but for "/ >", which is not "/>"); the character is answered.
    int tagSpace(int c)
    {
        if (kept()) {
            for (; isTagSpace(c); c = m_in.get())
                emit(static_cast<unsigned char>(c));
            return c;
        }
        while (isTagSpace(c))
            c = m_in.get();
        if (c != '>' || m_last == '/')
            emit(' ');
        return c;
    }

    // The common case of a tag, read straight from the buffer: its '<' (and '/') read, the source at the first
    // letter of its name. False, with nothing read or written, when the slow way must read it: the buffer ends
    // inside it, it holds a CR, the destination has no room for it, or it is a link the first reading looks at.
    bool quickTag(bool endTag)
    {
        if constexpr (!Writing) {
            return endTag && false; // the first reading reads only the tags it looks for, the slow way
        } else {
            const unsigned char* const start = m_source.next();
            const unsigned char* e = m_source.end();
            const std::size_t room = m_out->room();
            if (room < 3)
                return false;
            if (static_cast<std::size_t>(e - start) > room - 2)
                e = start + (room - 2);
            const unsigned char* q = start;
            while (q != e && !isQuickStop(*q))
                ++q;
            if (q == e || *q == '\r')
                return false;
            const auto nameLength = static_cast<std::size_t>(q - start);
            std::array<char, 9> letters {};
            for (std::size_t i = 0; i < letters.size() && i < nameLength; ++i)
                letters[i] = static_cast<char>(lower(start[i]));
            const TagKind kind = kindOf({letters.data(), std::min(nameLength, letters.size())}, nameLength);
            const auto hash = [start, nameLength] {
                NameHash h(NameKind::Tag);
                for (std::size_t i = 0; i < nameLength; ++i)
                    h.add(start[i]);
                return h.value();
            };
            // Inside a kept element the facts that could start keeping matter no more: only its name is counted.
            const bool look = !kept();
            TagFacts facts;
            facts.named = look && m_names.has(NameKind::Tag) && m_names.contains(hash());
            // Most tags need no change: the first walk over the attributes only looks, and tells whether a
            // second one must write them compacted.
            bool changed = false;
            const unsigned char* const close = walkAttributes(q, e, facts, changed, nullptr, look);
            if (!close)
                return false;
            unsigned char* out = m_out->next();
            unsigned char* const outStart = out;
            *out++ = '<';
            if (endTag)
                *out++ = '/';
            if (kept() || !changed) {
                const auto n = static_cast<std::size_t>(close + 1 - start);
                std::memcpy(out, start, n);
                out += n;
            } else {
                std::memcpy(out, start, nameLength);
                out += nameLength;
                walkAttributes(q, e, facts, changed, &out, false);
                *out++ = '>';
            }
            m_out->advance(static_cast<std::size_t>(out - outStart));
            m_last = '>';
            m_source.skipTo(close + 1);
            if (endTag)
                closed(kind, hash);
            else
                opened(kind, facts, hash);
            return true;
        }
    }

    // quickTag's walk over the attributes, from the character after the tag's name: answers where its '>' is,
    // or null. Without out it looks (and tells changed, and with look the facts); with out it writes them compacted.
    const unsigned char* walkAttributes(const unsigned char* q, const unsigned char* e, TagFacts& facts, bool& changed,
                                        unsigned char** out, bool look)
    {
        unsigned char last = q[-1];
        const auto put = [&](const unsigned char* p, std::size_t n) {
            if (out) {
                for (std::size_t i = 0; i < n; ++i)
                    (*out)[i] = p[i];
                *out += n;
            }
        };
        // Whitespace at q becomes one space, or nothing before '>' (but for "/ >").
        const auto space = [&]() -> bool {
            const unsigned char* r = q;
            while (r != e && isTagSpace(*r))
                ++r;
            if (r == e || *r == '\r')
                return false;
            const bool dropped = *r == '>' && last != '/';
            changed = changed || dropped || r - q != 1 || *q != ' ';
            if (!dropped)
                put(reinterpret_cast<const unsigned char*>(" "), 1);
            last = ' ';
            q = r;
            return true;
        };
        for (;;) {
            if (*q == '\r' || (isTagSpace(*q) && !space()))
                return nullptr;
            if (*q == '>')
                return q;
            if (*q == '/') {
                put(q, 1);
                last = '/';
                if (++q == e)
                    return nullptr;
                if (*q == '>') {
                    facts.selfClosing = true;
                    return q;
                }
                continue;
            }
            // An attribute: its name (the first character may be '='), then maybe '=' and a value.
            const unsigned char* const nameStart = q++;
            while (q != e && !isQuickStop(*q) && *q != '=')
                ++q;
            if (q == e || *q == '\r')
                return nullptr;
            put(nameStart, static_cast<std::size_t>(q - nameStart));
            last = q[-1];
            const Collect collect
                = !look ? Collect::Nothing : quickCollect(nameStart, static_cast<std::size_t>(q - nameStart), facts);
            if (isTagSpace(*q) && !space())
                return nullptr;
            if (*q != '=')
                continue;
            put(q, 1);
            last = '=';
            if (++q == e || (isTagSpace(*q) && !space()))
                return nullptr;
            if (*q == '>')
                return q;
            const unsigned char* const valueFrom = q; // its quote included
            const unsigned char* valueStart = q;
            const unsigned char* valueEnd = nullptr;
            if (*q == '"' || *q == '\'') {
                ++valueStart;
                const unsigned char* const r = safe_scan::findEither(valueStart, e, *q, '\r');
                if (r == e || *r == '\r')
                    return nullptr;
                valueEnd = r;
                q = r + 1;
            } else {
                while (q != e && *q != '>' && !isTagSpace(*q) && *q != '\r')
                    ++q;
                valueEnd = q;
            }
            if (out)
                std::memcpy(*out, valueFrom, static_cast<std::size_t>(q - valueFrom)), *out += q - valueFrom;
            last = q[-1];
            if (collect != Collect::Nothing)
                quickValue(collect, valueStart, valueEnd, facts);
            if (q == e || *q == '\r')
                return nullptr;
        }
    }

    static bool isQuickStop(unsigned char c)
    {
        return safe_scan::NameStops[c];
    }

    static bool sameLetters(const unsigned char* p, std::size_t n, std::string_view word)
    {
        if (n != word.size())
            return false;
        for (std::size_t i = 0; i < n; ++i)
            if (lower(p[i]) != static_cast<unsigned char>(word[i]))
                return false;
        return true;
    }

    // What quickTag looks at in an attribute of the second reading, by its name.
    Collect quickCollect(const unsigned char* p, std::size_t n, TagFacts& facts)
    {
        if (!facts.named && m_names.has(NameKind::Attribute)) {
            NameHash hash(NameKind::Attribute);
            for (std::size_t i = 0; i < n; ++i)
                hash.add(p[i]);
            facts.named = m_names.contains(hash.value());
        }
        if (sameLetters(p, n, "style"))
            return Collect::Style;
        if (sameLetters(p, n, "contenteditable"))
            return Collect::Editable;
        const bool isClass = sameLetters(p, n, "class");
        if (!isClass && !sameLetters(p, n, "id"))
            return Collect::Nothing;
        facts.hasClassOrId = true;
        if (!m_names.has(NameKind::Class) && !m_names.has(NameKind::Id))
            return Collect::Nothing;
        return isClass ? Collect::Class : Collect::Id;
    }

    void quickValue(Collect collect, const unsigned char* p, const unsigned char* e, TagFacts& facts)
    {
        if (collect == Collect::Style) {
            StyleAttributeCheck check;
            for (; p != e; ++p)
                check.add(*p);
            facts.styleKeeps = facts.styleKeeps || check.keepsWhitespace();
            return;
        }
        if (collect == Collect::Editable) {
            PlaintextCheck check;
            for (; p != e; ++p)
                check.add(*p);
            facts.styleKeeps = facts.styleKeeps || check.found;
            return;
        }
        const NameKind kind = collect == Collect::Class ? NameKind::Class : NameKind::Id;
        NameHash token(kind);
        for (;; ++p) {
            const bool ends = p == e || (collect == Collect::Class && isTagSpace(*p));
            if (ends) {
                if (token.length() > 0 && m_names.contains(token.value()))
                    facts.named = true;
                token = NameHash(kind);
                if (p == e)
                    return;
                continue;
            }
            if (*p == '&') // a character reference may spell anything, a space between classes too
                facts.named = true;
            token.add(*p);
        }
    }

    // A tag whose '<' began at `at` (and '/' for an end tag), from the first letter of its name.
    void tag(std::int64_t at, int c, bool endTag)
    {
        if constexpr (Writing) {
            if (!closesBeforeTheEnd()) {
                copyRest(at);
                return;
            }
        }
        emit(endTag ? "</" : "<");
        Name name(NameKind::Tag);
        for (; c != End && c != '/' && c != '>' && !isTagSpace(c); c = m_in.get()) {
            emit(static_cast<unsigned char>(c));
            name.add(c);
        }
        const TagKind kind = kindOf(name.text(), name.hash.length());
        TagFacts facts;
        facts.named = Writing && m_names.has(NameKind::Tag) && m_names.contains(name.hash.value());
        if (!attributes(c, kind, facts)) {
            openAtEnd(at);
            return;
        }
        emit('>');
        const auto hash = [&] { return name.hash.value(); };
        if (endTag)
            closed(kind, hash);
        else
            opened(kind, facts, hash);
    }

    // Whether the tag being read (its name's first letter read) ends before the page does; the source is left
    // where it was. A tag that the end of the page leaves open is copied as it stands instead.
    bool closesBeforeTheEnd()
    {
        const std::int64_t resume = m_in.position();
        const bool closes = tagCloses();
        m_in.rewindTo(resume);
        return closes;
    }

    // Reads the rest of a tag as the tokenizer does, up to its '>' (true) or the end of the page, or past most
    // characters (false).
    bool tagCloses(std::int64_t most = std::numeric_limits<std::int64_t>::max())
    {
        const std::int64_t limit = most == std::numeric_limits<std::int64_t>::max() ? most : m_in.position() + most;
        const auto get = [&] { return m_in.position() < limit ? m_in.get() : End; };
        int c = get();
        while (c != End && c != '/' && c != '>' && !isTagSpace(c))
            c = get();
        for (;;) {
            while (isTagSpace(c))
                c = get();
            if (c == End || c == '>')
                return c == '>';
            if (c == '/') {
                if ((c = get()) == '>')
                    return true;
                continue;
            }
            do // the attribute's name, whose first character may be anything
                c = get();
            while (c != End && c != '/' && c != '>' && c != '=' && !isTagSpace(c));
            while (isTagSpace(c))
                c = get();
            if (c != '=')
                continue;
            c = get();
            while (isTagSpace(c))
                c = get();
            if (c == End || c == '>')
                return c == '>';
            if (c == '"' || c == '\'') {
                const int quote = c;
                do
                    c = get();
                while (c != End && c != quote);
                if (c == End)
                    return false;
                c = get();
                continue;
            }
            while (c != End && c != '>' && !isTagSpace(c))
                c = get();
        }
    }

    // The attributes, from the character after the tag's name, up to and including the tag's '>'. False when the
    // page ends first.
    bool attributes(int c, const TagKind& kind, TagFacts& facts)
    {
        const bool link = !Writing && (kind.linkOrBase || kind.script);
        if (link)
            m_link = LinkAttributes();
        for (;;) {
            if (isTagSpace(c))
                c = tagSpace(c);
            if (c == End)
                return false;
            if (c == '>')
                return true;
            if (c == '/') {
                emit('/');
                c = m_in.get();
                if (c == '>') {
                    facts.selfClosing = true;
                    return true;
                }
                continue;
            }
            c = attribute(c, link, facts);
        }
    }

    // One attribute, from the first character of its name (which may be '='); answers the character after it.
    int attribute(int c, bool link, TagFacts& facts)
    {
        Name name(NameKind::Attribute);
        do {
            emit(static_cast<unsigned char>(c));
            name.add(c);
            c = m_in.get();
        } while (c != End && c != '/' && c != '>' && c != '=' && !isTagSpace(c));
        if (Writing && !facts.named && m_names.has(NameKind::Attribute))
            facts.named = m_names.contains(name.hash.value());
        const Collect collect = collectFor(name, link, facts);
        if (isTagSpace(c))
            c = tagSpace(c);
        if (c != '=')
            return c;
        emit('=');
        c = m_in.get();
        if (isTagSpace(c))
            c = tagSpace(c);
        if (c == End || c == '>')
            return c;
        ValueReader value(*this, collect, facts);
        if (c == '"' || c == '\'') {
            emit(static_cast<unsigned char>(c));
            if (!value.quoted(static_cast<unsigned char>(c)))
                return End;
            emit(static_cast<unsigned char>(c));
            value.finish();
            return m_in.get();
        }
        c = value.unquoted(c);
        value.finish();
        return c;
    }

    Collect collectFor(const Name& name, bool link, TagFacts& facts)
    {
        if constexpr (Writing) {
            const bool classOrId = name.is("class") || name.is("id");
            facts.hasClassOrId = facts.hasClassOrId || classOrId;
            if (classOrId && (m_names.has(NameKind::Class) || m_names.has(NameKind::Id)))
                return name.is("class") ? Collect::Class : Collect::Id;
            if (name.is("style"))
                return Collect::Style;
            if (name.hash.length() == 15 && name.text() == "contentedita") // "contenteditable", as far as kept
                return Collect::Editable;
        } else if (link) {
            if (name.is("rel"))
                return Collect::Rel;
            if (name.is("as"))
                return Collect::As;
            if ((name.is("href") || name.is("src")) && !m_link.hasHref) {
                m_link.hasHref = true;
                return Collect::Href;
            }
        }
        return Collect::Nothing;
    }

    // An attribute's value, copied as it is, and looked at for what collect says.
    class ValueReader
    {
    public:
        ValueReader(HtmlScan& scan, Collect collect, TagFacts& facts)
            : m_scan(scan)
            , m_collect(collect)
            , m_facts(facts)
        {
        }

        bool quoted(unsigned char quote)
        {
            if (m_collect == Collect::Nothing)
                return m_scan.copyUntilByte(quote) && m_scan.m_in.get() == quote;
            for (int c = m_scan.m_in.get(); c != quote; c = m_scan.m_in.get()) {
                if (c == End)
                    return false;
                m_scan.emit(static_cast<unsigned char>(c));
                add(c);
            }
            return true;
        }

        int unquoted(int c)
        {
            for (; c != End && c != '>' && !isTagSpace(c); c = m_scan.m_in.get()) {
                m_scan.emit(static_cast<unsigned char>(c));
                add(c);
            }
            return c;
        }

        void finish()
        {
            if (m_collect == Collect::Class || m_collect == Collect::Id)
                endToken();
            if (m_collect == Collect::Style && m_style.keepsWhitespace())
                m_facts.styleKeeps = true;
            if (m_collect == Collect::Editable && m_plaintext.found)
                m_facts.styleKeeps = true;
        }

    private:
        void add(int c)
        {
            const unsigned char u = static_cast<unsigned char>(c);
            switch (m_collect) {
            case Collect::Class:
                if (isTagSpace(c)) {
                    endToken();
                    return;
                }
                addToToken(u);
                return;
            case Collect::Id:
                addToToken(u);
                return;
            case Collect::Style:
                m_style.add(u);
                return;
            case Collect::Editable:
                m_plaintext.add(u);
                return;
            case Collect::Rel:
            case Collect::As:
                if (auto& text = m_collect == Collect::Rel ? m_scan.m_link.rel : m_scan.m_link.as; text.size() < MostRel)
                    text.push_back(static_cast<char>(lower(c)));
                return;
            case Collect::Href:
                if (m_scan.m_link.href.size() <= MostHref)
                    m_scan.m_link.href.push_back(static_cast<char>(u));
                return;
            case Collect::Nothing:
                return;
            }
        }

        void addToToken(unsigned char c)
        {
            if (c == '&') // a character reference may spell anything, a space between classes too
                m_facts.named = true;
            m_token.add(c);
        }

        void endToken()
        {
            if (m_token.length() > 0 && m_scan.m_names.contains(m_token.value()))
                m_facts.named = true;
            m_token = NameHash(m_collect == Collect::Class ? NameKind::Class : NameKind::Id);
        }

        HtmlScan& m_scan;
        Collect m_collect;
        TagFacts& m_facts;
        NameHash m_token {m_collect == Collect::Class ? NameKind::Class : NameKind::Id};
        StyleAttributeCheck m_style;
        PlaintextCheck m_plaintext;
    };

    // ---- elements -------------------------------------------------------------------------------------------

    // hash: the name's hash, asked for only where it matters, since the common tag needs none.
    template <class Hash>
    void opened(const TagKind& kind, const TagFacts& facts, Hash hash)
    {
        const bool selfClosed = facts.selfClosing && (kind.foreign || m_foreign > 0);
        if (kind.foreign && !selfClosed && m_foreign < MostDepth)
            ++m_foreign;
        if constexpr (!Writing)
            if (kind.linkOrBase || kind.script)
                linked(kind);
        if (Writing && kind.content == Content::Markup && !selfClosed && !kind.isVoid)
            keep(kind, facts, hash);
        if constexpr (!Writing) {
            if (kind.rawName == "style")
                styleBlock();
            if (kind.script && scriptWrites("white-space"))
                m_collected->keepEverything();
            return;
        }
        switch (kind.content) {
        case Content::Markup:
            return;
        case Content::RcData:
        case Content::RawText:
            rawText(kind.rawName);
            return;
        case Content::Script:
            script();
            return;
        case Content::PlainText:
            copyUntil([](unsigned char) { return false; });
            return;
        }
    }

    template <class Hash>
    void keep(const TagKind& kind, const TagFacts& facts, Hash hash)
    {
        if (kept()) {
            if (m_kept < MostDepth && hash() == m_keptName)
                ++m_kept;
            return;
        }
        const bool byName = facts.named || (facts.hasClassOrId && m_names.everyClassAndId());
        if (kind.keeps || facts.styleKeeps || byName) {
            m_kept = 1;
            m_keptName = hash();
        }
    }

    template <class Hash>
    void closed(const TagKind& kind, Hash hash)
    {
        if (kind.foreign && m_foreign > 0)
            --m_foreign;
        if (kept() && m_kept < MostDepth && hash() == m_keptName)
            --m_kept;
    }

    // The first reading: a <link> to a stylesheet, and the first <base>.
    void linked(const TagKind& kind)
    {
        const LinkAttributes& link = m_link;
        if (!link.hasHref || link.href.size() > MostHref)
            return;
        if (kind.script) {
            m_links->script(link.href);
            return;
        }
        if (kind.base && !m_baseSeen) {
            m_baseSeen = true;
            m_links->base(link.href);
        }
        const bool sheet = link.rel.find("stylesheet") != std::string::npos
            || (link.rel.find("preload") != std::string::npos && link.as == "style");
        if (!kind.base && sheet)
            m_links->stylesheet(link.href);
    }

    // Whether the script's text, up to its first "</script", holds word (without case).
    bool scriptWrites(std::string_view word)
    {
        for (;;) {
            if (m_source.next() == m_source.end()) {
                if (m_source.atEnd())
                    return false;
                m_source.refill();
            }
            const unsigned char* const p = m_source.next();
            const unsigned char* q = p;
            const unsigned char first = static_cast<unsigned char>(word[0]);
            while (q != m_source.end() && *q != '<' && lower(*q) != first)
                ++q;
            m_source.skipTo(q);
            if (q == m_source.end())
                continue;
            if (lookingAt(word)) {
                return true;
            }
            m_in.get();
            if (*q == '<' && (atEndTag("script") || lookingAtTag("script")))
                return false; // its end, or one more script: what it holds is looked at from there
        }
    }

    void styleBlock()
    {
        CssInput css(m_in, true);
        scanStylesheet(css, *m_collected, m_links->imports());
        if (css.cut()) // what it broke off in the middle of may have kept whitespace
            m_collected->keepEverything();
    }

    // ---- raw text -------------------------------------------------------------------------------------------

    // Whether the '<' just read starts "</name" followed by whitespace, '/' or '>': the end of raw text. The
    // source is left after the '<' either way.
    bool atEndTag(std::string_view name)
    {
        const std::int64_t resume = m_in.position();
        bool matches = m_in.get() == '/';
        for (const char want : name)
            matches = matches && lower(m_in.get()) == static_cast<unsigned char>(want);
        const int after = matches ? m_in.get() : End;
        m_in.rewindTo(resume);
        return matches && (isTagSpace(after) || after == '/' || after == '>');
    }

    // RCDATA and RAWTEXT: copied up to the end tag, whose '<' is left unread.
    void rawText(std::string_view name)
    {
        for (;;) {
            if (!copyUntilByte('<'))
                return;
            m_in.get();
            const std::int64_t less = m_in.lastStart();
            if (atEndTag(name)) {
                m_in.rewindTo(less);
                return;
            }
            emit('<');
        }
    }

    // Script data with its escapes ("<!--" ... "<script>" inside, where "</script>" does not end it).
    enum class ScriptState
    {
        Data,
        Escaped,
        DoubleEscaped,
    };

    void script()
    {
        ScriptState state = ScriptState::Data;
        std::uint32_t window = 0; // the last characters, to see "<!--" and "-->"
        for (;;) {
            if (state == ScriptState::Data && !copyUntilByte('<'))
                return;
            const int c = m_in.get();
            if (c == End)
                return;
            if (c == '<') {
                const std::int64_t less = m_in.lastStart();
                if (state != ScriptState::DoubleEscaped && atEndTag("script")) {
                    m_in.rewindTo(less);
                    return;
                }
                if (state == ScriptState::Data && lookingAt("!--")) {
                    emit("<!--");
                    for (int i = 0; i < 3; ++i)
                        m_in.get();
                    state = ScriptState::Escaped;
                    window = '-' << 8 | '-';
                    continue;
                }
                if (state == ScriptState::Escaped && isScriptTag(false)) {
                    state = ScriptState::DoubleEscaped;
                } else if (state == ScriptState::DoubleEscaped && isScriptTag(true)) {
                    state = ScriptState::Escaped;
                }
                emit('<');
                window = '<';
                continue;
            }
            emit(static_cast<unsigned char>(c));
            if (c == '>' && state != ScriptState::Data && (window & 0xFFFF) == ('-' << 8 | '-'))
                state = ScriptState::Data;
            window = (window << 8) | static_cast<unsigned char>(c);
        }
    }

    // After a '<' in escaped script: "script" (or "/script" when closing) followed by whitespace, '/' or '>'.
    bool isScriptTag(bool closing)
    {
        return lookingAt(closing ? "/script" : "script") && [&] {
            const std::int64_t resume = m_in.position();
            for (std::size_t i = closing ? 7 : 6; i > 0; --i)
                m_in.get();
            const int after = m_in.get();
            m_in.rewindTo(resume);
            return isTagSpace(after) || after == '/' || after == '>';
        }();
    }

    SourceReader& m_source;
    LineInput m_in;
    const PreservedNames& m_names;
    DestinationWriter* m_out;
    ProgressMeter* m_progress;
    PreservedNames* m_collected;
    PageLinks* m_links;
    std::uint32_t m_kept = 0;     // depth of the element that keeps its whitespace; 0 outside any
    std::uint64_t m_keptName = 0; // its name's hash, to count its nesting
    std::uint32_t m_foreign = 0;  // depth of SVG and MathML, where CDATA sections exist
    unsigned char m_last = 0;     // the character written last
    LinkAttributes m_link; // of the <link> or <base> being read, in the first reading
    bool m_baseSeen = false;
    bool m_stopped = false;
};

} // namespace

void readPageStyles(SourceReader& source, PreservedNames& names, PageLinks& links)
{
    HtmlScan<false>(source, names, nullptr, nullptr, &names, &links).run();
}

void compactPage(SourceReader& source, DestinationWriter& destination, ProgressMeter& progress,
                 const PreservedNames& names)
{
    HtmlScan<true>(source, names, &destination, &progress, nullptr, nullptr).run();
}
