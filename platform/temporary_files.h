// Temporary files: spooled copies of sources that cannot be read where they are, and new files staged beside
// the name they are meant for until they are complete. The same on every system; every int is an I/O code as
// byte_file.h describes.
#pragma once

#include <platform/byte_file.h>
#include <platform/pending_names.h>

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

// A new file written under a temporary name in the folder of the name it is meant for, and put under that
// name only once it is complete and closed, so that a half-written file never shows under it and a file that
// was there is kept until the new one can take its place. Where the folder allows it, a file meant for a free
// name has no name at all until then (Staging::createNew).
class StagedFile final : public ByteFile
{
public:
    // entry, reserved before the file was made, lets a caught signal remove the temporary name.
    StagedFile(std::unique_ptr<SystemFile> file, std::string temporaryPath, std::string path,
               platform::PendingNameEntry entry = {});
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
    // Writes the contents out to the disk, then closes: a crash after the rename cannot leave an empty file. A time
    // kept (keepModificationTime) is set first, as nothing is written after it.
    int close() override;
    // Whether close() writes the contents out to the disk first (the default). A file that replaces nothing
    // has no earlier contents to lose, so a caller writing many new files may leave that to the system.
    void setSyncOnClose(bool sync) { m_syncOnClose = sync; }
    // The file is to show this time of last change, as a copy that keeps its source's does.
    void keepModificationTime(const FileTime& time) { m_modified = time; }

    // Gives the file the owner (where the system allows it) and the permission bits (on Windows the attributes)
    // of the regular file at modelPath; anything else there leaves the file as it is.
    int adoptOwnerAndMode(const std::string& modelPath);
    // Puts the closed file under its name. replace lets it take the place of whatever the name holds (a symbolic
    // link is replaced, not followed); otherwise the name must still be free (80 when it is taken).
    int commit(bool replace);
    // Closes and removes the temporary file; a name that meanwhile leads to another file is left alone. Ok also
    // when the temporary name is gone already or the file was put in place.
    int discard();

    // Empty for a file without a name.
    const std::string& temporaryPath() const { return m_temporaryPath; }

private:
    int takeTemporaryName();

    std::unique_ptr<SystemFile> m_file;
    std::string m_temporaryPath;
    std::string m_path;
    FileIdentity m_identity; // of the file under its temporary name, so that discard removes nothing else
    platform::PendingNameEntry m_pendingName; // armed while the temporary name is on disk
    bool m_pending = true; // the file is not under its name yet
    bool m_syncOnClose = true;
    bool m_unnamed = false; // no name yet: close() keeps the handle, which commit needs to give it one
    bool m_closed = false;
    std::optional<FileTime> m_modified; // set as close() begins
};

// How new files are staged: without a name until complete where the destination's folder and the process allow
// it, else under a temporary name beside the name they are meant for. Chosen once per folder, from the first file
// made there, and safe to use from several threads.
class Staging
{
public:
    // What is asked of the system; a test leaves some out, to take the other ways on a system that offers all.
    struct Offers
    {
        bool unnamedFiles = true;       // a folder's file system may make files without a name
        bool namingUnnamedFiles = true; // the process may give such a file its name (through /proc on Linux)
    };

    Staging(); // all the system offers
    explicit Staging(Offers offers);

    // An empty staged file for path under a new temporary name in path's folder, which never replaces anything
    // (FileExists, 80, when every name tried was taken). It is created with permissions (byte_file.h), less the
    // umask, so that a private file is never open to others while it is written.
    int create(const std::string& path, std::unique_ptr<StagedFile>& file,
               unsigned permissions = platform::DefaultFileBits);
    // The same for a name expected to be free (never replacing): where the folder and the process allow it, the
    // file has no name until commit(false) gives it path, so that a crash leaves nothing behind and the folder
    // changes once per file.
    int createNew(const std::string& path, std::unique_ptr<StagedFile>& file,
                  unsigned permissions = platform::DefaultFileBits);

private:
    bool unnamedIn(const std::string& folder);

    bool m_unnamed; // unnamed files are tried at all
    std::mutex m_mutex;
    std::set<std::string> m_namedOnly; // folders whose file system makes no unnamed file
};

namespace platform {

// The folder for temporary files: $TMPDIR, or /tmp when it is unset or empty (on Windows, what GetTempPath
// answers).
std::string temporaryFolder();

// Copies what is left of input, block by block, into a new file in temporaryFolder() that no other program can
// open and that vanishes when closed, and leaves it positioned at its start. On failure, failedInTemporary tells
// a fault of the temporary file from one of the input.
int spoolToTemporaryFile(ByteFile& input, std::unique_ptr<SystemFile>& spooled, bool& failedInTemporary);

// The process's staging, with all the system offers; createStaged and createStagedNew use it.
Staging& staging();
int createStaged(const std::string& path, std::unique_ptr<StagedFile>& file, unsigned permissions = DefaultFileBits);
int createStagedNew(const std::string& path, std::unique_ptr<StagedFile>& file,
                    unsigned permissions = DefaultFileBits);

} // namespace platform
