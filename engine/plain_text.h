// The plain-text fast path: the stretches between the characters a rule must see, copied (and the
// whitespace the main loop drops or collapses by itself, handled) sixteen characters at a time where it can.
// Included by the main loop's file alone, and internal to it (an unnamed namespace), so that the compiler
// inlines it there as it would that file's own code: the main loop calls it once per plain stretch.
#pragma once

#include <engine/characters.h>
#include <engine/compaction.h>
#include <engine/compaction_run.h>
#include <engine/scan.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// The characters some dispatch row other than the last takes under the run's options. A space counts
// only when another space follows it: a lone space is written as it is, which spares the rule a call per
// word and gives the same output.
class SpecialBytes
{
public:
    explicit SpecialBytes(const CompactionOptions& options)
    {
        m_special.fill(false);
        m_special[Tab] = m_special[Cr] = m_special[Space] = options.collapseWhitespace;
        m_special[Less] = options.squeezeTags || options.rewriteCenteredDivs;
        m_special[Greater] = options.dropTagGaps;
        m_spaces = options.collapseWhitespace;
        std::size_t n = 0;
        for (unsigned char c : {Tab, Cr, Less, Greater})
            if (m_special[c])
                m_stops[n++] = c;
        // Spaces collapse only together with TAB and CR, so either nothing is special or m_stops[0] is set.
        m_none = n == 0;
        for (std::size_t i = n; i < m_stops.size() && n > 0; ++i)
            m_stops[i] = m_stops[0]; // padding repeats a real stop
#ifdef SNELLITORE_SSE2
        for (std::size_t i = 0; i < m_stops.size(); ++i)
            m_vectors[i] = _mm_set1_epi8(static_cast<char>(m_stops[i]));
        m_vectors[4] = _mm_set1_epi8(static_cast<char>(Space));
#endif
    }

    bool stopsAt(const unsigned char* p, const unsigned char* end) const
    {
        return p != end && m_special[*p] && (*p != Space || p + 1 == end || p[1] == Space);
    }

    // Copies from p up to stop what the main loop would copy, drop or collapse by itself, and stops before
    // the first character a rule must see. end is where the buffered text ends: a space run must end
    // before stop to be collapsed here (what follows the buffer is not known yet). lastRead is set just
    // past the last character the main loop itself would have read; spaces after the first of a run are
    // read by the rule, which moves no gauge.
    const unsigned char* copy(const unsigned char* p, const unsigned char* stop, const unsigned char* end,
                              unsigned char*& out, const unsigned char*& lastRead) const
    {
        if (m_none) {
            std::memcpy(out, p, static_cast<std::size_t>(stop - p));
            out += stop - p;
            return lastRead = stop;
        }
        for (;;) {
#ifdef SNELLITORE_SSE2
            p = copyBlocks(p, stop, end, out);
            lastRead = p;
#endif
            // Character by character past whatever stopped the blocks, then blocks again.
            const unsigned char* const pause = stop - p > 16 ? p + 16 : stop;
            while (p < pause) {
                const unsigned char c = *p;
                if (m_spaces && (c == Tab || c == Cr)) { // row 1: dropped
                    lastRead = ++p;
                } else if (m_spaces && c == Space) { // row 2: one space for the run
                    const unsigned char* q = p + 1;
                    while (q != end && *q == Space)
                        ++q;
                    if (q >= stop)
                        return p; // the run may go on past what is known: the rule takes it
                    *out++ = Space;
                    lastRead = p + 1;
                    p = q;
                } else if (m_special[c]) {
                    return p;
                } else {
                    *out++ = c;
                    lastRead = ++p;
                }
            }
            if (p == stop)
                return p;
        }
    }

private:
#ifdef SNELLITORE_SSE2
    const unsigned char* copyBlocks(const unsigned char* p, const unsigned char* stop, const unsigned char* end,
                                    unsigned char*& out) const
    {
        const __m128i s0 = m_vectors[0], s1 = m_vectors[1], s2 = m_vectors[2], s3 = m_vectors[3];
        const __m128i space = m_vectors[4];
        const bool spaces = m_spaces;
        // One character past each block is read to see whether a space is followed by another.
        return ::copyBlocks(p, std::min(stop - p, end - p - 1), out, [&](__m128i v, const unsigned char* at) {
            __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, s0), _mm_cmpeq_epi8(v, s1)),
                                       _mm_or_si128(_mm_cmpeq_epi8(v, s2), _mm_cmpeq_epi8(v, s3)));
            if (spaces) {
                const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
                hit = _mm_or_si128(hit, _mm_and_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(after, space)));
            }
            return hit;
        });
    }
#endif

    std::array<bool, 256> m_special;
    std::array<unsigned char, 4> m_stops {};
#ifdef SNELLITORE_SSE2
    __m128i m_vectors[5]; // the four stops and the space, spread over sixteen lanes
#endif
    bool m_spaces = false;
    bool m_none = false;
};

// Copies the characters that the last dispatch row would write one by one, up to the next character
// another row takes or the end of the source. Every character copied here counts as read by the main
// loop, so the progress value is brought up to date at each step it passes.
void copyPlainText(CompactionRun& run, const SpecialBytes& special)
{
    SourceReader& source = run.sourceFile;
    DestinationWriter& destination = run.destinationFile;
    for (;;) {
        if (source.next() == source.end()) {
            if (source.atEnd())
                return;
            source.refill();
        }
        if (destination.room() == 0)
            destination.flush();
        const std::int64_t untilChange = std::max<std::int64_t>(1, run.progress.nextChange() - run.position());
        const auto buffered = static_cast<std::size_t>(source.end() - source.next());
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(std::min(buffered, destination.room()), untilChange));
        const unsigned char* const start = source.next();
        const unsigned char* const stop = start + n;
        unsigned char* out = destination.next();
        const unsigned char* lastRead = start;
        const unsigned char* const p = special.copy(start, stop, source.end(), out, lastRead);
        const bool copied = p != start;
        const std::int64_t readPosition = run.position() + (lastRead - start);
        destination.advance(static_cast<std::size_t>(out - destination.next()));
        source.skipTo(p);
        if (lastRead != start)
            run.progress.reached(readPosition);
        if (p != stop || !copied)
            return; // the next character belongs to a rule
    }
}

} // namespace
