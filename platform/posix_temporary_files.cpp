// POSIX implementation of the spooled copies of sources and the staged destinations.
#include <platform/io_error.h>
#include <platform/posix_system.h>
#include <platform/temporary_files.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t SpoolBlockSize = 64 * 1024;
// Pseudo-files of /sys report a page, 4 KiB here and up to 64 KiB on other machines. A real file that small
// with no block of its own (all holes, or stored inside its inode) costs next to nothing to read through.
constexpr off_t LargestPseudoFileSize = 64 * 1024;
constexpr const char* StagedPrefix = ".snellitore-";
constexpr int StagedNameAttempts = 100;

// Six letters or digits; the name is created exclusively, so a clash only costs another attempt.
std::string randomSuffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        auto seed = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (unsigned char& byte : bytes) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = static_cast<unsigned char>(seed >> 56);
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix += letters[byte % (sizeof letters - 1)];
    return suffix;
}

std::atomic<platform::UnnamedStaging> unnamedStaging {platform::UnnamedStaging::Used};

std::string folderPrefixOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A new file under a new name beside path.
int createNamed(const std::string& path, std::unique_ptr<SystemFile>& created, std::string& name)
{
    const std::string prefix = folderPrefixOf(path) + StagedPrefix;
    for (int attempt = 0; attempt < StagedNameAttempts; ++attempt) {
        std::string candidate = prefix + randomSuffix();
        const int code = platform::createNew(candidate, created);
        if (code == IoCode::FileExists)
            continue;
        if (code == IoCode::Ok)
            name = std::move(candidate);
        return code;
    }
    return IoCode::FileExists;
}

// Gives the unnamed file behind fd the name path: 0, or the errno. Linking the descriptor itself spares the look
// through /proc, but older kernels allow it to privileged processes only, and refuse it as if the file were gone
// (ENOENT); the /proc link is for everyone. Once refused, the descriptor itself is not tried again.
int linkDescriptor(int fd, const std::string& path)
{
    static std::atomic<bool> descriptorRefused {false};
    if (!descriptorRefused.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT)
            return errno;
    }
    char link[40];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, link, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0)
        return errno;
    descriptorRefused.store(true, std::memory_order_relaxed);
    return 0;
}

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
        const auto slash = path.find_last_of('/');
        path = target[0] == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
    return false;
}

} // namespace

StagedFile::StagedFile(std::unique_ptr<SystemFile> file, std::string temporaryPath, std::string path)
    : m_file(std::move(file))
    , m_temporaryPath(std::move(temporaryPath))
    , m_path(std::move(path))
{
    platform::identityOf(*m_file, m_identity);
}

StagedFile::StagedFile(std::unique_ptr<SystemFile> file, std::string path)
    : m_file(std::move(file))
    , m_path(std::move(path))
    , m_unnamed(true)
{
}

StagedFile::~StagedFile()
{
    discard();
}

int StagedFile::close()
{
    if (m_closed)
        return IoCode::Ok;
    int code = IoCode::Ok;
    if (m_syncOnClose && m_file->isOpen()) {
        int result;
        do
            result = ::fsync(m_file->handle());
        while (result != 0 && errno == EINTR);
        if (result != 0 && errno != EINVAL) // EINVAL: the file system keeps nothing to write out
            code = platform::ioCodeFromErrno(errno, {});
    }
    if (m_unnamed) {
        // The descriptor is all there is of a file without a name: it stays open until commit names the file.
        m_closed = code == IoCode::Ok;
        return code;
    }
    const int closed = m_file->close();
    return code != IoCode::Ok ? code : closed;
}

int StagedFile::adoptOwnerAndMode(const std::string& modelPath)
{
    struct stat model {};
    if (::lstat(modelPath.c_str(), &model) != 0)
        return platform::ioCodeFromErrno(errno, modelPath);
    if (!S_ISREG(model.st_mode))
        return IoCode::Ok;
    mode_t mode = model.st_mode & 07777;
    // Only root may give a file away. A file that stays ours must not keep a set-user or set-group bit that
    // was meant for its former owner.
    if (::fchown(m_file->handle(), model.st_uid, model.st_gid) != 0)
        mode &= ~mode_t {S_ISUID | S_ISGID};
    return ::fchmod(m_file->handle(), mode) == 0 ? IoCode::Ok : platform::ioCodeFromErrno(errno, {});
}

// Copies the unnamed file into a new one under a temporary name beside path, which then goes the way of any
// staged file: for replacing a name, or where naming the unnamed file failed.
int StagedFile::takeTemporaryName()
{
    std::unique_ptr<SystemFile> named;
    std::string name;
    if (const int code = createNamed(m_path, named, name))
        return code;
    int code = IoCode::Ok;
    // The copy keeps what adoptOwnerAndMode may have given the unnamed file.
    struct stat info {};
    if (::fstat(m_file->handle(), &info) == 0) {
        if (::fchown(named->handle(), info.st_uid, info.st_gid) != 0)
            info.st_mode &= ~mode_t {S_ISUID | S_ISGID};
        if (::fchmod(named->handle(), info.st_mode & 07777) != 0)
            code = platform::ioCodeFromErrno(errno, {});
    }
    std::vector<unsigned char> block(SpoolBlockSize);
    for (off_t at = 0; code == IoCode::Ok;) {
        const ssize_t got = ::pread(m_file->handle(), block.data(), block.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            code = platform::ioCodeFromErrno(errno, {});
            break;
        }
        if (got == 0)
            break;
        std::size_t stored = 0;
        code = named->write(block.data(), static_cast<std::size_t>(got), stored);
        at += got;
    }
    if (code != IoCode::Ok) {
        named->close();
        ::unlink(name.c_str());
        return code;
    }
    m_file->close();
    m_file = std::move(named);
    m_temporaryPath = std::move(name);
    platform::identityOf(*m_file, m_identity);
    m_unnamed = false;
    m_closed = false;
    return IoCode::Ok;
}

int StagedFile::commit(bool replace)
{
    if (m_unnamed) {
        if (const int code = close())
            return code;
        int error = 0;
        if (replace) {
            error = EEXIST; // a link never replaces a name
        } else if (unnamedStaging.load(std::memory_order_relaxed) == platform::UnnamedStaging::LinkFails) {
            error = ENOENT;
        } else {
            error = linkDescriptor(m_file->handle(), m_path);
        }
        if (error == 0) {
            m_pending = false;
            // The complete file has its name now; a failed close cannot take that back.
            return m_file->close();
        }
        if (error == EEXIST && !replace)
            return IoCode::FileExists;
        // No /proc, or a file system that links no unnamed file: the file takes a temporary name after all.
        if (const int code = takeTemporaryName())
            return code;
    }
    if (m_file->isOpen()) {
        if (const int code = close())
            return code;
    }
    const char* from = m_temporaryPath.c_str();
    const char* to = m_path.c_str();
    int result;
    if (replace) {
        result = ::rename(from, to);
    } else {
        result = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            // A file system without that flag: a hard link also refuses a name that is taken.
            result = ::link(from, to);
            if (result == 0)
                ::unlink(from);
        }
    }
    if (result != 0)
        return platform::ioCodeFromErrno(errno, m_path);
    m_pending = false;
    return IoCode::Ok;
}

int StagedFile::discard()
{
    if (!m_pending)
        return IoCode::Ok;
    m_file->close();
    if (m_unnamed) { // nothing of it is left once closed
        m_pending = false;
        return IoCode::Ok;
    }
    struct stat info {};
    if (::lstat(m_temporaryPath.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return platform::ioCodeFromErrno(errno, m_temporaryPath);
    } else if (S_ISREG(info.st_mode) && platform::identityFromStat(info) == m_identity
               && ::unlink(m_temporaryPath.c_str()) != 0) {
        return platform::ioCodeFromErrno(errno, m_temporaryPath);
    }
    m_pending = false;
    return IoCode::Ok;
}

namespace platform {

int openTemporaryFile(std::unique_ptr<SystemFile>& file)
{
    const std::string folder = platform::temporaryFolder();
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd < 0) {
        // Not every file system offers unnamed files; a named one unlinked at once is as private.
        std::string name = folder + "/snellitore-XXXXXX";
        fd = ::mkstemp(name.data());
        if (fd < 0)
            return platform::ioCodeFromErrno(errno, name);
        ::unlink(name.c_str());
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    file = std::make_unique<SystemFile>(fd);
    return IoCode::Ok;
}

std::string temporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

bool hasReliableSize(const SystemFile& file)
{
    struct stat info {};
    return ::fstat(file.handle(), &info) == 0 && reliableSize(info);
}

int factsOf(const SystemFile& file, FileFacts& facts)
{
    struct stat info {};
    if (::fstat(file.handle(), &info) != 0)
        return ioCodeFromErrno(errno, {});
    facts.regular = S_ISREG(info.st_mode);
    facts.reliableSize = reliableSize(info);
    facts.size = info.st_size;
    facts.identity = identityFromStat(info);
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

int createStaged(const std::string& path, std::unique_ptr<StagedFile>& file)
{
    std::unique_ptr<SystemFile> created;
    std::string name;
    if (const int code = createNamed(path, created, name))
        return code;
    file = std::make_unique<StagedFile>(std::move(created), std::move(name), path);
    return IoCode::Ok;
}

int createStagedNew(const std::string& path, std::unique_ptr<StagedFile>& file)
{
#ifdef O_TMPFILE
    if (unnamedStaging.load(std::memory_order_relaxed) != UnnamedStaging::Unsupported) {
        const auto slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
        int fd;
        do
            fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            file = std::make_unique<StagedFile>(std::make_unique<SystemFile>(fd), path);
            return IoCode::Ok;
        }
        // A file system without unnamed files (EOPNOTSUPP), an older kernel (EISDIR, EINVAL): a named file. Any
        // other failure comes again, and is reported, as the named file is created.
    }
#endif
    return createStaged(path, file);
}

void setUnnamedStaging(UnnamedStaging mode)
{
    unnamedStaging.store(mode);
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
