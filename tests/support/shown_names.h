// Names holding characters that would break a line, hide what follows or reorder it, and how they are shown:
// one table for the desktop's lists and the CLI's messages, so that both show a name alike.
#pragma once

struct ShownName
{
    const char* row;
    const char* name; // the bytes of the name, valid UTF-8
    const char* shown; // UTF-8
};

inline constexpr ShownName ShownNames[] = {
    { "newline", "new\nfile.htm", "new\\nfile.htm" },
    { "tab", "a\tb.htm", "a\\tb.htm" },
    { "carriage return last", "a.htm\r", "a.htm\\r" },
    { "escape sequence and delete", "\x1b[1mx\x7f.htm", "\\x1b[1mx\\x7f.htm" },
    { "bell, backspace, vertical tab, form feed", "\x07\x08\x0b\x0c.htm", "\\x07\\x08\\x0b\\x0c.htm" },
    { "next line, a control of 0x80-0x9f", "a\xc2\x85.htm", "a\\u0085.htm" },
    { "last C1 control, then a no-break space", "\xc2\x9f\xc2\xa0.htm", "\\u009f\xc2\xa0.htm" },
    { "line separator", "a\xe2\x80\xa8.htm", "a\\u2028.htm" },
    { "paragraph separator", "a\xe2\x80\xa9.htm", "a\\u2029.htm" },
    { "right-to-left override", "a\xe2\x80\xaemth.htm", "a\\u202emth.htm" },
    { "first embedding", "\xe2\x80\xaa.htm", "\\u202a.htm" },
    { "isolates", "\xe2\x81\xa6x\xe2\x81\xa9.htm", "\\u2066x\\u2069.htm" },
    { "plain name unchanged", "index.htm", "index.htm" },
    { "accent, blanks and a backslash unchanged", "caff\xc3\xa8 a\\n b.htm", "caff\xc3\xa8 a\\n b.htm" },
    { "a character beyond 16 bits unchanged", "\xf0\x9f\x98\x80.htm", "\xf0\x9f\x98\x80.htm" },
};
