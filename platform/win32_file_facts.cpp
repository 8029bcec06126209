// Win32 implementation of the facts about open files and names: regular files, sizes, what a name holds.
#include <platform/file_facts.h>
#include <platform/io_error.h>
#include <platform/win32_system.h>

namespace platform {

// No pseudo-files here: a file on a disk holds what its size says; an empty one is read to its end anyway.
bool hasReliableSize(const SystemFile& file)
{
    std::int64_t size = 0;
    return win32::isRegularHandle(file.handle()) && win32::sizeOfHandle(file.handle(), size) == IoCode::Ok
        && size > 0;
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
    if (const int code = win32::openHandle(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, handle))
        return code;
    ::CloseHandle(handle);
    return IoCode::Ok;
}

int contentsOfName(const std::string& path, NameContents& contents)
{
    FileIdentity identity;
    DWORD attributes = 0;
    const int code = win32::identityOfName(path, identity, attributes);
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
