// POSIX calls for temporary and staged files: unnamed files and their names, renames, flushes, owners and modes.
#include <platform/io_error.h>
#include <platform/posix_system.h>
#include <platform/system_staging.h>
#include <platform/temporary_files.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string temporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

bool systemRandom(unsigned char* bytes, std::size_t n)
{
    return ::getrandom(bytes, n, GRND_NONBLOCK) == static_cast<ssize_t>(n);
}

// A file without a name is named through its link in /proc, which any process may follow; without /proc only a
// privileged process could name it.
bool canNameUnnamedFiles()
{
#ifdef O_TMPFILE
    struct stat info {};
    return ::stat("/proc/self/fd", &info) == 0;
#else
    return false;
#endif
}

int createUnnamed(const std::string& folder, unsigned permissions, std::unique_ptr<SystemFile>& file)
{
#ifdef O_TMPFILE
    int fd;
    do
        fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, static_cast<mode_t>(permissions & 0777));
    while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        file = std::make_unique<SystemFile>(fd);
        return IoCode::Ok;
    }
    // No unnamed files on this file system (EOPNOTSUPP) or in this kernel (EISDIR, EINVAL).
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
        return NotSupported;
    return errno == ENOENT ? IoCode::PathNotFound : ioCodeFromErrno(errno, folder);
#else
    (void)folder;
    (void)permissions;
    (void)file;
    return NotSupported;
#endif
}

// Linking the descriptor itself spares the look through /proc, but older kernels allow it to privileged processes
// only, and refuse it as if the file were gone (ENOENT); the /proc link is for everyone. Once refused, the
// descriptor itself is not tried again.
int nameUnnamed(const SystemFile& file, const std::string& path)
{
    static std::atomic<bool> descriptorRefused {false};
    if (!descriptorRefused.load(std::memory_order_relaxed)) {
        if (::linkat(file.handle(), "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0)
            return IoCode::Ok;
        if (errno != ENOENT)
            return ioCodeFromErrno(errno, path);
    }
    char link[40];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", file.handle());
    if (::linkat(AT_FDCWD, link, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0)
        return ioCodeFromErrno(errno, path);
    descriptorRefused.store(true, std::memory_order_relaxed);
    return IoCode::Ok;
}

// The name goes at once: the open file stays, private to this process, until it is closed.
int createPrivate(const std::string& path, std::unique_ptr<SystemFile>& file)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return ioCodeFromErrno(errno, path);
    ::unlink(path.c_str());
    file = std::make_unique<SystemFile>(fd);
    return IoCode::Ok;
}

int flushToDisk(const SystemFile& file)
{
    int result;
    do
        result = ::fsync(file.handle());
    while (result != 0 && errno == EINTR);
    // EINVAL: the file system keeps nothing to write out.
    return result == 0 || errno == EINVAL ? IoCode::Ok : ioCodeFromErrno(errno, {});
}

int adoptOwnerAndMode(const SystemFile& file, const std::string& modelPath)
{
    struct stat model {};
    if (::lstat(modelPath.c_str(), &model) != 0)
        return ioCodeFromErrno(errno, modelPath);
    if (!S_ISREG(model.st_mode))
        return IoCode::Ok;
    mode_t mode = model.st_mode & 07777;
    // Only root may give a file away. A file that stays ours must not keep a set-user or set-group bit that
    // was meant for its former owner.
    if (::fchown(file.handle(), model.st_uid, model.st_gid) != 0)
        mode &= ~mode_t {S_ISUID | S_ISGID};
    return ::fchmod(file.handle(), mode) == 0 ? IoCode::Ok : ioCodeFromErrno(errno, {});
}

int setModificationTime(const SystemFile& file, const FileTime& time)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(time.seconds), time.nanoseconds}};
    return ::futimens(file.handle(), times) == 0 ? IoCode::Ok : ioCodeFromErrno(errno, {});
}

int removeStagedFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? IoCode::Ok : ioCodeFromErrno(errno, path);
}

int moveFile(const std::string& from, const std::string& to, bool replace)
{
    int result;
    if (replace) {
        result = ::rename(from.c_str(), to.c_str());
    } else {
        result = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            // A file system without that flag: a hard link also refuses a name that is taken.
            result = ::link(from.c_str(), to.c_str());
            if (result == 0)
                ::unlink(from.c_str());
        }
    }
    return result == 0 ? IoCode::Ok : ioCodeFromErrno(errno, to);
}

} // namespace platform
