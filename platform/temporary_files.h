// Temporary files: spooled copies of sources that cannot be read where they are, and new files staged beside
// the name they are meant for until they are complete. The same on every system; every int is an I/O code as
// byte_file.h describes.
#pragma once

#include <platform/byte_file.h>

#include <memory>
#include <string>

// A new file written under a temporary name in the folder of the name it is meant for, and put under that
// name only once it is complete and closed, so that a half-written file never shows under it and a file that
// was there is kept until the new one can take its place. Where the system allows it, a file meant for a free
// name has no name at all until then (createStagedNew).
class StagedFile final : public ByteFile
{
public:
    StagedFile(std::unique_ptr<SystemFile> file, std::string temporaryPath, std::string path);
    // A file without any name, created in path's folder: commit gives it path, and nothing is left otherwise.
    StagedFile(std::unique_ptr<SystemFile> file, std::string path);
    // Removes the temporary file if it was never put in place.
    ~StagedFile() override;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    int read(unsigned char* buffer, std::size_t n, std::size_t& got) override { return m_file->read(buffer, n, got); }
    int write(const unsigned char* buffer, std::size_t n, std::size_t& stored) override
    {
        return m_file->write(buffer, n, stored);
    }
    int size(std::int64_t& bytes) override { return m_file->size(bytes); }
    int seek(std::int64_t offset) override { return m_file->seek(offset); }
    // Writes the contents out to the disk, then closes: a crash after the rename cannot leave an empty file.
    int close() override;
    // Whether close() writes the contents out to the disk first (the default). A file that replaces nothing
    // has no earlier contents to lose, so a caller writing many new files may leave that to the system.
    void setSyncOnClose(bool sync) { m_syncOnClose = sync; }

    // Gives the file the owner (where the system allows it) and the permission bits of the regular file at
    // modelPath; anything else there leaves the file as it is.
    int adoptOwnerAndMode(const std::string& modelPath);
    // Puts the closed file under its name. replace lets it take the place of whatever the name holds (a symbolic
    // link is replaced, not followed); otherwise the name must still be free (80 when it is taken).
    int commit(bool replace);
    // Closes and removes the temporary file; a name that meanwhile leads to another file is left alone. Ok also
    // when the temporary name is gone already or the file was put in place.
    int discard();

    // Empty for a file without a name.
    const std::string& temporaryPath() const { return m_temporaryPath; }
    const std::string& path() const { return m_path; }

private:
    int takeTemporaryName();

    std::unique_ptr<SystemFile> m_file;
    std::string m_temporaryPath;
    std::string m_path;
    FileIdentity m_identity;
    bool m_pending = true; // the temporary file still exists under its own name
    bool m_syncOnClose = true;
    bool m_unnamed = false; // no name yet: close() keeps the descriptor, which commit needs to give it one
    bool m_closed = false;
};

// What a name holds, as far as writing a new file under it goes.
enum class NameContents
{
    Nothing,     // the name is free
    RegularFile, // replaced by a staged file
    Folder,      // never replaced
    Stream,      // a device, a FIFO or a socket, or a symbolic link to one or to an open descriptor
                 // (/dev/stdout): written as it is, never replaced
    Link,        // any other symbolic link, a dangling one too: replaced as a name, its target left alone
};

namespace platform {

// The folder for temporary files: $TMPDIR, or /tmp when it is unset or empty (on Windows, what GetTempPath
// answers).
std::string temporaryFolder();

// Opens a new file in temporaryFolder() that no other program can open and that vanishes when closed.
int openTemporaryFile(std::unique_ptr<SystemFile>& file);

// Copies what is left of input, block by block, into an unnamed file in temporaryFolder() that vanishes when
// closed, and leaves it positioned at its start. On failure, failedInTemporary tells a fault of the temporary
// file from one of the input.
int spoolToTemporaryFile(ByteFile& input, std::unique_ptr<SystemFile>& spooled, bool& failedInTemporary);

// True for a regular file whose size can be believed. The pseudo-files of /proc report 0 and those of /sys a
// page whatever they hold, and neither stores a block; such a file must be read to its end instead.
bool hasReliableSize(const SystemFile& file);

// Creates an empty staged file for path, in path's folder, with the permission bits a new file gets; the
// temporary name is new and never replaces anything (FileExists, 80, when every name tried was taken).
int createStaged(const std::string& path, std::unique_ptr<StagedFile>& file);

// The same for a name expected to be free (never replacing): where the file system offers files without a name,
// the file has none until commit(false) gives it path, so that a crash leaves nothing behind and the folder
// changes once per file. Elsewhere, or where that fails, it is a staged file as createStaged makes.
int createStagedNew(const std::string& path, std::unique_ptr<StagedFile>& file);

// What one look at an open file tells: whether it is a regular file, whether its size can be believed (as
// hasReliableSize), the size, and its identity.
struct FileFacts
{
    bool regular = false;
    bool reliableSize = false;
    std::int64_t size = 0;
    FileIdentity identity;
};
int factsOf(const SystemFile& file, FileFacts& facts);
// openExisting for reading, and factsOf the file opened, in one look.
int openExistingWithFacts(const std::string& path, std::unique_ptr<SystemFile>& file, FileFacts& facts);

// Whether the file at path, not following a symbolic link, may be written by this process: Ok, or the code of
// the refusal (AccessDenied, 5, for a read-only file).
int checkWritable(const std::string& path);

// Looks at what the name holds without following a symbolic link, except to see whether it leads to a device.
// A free name is Ok with NameContents::Nothing; only a name that cannot be looked at fails.
int contentsOfName(const std::string& path, NameContents& contents);

// POSIX only, for tests: makes createStagedNew act as on a system without unnamed files (Unsupported), or as
// on one where naming them fails (LinkFails), so that both ways round stay tested.
enum class UnnamedStaging
{
    Used,
    Unsupported,
    LinkFails,
};
void setUnnamedStaging(UnnamedStaging mode);

} // namespace platform
