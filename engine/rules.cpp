// The four tag and whitespace rules. Each reads on from the source as far as it needs and hands back
// to the main loop in one of three ways: step back one, rewind to where it began, or consume.
#include "compaction_run.h"

namespace {

bool isGapWhitespace(unsigned char c)
{
    return c == Space || c == Tab || c == Cr || c == Lf;
}

// Reads on while the characters are whitespace; false when the source ended first (consume).
bool skipSqueezeWhitespace(CompactionRun& run)
{
    do {
        if (run.sourceFile.atEnd())
            return false;
        run.read();
    } while (isGapWhitespace(run.current));
    return true;
}

} // namespace

// Pattern: a space and the spaces after it. Writes one space; steps back onto the first non-space,
// or consumes the run when it reaches the end of the source.
void CollapseSpaceRun(CompactionRun& run)
{
    run.write(Space);
    SourceReader& source = run.sourceFile;
    for (;;) {
        const unsigned char* p = source.next();
        const unsigned char* const end = source.end();
        while (p != end && *p == Space)
            ++p;
        source.skipTo(p);
        if (p != end || source.atEnd())
            return; // p is the first non-space, still unread: the main loop reads it next
        source.refill();
    }
}

// Pattern: '>' then a gap of space, TAB, CR and LF. Writes the '>'. A gap that ends at a '<' or at the
// end of the source is consumed; a gap that meets any other character first is rewound, so the main
// loop reads it as plain text. The outcome is settled at that first character, so the look-ahead never
// runs further than the gap itself.
void DropGapAfterTag(CompactionRun& run)
{
    run.write(Greater);
    SourceReader& source = run.sourceFile;
    const std::int64_t mark = source.position();
    for (;;) {
        if (source.atEnd())
            return; // whitespace up to the end of the file is dropped
        run.read();
        if (run.current == Less) {
            source.stepBack(); // the gap is gone; the main loop reads the '<'
            return;
        }
        if (!isGapWhitespace(run.current)) {
            source.rewindTo(mark);
            return;
        }
    }
}

// Pattern: '<' then OpenDivPattern (CloseDivPattern while a rewritten DIV is open), letters in either case.
// On a match writes OpenCenterText or CloseCenterText, consumes up to the '>' and answers true. Otherwise
// writes nothing, rewinds to just after the '<' and answers false.
bool RewriteCenteredDiv(CompactionRun& run)
{
    SourceReader& source = run.sourceFile;
    const std::int64_t mark = source.position();
    const std::string_view pattern = run.insideCenteredDiv ? CloseDivPattern : OpenDivPattern;
    std::size_t place = 0;
    bool matching = true;
    while (!source.atEnd() && run.current != Greater && matching) {
        unsigned char c = run.read();
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 'a' + 'A');
        matching = c == static_cast<unsigned char>(pattern[place]);
        ++place;
    }
    if (matching && place == pattern.size()) {
        run.destinationFile.write(run.insideCenteredDiv ? CloseCenterText : OpenCenterText);
        run.insideCenteredDiv = !run.insideCenteredDiv;
        return true;
    }
    source.rewindTo(mark);
    return false;
}

// Pattern: '<' up to the next '>'. Writes the '<', drops the spaces right after it, and drops space, CR,
// TAB and LF after each ';' and '"' inside; everything else is copied. Steps back onto the '>' so the
// main loop handles it, or consumes to the end of a source that has no further '>'.
void SqueezeTag(CompactionRun& run)
{
    run.write(Less);
    SourceReader& source = run.sourceFile;
    do {
        if (source.atEnd())
            return;
        run.read();
    } while (run.current == Space);
    if (run.current == Greater) {
        source.stepBack();
        return;
    }
    run.write(run.current);
    for (;;) {
        if (source.atEnd())
            return;
        run.read();
        if (run.current == Semicolon || run.current == Quote) {
            run.write(run.current);
            if (!skipSqueezeWhitespace(run))
                return;
        }
        if (run.current == Greater) {
            source.stepBack();
            return;
        }
        run.write(run.current);
    }
}
