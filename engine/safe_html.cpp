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
#include <engine/source_reader.h>
#include <engine/stylesheet_scan.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr int End = LineInput::End;
constexpr std::uint32_t MostDepth = 1u << 30; // nesting counters stop here: a page that deep keeps the rest
constexpr std::size_t ShortName = 12;         // bytes of a tag or attribute name kept to recognise it
constexpr std::size_t MostHref = 2048;        // bytes of a link's href kept
constexpr std::size_t MostRel = 128;          // bytes of a link's rel and as kept

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
bool isTextSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

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

Content contentOf(const Name& name)
{
    if (name.hash.length() > 9)
        return Content::Markup;
    const std::string_view n = name.text();
    if (n == "title" || n == "textarea")
        return Content::RcData;
    if (n == "style" || n == "xmp" || n == "iframe" || n == "noembed" || n == "noframes" || n == "noscript")
        return Content::RawText;
    if (n == "script")
        return Content::Script;
    if (n == "plaintext")
        return Content::PlainText;
    return Content::Markup;
}

bool isVoid(const Name& name)
{
    static constexpr std::string_view Voids[] = {"area", "base", "basefont", "bgsound", "br", "col", "embed",
                                                 "frame", "hr", "img", "input", "keygen", "link", "meta", "param",
                                                 "source", "track", "wbr"};
    for (const std::string_view v : Voids)
        if (name.is(v))
            return true;
    return false;
}

bool isForeign(const Name& name)
{
    return name.is("svg") || name.is("math");
}

// Elements whose content the browser's own stylesheet renders with its whitespace, or that are not HTML.
bool keepsByItself(const Name& name)
{
    return name.is("pre") || name.is("listing") || isForeign(name);
}

// What the attributes of one start tag tell.
struct TagFacts
{
    bool named = false;        // a name of the stylesheets' (tag, class, id, attribute) is among them
    bool styleKeeps = false;   // its style attribute may keep whitespace
    bool hasClassOrId = false;
    bool selfClosing = false;
    std::string rel;  // <link>
    std::string as;   // <link>
    std::string href; // <link>, <base>
    bool hasHref = false;
};

// The attribute being read, and what its value is collected for.
enum class Collect
{
    Nothing,
    Class,
    Id,
    Style,
    Rel,
    As,
    Href,
};

template <bool Writing>
class HtmlScan
{
public:
    HtmlScan(SourceReader& source, const PreservedNames& names, DestinationWriter* destination,
             ProgressMeter* progress, PreservedNames* collected, PageLinks* links, std::int64_t unterminatedAt)
        : m_source(source)
        , m_in(source)
        , m_names(names)
        , m_out(destination)
        , m_progress(progress)
        , m_collected(collected)
        , m_links(links)
        , m_unterminatedAt(unterminatedAt)
    {
        if (m_names.everything())
            m_kept = MostDepth;
    }

    std::int64_t run()
    {
        for (;;) {
            text();
            if (m_stopped)
                return m_unterminatedAt;
            const int c = m_in.get();
            if (c == End)
                return m_unterminatedAt;
            markup(m_in.lastStart());
            if (m_stopped)
                return m_unterminatedAt;
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

    // The end of the page inside a construct that began at `at`: the first reading notes it.
    void openAtEnd(std::int64_t at)
    {
        if constexpr (!Writing)
            m_unterminatedAt = at;
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
            if (*q == '<')
                return;
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
        for (; p != e; ++p) {
            const unsigned char c = *p;
            if (c == '<' || c == '\r' || c == '\t')
                return p;
            if ((c == ' ' || c == '\n') && (p + 1 == e || isTextSpace(p[1])))
                return p;
        }
        return p;
    }
    static const unsigned char* findLess(const unsigned char* p, const unsigned char* e)
    {
        const void* less = std::memchr(p, '<', static_cast<std::size_t>(e - p));
        return less ? static_cast<const unsigned char*>(less) : e;
    }
    static const unsigned char* plainKept(const unsigned char* p, const unsigned char* e)
    {
        while (p != e && *p != '<' && *p != '\r')
            ++p;
        return p;
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

    // After a '<' that began at `at`.
    void markup(std::int64_t at)
    {
        if (Writing && at == m_unterminatedAt) {
            copyRest(at);
            return;
        }
        int c = m_in.get();
        if (isAlpha(c)) {
            tag(at, c, false);
            return;
        }
        if (c == '/') {
            c = m_in.get();
            if (isAlpha(c)) {
                tag(at, c, true);
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
        if (!copyUntil([](unsigned char c) { return c == '>'; })) {
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

    // A tag whose '<' began at `at` (and '/' for an end tag), from the first letter of its name.
    void tag(std::int64_t at, int c, bool endTag)
    {
        emit(endTag ? "</" : "<");
        Name name(NameKind::Tag);
        for (; c != End && c != '/' && c != '>' && !isTagSpace(c); c = m_in.get()) {
            emit(static_cast<unsigned char>(c));
            name.add(c);
        }
        TagFacts facts;
        facts.named = m_names.contains(name.hash.value());
        if (!attributes(c, name, facts)) {
            openAtEnd(at);
            return;
        }
        emit('>');
        if (endTag)
            closed(name);
        else
            opened(name, facts);
    }

    // The attributes, from the character after the tag's name, up to and including the tag's '>'. False when the
    // page ends first.
    bool attributes(int c, const Name& tagName, TagFacts& facts)
    {
        const bool link = tagName.is("link") || tagName.is("base");
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
        facts.named = facts.named || m_names.contains(name.hash.value());
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
            if (name.is("class") || name.is("id"))
                facts.hasClassOrId = true;
            if (name.is("class"))
                return Collect::Class;
            if (name.is("id"))
                return Collect::Id;
            if (name.is("style"))
                return Collect::Style;
        } else if (link) {
            if (name.is("rel"))
                return Collect::Rel;
            if (name.is("as"))
                return Collect::As;
            if (name.is("href") && !facts.hasHref) {
                facts.hasHref = true;
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
                return m_scan.copyUntil([quote](unsigned char c) { return c == quote; }) && m_scan.m_in.get() == quote;
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
            case Collect::Rel:
            case Collect::As:
                if (auto& text = m_collect == Collect::Rel ? m_facts.rel : m_facts.as; text.size() < MostRel)
                    text.push_back(static_cast<char>(lower(c)));
                return;
            case Collect::Href:
                if (m_facts.href.size() <= MostHref)
                    m_facts.href.push_back(static_cast<char>(u));
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
    };

    // ---- elements -------------------------------------------------------------------------------------------

    void opened(const Name& name, const TagFacts& facts)
    {
        const bool foreign = isForeign(name);
        const bool selfClosed = facts.selfClosing && (foreign || m_foreign > 0);
        if (foreign && !selfClosed && m_foreign < MostDepth)
            ++m_foreign;
        if constexpr (!Writing)
            linked(name, facts);
        const Content content = contentOf(name);
        if (Writing && content == Content::Markup && !selfClosed && !isVoid(name))
            keep(name, facts);
        switch (content) {
        case Content::Markup:
            return;
        case Content::RcData:
        case Content::RawText:
            if (!Writing && name.is("style"))
                styleBlock();
            rawText(name.text());
            return;
        case Content::Script:
            script();
            return;
        case Content::PlainText:
            copyUntil([](unsigned char) { return false; });
            return;
        }
    }

    void keep(const Name& name, const TagFacts& facts)
    {
        if (kept()) {
            if (name.hash.value() == m_keptName && m_kept < MostDepth)
                ++m_kept;
            return;
        }
        const bool byName = facts.named || (facts.hasClassOrId && m_names.everyClassAndId());
        if (keepsByItself(name) || facts.styleKeeps || byName) {
            m_kept = 1;
            m_keptName = name.hash.value();
        }
    }

    void closed(const Name& name)
    {
        if (isForeign(name) && m_foreign > 0)
            --m_foreign;
        if (kept() && m_kept < MostDepth && name.hash.value() == m_keptName)
            --m_kept;
    }

    // The first reading: a <link> to a stylesheet, and the first <base>.
    void linked(const Name& name, const TagFacts& facts)
    {
        if (!facts.hasHref || facts.href.size() > MostHref)
            return;
        if (name.is("base") && !m_baseSeen) {
            m_baseSeen = true;
            m_links->base(facts.href);
        }
        const bool sheet = facts.rel.find("stylesheet") != std::string::npos
            || (facts.rel.find("preload") != std::string::npos && facts.as == "style");
        if (name.is("link") && sheet)
            m_links->stylesheet(facts.href);
    }

    void styleBlock()
    {
        CssInput css(m_in, true);
        scanStylesheet(css, *m_collected, m_links->imports());
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
            if (!copyUntil([](unsigned char c) { return c == '<'; }))
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
            if (state == ScriptState::Data && !copyUntil([](unsigned char c) { return c == '<'; }))
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
    std::int64_t m_unterminatedAt;
    std::uint32_t m_kept = 0;     // depth of the element that keeps its whitespace; 0 outside any
    std::uint64_t m_keptName = 0; // its name's hash, to count its nesting
    std::uint32_t m_foreign = 0;  // depth of SVG and MathML, where CDATA sections exist
    unsigned char m_last = 0;     // the character written last
    bool m_baseSeen = false;
    bool m_stopped = false;
};

} // namespace

std::int64_t readPageStyles(SourceReader& source, PreservedNames& names, PageLinks& links)
{
    return HtmlScan<false>(source, names, nullptr, nullptr, &names, &links, -1).run();
}

void compactPage(SourceReader& source, DestinationWriter& destination, ProgressMeter& progress,
                 const PreservedNames& names, std::int64_t unterminatedAt)
{
    HtmlScan<true>(source, names, &destination, &progress, nullptr, nullptr, unterminatedAt).run();
}
