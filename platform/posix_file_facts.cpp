// POSIX implementation of the facts about open files and names: regular files, believable sizes, what a name holds.
#include <platform/directory.h>
#include <platform/file_facts.h>
#include <platform/io_error.h>
#include <platform/posix_system.h>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Pseudo-files of /sys report a page, 4 KiB here and up to 64 KiB on other machines. A real file that small
// with no block of its own (all holes, or stored inside its inode) costs next to nothing to read through.
constexpr off_t LargestPseudoFileSize = 64 * 1024;

bool reliableSize(const struct stat& info)
{
    return S_ISREG(info.st_mode) && info.st_size > 0 && (info.st_blocks > 0 || info.st_size > LargestPseudoFileSize);
}

// A link that leads through /proc names an open descriptor (/dev/stdout, /dev/fd/3): the caller means whatever
// that descriptor is, even a regular file, and never the link itself.
bool leadsToADescriptor(std::string path)
{
    struct stat proc {};
    if (::stat("/proc", &proc) != 0)
        return false;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return false;
        if (info.st_dev == proc.st_dev)
            return true;
        std::string target(static_cast<std::size_t>(PATH_MAX), '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) == target.size())
            return false;
        target.resize(static_cast<std::size_t>(length));
        path = target[0] == '/' ? target : path.substr(0, platform::nameStart(path)) + target;
    }
    return false;
}

} // namespace

namespace platform {

int factsOf(const SystemFile& file, FileFacts& facts)
{
    struct stat info {};
    if (::fstat(file.handle(), &info) != 0)
        return ioCodeFromErrno(errno, {});
    facts.regular = S_ISREG(info.st_mode);
    facts.reliableSize = reliableSize(info);
    facts.size = info.st_size;
    facts.identity = identityFromStat(info);
    facts.permissions = static_cast<unsigned>(info.st_mode & 0777);
    facts.modified = {static_cast<std::int64_t>(info.st_mtim.tv_sec), static_cast<std::int32_t>(info.st_mtim.tv_nsec)};
    return IoCode::Ok;
}

int openExistingWithFacts(const std::string& path, std::unique_ptr<SystemFile>& file, FileFacts& facts)
{
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return ioCodeFromErrno(errno, path);
    auto opened = std::make_unique<SystemFile>(fd);
    if (const int code = factsOf(*opened, facts))
        return code;
    // A folder opens for reading here, but it is no file: refused as openExisting refuses it.
    struct stat info {};
    if (!facts.regular && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode))
        return IoCode::AccessDenied;
    file = std::move(opened);
    return IoCode::Ok;
}

int checkWritable(const std::string& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0
        ? IoCode::Ok
        : ioCodeFromErrno(errno, path);
}

int contentsOfName(const std::string& path, NameContents& contents)
{
    struct stat name {};
    if (::lstat(path.c_str(), &name) != 0) {
        if (errno != ENOENT)
            return ioCodeFromErrno(errno, path);
        contents = NameContents::Nothing;
        return IoCode::Ok;
    }
    if (S_ISREG(name.st_mode)) {
        contents = NameContents::RegularFile;
    } else if (S_ISDIR(name.st_mode)) {
        contents = NameContents::Folder;
    } else if (!S_ISLNK(name.st_mode)) {
        contents = NameContents::Stream;
    } else {
        struct stat target {};
        const bool device = ::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode);
        contents = device || leadsToADescriptor(path) ? NameContents::Stream : NameContents::Link;
    }
    return IoCode::Ok;
}

} // namespace platform
