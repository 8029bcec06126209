// The platform layer: I/O texts, errno mapping, and the file and folder operations on a fresh temporary folder.
#include "temp_folder.h"

#include <byte_file.h>
#include <io_error.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

TEST(IoErrorText, Table)
{
    const struct
    {
        int code;
        const char* text;
    } cases[] = {
        {2, "File not found"},
        {3, "Invalid filename"},
        {4, "Too many open files"},
        {5, "File access denied"},
        {100, "Read beyond end of file"},
        {101, "Disk full"},
        {106, "Invalid numeric input"},
        {32, "I/O error 32"},
        {1, "I/O error 1"},
        {1117, "I/O error 1117"},
        {0, "I/O error 0"},
        {-7, "I/O error -7"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ioErrorText(c.code), c.text) << c.code;
        const EInOutError error(c.code);
        EXPECT_EQ(error.code(), c.code);
        EXPECT_STREQ(error.what(), c.text);
    }
}

TEST(IoErrorText, OwnMessageKeepsTheCode)
{
    const EInOutError error(5, "Source and destination are the same file");
    EXPECT_EQ(error.code(), 5);
    EXPECT_STREQ(error.what(), "Source and destination are the same file");
}

class PlatformTest : public ::testing::Test
{
protected:
    std::string path(const std::string& name) const { return m_dir / name; }

    TempFolder m_dir;
};

TEST_F(PlatformTest, ErrnoMapping)
{
    writeFileBytes(path("file.htm"), "x");
    const struct
    {
        const char* name;
        int error;
        std::string path;
        int code;
    } cases[] = {
        {"ENOENT, parent exists", ENOENT, path("missing.htm"), 2},
        {"ENOENT, parent missing", ENOENT, path("nofolder/missing.htm"), 3},
        {"ENOENT, parent is a file", ENOENT, path("file.htm/missing.htm"), 3},
        {"ENOENT, no path", ENOENT, "", 2},
        {"ENOTDIR", ENOTDIR, path("file.htm/x"), 3},
        {"EMFILE", EMFILE, "", 4},
        {"EACCES", EACCES, "", 5},
        {"EPERM", EPERM, "", 5},
        {"EISDIR", EISDIR, "", 5},
        {"EROFS", EROFS, "", 5},
        {"ENOSPC", ENOSPC, "", 101},
        {"EIO", EIO, "", 1117},
        {"EBUSY", EBUSY, "", 32},
        {"EEXIST", EEXIST, "", 80},
        {"EINVAL", EINVAL, "", 87},
        {"ENAMETOOLONG", ENAMETOOLONG, "", 206},
        {"EFBIG", EFBIG, "", 223},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ioCodeFromErrno(c.error, c.path), c.code) << c.name;
}

// A raw errno shown as "I/O error N" would name an unrelated Windows error; EIO (5) would even read
// "File access denied". Errnos without a counterpart share one catch-all code; of the others only ENOENT
// keeps its number, which means "file not found" on both sides.
TEST(ErrnoMapping, NoErrnoIsPassedThroughRaw)
{
    const int catchAll = platform::ioCodeFromErrno(4000, "");
    EXPECT_NE(catchAll, 4000);
    EXPECT_NE(catchAll, 0);
    for (int unknown : {4001, ECONNREFUSED, EHOSTUNREACH, ENOTSOCK})
        EXPECT_EQ(platform::ioCodeFromErrno(unknown, ""), catchAll) << "errno " << unknown;
    for (int error = 1; error < 200; ++error) {
        const int code = platform::ioCodeFromErrno(error, "");
        EXPECT_NE(code, 0) << "errno " << error << " mapped to success";
        if (error != ENOENT && code != catchAll) {
            EXPECT_NE(code, error) << "errno " << error << " returned as it is";
        }
    }
}

TEST_F(PlatformTest, CreateNewRefusesExistingFile)
{
    writeFileBytes(path("taken.htm"), "contents");
    std::unique_ptr<PosixFile> file;
    EXPECT_EQ(platform::createNew(path("taken.htm"), file), 80);
    EXPECT_FALSE(file);
    EXPECT_EQ(readFileBytes(path("taken.htm")), "contents");

    EXPECT_EQ(platform::createNew(path("fresh.htm"), file), 0);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->close(), 0);
    EXPECT_EQ(readFileBytes(path("fresh.htm")), "");
}

TEST_F(PlatformTest, CreateNewTestFileNeverTruncates)
{
    writeFileBytes(path("taken.htm"), "contents");
    EXPECT_EQ(platform::createNewTestFile(path("taken.htm")), 80);
    EXPECT_EQ(readFileBytes(path("taken.htm")), "contents");

    EXPECT_EQ(platform::createNewTestFile(path("fresh.htm")), 0);
    EXPECT_TRUE(pathExists(path("fresh.htm")));
    EXPECT_EQ(platform::createNewTestFile(path("nofolder/fresh.htm")), 3);
}

TEST_F(PlatformTest, CreateTestFileTruncates)
{
    writeFileBytes(path("taken.htm"), "contents");
    EXPECT_EQ(platform::createTestFile(path("taken.htm")), 0);
    EXPECT_EQ(readFileBytes(path("taken.htm")), "");
    EXPECT_EQ(platform::createTestFile(path("nofolder/x.htm")), 3);
}

TEST_F(PlatformTest, CreateDirectoryMakesOneLevelOnly)
{
    EXPECT_EQ(platform::createDirectory(path("sub")), 0);
    EXPECT_TRUE(std::filesystem::is_directory(path("sub")));
    EXPECT_EQ(platform::createDirectory(path("sub")), 80);
    EXPECT_EQ(platform::createDirectory(path("a/b")), 3);
    EXPECT_FALSE(pathExists(path("a")));
    writeFileBytes(path("file.htm"), "x");
    EXPECT_EQ(platform::createDirectory(path("file.htm")), 80);
    EXPECT_EQ(readFileBytes(path("file.htm")), "x");
}

TEST_F(PlatformTest, DeleteFile)
{
    EXPECT_EQ(platform::deleteFile(path("missing.htm")), 2);
    EXPECT_EQ(platform::deleteFile(path("nofolder/missing.htm")), 3);
    writeFileBytes(path("gone.htm"), "x");
    EXPECT_EQ(platform::deleteFile(path("gone.htm")), 0);
    EXPECT_FALSE(pathExists(path("gone.htm")));
}

TEST_F(PlatformTest, OpenExisting)
{
    std::unique_ptr<PosixFile> file;
    EXPECT_EQ(platform::openExisting(path("missing.htm"), FileAccess::ReadWrite, file), 2);
    EXPECT_EQ(platform::openExisting(path("nofolder/x.htm"), FileAccess::ReadOnly, file), 3);
    std::filesystem::create_directory(path("folder"));
    EXPECT_EQ(platform::openExisting(path("folder"), FileAccess::ReadOnly, file), 5);
    EXPECT_EQ(platform::openExisting(path("folder"), FileAccess::ReadWrite, file), 5);
    EXPECT_FALSE(file);
}

TEST_F(PlatformTest, ByteFileRoundTrip)
{
    std::unique_ptr<PosixFile> file;
    ASSERT_EQ(platform::createAlways(path("f.htm"), file), 0);
    const std::string text = "abcdef";
    std::size_t stored = 0;
    EXPECT_EQ(file->write(reinterpret_cast<const unsigned char*>(text.data()), text.size(), stored), 0);
    EXPECT_EQ(stored, text.size());
    std::int64_t size = 0;
    EXPECT_EQ(file->size(size), 0);
    EXPECT_EQ(size, 6);
    EXPECT_EQ(file->seek(2), 0);
    unsigned char buffer[8] {};
    std::size_t got = 0;
    EXPECT_EQ(file->read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), got), "cdef");
    EXPECT_EQ(file->read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(got, 0u) << "at the end a read delivers nothing";
    EXPECT_EQ(file->close(), 0);
}

TEST_F(PlatformTest, DiskFullAndFailedClose)
{
    std::unique_ptr<PosixFile> full;
    if (platform::openExisting("/dev/full", FileAccess::ReadWrite, full) != 0)
        GTEST_SKIP() << "/dev/full is not available";
    const unsigned char byte = 'x';
    std::size_t stored = 1;
    EXPECT_EQ(full->write(&byte, 1, stored), 101);
    EXPECT_EQ(stored, 0u);

    PosixFile notOpen(1 << 20); // a descriptor number no process has open
    EXPECT_EQ(notOpen.close(), 1);
}

// Lowers the soft limit on open descriptors for a while.
class DescriptorLimit
{
public:
    explicit DescriptorLimit(rlim_t soft)
    {
        m_ok = ::getrlimit(RLIMIT_NOFILE, &m_saved) == 0;
        rlimit lowered = m_saved;
        lowered.rlim_cur = std::min(soft, m_saved.rlim_cur);
        m_ok = m_ok && ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~DescriptorLimit()
    {
        if (m_ok)
            ::setrlimit(RLIMIT_NOFILE, &m_saved);
    }
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_saved {};
    bool m_ok = false;
};

TEST_F(PlatformTest, TooManyOpenFiles)
{
    writeFileBytes(path("f.htm"), "x");
    std::vector<std::unique_ptr<PosixFile>> open;
    int code = 0;
    {
        DescriptorLimit limit(64);
        ASSERT_TRUE(limit.ok());
        while (code == 0 && open.size() < 64) {
            std::unique_ptr<PosixFile> file;
            code = platform::openExisting(path("f.htm"), FileAccess::ReadWrite, file);
            if (code == 0)
                open.push_back(std::move(file));
        }
        std::unique_ptr<PosixFile> created;
        EXPECT_EQ(platform::createAlways(path("g.htm"), created), 4);
        EXPECT_EQ(platform::createNewTestFile(path("h.htm")), 4);
        open.clear(); // before the limit goes back up
    }
    EXPECT_EQ(code, 4);
}

TEST_F(PlatformTest, NameTooLong)
{
    const std::string longName(300, 'n');
    std::unique_ptr<PosixFile> file;
    EXPECT_EQ(platform::openExisting(path(longName), FileAccess::ReadWrite, file), 206);
    EXPECT_EQ(platform::createAlways(path(longName), file), 206);
    EXPECT_EQ(platform::createDirectory(path(longName)), 206);
    EXPECT_EQ(platform::deleteFile(path(longName)), 206);
}

TEST_F(PlatformTest, IdentityFollowsLinks)
{
    writeFileBytes(path("a.htm"), "x");
    writeFileBytes(path("b.htm"), "x");
    ASSERT_EQ(::link(path("a.htm").c_str(), path("hard.htm").c_str()), 0);
    ASSERT_EQ(::symlink(path("a.htm").c_str(), path("soft.htm").c_str()), 0);
    FileIdentity a, b, hard, soft;
    ASSERT_EQ(platform::identityOf(path("a.htm"), a), 0);
    ASSERT_EQ(platform::identityOf(path("b.htm"), b), 0);
    ASSERT_EQ(platform::identityOf(path("hard.htm"), hard), 0);
    ASSERT_EQ(platform::identityOf(path("soft.htm"), soft), 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, hard);
    EXPECT_EQ(a, soft);
    EXPECT_EQ(platform::identityOf(path("missing.htm"), a), 2);
}

} // namespace
