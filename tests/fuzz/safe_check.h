// The safe compaction's fuzz target: its input layout, one run in memory, and the properties every run keeps.
#pragma once

#include <engine/safe_compaction.h>

#include <cstddef>
#include <cstdint>
#include <string>

// How a fuzz input frames its page. Byte 0: the frame in its low three bits, the language in bit 3 (0 HTML,
// 1 CSS; a CSS page has no frame), the most bytes one read delivers in its high four bits (0: no limit).
// Byte 1: the engine's buffer size, 1..MaxSafeBlock (0: the default). The rest: a payload up to the first NUL
// byte, put inside the frame, and what follows the frame. The payload is cleaned of CRs and of whatever would
// end its frame, so that the frame's content is known: it must come out byte for byte.
enum class SafeFrame
{
    None,        // the page is the rest alone
    Pre,         // <pre>payload</pre>
    Textarea,    // <textarea>payload</textarea>
    Script,      // <script>payload</script>
    Comment,     // <!--payload-->
    StyleAttribute,  // <div style="white-space:pre-wrap">payload</div>
    StyleBlockAfter, // <div class=k>payload</div><style>.k{white-space:pre}</style>, payload of letters and spaces
    Svg,         // <svg>payload</svg>
};

constexpr std::size_t MaxSafeBlock = 48;

struct SafeCase
{
    SafeLanguage language = SafeLanguage::Html;
    SafeFrame frame = SafeFrame::None;
    std::size_t blockSize = 0;
    std::size_t readLimit = 0;
    std::string opening; // the frame's text before the payload
    std::string payload; // cleaned
    std::string page;    // the whole page
};

SafeCase decodeSafeCase(const std::uint8_t* data, std::size_t size);

// The first property the run breaks, or empty: the output is never longer than the page, holds the page's
// characters but whitespace in their order, keeps the frame's content as it was, is the same for the default
// buffer and reads, leaves the source as it was and closes both files.
std::string safeRunFault(const SafeCase& run);
