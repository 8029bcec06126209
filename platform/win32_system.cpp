// Win32 helpers of the platform layer: UTF-8 names as UTF-16, the system's codes, byte operations on handles.
#include <platform/byte_file.h>
#include <platform/io_error.h>
#include <platform/win32_system.h>

#include <algorithm>

namespace {

// One ReadFile or WriteFile moves at most this much; a DWORD could not say more.
constexpr DWORD LargestTransfer = 1u << 30;
// CreateDirectoryW stops at MAX_PATH less room for an 8.3 name; longer names need the "\\?\" form.
constexpr std::size_t LongestPlainPath = MAX_PATH - 12;
constexpr DWORD SeekOnDevice = 132; // what Windows answers for a seek on a pipe or a device
constexpr DWORD DiskQuotaExceeded = 1295; // ERROR_DISK_QUOTA_EXCEEDED, which MinGW's headers lack
constexpr std::int64_t TicksPerSecond = 10'000'000; // a FILETIME counts 100 ns
constexpr std::int64_t TicksFrom1601To1970 = 116'444'736'000'000'000;

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// "\\?\" lifts the limit of MAX_PATH characters; it takes a full path with backslashes only.
std::wstring extendedLengthPath(const std::wstring& path)
{
    if (path.size() < LongestPlainPath || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return path;
    full.resize(length);
    std::replace(full.begin(), full.end(), L'/', L'\\');
    if (full.size() > 2 && isSeparator(full[0]) && isSeparator(full[1]))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

} // namespace

namespace win32 {

int ioCodeFromSystem(DWORD error)
{
    switch (error) {
    case ERROR_SUCCESS: return 31; // "device does not work": a failure must never read as success
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case DiskQuotaExceeded: return IoCode::DiskFull;
    case ERROR_ALREADY_EXISTS: return IoCode::FileExists;
    default: return static_cast<int>(error);
    }
}

int lastIoCode()
{
    return ioCodeFromSystem(::GetLastError());
}

int widePath(const std::string& path, std::wstring& wide)
{
    wide.clear();
    if (path.empty())
        return IoCode::Ok;
    if (path.size() > static_cast<std::size_t>(INT32_MAX))
        return ERROR_FILENAME_EXCED_RANGE;
    const int length = static_cast<int>(path.size());
    const int needed = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), length, nullptr, 0);
    if (needed <= 0)
        return ERROR_INVALID_NAME;
    wide.resize(static_cast<std::size_t>(needed));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), length, wide.data(), needed);
    wide = extendedLengthPath(wide);
    return IoCode::Ok;
}

std::string utf8FromWide(const std::wstring& wide)
{
    if (wide.empty())
        return {};
    const int length = static_cast<int>(wide.size());
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(needed, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, text.data(), needed, nullptr, nullptr);
    return text;
}

int openHandle(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags, HANDLE& handle)
{
    handle = INVALID_HANDLE_VALUE;
    std::wstring wide;
    if (const int code = widePath(path, wide))
        return code;
    handle = ::CreateFileW(wide.c_str(), access, share, nullptr, disposition, flags, nullptr);
    return handle == INVALID_HANDLE_VALUE ? lastIoCode() : IoCode::Ok;
}

int readHandle(HANDLE handle, unsigned char* buffer, std::size_t n, std::size_t& got)
{
    got = 0;
    DWORD read = 0;
    if (!::ReadFile(handle, buffer, static_cast<DWORD>(std::min<std::size_t>(n, LargestTransfer)), &read, nullptr)) {
        const DWORD error = ::GetLastError();
        // A pipe whose writer has gone has simply ended.
        return error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? IoCode::Ok : ioCodeFromSystem(error);
    }
    got = read;
    return IoCode::Ok;
}

int writeHandle(HANDLE handle, const unsigned char* buffer, std::size_t n, std::size_t& stored)
{
    stored = 0;
    while (stored < n) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - stored, LargestTransfer));
        if (!::WriteFile(handle, buffer + stored, chunk, &written, nullptr))
            return lastIoCode();
        if (written == 0)
            return IoCode::DiskFull;
        stored += written;
    }
    return IoCode::Ok;
}

int sizeOfHandle(HANDLE handle, std::int64_t& bytes)
{
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return SeekOnDevice;
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(handle, &size))
        return lastIoCode();
    bytes = size.QuadPart;
    return IoCode::Ok;
}

int seekHandle(HANDLE handle, std::int64_t offset)
{
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return SeekOnDevice;
    LARGE_INTEGER to {};
    to.QuadPart = offset;
    return ::SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) ? IoCode::Ok : lastIoCode();
}

int positionOfHandle(HANDLE handle, std::int64_t& offset)
{
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return SeekOnDevice;
    LARGE_INTEGER here {};
    if (!::SetFilePointerEx(handle, LARGE_INTEGER {}, &here, FILE_CURRENT))
        return lastIoCode();
    offset = here.QuadPart;
    return IoCode::Ok;
}

int identityOfHandle(HANDLE handle, FileIdentity& identity)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!::GetFileInformationByHandle(handle, &info))
        return lastIoCode();
    identity = identityFromInformation(info);
    return IoCode::Ok;
}

int attributesOfHandle(HANDLE handle, DWORD& attributes, DWORD& reparseTag)
{
    FILE_ATTRIBUTE_TAG_INFO info {};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info))
        return lastIoCode();
    attributes = info.FileAttributes;
    reparseTag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info.ReparseTag : 0;
    return IoCode::Ok;
}

int attributesOfName(const std::string& path, DWORD& attributes, DWORD& reparseTag)
{
    // No access asked: CreateFileW adds what reading the attributes needs, also for a device.
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (const int code = openHandle(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, handle))
        return code;
    int code = IoCode::Ok;
    reparseTag = 0;
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        attributes = FILE_ATTRIBUTE_DEVICE;
    else
        code = attributesOfHandle(handle, attributes, reparseTag);
    ::CloseHandle(handle);
    return code;
}

FileTime timeFromFileTime(const FILETIME& time)
{
    const auto ticks = static_cast<std::int64_t>((std::uint64_t {time.dwHighDateTime} << 32) | time.dwLowDateTime)
        - TicksFrom1601To1970;
    std::int64_t seconds = ticks / TicksPerSecond;
    std::int64_t rest = ticks % TicksPerSecond;
    if (rest < 0) { // before 1970: the nanoseconds still count forward
        --seconds;
        rest += TicksPerSecond;
    }
    return {seconds, static_cast<std::int32_t>(rest * 100)};
}

FILETIME fileTimeFromTime(const FileTime& time)
{
    const auto ticks
        = static_cast<std::uint64_t>(time.seconds * TicksPerSecond + time.nanoseconds / 100 + TicksFrom1601To1970);
    return {static_cast<DWORD>(ticks & 0xffffffffu), static_cast<DWORD>(ticks >> 32)};
}

} // namespace win32
