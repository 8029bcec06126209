// Bytes as a person can read them in a test's report: control characters, quotes and non-ASCII escaped.
#pragma once

#include <string>

// TAB, CR, LF, quotes, backslashes and bytes outside printable ASCII escaped, for a person to read.
inline std::string escaped(const std::string& bytes)
{
    static const char Hex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char c : bytes) {
        if (c == '\t')
            text += "\\t";
        else if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\\' || c == '"')
            text += { '\\', static_cast<char>(c) };
        else if (c < 32 || c > 126)
            text += { '\\', 'x', Hex[c >> 4], Hex[c & 15] };
        else
            text.push_back(static_cast<char>(c));
    }
    return text;
}
