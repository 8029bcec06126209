// How temporary and staged files are made, named, flushed and put in place: decided here alone, for every system,
// on the calls of system_staging.h.
#include <platform/directory.h>
#include <platform/io_error.h>
#include <platform/system_staging.h>
#include <platform/temporary_files.h>

#include <atomic>
#include <chrono>
#include <vector>

namespace {

constexpr std::size_t SpoolBlockSize = 64 * 1024;
constexpr const char* StagedPrefix = ".snellitore-";
constexpr const char* SpoolPrefix = "snellitore-";
constexpr int TemporaryNameAttempts = 100;
constexpr unsigned PrivateFileBits = 0600; // a spooled copy of a source is nobody else's business

// Six letters or digits; every name is created exclusively, so a clash only costs another attempt. Without the
// system's randomness, the clock and a counter still make clashes rare.
std::string randomSuffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::atomic<unsigned> counter {0};
    unsigned char bytes[6];
    if (!platform::systemRandom(bytes, sizeof bytes)) {
        auto seed = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        seed ^= static_cast<unsigned long long>(counter++) << 40;
        for (unsigned char& byte : bytes) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = static_cast<unsigned char>(seed >> 56);
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix += letters[byte % (sizeof letters - 1)];
    return suffix;
}

} // namespace

StagedFile::StagedFile(std::unique_ptr<SystemFile> file, std::string temporaryPath, std::string path,
                       platform::PendingNameEntry entry)
    : m_file(std::move(file))
    , m_temporaryPath(std::move(temporaryPath))
    , m_path(std::move(path))
    , m_pendingName(std::move(entry))
{
    if (platform::identityOf(*m_file, m_identity) == IoCode::Ok)
        m_pendingName.arm(m_temporaryPath, m_identity);
    else
        m_pendingName.release(); // without the identity a handler could not tell this file from another
}

StagedFile::StagedFile(std::unique_ptr<SystemFile> file, std::string path)
    : m_file(std::move(file))
    , m_path(std::move(path))
    , m_unnamed(true)
{
}

StagedFile::~StagedFile()
{
    discard();
}

int StagedFile::close()
{
    if (m_closed || !m_file->isOpen())
        return IoCode::Ok;
    int code = m_modified ? platform::setModificationTime(*m_file, *m_modified) : IoCode::Ok;
    if (code == IoCode::Ok && m_syncOnClose)
        code = platform::flushToDisk(*m_file);
    if (m_unnamed) {
        // The handle is all there is of a file without a name: it stays open until commit names the file.
        m_closed = code == IoCode::Ok;
        return code;
    }
    const int closed = m_file->close();
    return code != IoCode::Ok ? code : closed;
}

int StagedFile::adoptOwnerAndMode(const std::string& modelPath)
{
    return platform::adoptOwnerAndMode(*m_file, modelPath);
}

// A file without a name that is to replace one takes a temporary name beside it first, and then the way of every
// staged file: a name can be given only where it is free, and a rename replaces in one step.
int StagedFile::takeTemporaryName()
{
    std::string name;
    const auto link = [this](const std::string& candidate) { return platform::nameUnnamed(*m_file, candidate); };
    const platform::CaughtSignalsHeld held;
    auto entry = platform::PendingNameEntry::reserve();
    if (const int code = platform::withTemporaryName(platform::temporaryPrefixBeside(m_path), link, name))
        return code;
    if (platform::identityOf(*m_file, m_identity) == IoCode::Ok) {
        entry.arm(name, m_identity);
        m_pendingName = std::move(entry);
    }
    m_temporaryPath = std::move(name);
    m_unnamed = false;
    return m_file->close();
}

int StagedFile::commit(bool replace)
{
    if (const int code = close())
        return code;
    if (m_unnamed && !replace) {
        if (const int code = platform::nameUnnamed(*m_file, m_path))
            return code;
        m_pending = false;
        // The complete file has its name now; a failed close cannot take that back.
        return m_file->close();
    }
    if (m_unnamed) {
        if (const int code = takeTemporaryName())
            return code;
    }
    if (const int code = platform::moveFile(m_temporaryPath, m_path, replace))
        return code;
    m_pending = false;
    // Only now: a signal between the move and this finds the temporary name gone, and removes nothing.
    m_pendingName.release();
    return IoCode::Ok;
}

int StagedFile::discard()
{
    if (!m_pending)
        return IoCode::Ok;
    m_file->close();
    if (!m_unnamed) { // a file without a name is gone once closed
        EntryKind kind = EntryKind::Other;
        const int code = platform::entryKindOf(m_temporaryPath, kind);
        if (code != IoCode::Ok && code != IoCode::FileNotFound && code != IoCode::PathNotFound)
            return code;
        if (code == IoCode::Ok && kind == EntryKind::File && platform::sameFile(m_identity, m_temporaryPath)) {
            if (const int deleted = platform::removeStagedFile(m_temporaryPath))
                return deleted;
        }
    }
    m_pending = false;
    m_pendingName.release();
    return IoCode::Ok;
}

Staging::Staging()
    : Staging(Offers {})
{
}

Staging::Staging(Offers offers)
    : m_unnamed(offers.unnamedFiles && offers.namingUnnamedFiles && platform::canNameUnnamedFiles())
{
}

// The name is armed for the signal handlers before one can come on this thread; one that comes on another thread
// while the file is made waits for the entry.
int Staging::create(const std::string& path, std::unique_ptr<StagedFile>& file, unsigned permissions)
{
    std::unique_ptr<SystemFile> created;
    std::string name;
    const auto create = [&created, permissions](const std::string& candidate) {
        return platform::createNew(candidate, created, permissions);
    };
    const platform::CaughtSignalsHeld held;
    auto entry = platform::PendingNameEntry::reserve();
    if (const int code = platform::withTemporaryName(platform::temporaryPrefixBeside(path), create, name))
        return code;
    file = std::make_unique<StagedFile>(std::move(created), std::move(name), path, std::move(entry));
    return IoCode::Ok;
}

int Staging::createNew(const std::string& path, std::unique_ptr<StagedFile>& file, unsigned permissions)
{
    if (m_unnamed) {
        const std::string folder = platform::folderOf(path);
        if (unnamedIn(folder)) {
            std::unique_ptr<SystemFile> created;
            const int code = platform::createUnnamed(folder, permissions, created);
            if (code == IoCode::Ok) {
                file = std::make_unique<StagedFile>(std::move(created), path);
                return IoCode::Ok;
            }
            if (code == platform::NotSupported) {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_namedOnly.insert(folder);
            }
            // Any other failure comes again, and is reported, as the named file is created.
        }
    }
    return create(path, file, permissions);
}

bool Staging::unnamedIn(const std::string& folder)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_namedOnly.count(folder) == 0;
}

namespace platform {

std::string temporaryPrefixBeside(const std::string& path)
{
    return path.substr(0, nameStart(path)) + StagedPrefix;
}

int withTemporaryName(const std::string& prefix, const std::function<int(const std::string&)>& make,
                      std::string& name)
{
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        name = prefix + randomSuffix();
        if (const int code = make(name); code != IoCode::FileExists)
            return code;
    }
    return IoCode::FileExists;
}

int spoolToTemporaryFile(ByteFile& input, std::unique_ptr<SystemFile>& spooled, bool& failedInTemporary)
{
    failedInTemporary = true;
    const std::string folder = temporaryFolder();
    std::unique_ptr<SystemFile> file;
    int code = createUnnamed(folder, PrivateFileBits, file);
    if (code == NotSupported) {
        std::string name;
        const auto create = [&file](const std::string& candidate) { return createPrivate(candidate, file); };
        code = withTemporaryName(folder + PathSeparator + SpoolPrefix, create, name);
    }
    if (code != IoCode::Ok)
        return code;
    std::vector<unsigned char> block(SpoolBlockSize);
    for (;;) {
        std::size_t got = 0;
        if (const int code = input.read(block.data(), block.size(), got)) {
            failedInTemporary = false;
            return code;
        }
        if (got == 0)
            break;
        std::size_t stored = 0;
        if (const int code = file->write(block.data(), got, stored))
            return code;
    }
    if (const int code = file->seek(0))
        return code;
    spooled = std::move(file);
    return IoCode::Ok;
}

Staging& staging()
{
    static Staging process;
    return process;
}

int createStaged(const std::string& path, std::unique_ptr<StagedFile>& file, unsigned permissions)
{
    return staging().create(path, file, permissions);
}

int createStagedNew(const std::string& path, std::unique_ptr<StagedFile>& file, unsigned permissions)
{
    return staging().createNew(path, file, permissions);
}

} // namespace platform
