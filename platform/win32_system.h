// Win32 helpers shared by the Windows sources of platform/: UTF-8 names, system codes, raw handles.
// Not part of the platform's interface: nothing outside platform/ includes it but the platform's own tests.
#pragma once

#include <platform/byte_file.h>

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

// The identity in what GetFileInformationByHandle tells.
inline FileIdentity identityFromInformation(const BY_HANDLE_FILE_INFORMATION& info)
{
    return {info.dwVolumeSerialNumber, (std::uint64_t {info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// A FILETIME (100-nanosecond ticks since 1601) as seconds and nanoseconds since 1970, and back.
FileTime timeFromFileTime(const FILETIME& time);
FILETIME fileTimeFromTime(const FileTime& time);

} // namespace win32
