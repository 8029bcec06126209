// The platform layer on POSIX: errno mapping, descriptors and their limit, links, FIFOs, /dev/full, pseudo-files
// and the unnamed temporary file.
#include <tests/support/memory_file.h>
#include <tests/support/staged_end.h>
#include <tests/support/temp_folder.h>
#include <tests/support/umask_scope.h>

#include <platform/byte_file.h>
#include <platform/directory.h>
#include <platform/file_facts.h>
#include <platform/io_error.h>
#include <platform/posix_system.h>
#include <platform/temporary_files.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

class PlatformTest : public ::testing::Test
{
protected:
    std::string path(const std::string& name) const { return m_dir / name; }

    TempFolder m_dir;
};

std::string parentOf(const std::string& path)
{
    return std::filesystem::path(path).parent_path().string();
}

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

TEST_F(PlatformTest, PositionAndSizeOfAPipeAreRefused)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    SystemFile reader(ends[0]);
    SystemFile writer(ends[1]);
    std::int64_t value = 0;
    EXPECT_EQ(reader.position(value), 132);
    EXPECT_EQ(reader.size(value), 132);
}

TEST_F(PlatformTest, DiskFullAndFailedClose)
{
    std::unique_ptr<SystemFile> full;
    if (platform::openExisting("/dev/full", FileAccess::ReadWrite, full) != 0)
        GTEST_SKIP() << "/dev/full is not available";
    const unsigned char byte = 'x';
    std::size_t stored = 1;
    EXPECT_EQ(full->write(&byte, 1, stored), 101);
    EXPECT_EQ(stored, 0u);

    SystemFile notOpen(1 << 20); // a descriptor number no process has open
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
    std::vector<std::unique_ptr<SystemFile>> open;
    int code = 0;
    {
        DescriptorLimit limit(64);
        ASSERT_TRUE(limit.ok());
        while (code == 0 && open.size() < 64) {
            std::unique_ptr<SystemFile> file;
            code = platform::openExisting(path("f.htm"), FileAccess::ReadWrite, file);
            if (code == 0)
                open.push_back(std::move(file));
        }
        std::unique_ptr<SystemFile> created;
        EXPECT_EQ(platform::createAlways(path("g.htm"), created), 4);
        EXPECT_EQ(platform::createNewTestFile(path("h.htm")), 4);
        open.clear(); // before the limit goes back up
    }
    EXPECT_EQ(code, 4);
}

TEST_F(PlatformTest, NameTooLong)
{
    const std::string longName(300, 'n');
    std::unique_ptr<SystemFile> file;
    EXPECT_EQ(platform::openExisting(path(longName), FileAccess::ReadWrite, file), 206);
    EXPECT_EQ(platform::createAlways(path(longName), file), 206);
    EXPECT_EQ(platform::createFolder(path(longName)), 206);
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

// A file of the given size that stores no block.
void holes(const std::string& file, std::uintmax_t size)
{
    writeFileBytes(file, "");
    std::filesystem::resize_file(file, size);
}

// What the pseudo-files of /proc and /sys report is measured in the CLI's and the engine's tests; here the rule
// itself, on files whose size and blocks are known.
TEST_F(PlatformTest, ReliableSizeOnlyForRegularFilesThatHoldWhatTheySay)
{
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    const struct
    {
        const char* name;
        std::function<void(const std::string&)> make;
        bool reliable;
    } rows[] = {
        {"file with contents", [](const std::string& p) { writeFileBytes(p, "<p>x</p>"); }, true},
        {"empty file", [](const std::string& p) { writeFileBytes(p, ""); }, false},
        {"small file of holes only", [](const std::string& p) { holes(p, 4096); }, false},
        {"large file of holes only", [](const std::string& p) { holes(p, 1 << 30); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string file = path("file");
        std::filesystem::remove(file);
        row.make(file);
        std::unique_ptr<SystemFile> opened;
        ASSERT_EQ(platform::openExisting(file, FileAccess::ReadOnly, opened), 0);
        platform::FileFacts facts;
        ASSERT_EQ(platform::factsOf(*opened, facts), 0);
        EXPECT_TRUE(facts.regular);
        EXPECT_EQ(facts.reliableSize, row.reliable);
        EXPECT_EQ(facts.size, static_cast<std::int64_t>(std::filesystem::file_size(file)));
        FileIdentity identity;
        ASSERT_EQ(platform::identityOf(file, identity), 0);
        EXPECT_EQ(facts.identity, identity);
    }
    std::unique_ptr<SystemFile> fifo;
    ASSERT_EQ(platform::openExisting(path("fifo"), FileAccess::ReadWrite, fifo), 0);
    platform::FileFacts facts;
    ASSERT_EQ(platform::factsOf(*fifo, facts), 0);
    EXPECT_FALSE(facts.regular);
    EXPECT_FALSE(facts.reliableSize);
}

// Opening a source and looking at it in one go refuses what openExisting refuses, with the same codes.
TEST_F(PlatformTest, OpenExistingWithFacts)
{
    writeFileBytes(path("page.htm"), "<p>page</p>");
    std::filesystem::create_directory(path("folder"));
    std::filesystem::create_symlink("page.htm", path("link.htm"));
    const struct
    {
        const char* name;
        std::string path;
        int code;
        std::int64_t size;
    } rows[] = {
        {"file", path("page.htm"), 0, 11},
        {"link to a file", path("link.htm"), 0, 11},
        {"folder", path("folder"), 5, 0},
        {"missing file", path("missing.htm"), 2, 0},
        {"missing folder", path("missing/page.htm"), 3, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<SystemFile> file;
        platform::FileFacts facts;
        EXPECT_EQ(platform::openExistingWithFacts(row.path, file, facts), row.code);
        std::unique_ptr<SystemFile> plain;
        EXPECT_EQ(platform::openExisting(row.path, FileAccess::ReadOnly, plain), row.code);
        EXPECT_EQ(static_cast<bool>(file), row.code == 0);
        if (row.code != 0)
            continue;
        EXPECT_TRUE(facts.regular);
        EXPECT_TRUE(facts.reliableSize);
        EXPECT_EQ(facts.size, row.size);
        EXPECT_TRUE(platform::sameFile(facts.identity, path("page.htm")));
    }
}

// A staged file for a free name: without a name at all until it is complete where the folder and the process offer
// that, and as a temporary file beside the name where the folder makes no unnamed file or the process cannot name
// one. Either way a name taken meanwhile is kept (80), and nothing is left behind but the file put in place.
TEST_F(PlatformTest, NewStagedFileShowsOnlyUnderItsNameOnceComplete)
{
    const struct
    {
        const char* name;
        std::function<void(const std::string&)> meanwhile; // done to the name while the file is written
        StagedEnd end;
        bool replace;
        int code;
        const char* after; // what out.htm holds afterwards; nullptr: nothing
    } rows[] = {
        {"new name", [](const std::string&) {}, StagedEnd::Commit, false, 0, "new"},
        {"name taken meanwhile", [](const std::string& p) { writeFileBytes(p, "old"); }, StagedEnd::Commit, false, 80,
         "old"},
        {"name taken by a dangling link meanwhile",
         [](const std::string& p) { std::filesystem::create_symlink("missing.htm", p); }, StagedEnd::Commit, false, 80,
         nullptr},
        {"name taken meanwhile, replacing allowed", [](const std::string& p) { writeFileBytes(p, "old"); },
         StagedEnd::Commit, true, 0, "new"},
        {"folder gone meanwhile", [](const std::string& p) { std::filesystem::remove_all(parentOf(p)); },
         StagedEnd::Commit, false, 3, nullptr},
        {"discarded", [](const std::string&) {}, StagedEnd::Discard, false, 0, nullptr},
        {"destroyed before being put in place", [](const std::string&) {}, StagedEnd::Destroy, false, 0, nullptr},
    };
    const struct
    {
        const char* name;
        Staging::Offers offers;
    } modes[] = {
        {"unnamed", {}},
        {"no unnamed files", {.unnamedFiles = false}},
        {"naming fails", {.namingUnnamedFiles = false}},
    };
    // What a new file's permission bits are under this process's umask.
    ASSERT_EQ(platform::createNewTestFile(path("model.htm")), 0);
    const auto newFileMode = std::filesystem::status(path("model.htm")).permissions();
    // A file that replaces another takes its permission bits, through the copy under a temporary name too.
    writeFileBytes(path("private.htm"), "private");
    std::filesystem::permissions(path("private.htm"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const auto replacingMode = std::filesystem::status(path("private.htm")).permissions();
    for (const auto& mode : modes) {
        Staging staging(mode.offers);
        const bool unnamed = mode.offers.unnamedFiles && mode.offers.namingUnnamedFiles;
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(mode.name) + ": " + row.name);
            const std::string folder = path("site");
            std::filesystem::remove_all(folder);
            std::filesystem::create_directory(folder);
            const std::string out = folder + "/out.htm";
            std::unique_ptr<StagedFile> staged;
            ASSERT_EQ(staging.createNew(out, staged), 0);
            if (!unnamed) {
                EXPECT_EQ(staged->temporaryPath().rfind(folder + "/", 0), 0u) << "beside the name";
            } else if (!staged->temporaryPath().empty()) {
                GTEST_SKIP() << "the file system of " << folder << " offers no unnamed files";
            }
            std::size_t stored = 0;
            EXPECT_EQ(staged->write(reinterpret_cast<const unsigned char*>("new"), 3, stored), 0);
            if (row.replace) {
                EXPECT_EQ(staged->adoptOwnerAndMode(path("private.htm")), 0);
            }
            if (unnamed) {
                EXPECT_EQ(namesIn(folder), std::vector<std::string> {}) << "an incomplete file has no name";
            } else {
                EXPECT_EQ(namesIn(folder).size(), 1u) << "an incomplete file has its temporary name";
            }
            row.meanwhile(out);
            endStaged(*staged, row.end, row.replace, row.code);
            staged.reset();
            if (!std::filesystem::exists(folder))
                continue;
            if (row.after) {
                EXPECT_EQ(readFileBytes(out), row.after);
                if (row.code == 0) {
                    EXPECT_EQ(std::filesystem::status(out).permissions(), row.replace ? replacingMode : newFileMode);
                }
            } else {
                EXPECT_FALSE(std::filesystem::is_regular_file(std::filesystem::symlink_status(out)));
            }
            std::vector<std::string> names;
            for (const std::string& name : namesIn(folder))
                if (name != "out.htm")
                    names.push_back(name);
            EXPECT_EQ(names, std::vector<std::string> {}) << "a temporary file was left behind";
        }
    }
}

// A staged file is created with the bits it is given, less the umask, in every way staging has: under a temporary
// name it is no wider while it is written than once in place. A time kept is the one it shows in place.
TEST_F(PlatformTest, StagedFileTakesTheBitsAndTimeItIsGiven)
{
    const struct
    {
        const char* name;
        mode_t umask;
        unsigned permissions;
        mode_t bits;
    } rows[] = {
        {"private draft", 022, 0600, 0600},
        {"script under umask 027", 027, 0755, 0750},
        {"read-only source, written all the same", 022, 0444, 0444},
    };
    const struct
    {
        const char* name;
        Staging::Offers offers;
        bool replacing; // the way of --force: a temporary name beside the name, renamed over it
    } ways[] = {
        {"unnamed", {}, false},
        {"no unnamed files", {.unnamedFiles = false}, false},
        {"naming fails", {.namingUnnamedFiles = false}, false},
        {"replacing", {}, true},
    };
    const FileTime kept {1000000000, 123456789};
    const std::string out = path("out.htm");
    for (const auto& way : ways) {
        Staging staging(way.offers);
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(way.name) + ": " + row.name);
            UmaskScope mask(row.umask);
            std::filesystem::remove(out);
            if (way.replacing)
                writeFileBytes(out, "old");
            std::unique_ptr<StagedFile> staged;
            ASSERT_EQ(way.replacing ? staging.create(out, staged, row.permissions)
                                    : staging.createNew(out, staged, row.permissions),
                      0);
            std::size_t stored = 0;
            EXPECT_EQ(staged->write(reinterpret_cast<const unsigned char*>("new"), 3, stored), 0);
            struct stat info {};
            if (!staged->temporaryPath().empty()) {
                ASSERT_EQ(::stat(staged->temporaryPath().c_str(), &info), 0);
                EXPECT_EQ(info.st_mode & 07777, row.bits) << "while it is written";
            }
            staged->keepModificationTime(kept);
            EXPECT_EQ(staged->close(), 0);
            EXPECT_EQ(staged->commit(way.replacing), 0);
            staged.reset();
            EXPECT_EQ(readFileBytes(out), "new");
            ASSERT_EQ(::stat(out.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, row.bits);
            EXPECT_EQ(info.st_mtim.tv_sec, kept.seconds);
            EXPECT_EQ(info.st_mtim.tv_nsec, kept.nanoseconds);
            EXPECT_EQ(namesIn(m_dir.path()), std::vector<std::string> {"out.htm"}) << "a temporary file was left";
        }
    }
}

TEST_F(PlatformTest, SpoolCopiesWhatIsLeftAndTellsWhichSideFailed)
{
    const std::string input(200 * 1024 + 7, 'q');
    const char* saved = std::getenv("TMPDIR");
    const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
    const struct
    {
        const char* name;
        std::string temporaryFolder;
        int failAt; // the input's operation that fails, -1 for none
        int code;
        bool failedInTemporary;
    } rows[] = {
        {"whole input", m_dir.path(), -1, 0, true},
        {"input fails", m_dir.path(), 2, 1117, false},
        {"temporary folder missing", path("missing"), -1, 3, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ::setenv("TMPDIR", row.temporaryFolder.c_str(), 1);
        MemoryFile source(input);
        source.position = 5; // what the caller has read already is not copied
        source.maxRead = 1000;
        source.failAt = row.failAt;
        source.failCode = row.code;
        std::unique_ptr<SystemFile> spooled;
        bool inTemporary = !row.failedInTemporary;
        EXPECT_EQ(platform::spoolToTemporaryFile(source, spooled, inTemporary), row.code);
        EXPECT_EQ(inTemporary, row.failedInTemporary);
        EXPECT_EQ(namesIn(m_dir.path()), std::vector<std::string> {}) << "the spooled copy has no name";
        if (row.code != 0)
            continue;
        ASSERT_TRUE(spooled);
        std::int64_t size = 0;
        EXPECT_EQ(spooled->size(size), 0);
        EXPECT_EQ(size, static_cast<std::int64_t>(input.size() - 5));
        std::string copy(input.size(), '\0');
        std::size_t got = 0;
        EXPECT_EQ(spooled->read(reinterpret_cast<unsigned char*>(copy.data()), copy.size(), got), 0);
        EXPECT_EQ(copy.substr(0, got), input.substr(5));
    }
    if (previous)
        ::setenv("TMPDIR", previous->c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

} // namespace
