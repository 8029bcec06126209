// Text for the fuzz targets' reports and command lines: escaped bytes and lists of compaction names.
#pragma once

#include <compaction.h>

#include <string>
#include <utility>

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

// The names of the compactions that are on, as --options takes them.
inline std::string compactionList(const CompactionOptions& options)
{
    std::string list;
    const std::pair<bool, const char*> names[] = { { options.collapseWhitespace, "default" },
        { options.squeezeTags, "apici" }, { options.dropTagGaps, "tags" }, { options.rewriteCenteredDivs, "div" } };
    for (const auto& [on, name] : names)
        if (on)
            list += (list.empty() ? "" : ",") + std::string(name);
    return list;
}
