// How a name is shown on one line, by the CLI's messages and the desktop's lists alike.
#include <platform/shown_text.h>

#include <cstddef>

namespace {

constexpr char Hex[] = "0123456789abcdef";

// The length of the UTF-8 sequence at text[at] and its code point; 0 when the bytes there are not UTF-8
// (a stray continuation byte, a sequence cut short, an overlong form, a surrogate, past U+10FFFF).
std::size_t decodeUtf8(std::string_view text, std::size_t at, char32_t& point)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        point = lead;
        return 1;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, point = lead & 0x1f, least = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, point = lead & 0x0f, least = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, point = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80)
            return 0;
        point = (point << 6) | (byte(at + i) & 0x3f);
    }
    if (point < least || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff))
        return 0;
    return length;
}

} // namespace

namespace platform {

bool hidesSomething(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 || (c >= 0x202a && c <= 0x202e)
        || (c >= 0x2066 && c <= 0x2069);
}

void appendEscaped(std::string& shown, char32_t c)
{
    switch (c) {
    case '\n': shown += "\\n"; return;
    case '\t': shown += "\\t"; return;
    case '\r': shown += "\\r"; return;
    default: break;
    }
    // Below 0x80 the character is one byte of the name; above it, it is shown by its code point.
    if (c < 0x80) {
        shown += { '\\', 'x', Hex[c >> 4], Hex[c & 15] };
        return;
    }
    shown += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        shown += Hex[(c >> shift) & 15];
}

std::string shownText(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t point = 0;
        const std::size_t length = decodeUtf8(text, at, point);
        if (length == 0) {
            const auto c = static_cast<unsigned char>(text[at++]);
            shown += { '\\', 'x', Hex[c >> 4], Hex[c & 15] };
        } else if (hidesSomething(point)) {
            appendEscaped(shown, point);
            at += length;
        } else {
            shown.append(text, at, length);
            at += length;
        }
    }
    return shown;
}

} // namespace platform
