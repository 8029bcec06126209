// Folders as a whole-site run sees them: the folder part of a path, listings that never follow a link, folders made
// level by level, containment decided by identity, and symbolic links copied as links.
#pragma once

#include <platform/byte_file.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a name in a folder holds, as listed: a link is reported as a link, never as what it leads to.
enum class EntryKind
{
    File,   // a regular file
    Folder, // a folder
    Link,   // a symbolic link, whatever it leads to
    Other,  // a FIFO, a device, a socket
};

// One name of a folder: its exact bytes, which need not be valid text.
struct FolderEntry
{
    std::string name;
    EntryKind kind = EntryKind::Other;
};

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
    if (separator == std::string::npos && path.size() >= 2 && path[1] == ':')
        return 2;
#else
    const std::size_t separator = path.find_last_of('/');
#endif
    return separator == std::string::npos ? 0 : separator + 1;
}

// The folder a path names its last name in: "." for a bare name, "/" for a name in the root.
inline std::string folderOf(const std::string& path)
{
    const std::size_t start = nameStart(path);
    if (start <= 1)
        return start == 0 ? "." : "/";
    return path.substr(0, path[start - 1] == ':' ? start : start - 1);
}

// Replaces entries with the names the folder holds, "." and ".." left out, in no particular order.
int listFolder(const std::string& path, std::vector<FolderEntry>& entries);

// What the name holds, not following a symbolic link; a link to a folder is still a link.
int entryKindOf(const std::string& path, EntryKind& kind);
// Whether the name, following symbolic links, leads to a folder (false when it leads nowhere).
bool leadsToFolder(const std::string& path);
// The size of the file at path, not following a symbolic link.
int fileSizeOf(const std::string& path, std::int64_t& bytes);

// Creates the last level of the path only; the levels before it must exist (PathNotFound, 3, otherwise), and the
// name must be free (80 when it is taken, whatever by). The folder gets permissions (byte_file.h) less the umask;
// Windows gives every new folder the access of its parent.
int createFolder(const std::string& path, unsigned permissions = DefaultFolderBits);
// The permission bits of what the name leads to (on Windows always the default of a folder).
int permissionsOf(const std::string& path, unsigned& permissions);
// Takes away from the folder at path, never through a link, each permission bit that permissions lacks.
int limitFolderPermissions(const std::string& path, unsigned permissions);

// Whether the existing folder at path is the folder with identity outer or lies anywhere below it, by the
// identities of its real ancestors: another spelling, a symbolic link or a bind mount on the way changes nothing.
int folderIsWithin(const std::string& path, const FileIdentity& outer, bool& within);

// Makes a symbolic link at to with the same target as the link at from. replace lets it take the place of
// whatever the name holds but a folder (the name is switched at once, never left empty); otherwise the name
// must be free (80 when it is taken).
int copyLink(const std::string& from, const std::string& to, bool replace);

} // namespace platform
