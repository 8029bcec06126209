// The parts of a path, as every system's separators split it.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
#else
inline constexpr char PathSeparator = '/';
#endif

// Where the last name of a path begins: just after its last separator ("/"; on Windows "\" and "/", or the ":"
// of a drive in "C:page.htm", which lies in drive C's current folder); 0 for a bare name.
inline std::size_t nameStart(const std::string& path)
{
#ifdef _WIN32
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? 2 : 0;
#else
    const std::size_t separator = path.find_last_of('/');
    if (separator == std::string::npos)
        return 0;
#endif
    return separator + 1;
}

// The folder a path names its last name in: "." for a bare name, "/" for a name in the root.
inline std::string folderOf(const std::string& path)
{
    const std::size_t start = nameStart(path);
    if (start == 0)
        return ".";
    if (start == 1)
        return "/";
    return path.substr(0, path[start - 1] == ':' ? start : start - 1);
}

} // namespace platform
