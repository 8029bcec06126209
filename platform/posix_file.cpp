// POSIX implementation of the system files and test files, with errno mapped onto I/O codes.
#include <platform/byte_file.h>
#include <platform/directory.h>
#include <platform/io_error.h>
#include <platform/posix_system.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Windows system error codes of the same meaning, so that no raw errno is ever shown (EIO is 5 here,
// which must not read "File access denied").
int systemCodeFromErrno(int error)
{
    switch (error) {
    case EMFILE:
    case ENFILE: return IoCode::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return IoCode::AccessDenied;
    case ENOSPC:
    case EDQUOT: return IoCode::DiskFull;
    case ENOTDIR: return IoCode::PathNotFound;
    case EBADF: return 6;          // invalid handle
    case ENOMEM: return 8;         // not enough memory
    case EXDEV: return 17;         // not the same device
    case ENODEV:
    case ENXIO: return 21;         // device not ready
    case EBUSY:
    case ETXTBSY: return IoCode::SharingViolation;
    case EAGAIN: return 33;        // lock violation
    case ENOSYS:
    case EOPNOTSUPP: return 50;    // not supported
    case EEXIST: return IoCode::FileExists;
    case EINVAL: return 87;        // invalid parameter
    case ESPIPE: return 132;       // seek on a device
    case ENOTEMPTY: return 145;    // folder not empty
    case ENAMETOOLONG: return 206; // name too long
    case EFBIG: return 223;        // file too large
    case EOVERFLOW: return 534;    // arithmetic overflow
    case EPIPE: return 232;        // the pipe is being closed: its reader is gone
    case EIO: return 1117;         // device I/O error
    case ELOOP: return 1921;       // name cannot be resolved
    default: return 31;            // device does not work
    }
}

int openPath(const std::string& path, int flags, std::unique_ptr<SystemFile>& file,
             unsigned permissions = platform::DefaultFileBits)
{
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC, static_cast<mode_t>(permissions & 0777));
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return platform::ioCodeFromErrno(errno, path);
    file = std::make_unique<SystemFile>(fd);
    return IoCode::Ok;
}

int createAndClose(const std::string& path, int flags)
{
    std::unique_ptr<SystemFile> file;
    const int code = openPath(path, flags, file);
    return code != IoCode::Ok ? code : file->close();
}

int removeAndCreateNew(const std::string& path)
{
    if (::unlink(path.c_str()) != 0)
        return platform::ioCodeFromErrno(errno, path);
    return createAndClose(path, O_RDWR | O_CREAT | O_EXCL);
}

// Opened without O_TRUNC and looked at through the descriptor: what is emptied is the file just checked,
// even if the name changed hands since it was looked up.
int emptyPlainFile(const std::string& path)
{
    std::unique_ptr<SystemFile> file;
    if (const int code = openPath(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK, file); code != IoCode::Ok)
        return code;
    struct stat info {};
    if (::fstat(file->handle(), &info) != 0)
        return platform::ioCodeFromErrno(errno, path);
    if (!S_ISREG(info.st_mode))
        return IoCode::AccessDenied;
    if (info.st_nlink > 1) {
        const int code = file->close();
        return code != IoCode::Ok ? code : removeAndCreateNew(path);
    }
    if (::ftruncate(file->handle(), 0) != 0)
        return platform::ioCodeFromErrno(errno, path);
    return file->close();
}

} // namespace

SystemFile::SystemFile(platform::NativeHandle handle, bool owned)
    : m_handle(handle)
    , m_owned(owned)
{
}

SystemFile::~SystemFile()
{
    if (m_owned && m_handle >= 0)
        ::close(m_handle);
}

int SystemFile::read(unsigned char* buffer, std::size_t n, std::size_t& got)
{
    got = 0;
    ssize_t r;
    do
        r = ::read(m_handle, buffer, n);
    while (r < 0 && errno == EINTR);
    if (r < 0)
        return platform::ioCodeFromErrno(errno, {});
    got = static_cast<std::size_t>(r);
    return IoCode::Ok;
}

int SystemFile::write(const unsigned char* buffer, std::size_t n, std::size_t& stored)
{
    stored = 0;
    while (stored < n) {
        const ssize_t w = ::write(m_handle, buffer + stored, n - stored);
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0)
            return platform::ioCodeFromErrno(errno, {});
        if (w == 0)
            return IoCode::DiskFull;
        stored += static_cast<std::size_t>(w);
    }
    return IoCode::Ok;
}

int SystemFile::size(std::int64_t& bytes)
{
    struct stat info {};
    if (::fstat(m_handle, &info) != 0)
        return platform::ioCodeFromErrno(errno, {});
    if (S_ISREG(info.st_mode)) {
        bytes = info.st_size;
        return IoCode::Ok;
    }
    // Block devices report their size only through seeking; pipes cannot tell it at all.
    const off_t here = ::lseek(m_handle, 0, SEEK_CUR);
    const off_t end = here < 0 ? -1 : ::lseek(m_handle, 0, SEEK_END);
    if (end < 0 || ::lseek(m_handle, here, SEEK_SET) < 0)
        return platform::ioCodeFromErrno(errno, {});
    bytes = end;
    return IoCode::Ok;
}

int SystemFile::seek(std::int64_t offset)
{
    const bool moved = ::lseek(m_handle, static_cast<off_t>(offset), SEEK_SET) >= 0;
    return moved ? IoCode::Ok : platform::ioCodeFromErrno(errno, {});
}

int SystemFile::close()
{
    const int fd = m_handle;
    m_handle = -1;
    if (!m_owned || fd < 0)
        return IoCode::Ok;
    // A failed close is reported as code 1 whatever the reason; the descriptor is gone either way.
    return ::close(fd) == 0 || errno == EINTR ? IoCode::Ok : IoCode::CloseFailed;
}

int SystemFile::position(std::int64_t& offset) const
{
    const off_t here = ::lseek(m_handle, 0, SEEK_CUR);
    if (here < 0)
        return platform::ioCodeFromErrno(errno, {});
    offset = here;
    return IoCode::Ok;
}

bool SystemFile::isOpen() const { return m_handle >= 0; }

namespace platform {

NativeHandle standardInput() { return STDIN_FILENO; }
NativeHandle standardOutput() { return STDOUT_FILENO; }

int ioCodeFromErrno(int error, const std::string& path)
{
    if (error == ENOENT)
        return !path.empty() && !leadsToFolder(folderOf(path)) ? IoCode::PathNotFound : IoCode::FileNotFound;
    return systemCodeFromErrno(error);
}

int openExisting(const std::string& path, FileAccess access, std::unique_ptr<SystemFile>& file)
{
    const int code = openPath(path, access == FileAccess::ReadWrite ? O_RDWR : O_RDONLY, file);
    if (code != IoCode::Ok)
        return code;
    struct stat info {};
    // A folder opens for reading here, but it is no file: refuse it as the system would on a write open.
    if (::fstat(file->handle(), &info) == 0 && S_ISDIR(info.st_mode)) {
        file.reset();
        return IoCode::AccessDenied;
    }
    return IoCode::Ok;
}

// The system applies the umask, and the mode only to a file it makes.
int createAlways(const std::string& path, std::unique_ptr<SystemFile>& file, unsigned permissions)
{
    return openPath(path, O_RDWR | O_CREAT | O_TRUNC, file, permissions);
}

// Without O_CREAT: a name that is gone meanwhile is an error, not a new file written in place.
int openForWriting(const std::string& path, std::unique_ptr<SystemFile>& file)
{
    return openPath(path, O_WRONLY | O_TRUNC, file);
}

int createNew(const std::string& path, std::unique_ptr<SystemFile>& file, unsigned permissions)
{
    return openPath(path, O_RDWR | O_CREAT | O_EXCL, file, permissions);
}

int createNewTestFile(const std::string& path)
{
    return createAndClose(path, O_RDWR | O_CREAT | O_EXCL);
}

int deleteFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? IoCode::Ok : ioCodeFromErrno(errno, path);
}

int identityOf(const std::string& path, FileIdentity& identity)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return ioCodeFromErrno(errno, path);
    identity = identityFromStat(info);
    return IoCode::Ok;
}

int identityOf(const SystemFile& file, FileIdentity& identity)
{
    struct stat info {};
    if (::fstat(file.handle(), &info) != 0)
        return ioCodeFromErrno(errno, {});
    identity = identityFromStat(info);
    return IoCode::Ok;
}

int replaceWithTestFile(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return errno == ENOENT ? createNewTestFile(path) : ioCodeFromErrno(errno, path);
    if (S_ISLNK(info.st_mode))
        return removeAndCreateNew(path);
    // A FIFO would block an open, a device may act on one: neither is opened, let alone emptied.
    if (!S_ISREG(info.st_mode))
        return IoCode::AccessDenied;
    return emptyPlainFile(path);
}

} // namespace platform
