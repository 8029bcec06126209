// The four tag and whitespace rules. Each reads on from the source as far as it needs and hands back
// to the main loop in one of three ways: step back one, rewind to where it began, or consume. Where a
// rule would read a character only to step back onto it, it looks at the buffered character instead.
#include <engine/rules.h>

#include <engine/characters.h>
#include <engine/compaction_run.h>
#include <engine/scan.h>

#include <algorithm>

// A rule that does not match rewinds its look-ahead, at most the length of OpenDivPattern, within the buffer.
static_assert(SourceReader::KeepBehind > OpenDivPattern.size());

namespace {

bool isSpace(unsigned char c)
{
    return c == Space;
}

bool isGapWhitespace(unsigned char c)
{
    return c == Space || c == Tab || c == Cr || c == Lf;
}

unsigned char capital(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Copies the characters that SqueezeTag writes unchanged, up to the next ';', '"' or '>' (left unread).
// False when the source ended first.
bool copyTagText(CompactionRun& run)
{
    SourceReader& source = run.sourceFile;
    DestinationWriter& destination = run.destinationFile;
    for (;;) {
        if (destination.room() == 0)
            destination.flush();
        const auto buffered = static_cast<std::size_t>(source.end() - source.next());
        const unsigned char* const stop = source.next() + std::min(buffered, destination.room());
        unsigned char* out = destination.next();
        const unsigned char* const p = copyUntilAny(source.next(), stop, out, Semicolon, Quote, Greater);
        destination.advance(static_cast<std::size_t>(out - destination.next()));
        source.skipTo(p);
        if (p != stop)
            return true;
        if (p == source.end()) {
            if (source.atEnd())
                return false;
            source.refill();
        }
    }
}

} // namespace

// Pattern: a space and the spaces after it. Writes one space and consumes the run; the first non-space
// is left for the main loop (step back one), or the run is consumed to the end of the source.
void CollapseSpaceRun(CompactionRun& run)
{
    run.write(Space);
    run.sourceFile.skipWhile(isSpace);
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
    if (!source.skipWhile(isGapWhitespace))
        return; // whitespace up to the end of the file is dropped
    if (*source.next() != Less)
        source.rewindTo(mark);
}

namespace {

// The full comparison, read character by character; apart from the rare '<' that starts like a DIV
// tag, RewriteCenteredDiv settles without it.
bool matchCenteredDiv(CompactionRun& run, std::string_view pattern)
{
    SourceReader& source = run.sourceFile;
    const std::int64_t mark = source.position();
    std::size_t place = 0;
    bool matching = true;
    while (!source.atEnd() && run.current != Greater && matching) {
        matching = capital(run.read()) == static_cast<unsigned char>(pattern[place]);
        ++place;
    }
    if (matching && place == pattern.size())
        return true;
    source.rewindTo(mark);
    return false;
}

} // namespace

// Pattern: '<' then OpenDivPattern (CloseDivPattern while a rewritten DIV is open), letters in either case.
// On a match writes OpenCenterText or CloseCenterText, consumes up to the '>' and answers true. Otherwise
// writes nothing, rewinds to just after the '<' and answers false.
bool RewriteCenteredDiv(CompactionRun& run)
{
    SourceReader& source = run.sourceFile;
    const std::string_view pattern = run.insideCenteredDiv ? CloseDivPattern : OpenDivPattern;
    // Nearly every '<' differs at its first character: answer without reading.
    if (source.next() != source.end() && capital(*source.next()) != static_cast<unsigned char>(pattern[0]))
        return false;
    if (!matchCenteredDiv(run, pattern))
        return false;
    run.destinationFile.write(run.insideCenteredDiv ? CloseCenterText : OpenCenterText);
    run.insideCenteredDiv = !run.insideCenteredDiv;
    return true;
}

// Pattern: '<' up to the next '>'. Writes the '<', drops the spaces right after it, and drops space, CR,
// TAB and LF after each ';' and '"' inside; everything else is copied. Leaves the '>' for the main loop
// (step back one), or consumes to the end of a source that has no further '>'.
void SqueezeTag(CompactionRun& run)
{
    run.write(Less);
    SourceReader& source = run.sourceFile;
    if (!source.skipWhile(isSpace) || *source.next() == Greater)
        return;
    run.write(run.read()); // the first character is taken as it is, even a ';' or '"'
    for (;;) {
        if (!copyTagText(run) || *source.next() == Greater)
            return;
        run.write(run.read()); // a ';' or '"'
        if (!source.skipWhile(isGapWhitespace) || *source.next() == Greater)
            return;
        run.write(run.read()); // the character after the skip is not looked at as a ';' or '"'
    }
}
