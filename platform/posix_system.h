// What the POSIX sources of platform/ share: errno mapped onto I/O codes, and a file identity from a stat record.
// Not part of the platform's interface: nothing outside platform/ includes it but the platform's own tests.
#pragma once

#include <platform/byte_file.h>

#include <string>
#include <sys/stat.h>

namespace platform {

// Maps a system error number onto the program's I/O codes; the path tells "file" from "folder" not found.
int ioCodeFromErrno(int error, const std::string& path);

inline FileIdentity identityFromStat(const struct stat& info)
{
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

} // namespace platform
