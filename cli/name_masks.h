// Wildcard masks for file names, as the desktop program's filter reads them, on names of any bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Masks separated by ";" (blanks around each ignored): "*" any run, "?" one byte, ASCII letters compared
// without case; a trailing ".*" also takes names without an extension (so "*.*" takes every name), and a
// trailing "." takes only names without one. Other bytes are compared exactly, so a name that is no valid
// text matches as its bytes say.
class NameMasks
{
public:
    explicit NameMasks(std::string_view list);

    bool matches(std::string_view name) const;

private:
    struct Mask
    {
        std::string body; // the wildcard pattern without the trailing ".*" or "."
        bool anyExtension = false; // ended with ".*": the body alone, or the body, a dot and anything
        bool noExtension = false; // ended with ".": names without a dot only
    };
    static bool matchesBody(std::string_view pattern, std::string_view name);

    std::vector<Mask> m_masks;
};
