// Windows implementation of the byte files and test files, with the system's own error codes.
#include <platform/byte_file.h>
#include <platform/io_error.h>
#include <platform/win32_system.h>

namespace {

// Source and destination are shared for reading and writing, so other programs may open them during a run.
constexpr DWORD SharedReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD SharedWithAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int openPath(const std::string& path, DWORD access, DWORD disposition, std::unique_ptr<SystemFile>& file,
             DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    HANDLE handle;
    if (const int code = win32::openHandle(path, access, SharedReadWrite, disposition, attributes, handle))
        return code;
    file = std::make_unique<SystemFile>(handle);
    return IoCode::Ok;
}

int createAndClose(const std::string& path, DWORD disposition)
{
    std::unique_ptr<SystemFile> file;
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

SystemFile::SystemFile(platform::NativeHandle handle, bool owned)
    : m_handle(handle)
    , m_owned(owned)
{
}

SystemFile::~SystemFile()
{
    if (m_owned && isOpen())
        ::CloseHandle(m_handle);
}

int SystemFile::read(unsigned char* buffer, std::size_t n, std::size_t& got)
{
    return win32::readHandle(m_handle, buffer, n, got);
}

int SystemFile::write(const unsigned char* buffer, std::size_t n, std::size_t& stored)
{
    return win32::writeHandle(m_handle, buffer, n, stored);
}

int SystemFile::size(std::int64_t& bytes)
{
    return win32::sizeOfHandle(m_handle, bytes);
}

int SystemFile::seek(std::int64_t offset)
{
    return win32::seekHandle(m_handle, offset);
}

int SystemFile::close()
{
    const HANDLE handle = m_handle;
    const bool wasOpen = isOpen();
    m_handle = INVALID_HANDLE_VALUE;
    if (!m_owned || !wasOpen)
        return IoCode::Ok;
    // A failed close is reported as code 1 whatever the reason; the handle is gone either way.
    return ::CloseHandle(handle) ? IoCode::Ok : IoCode::CloseFailed;
}

int SystemFile::position(std::int64_t& offset) const
{
    return win32::positionOfHandle(m_handle, offset);
}

// GetStdHandle answers a null handle for a stream the process was started without.
bool SystemFile::isOpen() const
{
    return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr;
}

namespace platform {

NativeHandle standardInput()
{
    return ::GetStdHandle(STD_INPUT_HANDLE);
}

NativeHandle standardOutput()
{
    return ::GetStdHandle(STD_OUTPUT_HANDLE);
}

int openExisting(const std::string& path, FileAccess access, std::unique_ptr<SystemFile>& file)
{
    const DWORD rights = access == FileAccess::ReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    if (const int code = openPath(path, rights, OPEN_EXISTING, file))
        return code;
    // Windows itself refuses a folder here; a file system that lets one through is refused the same way.
    BY_HANDLE_FILE_INFORMATION info {};
    if (::GetFileInformationByHandle(file->handle(), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        file.reset();
        return IoCode::AccessDenied;
    }
    return IoCode::Ok;
}

// A file that was there keeps its attributes but for those CREATE_ALWAYS resets; only a new one is made read-only,
// through the handle, which stays writable.
int createAlways(const std::string& path, std::unique_ptr<SystemFile>& file, unsigned permissions)
{
    HANDLE handle;
    if (const int code = win32::openHandle(path, GENERIC_READ | GENERIC_WRITE, SharedReadWrite, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, handle))
        return code;
    const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    auto created = std::make_unique<SystemFile>(handle);
    if (!existed && (permissions & 0222) == 0) {
        FILE_BASIC_INFO info {}; // times of 0 are left as they are
        info.FileAttributes = FILE_ATTRIBUTE_READONLY;
        if (!::SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info))
            return win32::lastIoCode();
    }
    file = std::move(created);
    return IoCode::Ok;
}

// A device or a pipe of Windows opens as it always did here; a closed pipe's reader fails the write anyway.
int openForWriting(const std::string& path, std::unique_ptr<SystemFile>& file)
{
    return createAlways(path, file);
}

// Made read-only at once: the handle that creates it may still write it.
int createNew(const std::string& path, std::unique_ptr<SystemFile>& file, unsigned permissions)
{
    const DWORD attributes = (permissions & 0222) != 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    return openPath(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, file, attributes);
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

int identityOf(const SystemFile& file, FileIdentity& identity)
{
    return win32::identityOfHandle(file.handle(), identity);
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
