// Win32 implementation of the facts about open files and names: regular files, sizes, what a name holds.
#include <platform/file_facts.h>
#include <platform/io_error.h>
#include <platform/win32_system.h>

namespace win32 {

NameContents contentsOfAttributes(DWORD attributes, DWORD reparseTag)
{
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return NameContents::Stream; // NUL, CON, a named pipe
    if (isLink(attributes, reparseTag))
        return NameContents::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return NameContents::Folder;
    return NameContents::RegularFile;
}

} // namespace win32

namespace platform {

// No pseudo-files here: a file on a disk holds what its size says; an empty one is read to its end anyway. One
// look at the handle tells the attributes, the size and the identity.
int factsOf(const SystemFile& file, FileFacts& facts)
{
    facts = {};
    BY_HANDLE_FILE_INFORMATION info {};
    if (::GetFileType(file.handle()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.handle(), &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return IoCode::Ok;
    facts.regular = true;
    facts.size = static_cast<std::int64_t>((std::uint64_t {info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    facts.reliableSize = facts.size > 0;
    facts.identity = win32::identityFromInformation(info);
    facts.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : DefaultFileBits;
    facts.modified = win32::timeFromFileTime(info.ftLastWriteTime);
    return IoCode::Ok;
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
    if (const int code = win32::openHandle(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, handle))
        return code;
    ::CloseHandle(handle);
    return IoCode::Ok;
}

int contentsOfName(const std::string& path, NameContents& contents)
{
    DWORD attributes = 0;
    DWORD tag = 0;
    const int code = win32::attributesOfName(path, attributes, tag);
    if (code == IoCode::FileNotFound) {
        contents = NameContents::Nothing;
        return IoCode::Ok;
    }
    if (code != IoCode::Ok)
        return code;
    contents = win32::contentsOfAttributes(attributes, tag);
    return IoCode::Ok;
}

} // namespace platform
