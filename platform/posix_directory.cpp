// POSIX implementation of folder listings, folder creation, containment by identity and link copies.
#include <platform/directory.h>
#include <platform/io_error.h>
#include <platform/pending_names.h>
#include <platform/posix_system.h>
#include <platform/system_staging.h>

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

EntryKind kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    return EntryKind::Other;
}

// Closes a descriptor when it goes out of scope.
struct Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

int readLink(const std::string& path, std::string& target)
{
    for (std::size_t room = 256;; room *= 2) {
        target.resize(room);
        const ssize_t length = ::readlink(path.c_str(), target.data(), room);
        if (length < 0)
            return platform::ioCodeFromErrno(errno, path);
        if (static_cast<std::size_t>(length) < room) {
            target.resize(static_cast<std::size_t>(length));
            return IoCode::Ok;
        }
    }
}

} // namespace

namespace platform {

int listFolder(const std::string& path, std::vector<FolderEntry>& entries)
{
    entries.clear();
    DIR* folder = ::opendir(path.c_str());
    if (!folder)
        return ioCodeFromErrno(errno, path);
    const int fd = ::dirfd(folder);
    int code = IoCode::Ok;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (!entry) {
            if (errno != 0)
                code = ioCodeFromErrno(errno, path);
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        EntryKind kind;
        switch (entry->d_type) {
        case DT_REG: kind = EntryKind::File; break;
        case DT_DIR: kind = EntryKind::Folder; break;
        case DT_LNK: kind = EntryKind::Link; break;
        case DT_UNKNOWN: { // some file systems do not say: ask without following a link
            struct stat info {};
            if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // gone since it was listed
            kind = kindOfMode(info.st_mode);
            break;
        }
        default: kind = EntryKind::Other; break;
        }
        entries.push_back({ name, kind });
    }
    ::closedir(folder);
    return code;
}

int entryKindOf(const std::string& path, EntryKind& kind)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return ioCodeFromErrno(errno, path);
    kind = kindOfMode(info.st_mode);
    return IoCode::Ok;
}

bool leadsToFolder(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int fileSizeOf(const std::string& path, std::int64_t& bytes)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return ioCodeFromErrno(errno, path);
    bytes = info.st_size;
    return IoCode::Ok;
}

int createFolder(const std::string& path, unsigned permissions)
{
    return ::mkdir(path.c_str(), static_cast<mode_t>(permissions & 0777)) == 0 ? IoCode::Ok
                                                                                : ioCodeFromErrno(errno, path);
}

int permissionsOf(const std::string& path, unsigned& permissions)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return ioCodeFromErrno(errno, path);
    permissions = static_cast<unsigned>(info.st_mode & 0777);
    return IoCode::Ok;
}

int limitFolderPermissions(const std::string& path, unsigned permissions)
{
    Descriptor folder { ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) };
    struct stat info {};
    if (folder.fd < 0 || ::fstat(folder.fd, &info) != 0)
        return ioCodeFromErrno(errno, path);
    const mode_t kept = info.st_mode & static_cast<mode_t>(permissions & 0777);
    return ::fchmod(folder.fd, kept) == 0 ? IoCode::Ok : ioCodeFromErrno(errno, path);
}

int folderIsWithin(const std::string& path, const FileIdentity& outer, bool& within)
{
    within = false;
    Descriptor current { ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) };
    if (current.fd < 0)
        return ioCodeFromErrno(errno, path);
    // ".." of a folder is its real parent, whatever name led to it; the root is its own parent.
    for (;;) {
        struct stat info {};
        if (::fstat(current.fd, &info) != 0)
            return ioCodeFromErrno(errno, path);
        if (identityFromStat(info) == outer) {
            within = true;
            return IoCode::Ok;
        }
        Descriptor parent { ::openat(current.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC) };
        if (parent.fd < 0)
            return ioCodeFromErrno(errno, path);
        struct stat above {};
        if (::fstat(parent.fd, &above) != 0)
            return ioCodeFromErrno(errno, path);
        if (above.st_dev == info.st_dev && above.st_ino == info.st_ino)
            return IoCode::Ok;
        std::swap(current.fd, parent.fd);
    }
}

int copyLink(const std::string& from, const std::string& to, bool replace)
{
    std::string target;
    if (const int code = readLink(from, target))
        return code;
    if (!replace)
        return ::symlink(target.c_str(), to.c_str()) == 0 ? IoCode::Ok : ioCodeFromErrno(errno, to);
    struct stat existing {};
    if (::lstat(to.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode))
        return IoCode::AccessDenied;
    // Made under a temporary name beside the name, then renamed over it: the name is never missing.
    std::string temporary;
    const auto link = [&target](const std::string& name) {
        return ::symlink(target.c_str(), name.c_str()) == 0 ? IoCode::Ok : ioCodeFromErrno(errno, name);
    };
    const CaughtSignalsHeld held; // until the new link is armed for the handlers
    auto entry = PendingNameEntry::reserve();
    if (const int code = withTemporaryName(temporaryPrefixBeside(to), link, temporary))
        return code;
    if (struct stat made {}; ::lstat(temporary.c_str(), &made) == 0)
        entry.arm(temporary, identityFromStat(made));
    if (::rename(temporary.c_str(), to.c_str()) != 0) {
        const int code = ioCodeFromErrno(errno, to);
        ::unlink(temporary.c_str());
        return code;
    }
    return IoCode::Ok;
}

} // namespace platform
