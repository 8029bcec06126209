// Win32 calls for temporary and staged files: private files that vanish when closed, moves, flushes, attributes.
#include <platform/io_error.h>
#include <platform/system_staging.h>
#include <platform/temporary_files.h>
#include <platform/win32_system.h>

#include <exception>
#include <random>

namespace {

// The attributes a replaced file hands on to the file that takes its place; read-only files are refused before.
constexpr DWORD AdoptedAttributes
    = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

} // namespace

namespace platform {

// %TMP%, %TEMP%, the user's profile or the Windows folder, as the system chooses, without a final "\".
std::string temporaryFolder()
{
    wchar_t buffer[MAX_PATH + 2];
    const DWORD length = ::GetTempPathW(MAX_PATH + 2, buffer);
    std::wstring folder(buffer, length > 0 && length <= MAX_PATH + 1 ? length : 0);
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return win32::utf8FromWide(folder);
}

bool systemRandom(unsigned char* bytes, std::size_t n)
{
    try {
        std::random_device device;
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<unsigned char>(device());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Every staged file has a temporary name here.
bool canNameUnnamedFiles()
{
    return false;
}

int createUnnamed(const std::string&, unsigned, std::unique_ptr<SystemFile>&)
{
    return NotSupported;
}

int nameUnnamed(const SystemFile&, const std::string&)
{
    return NotSupported;
}

// The file vanishes when closed, even when the program dies, and nobody else may open it meanwhile.
int createPrivate(const std::string& path, std::unique_ptr<SystemFile>& file)
{
    HANDLE handle;
    if (const int code = win32::openHandle(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW,
                                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, handle))
        return code;
    file = std::make_unique<SystemFile>(handle);
    return IoCode::Ok;
}

int flushToDisk(const SystemFile& file)
{
    return ::FlushFileBuffers(file.handle()) ? IoCode::Ok : win32::lastIoCode();
}

// Windows has no permission bits; the attributes a user sets (hidden, system, archive) are what a file keeps.
// Access rights come from the folder, as for any new file there.
int adoptOwnerAndMode(const SystemFile& file, const std::string& modelPath)
{
    std::wstring model;
    if (const int code = win32::widePath(modelPath, model))
        return code;
    const DWORD attributes = ::GetFileAttributesW(model.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return win32::lastIoCode();
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        return IoCode::Ok;
    FILE_BASIC_INFO info {}; // times of 0 are left as they are
    info.FileAttributes = (attributes & AdoptedAttributes) ? attributes & AdoptedAttributes : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file.handle(), FileBasicInfo, &info, sizeof info) ? IoCode::Ok
                                                                                            : win32::lastIoCode();
}

int setModificationTime(const SystemFile& file, const FileTime& time)
{
    FILE_BASIC_INFO info {}; // attributes and times of 0 are left as they are
    const FILETIME written = win32::fileTimeFromTime(time);
    info.LastWriteTime.LowPart = written.dwLowDateTime;
    info.LastWriteTime.HighPart = static_cast<LONG>(written.dwHighDateTime);
    return ::SetFileInformationByHandle(file.handle(), FileBasicInfo, &info, sizeof info) ? IoCode::Ok
                                                                                            : win32::lastIoCode();
}

// A staged copy of a read-only source is read-only from its creation on; it is ours to remove all the same.
int removeStagedFile(const std::string& path)
{
    std::wstring wide;
    if (const int code = win32::widePath(path, wide))
        return code;
    if (::DeleteFileW(wide.c_str()))
        return IoCode::Ok;
    const int code = win32::lastIoCode();
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (code != IoCode::AccessDenied || !readOnly)
        return code;
    const DWORD writable = attributes & ~DWORD {FILE_ATTRIBUTE_READONLY};
    if (!::SetFileAttributesW(wide.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL))
        return code;
    return ::DeleteFileW(wide.c_str()) ? IoCode::Ok : win32::lastIoCode();
}

// Without MOVEFILE_REPLACE_EXISTING the move refuses a name that is taken (80), in one step.
int moveFile(const std::string& from, const std::string& to, bool replace)
{
    std::wstring wideFrom, wideTo;
    if (const int code = win32::widePath(from, wideFrom))
        return code;
    if (const int code = win32::widePath(to, wideTo))
        return code;
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return ::MoveFileExW(wideFrom.c_str(), wideTo.c_str(), flags) ? IoCode::Ok : win32::lastIoCode();
}

} // namespace platform
