// Win32 helpers shared by the Windows sources of platform/: UTF-8 names, system codes, raw handles.
// Not part of the platform's interface: nothing outside platform/ includes it but the platform's own tests.
#pragma once

#include <platform/byte_file.h>
#include <platform/directory.h>
#include <platform/file_facts.h>

#include <cstddef>
#include <cstdint>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace win32 {

// The program's code for a failed Win32 call: the system's own code, except that a full disk (both codes) and an
// exceeded quota read as 101 and "already exists" as 80, as ENOSPC, EDQUOT and EEXIST do on Linux, and a call
// that failed without a code never reads as success.
int ioCodeFromSystem(DWORD error);
int lastIoCode();

// UTF-8 to UTF-16 for a call; a name that is not UTF-8 can name no file: ERROR_INVALID_NAME (123).
int widePath(const std::string& path, std::wstring& wide);
std::string utf8FromWide(const std::wstring& wide);

// CreateFileW on a UTF-8 name; the handle is INVALID_HANDLE_VALUE unless the answer is 0.
int openHandle(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags, HANDLE& handle);

// The byte file operations on a raw handle.
int readHandle(HANDLE handle, unsigned char* buffer, std::size_t n, std::size_t& got);
int writeHandle(HANDLE handle, const unsigned char* buffer, std::size_t n, std::size_t& stored);
int sizeOfHandle(HANDLE handle, std::int64_t& bytes);
int seekHandle(HANDLE handle, std::int64_t offset);
int positionOfHandle(HANDLE handle, std::int64_t& offset);
int identityOfHandle(HANDLE handle, FileIdentity& identity);

// A reparse point is a link the program never follows only when its tag says so: a symbolic link or a junction.
// Any other tag (a deduplicated file, a cloud placeholder) leaves a file or a folder, read as any other.
inline bool isLink(DWORD attributes, DWORD reparseTag)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && (reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

// What an entry of a listing is, and what a name holds, from its attributes and reparse tag.
EntryKind entryKindOfAttributes(DWORD attributes, DWORD reparseTag);
NameContents contentsOfAttributes(DWORD attributes, DWORD reparseTag);

// The attributes and the reparse tag (0 unless FILE_ATTRIBUTE_REPARSE_POINT) of an open handle.
int attributesOfHandle(HANDLE handle, DWORD& attributes, DWORD& reparseTag);
// The same for a name itself, a link too, not what it leads to; a device has no attributes of its own and answers
// FILE_ATTRIBUTE_DEVICE.
int attributesOfName(const std::string& path, DWORD& attributes, DWORD& reparseTag);

// The identity in what GetFileInformationByHandle tells.
inline FileIdentity identityFromInformation(const BY_HANDLE_FILE_INFORMATION& info)
{
    return {info.dwVolumeSerialNumber, (std::uint64_t {info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// A FILETIME (100-nanosecond ticks since 1601) as seconds and nanoseconds since 1970, and back.
FileTime timeFromFileTime(const FILETIME& time);
FILETIME fileTimeFromTime(const FileTime& time);

} // namespace win32
