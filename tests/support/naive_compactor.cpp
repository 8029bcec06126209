// The compaction read literally: one character per read, every look-ahead on the source itself,
// DropGapAfterTag scanning to the next '<' however far. Quadratic on purpose; only for tests.
#include <tests/support/naive_compactor.h>

namespace {

class Naive
{
public:
    Naive(const std::string& source, const CompactionOptions& options)
        : s(source)
        , on(options)
    {
    }

    NaiveResult run()
    {
        while (!atEnd()) {
            read();
            setProgress();
            dispatch();
        }
        return {out, shown, static_cast<std::int64_t>(s.size()), written};
    }

private:
    bool atEnd() const { return position >= s.size(); }
    void read() { current = static_cast<unsigned char>(s[position++]); }
    void write(unsigned char c)
    {
        out.push_back(static_cast<char>(c));
        ++written;
    }
    void stepBack() { --position; }
    void rewind(std::size_t mark) { position = mark; }

    // Rounds exact percentages by hand from the integer ratio, so the reference does not lean on the
    // arithmetic it checks: the value is position * 100 / size, ties to even.
    void setProgress()
    {
        const std::uint64_t num = position * 100, den = s.size();
        std::uint64_t q = num / den, r = num % den;
        if (2 * r > den || (2 * r == den && q % 2 == 1))
            ++q;
        if (shown.empty() || shown.back() != static_cast<int>(q))
            shown.push_back(static_cast<int>(q));
    }

    void dispatch()
    {
        const bool def = on.collapseWhitespace, apici = on.squeezeTags, gaps = on.dropTagGaps,
                   div = on.rewriteCenteredDivs;
        if (def && (current == 9 || current == 13))
            return;
        if (def && current == ' ')
            return collapse();
        if (div && apici && current == '<') {
            if (!rewriteDiv()) {
                current = '<';
                squeeze();
            }
            return;
        }
        if (div && current == '<') {
            if (!rewriteDiv()) {
                current = '<';
                write(current);
            }
            return;
        }
        if (apici && current == '<')
            return squeeze();
        if (gaps && current == '>')
            return dropGap();
        write(current);
    }

    void collapse()
    {
        write(' ');
        for (;;) {
            if (atEnd())
                return;
            read();
            if (current != ' ') {
                stepBack();
                return;
            }
        }
    }

    static bool gapSpace(unsigned char c) { return c == ' ' || c == 9 || c == 13 || c == 10; }

    void dropGap()
    {
        write('>');
        const std::size_t mark = position;
        bool whitespaceOnly = true;
        bool foundLess = false;
        while (current != '<') {
            if (atEnd())
                break;
            read();
            if (!gapSpace(current) && current != '<')
                whitespaceOnly = false;
        }
        foundLess = current == '<';
        if (foundLess) {
            if (whitespaceOnly)
                stepBack();
            else
                rewind(mark);
        } else if (!whitespaceOnly) {
            rewind(mark);
        }
    }

    bool rewriteDiv()
    {
        const std::size_t mark = position;
        const std::string pattern = insideDiv ? "/DIV>" : "DIV ALIGN=\"CENTER\">";
        std::size_t k = 0;
        bool matching = true;
        while (!atEnd() && current != '>' && matching) {
            read();
            unsigned char c = current;
            if (c >= 'a' && c <= 'z')
                c = static_cast<unsigned char>(c - 32);
            if (c != static_cast<unsigned char>(pattern[k]))
                matching = false;
            ++k;
        }
        if (matching && k == pattern.size()) {
            for (char c : std::string(insideDiv ? "</center>" : "<center>"))
                write(static_cast<unsigned char>(c));
            insideDiv = !insideDiv;
            return true;
        }
        rewind(mark);
        return false;
    }

    void squeeze()
    {
        write('<');
        do {
            if (atEnd())
                return;
            read();
        } while (current == ' ');
        if (current == '>') {
            stepBack();
            return;
        }
        write(current);
        for (;;) {
            if (atEnd())
                return;
            read();
            if (current == ';' || current == '"') {
                write(current);
                do {
                    if (atEnd())
                        return;
                    read();
                } while (current == ' ' || current == 13 || current == 9 || current == 10);
            }
            if (current == '>') {
                stepBack();
                return;
            }
            write(current);
        }
    }

    const std::string& s;
    CompactionOptions on;
    std::size_t position = 0;
    unsigned char current = 0;
    bool insideDiv = false;
    std::string out;
    std::int64_t written = 0;
    std::vector<int> shown;
};

} // namespace

NaiveResult naiveCompact(const std::string& source, const CompactionOptions& options)
{
    return Naive(source, options).run();
}
