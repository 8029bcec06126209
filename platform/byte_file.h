// Byte files with numeric I/O codes: the file interface the engine works on, and its POSIX implementation.
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

enum class FileAccess
{
    ReadOnly,
    ReadWrite,
};

// An open descriptor; closes itself (ignoring failure) if nobody closed it before.
class PosixFile final : public ByteFile
{
public:
    // An owned descriptor is closed by close() and the destructor; a borrowed one (standard output) is left open.
    explicit PosixFile(int fd, bool owned = true);
    ~PosixFile() override;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    int read(unsigned char* buffer, std::size_t n, std::size_t& got) override;
    int write(const unsigned char* buffer, std::size_t n, std::size_t& stored) override;
    int size(std::int64_t& bytes) override;
    int seek(std::int64_t offset) override;
    int close() override;

    int descriptor() const { return m_fd; }

private:
    int m_fd;
    bool m_owned;
};

// Identity of a file on its device: two paths name the same file when both parts agree.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

namespace platform {

// Maps a system error number onto the program's I/O codes; the path tells "file" from "folder" not found.
int ioCodeFromErrno(int error, const std::string& path);

// Opens an existing file (not a folder).
int openExisting(const std::string& path, FileAccess access, std::unique_ptr<PosixFile>& file);
// Creates a file for reading and writing, truncating one that exists.
int createAlways(const std::string& path, std::unique_ptr<PosixFile>& file);
// Creates a file that must not exist yet (80 when the name is taken).
int createNew(const std::string& path, std::unique_ptr<PosixFile>& file);
// Creates (truncating) and closes a file at once: does the name accept a file?
int createTestFile(const std::string& path);
// Creates and closes a file that must not exist yet: never touches an existing file.
int createNewTestFile(const std::string& path);
int deleteFile(const std::string& path);
// Creates the last level of the path only; the levels before it must exist.
int createDirectory(const std::string& path);

int identityOf(const std::string& path, FileIdentity& identity);
int identityOf(const PosixFile& file, FileIdentity& identity);
bool isRegularFile(const PosixFile& file);

// Leaves a new, empty file at the name and closes it, never writing through whatever the name held: a plain
// file (its only name) is emptied as createTestFile would, one that cannot be opened for writing is left as
// it is; a symbolic link, or a file that has other names too, is removed and a file created in its place
// that must not exist yet; anything else (a folder, a FIFO, a device, a socket) is refused unopened.
int replaceWithTestFile(const std::string& path);

} // namespace platform
