// Scans of the safe compaction's hot loops: sixteen characters at a time where SSE2 is available, and tables
// of the characters that end a run.
#pragma once

#include <engine/scan.h>

#include <array>
#include <cstddef>

namespace safe_scan {

// The characters that end a tag's or an attribute's name, '=' aside: whitespace (CR too), '/' and '>'.
inline constexpr std::array<bool, 256> NameStops = [] {
    std::array<bool, 256> stops {};
    for (const unsigned char c : {' ', '\t', '\n', '\f', '\r', '/', '>'})
        stops[c] = true;
    return stops;
}();

inline bool isTextSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The first of a or b from p on, or e.
inline const unsigned char* findEither(const unsigned char* p, const unsigned char* e, unsigned char a,
                                       unsigned char b)
{
#ifdef SNELLITORE_SSE2
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    for (; e - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)));
        if (mask != 0)
            return p + firstSetBit(mask);
    }
#endif
    while (p != e && *p != a && *p != b)
        ++p;
    return p;
}

// Where text stops staying as it is: at '<', a CR, a TAB, or a space or LF followed by more whitespace (or by the
// end, past which the run may go on).
inline const unsigned char* textStop(const unsigned char* p, const unsigned char* e)
{
#ifdef SNELLITORE_SSE2
    const __m128i less = _mm_set1_epi8('<');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i lf = _mm_set1_epi8('\n');
    // One character past each block is looked at too.
    for (; e - p >= 17; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        const __m128i hard = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, less), _mm_cmpeq_epi8(v, cr)),
                                          _mm_cmpeq_epi8(v, tab));
        const __m128i soft = _mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, lf));
        const __m128i afterSpace
            = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(after, space), _mm_cmpeq_epi8(after, lf)),
                           _mm_or_si128(_mm_cmpeq_epi8(after, tab), _mm_cmpeq_epi8(after, cr)));
        const int mask = _mm_movemask_epi8(_mm_or_si128(hard, _mm_and_si128(soft, afterSpace)));
        if (mask != 0)
            return p + firstSetBit(mask);
    }
#endif
    for (; p != e; ++p) {
        const unsigned char c = *p;
        if (c == '<' || c == '\r' || c == '\t')
            return p;
        if ((c == ' ' || c == '\n') && (p + 1 == e || isTextSpace(p[1])))
            return p;
    }
    return p;
}

} // namespace safe_scan
