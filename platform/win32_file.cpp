// Windows implementation of the byte files, folders and test files, with the system's own error codes.
#include "byte_file.h"
#include "io_error.h"
#include "win32_system.h"

#include <fcntl.h>
#include <io.h>

namespace {

// Source and destination are shared for reading and writing, so other programs may open them during a run.
constexpr DWORD SharedReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD SharedWithAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE handleOf(int descriptor)
{
    return descriptor < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
}

HANDLE handleOf(const PosixFile& file)
{
    return handleOf(file.descriptor());
}

int openPath(const std::string& path, DWORD access, DWORD disposition, std::unique_ptr<PosixFile>& file)
{
    HANDLE handle;
    if (const int code = win32::openHandle(path, access, SharedReadWrite, disposition, FILE_ATTRIBUTE_NORMAL, handle))
        return code;
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (descriptor < 0) {
        ::CloseHandle(handle);
        return IoCode::TooManyOpenFiles;
    }
    file = std::make_unique<PosixFile>(descriptor);
    return IoCode::Ok;
}

int createAndClose(const std::string& path, DWORD disposition)
{
    std::unique_ptr<PosixFile> file;
    const int code = openPath(path, GENERIC_READ | GENERIC_WRITE, disposition, file);
    return code != IoCode::Ok ? code : file->close();
}

int removeAndCreateNew(const std::string& path)
{
    if (const int code = platform::deleteFile(path))
        return code;
    return createAndClose(path, CREATE_NEW);
}

// The name itself is opened, not what a link there leads to; only a plain file with no other name is emptied,
// through the handle just checked.
int emptyPlainFile(const std::string& path)
{
    HANDLE handle;
    if (const int code = win32::openHandle(path, GENERIC_WRITE, SharedReadWrite, OPEN_EXISTING,
                                           FILE_FLAG_OPEN_REPARSE_POINT, handle))
        return code;
    BY_HANDLE_FILE_INFORMATION info {};
    int code = IoCode::Ok;
    bool replace = false;
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        code = IoCode::AccessDenied;
    else if (!::GetFileInformationByHandle(handle, &info))
        code = win32::lastIoCode();
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        code = IoCode::AccessDenied;
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1)
        replace = true;
    else if (!::SetEndOfFile(handle))
        code = win32::lastIoCode();
    if (!::CloseHandle(handle) && code == IoCode::Ok)
        code = IoCode::CloseFailed;
    return code == IoCode::Ok && replace ? removeAndCreateNew(path) : code;
}

} // namespace

PosixFile::PosixFile(int fd, bool owned)
    : m_fd(fd)
    , m_owned(owned)
{
}

PosixFile::~PosixFile()
{
    if (m_owned && m_fd >= 0)
        ::_close(m_fd);
}

int PosixFile::read(unsigned char* buffer, std::size_t n, std::size_t& got)
{
    return win32::readHandle(handleOf(*this), buffer, n, got);
}

int PosixFile::write(const unsigned char* buffer, std::size_t n, std::size_t& stored)
{
    return win32::writeHandle(handleOf(*this), buffer, n, stored);
}

int PosixFile::size(std::int64_t& bytes)
{
    return win32::sizeOfHandle(handleOf(*this), bytes);
}

int PosixFile::seek(std::int64_t offset)
{
    return win32::seekHandle(handleOf(*this), offset);
}

int PosixFile::close()
{
    const int fd = m_fd;
    m_fd = -1;
    if (!m_owned || fd < 0)
        return IoCode::Ok;
    return ::_close(fd) == 0 ? IoCode::Ok : IoCode::CloseFailed;
}

namespace platform {

int openExisting(const std::string& path, FileAccess access, std::unique_ptr<PosixFile>& file)
{
    const DWORD rights = access == FileAccess::ReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    if (const int code = openPath(path, rights, OPEN_EXISTING, file))
        return code;
    // Windows itself refuses a folder here; a file system that lets one through is refused the same way.
    BY_HANDLE_FILE_INFORMATION info {};
    if (::GetFileInformationByHandle(handleOf(*file), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        file.reset();
        return IoCode::AccessDenied;
    }
    return IoCode::Ok;
}

int createAlways(const std::string& path, std::unique_ptr<PosixFile>& file)
{
    return openPath(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, file);
}

int createNew(const std::string& path, std::unique_ptr<PosixFile>& file)
{
    return openPath(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, file);
}

int createTestFile(const std::string& path)
{
    return createAndClose(path, CREATE_ALWAYS);
}

int createNewTestFile(const std::string& path)
{
    return createAndClose(path, CREATE_NEW);
}

int deleteFile(const std::string& path)
{
    std::wstring wide;
    if (const int code = win32::widePath(path, wide))
        return code;
    return ::DeleteFileW(wide.c_str()) ? IoCode::Ok : win32::lastIoCode();
}

int createDirectory(const std::string& path)
{
    std::wstring wide;
    if (const int code = win32::widePath(path, wide))
        return code;
    return ::CreateDirectoryW(wide.c_str(), nullptr) ? IoCode::Ok : win32::lastIoCode();
}

// Opened for no access at all, so a file held without sharing, and a folder, still tell who they are.
int identityOf(const std::string& path, FileIdentity& identity)
{
    HANDLE handle;
    if (const int code
        = win32::openHandle(path, 0, SharedWithAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, handle))
        return code;
    const int code = win32::identityOfHandle(handle, identity);
    ::CloseHandle(handle);
    return code;
}

int identityOf(const PosixFile& file, FileIdentity& identity)
{
    return win32::identityOfHandle(handleOf(file), identity);
}

bool isRegularFile(const PosixFile& file)
{
    return win32::isRegularHandle(handleOf(file));
}

int replaceWithTestFile(const std::string& path)
{
    std::wstring wide;
    if (const int code = win32::widePath(path, wide))
        return code;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const int code = win32::lastIoCode();
        return code == IoCode::FileNotFound ? createNewTestFile(path) : code;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return IoCode::AccessDenied;
    return emptyPlainFile(path);
}

} // namespace platform
