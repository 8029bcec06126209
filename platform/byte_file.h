// Byte files with numeric I/O codes: the file interface the engine works on, the system's open files, and the
// calls that open, create, remove and compare files by name.
//
// This header is the same on every system; the sources chosen in platform/CMakeLists.txt implement it. Every
// call that answers an int answers an I/O code: IoCode::Ok (0) on success, one of the other IoCode values of
// io_error.h where one fits, else the Windows system error code of the same meaning, so that a failure shows
// the same number everywhere (on POSIX the errno is mapped onto it). A missing name answers FileNotFound (2)
// when its folder exists and PathNotFound (3) when it does not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The file operations a compaction needs. Every call answers an I/O code: 0 on success.
class ByteFile
{
public:
    virtual ~ByteFile() = default;
    // Reads up to n bytes; got is 0 only at the end of the file.
    virtual int read(unsigned char* buffer, std::size_t n, std::size_t& got) = 0;
    // Writes all n bytes; stored says how many reached the file when it fails (101 when the disk is full).
    virtual int write(const unsigned char* buffer, std::size_t n, std::size_t& stored) = 0;
    virtual int size(std::int64_t& bytes) = 0;
    // Moves to the given byte offset, counted from the beginning of the file.
    virtual int seek(std::int64_t offset) = 0;
    virtual int close() = 0;
};

// When a file's contents last changed: seconds and nanoseconds since 1970-01-01 UTC.
struct FileTime
{
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;
    bool operator==(const FileTime&) const = default;
};

namespace platform {

// Permission bits are the read, write and execute bits of user, group and other (0777), as on POSIX; a new file
// or folder gets the bits it is created with less the umask. On Windows a file without any write bit stands for
// the read-only attribute. These are the bits of a file or folder that copies none.
inline constexpr unsigned DefaultFileBits = 0666;
inline constexpr unsigned DefaultFolderBits = 0777;

// What the system calls an open file: a descriptor on POSIX, a HANDLE on Windows.
#ifdef _WIN32
using NativeHandle = void*;
#else
using NativeHandle = int;
#endif

// The program's standard input and output, as handles that SystemFile can borrow.
NativeHandle standardInput();
NativeHandle standardOutput();

} // namespace platform

enum class FileAccess
{
    ReadOnly,
    ReadWrite,
};

// An open file of the system; closes itself (ignoring failure) if nobody closed it before.
class SystemFile final : public ByteFile
{
public:
    // An owned handle is closed by close() and the destructor; a borrowed one (standard output) is left open.
    explicit SystemFile(platform::NativeHandle handle, bool owned = true);
    ~SystemFile() override;
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;

    // read answers got = 0 at the end of the file; write retries until all n bytes are stored and answers
    // DiskFull (101) when the system stores none; size works for regular files and block devices (a pipe
    // answers 132); seek counts from the start; close answers CloseFailed (1) when the system refuses it and
    // Ok for a borrowed handle, which stays open.
    int read(unsigned char* buffer, std::size_t n, std::size_t& got) override;
    int write(const unsigned char* buffer, std::size_t n, std::size_t& stored) override;
    int size(std::int64_t& bytes) override;
    int seek(std::int64_t offset) override;
    int close() override;

    // The current byte offset from the start of the file; a pipe or a terminal answers 132.
    int position(std::int64_t& offset) const;
    // False once close() was called.
    bool isOpen() const;
    platform::NativeHandle handle() const { return m_handle; }

private:
    platform::NativeHandle m_handle;
    bool m_owned;
};

// Identity of a file on its volume (device and inode on POSIX, volume serial and file index on Windows): two
// names lead to the same file when both parts agree. Compared only inside platform/; callers ask sameFile().
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

namespace platform {

// Opens an existing file (not a folder: AccessDenied, 5).
int openExisting(const std::string& path, FileAccess access, std::unique_ptr<SystemFile>& file);
// Creates a file for reading and writing, truncating one that exists; only a file made new gets permissions
// (on Windows it is made without the read-only attribute, which would refuse it being emptied again).
int createAlways(const std::string& path, std::unique_ptr<SystemFile>& file,
                 unsigned permissions = platform::DefaultFileBits);
// Opens what the name holds already (a device, a FIFO, a link to an open descriptor) for writing only, as the
// shell's ">" does: a regular file there is emptied, and a FIFO waits for a reader, so that a write after the
// reader is gone fails instead of filling a pipe that nobody reads.
int openForWriting(const std::string& path, std::unique_ptr<SystemFile>& file);
// Creates a file that must not exist yet (FileExists, 80, when the name is taken), with permissions; the handle
// may write it whatever they are.
int createNew(const std::string& path, std::unique_ptr<SystemFile>& file,
              unsigned permissions = platform::DefaultFileBits);
// Creates and closes a file that must not exist yet (80 when the name is taken): never touches an existing file.
int createNewTestFile(const std::string& path);
// Removes the name (a link, not what it leads to).
int deleteFile(const std::string& path);

// The identity of what the name leads to, following links; of an open file.
int identityOf(const std::string& path, FileIdentity& identity);
int identityOf(const SystemFile& file, FileIdentity& identity);
// Whether the name, or the open file, is the file known by its identity; false when it cannot be looked at.
bool sameFile(const FileIdentity& known, const std::string& path);
bool sameFile(const FileIdentity& known, const SystemFile& file);
// Whether both names lead to one file (another spelling, a link, a second hard link); false when either
// cannot be looked at.
bool sameFile(const std::string& first, const std::string& second);

// Leaves a new, empty file at the name and closes it, never writing through whatever the name held: a plain
// file (its only name) is emptied, one that cannot be opened for writing is left as
// it is; a symbolic link, or a file that has other names too, is removed and a file created in its place
// that must not exist yet; anything else (a folder, a FIFO, a device, a socket) is refused unopened
// (AccessDenied, 5).
int replaceWithTestFile(const std::string& path);

} // namespace platform
