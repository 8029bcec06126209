// Spooled copies of sources and staged destinations on Windows, with the system's own error codes.
#include <platform/io_error.h>
#include <platform/temporary_files.h>
#include <platform/win32_system.h>

#include <atomic>
#include <random>
#include <vector>

namespace {

constexpr const char* StagedPrefix = ".snellitore-";
constexpr const char* SpoolPrefix = "snellitore-";
constexpr int NameAttempts = 100;
constexpr DWORD SharedWithAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The attributes a replaced file hands on to the file that takes its place; read-only files are refused before.
constexpr DWORD AdoptedAttributes
    = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Six letters or digits; names are created exclusively, so a clash only costs another attempt.
std::string randomSuffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::atomic<unsigned> counter {0};
    unsigned long long seed = ::GetTickCount64() ^ (std::uint64_t {::GetCurrentProcessId()} << 32) ^ counter++;
    try {
        std::random_device device;
        seed ^= (std::uint64_t {device()} << 32) | device();
    } catch (const std::exception&) {
        // The clock, the process and the counter still make clashes rare, and a clash is retried.
    }
    std::string suffix;
    for (int i = 0; i < 6; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        suffix += letters[(seed >> 33) % (sizeof letters - 1)];
    }
    return suffix;
}

// The name itself, a link too, not what it leads to.
int identityOfName(const std::string& path, FileIdentity& identity, DWORD& attributes)
{
    HANDLE handle;
    if (const int code = win32::openHandle(path, 0, SharedWithAll, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, handle))
        return code;
    BY_HANDLE_FILE_INFORMATION info {};
    int code = IoCode::Ok;
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        attributes = FILE_ATTRIBUTE_DEVICE;
    } else if (::GetFileInformationByHandle(handle, &info)) {
        attributes = info.dwFileAttributes;
        identity = {info.dwVolumeSerialNumber, (std::uint64_t {info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    } else {
        code = win32::lastIoCode();
    }
    ::CloseHandle(handle);
    return code;
}

} // namespace

StagedFile::StagedFile(std::unique_ptr<SystemFile> file, std::string temporaryPath, std::string path)
    : m_file(std::move(file))
    , m_temporaryPath(std::move(temporaryPath))
    , m_path(std::move(path))
{
    platform::identityOf(*m_file, m_identity);
}

StagedFile::~StagedFile()
{
    discard();
}

int StagedFile::close()
{
    int code = IoCode::Ok;
    if (m_file->isOpen() && !::FlushFileBuffers(m_file->handle()))
        code = win32::lastIoCode();
    const int closed = m_file->close();
    return code != IoCode::Ok ? code : closed;
}

// Windows has no permission bits; the attributes a user sets (hidden, system, archive) are what a file keeps.
// Access rights come from the folder, as for any new file there.
int StagedFile::adoptOwnerAndMode(const std::string& modelPath)
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
    return ::SetFileInformationByHandle(m_file->handle(), FileBasicInfo, &info, sizeof info) ? IoCode::Ok
                                                                                               : win32::lastIoCode();
}

int StagedFile::commit(bool replace)
{
    if (m_file->isOpen()) {
        if (const int code = close())
            return code;
    }
    std::wstring from, to;
    if (const int code = win32::widePath(m_temporaryPath, from))
        return code;
    if (const int code = win32::widePath(m_path, to))
        return code;
    // Without MOVEFILE_REPLACE_EXISTING the move refuses a name that is taken, in one step.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!::MoveFileExW(from.c_str(), to.c_str(), flags)) {
        const int code = win32::lastIoCode();
        return code == ERROR_FILE_EXISTS ? IoCode::FileExists : code;
    }
    m_pending = false;
    return IoCode::Ok;
}

int StagedFile::discard()
{
    if (!m_pending)
        return IoCode::Ok;
    m_file->close();
    FileIdentity identity;
    DWORD attributes = 0;
    const int code = identityOfName(m_temporaryPath, identity, attributes);
    if (code != IoCode::Ok && code != IoCode::FileNotFound)
        return code;
    if (code == IoCode::Ok && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        && identity == m_identity) {
        if (const int deleted = platform::deleteFile(m_temporaryPath))
            return deleted;
    }
    m_pending = false;
    return IoCode::Ok;
}

namespace platform {

// The temporary copy vanishes when closed, even when the program dies, and nobody else may open it meanwhile.
int openTemporaryFile(std::unique_ptr<SystemFile>& file)
{
    const std::string prefix = platform::temporaryFolder() + "\\" + SpoolPrefix;
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        HANDLE handle;
        const int code = win32::openHandle(prefix + randomSuffix() + ".tmp", GENERIC_READ | GENERIC_WRITE, 0,
                                           CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, handle);
        if (code == IoCode::FileExists)
            continue;
        if (code != IoCode::Ok)
            return code;
        file = std::make_unique<SystemFile>(handle);
        return IoCode::Ok;
    }
    return IoCode::FileExists;
}

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

// No pseudo-files here: a file on a disk holds what its size says; an empty one is read to its end anyway.
bool hasReliableSize(const SystemFile& file)
{
    std::int64_t size = 0;
    return win32::isRegularHandle(file.handle()) && win32::sizeOfHandle(file.handle(), size) == IoCode::Ok
        && size > 0;
}

int createStaged(const std::string& path, std::unique_ptr<StagedFile>& file)
{
    const std::string prefix = win32::folderPrefix(path) + StagedPrefix;
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        std::string candidate = prefix + randomSuffix();
        std::unique_ptr<SystemFile> created;
        const int code = createNew(candidate, created);
        if (code == IoCode::FileExists)
            continue;
        if (code != IoCode::Ok)
            return code;
        file = std::make_unique<StagedFile>(std::move(created), std::move(candidate), path);
        return IoCode::Ok;
    }
    return IoCode::FileExists;
}

// Every staged file has a temporary name here.
int createStagedNew(const std::string& path, std::unique_ptr<StagedFile>& file)
{
    return createStaged(path, file);
}

int factsOf(const SystemFile& file, FileFacts& facts)
{
    facts.regular = win32::isRegularHandle(file.handle());
    facts.size = 0;
    if (facts.regular) {
        if (const int code = win32::sizeOfHandle(file.handle(), facts.size))
            return code;
    }
    facts.reliableSize = facts.regular && facts.size > 0;
    return facts.regular ? win32::identityOfHandle(file.handle(), facts.identity) : IoCode::Ok;
}

int openExistingWithFacts(const std::string& path, std::unique_ptr<SystemFile>& file, FileFacts& facts)
{
    std::unique_ptr<SystemFile> opened;
    if (const int code = openExisting(path, FileAccess::ReadOnly, opened))
        return code;
    if (const int code = factsOf(*opened, facts))
        return code;
    file = std::move(opened);
    return IoCode::Ok;
}

// Opening for writing asks what the access rights, the read-only attribute and other programs' sharing allow.
int checkWritable(const std::string& path)
{
    HANDLE handle;
    if (const int code = win32::openHandle(path, GENERIC_WRITE, SharedWithAll, OPEN_EXISTING,
                                           FILE_FLAG_OPEN_REPARSE_POINT, handle))
        return code;
    ::CloseHandle(handle);
    return IoCode::Ok;
}

int contentsOfName(const std::string& path, NameContents& contents)
{
    FileIdentity identity;
    DWORD attributes = 0;
    const int code = identityOfName(path, identity, attributes);
    if (code == IoCode::FileNotFound) {
        contents = NameContents::Nothing;
        return IoCode::Ok;
    }
    if (code != IoCode::Ok)
        return code;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        contents = NameContents::Stream; // NUL, CON, a named pipe
    else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        contents = NameContents::Link;
    else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        contents = NameContents::Folder;
    else
        contents = NameContents::RegularFile;
    return IoCode::Ok;
}

} // namespace platform
