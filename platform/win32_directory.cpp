// Win32 implementation of folder listings, folder creation, containment by identity and link copies.
#include <platform/directory.h>
#include <platform/io_error.h>
#include <platform/win32_system.h>

namespace {

constexpr DWORD NotSupported = 50; // ERROR_NOT_SUPPORTED

// A handle to the folder itself, or to what a link leads to when follow is set.
int openFolder(const std::string& path, bool follow, HANDLE& handle)
{
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return win32::openHandle(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING, flags, handle);
}

} // namespace

namespace win32 {

EntryKind entryKindOfAttributes(DWORD attributes, DWORD reparseTag)
{
    if (isLink(attributes, reparseTag))
        return EntryKind::Link; // never followed
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return EntryKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return EntryKind::Other;
    return EntryKind::File;
}

} // namespace win32

namespace platform {

int listFolder(const std::string& path, std::vector<FolderEntry>& entries)
{
    entries.clear();
    std::wstring pattern;
    if (const int code = win32::widePath(path, pattern))
        return code;
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                             nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return win32::lastIoCode();
    int code = IoCode::Ok;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        // The tag of a reparse point comes with the entry.
        const DWORD tag = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? found.dwReserved0 : 0;
        entries.push_back({ win32::utf8FromWide(name), win32::entryKindOfAttributes(found.dwFileAttributes, tag) });
    } while (::FindNextFileW(search, &found));
    if (::GetLastError() != ERROR_NO_MORE_FILES)
        code = win32::lastIoCode();
    ::FindClose(search);
    return code;
}

int entryKindOf(const std::string& path, EntryKind& kind)
{
    std::wstring wide;
    if (const int code = win32::widePath(path, wide))
        return code;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return win32::lastIoCode();
    DWORD tag = 0;
    // Only a reparse point needs its tag, which only a handle to it tells.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        DWORD current = attributes;
        if (const int code = win32::attributesOfName(path, current, tag))
            return code;
    }
    kind = win32::entryKindOfAttributes(attributes, tag);
    return IoCode::Ok;
}

bool leadsToFolder(const std::string& path)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (openFolder(path, true, handle) != IoCode::Ok)
        return false;
    BY_HANDLE_FILE_INFORMATION info {};
    const bool folder = ::GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    ::CloseHandle(handle);
    return folder;
}

int fileSizeOf(const std::string& path, std::int64_t& bytes)
{
    std::wstring wide;
    if (const int code = win32::widePath(path, wide))
        return code;
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
        return win32::lastIoCode();
    bytes = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return IoCode::Ok;
}

int createFolder(const std::string& path, unsigned)
{
    std::wstring wide;
    if (const int code = win32::widePath(path, wide))
        return code;
    return ::CreateDirectoryW(wide.c_str(), nullptr) ? IoCode::Ok : win32::lastIoCode();
}

int permissionsOf(const std::string&, unsigned& permissions)
{
    permissions = DefaultFolderBits;
    return IoCode::Ok;
}

int limitFolderPermissions(const std::string&, unsigned)
{
    return IoCode::Ok;
}

// Windows has no ".." to open from a handle: the folder's final path (links resolved) is walked up by its
// names instead, and each level compared by identity.
int folderIsWithin(const std::string& path, const FileIdentity& outer, bool& within)
{
    within = false;
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (const int code = openFolder(path, true, handle))
        return code;
    std::wstring final(32768, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                                     FILE_NAME_NORMALIZED);
    ::CloseHandle(handle);
    if (length == 0 || length >= final.size())
        return win32::lastIoCode();
    final.resize(length);
    std::string level = win32::utf8FromWide(final);
    for (;;) {
        if (sameFile(outer, level)) {
            within = true;
            return IoCode::Ok;
        }
        const auto separator = level.find_last_of('\\');
        if (separator == std::string::npos || separator + 1 >= level.size() || level.find('\\') == separator)
            return IoCode::Ok;
        std::string parent = level.substr(0, separator);
        if (parent.back() == ':' || parent.size() <= 7) // "\\?\C:" is the volume, not a folder of it
            parent += '\\';
        if (parent == level)
            return IoCode::Ok;
        level = parent;
        if (level.back() == '\\' && level.size() > 1 && level[level.size() - 2] == ':') {
            within = sameFile(outer, level);
            return IoCode::Ok;
        }
    }
}

// Symbolic links need a privilege or the developer mode on Windows; where they cannot be made, the copy fails
// for that entry alone.
int copyLink(const std::string& from, const std::string& to, bool replace)
{
    (void)from;
    (void)to;
    (void)replace;
    return NotSupported;
}

} // namespace platform
