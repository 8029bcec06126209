// Copying scans for the engine's hot loops: sixteen characters at a time where SSE2 is available.
#pragma once

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#include <emmintrin.h>
#define SNELLITORE_SSE2 1

inline int firstSetBit(int mask)
{
    return __builtin_ctz(static_cast<unsigned>(mask));
}
#endif

#ifdef SNELLITORE_SSE2
// Copies blocks of sixteen characters from p to out while hits(block, p) marks none of them, as long as room
// (the characters that may be read and written from p on) holds a whole block. Each block is stored before
// it is tested. Returns where it stopped: at the first hit, or where less than a block is left.
template <class Hits>
inline const unsigned char* copyBlocks(const unsigned char* p, std::ptrdiff_t room, unsigned char*& out, Hits hits)
{
    for (; room >= 16; room -= 16, p += 16, out += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
        const int mask = _mm_movemask_epi8(hits(v, p));
        if (mask != 0) {
            const int first = firstSetBit(mask);
            out += first;
            return p + first;
        }
    }
    return p;
}
#endif

// Copies from p to out while no character of {a, b, c} occurs, stopping at stop. Returns where it stopped.
// Whole blocks of sixteen are stored before they are tested, so out must have room up to p's stop.
inline const unsigned char* copyUntilAny(const unsigned char* p, const unsigned char* stop, unsigned char*& out,
                                         unsigned char a, unsigned char b, unsigned char c)
{
#ifdef SNELLITORE_SSE2
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
    p = copyBlocks(p, stop - p, out, [&](__m128i v, const unsigned char*) {
        return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, vc));
    });
#endif
    while (p != stop && *p != a && *p != b && *p != c)
        *out++ = *p++;
    return p;
}
