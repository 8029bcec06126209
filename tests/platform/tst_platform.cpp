// The platform layer on every system: I/O texts, and the file and folder operations on a fresh temporary folder.
// What only one system has is tested in tst_platform_posix.cpp and tst_platform_windows.cpp.
#include <tests/support/staged_end.h>
#include <tests/support/temp_folder.h>

#include <platform/byte_file.h>
#include <platform/directory.h>
#include <platform/file_facts.h>
#include <platform/io_error.h>
#include <platform/pending_names.h>
#include <platform/temporary_files.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

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

TEST(IoErrorCheck, RaisesEveryCodeButOk)
{
    EXPECT_NO_THROW(check(IoCode::Ok));
    for (const int code : {IoCode::CloseFailed, IoCode::FileNotFound, IoCode::DiskFull, 1117}) {
        try {
            check(code);
            ADD_FAILURE() << "code " << code << " was not raised";
        } catch (const EInOutError& error) {
            EXPECT_EQ(error.code(), code);
            EXPECT_EQ(error.what(), ioErrorText(code));
        }
    }
}

class PlatformTest : public ::testing::Test
{
protected:
    std::string path(const std::string& name) const { return m_dir / name; }

    TempFolder m_dir;
};

TEST_F(PlatformTest, CreateNewRefusesExistingFile)
{
    writeFileBytes(path("taken.htm"), "contents");
    std::unique_ptr<SystemFile> file;
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

TEST_F(PlatformTest, CreateFolderMakesOneLevelOnly)
{
    EXPECT_EQ(platform::createFolder(path("sub")), 0);
    EXPECT_TRUE(std::filesystem::is_directory(path("sub")));
    EXPECT_EQ(platform::createFolder(path("sub")), 80);
    EXPECT_EQ(platform::createFolder(path("a/b")), 3);
    EXPECT_FALSE(pathExists(path("a")));
    writeFileBytes(path("file.htm"), "x");
    EXPECT_EQ(platform::createFolder(path("file.htm")), 80);
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
    std::unique_ptr<SystemFile> file;
    EXPECT_EQ(platform::openExisting(path("missing.htm"), FileAccess::ReadWrite, file), 2);
    EXPECT_EQ(platform::openExisting(path("nofolder/x.htm"), FileAccess::ReadOnly, file), 3);
    std::filesystem::create_directory(path("folder"));
    EXPECT_EQ(platform::openExisting(path("folder"), FileAccess::ReadOnly, file), 5);
    EXPECT_EQ(platform::openExisting(path("folder"), FileAccess::ReadWrite, file), 5);
    EXPECT_FALSE(file);
}

TEST_F(PlatformTest, ByteFileRoundTrip)
{
    std::unique_ptr<SystemFile> file;
    ASSERT_EQ(platform::createAlways(path("f.htm"), file), 0);
    const std::string text = "abcdef";
    std::size_t stored = 0;
    EXPECT_EQ(file->write(reinterpret_cast<const unsigned char*>(text.data()), text.size(), stored), 0);
    EXPECT_EQ(stored, text.size());
    std::int64_t size = 0;
    EXPECT_EQ(file->size(size), 0);
    EXPECT_EQ(size, 6);
    EXPECT_EQ(file->seek(2), 0);
    std::int64_t offset = -1;
    EXPECT_EQ(file->position(offset), 0);
    EXPECT_EQ(offset, 2);
    unsigned char buffer[8] {};
    std::size_t got = 0;
    EXPECT_EQ(file->read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), got), "cdef");
    EXPECT_EQ(file->position(offset), 0);
    EXPECT_EQ(offset, 6);
    EXPECT_EQ(file->read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(got, 0u) << "at the end a read delivers nothing";
    EXPECT_TRUE(file->isOpen());
    EXPECT_EQ(file->close(), 0);
    EXPECT_FALSE(file->isOpen());
}

TEST_F(PlatformTest, BorrowedStandardHandleStaysOpen)
{
    SystemFile output(platform::standardOutput(), false);
    EXPECT_EQ(output.close(), 0);
    EXPECT_FALSE(output.isOpen());
#ifdef _WIN32
    DWORD flags = 0;
    EXPECT_TRUE(::GetHandleInformation(platform::standardOutput(), &flags)) << "closing a borrowed handle closed it";
#else
    EXPECT_NE(::fcntl(platform::standardOutput(), F_GETFD), -1) << "closing a borrowed handle closed it";
#endif
}

// "Same file?" by two names, by a known identity and a name, and by a known identity and an open file: each
// row is asked all three ways and must get the same answer.
TEST_F(PlatformTest, SameFile)
{
    writeFileBytes(path("a.htm"), "x");
    writeFileBytes(path("b.htm"), "x");
    std::filesystem::create_directory(path("sub"));
    std::error_code error;
    std::filesystem::create_hard_link(path("a.htm"), path("hard.htm"), error);
    ASSERT_FALSE(error) << error.message();
#ifndef _WIN32 // Wine makes symbolic links it cannot follow; Windows allows them only to administrators
    std::filesystem::create_symlink(path("a.htm"), path("soft.htm"));
    std::filesystem::create_symlink(path("missing.htm"), path("dangling.htm"));
#endif
    struct Row
    {
        const char* name;
        std::string first;
        std::string second;
        bool same;
    };
    const Row rows[] = {
        {"the same name", path("a.htm"), path("a.htm"), true},
        {"another spelling", path("a.htm"), path("sub/../a.htm"), true},
        {"a second hard link", path("a.htm"), path("hard.htm"), true},
#ifdef _WIN32
        {"backslashes and other case", path("a.htm"), std::filesystem::path(path("A.HTM")).make_preferred().string(),
         true},
#else
        {"a symbolic link", path("soft.htm"), path("a.htm"), true},
#endif
        {"another file", path("a.htm"), path("b.htm"), false},
        {"a folder", path("a.htm"), path("sub"), false},
        {"a missing second name", path("a.htm"), path("missing.htm"), false},
#ifndef _WIN32
        {"a dangling link", path("a.htm"), path("dangling.htm"), false},
#endif
        {"a missing first name", path("missing.htm"), path("a.htm"), false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(platform::sameFile(row.first, row.second), row.same) << row.name;
        FileIdentity first;
        if (platform::identityOf(row.first, first) != 0)
            continue;
        EXPECT_EQ(platform::sameFile(first, row.second), row.same) << row.name;
        std::unique_ptr<SystemFile> second;
        if (platform::openExisting(row.second, FileAccess::ReadOnly, second) == 0) {
            EXPECT_EQ(platform::sameFile(first, *second), row.same) << row.name << " (open)";
        }
    }
}

// What a name holds, looked at without following a link but to see whether it leads to a device or a descriptor.
TEST_F(PlatformTest, ContentsOfName)
{
    writeFileBytes(path("file.htm"), "x");
    std::filesystem::create_directory(path("folder"));
#ifndef _WIN32
    std::filesystem::create_symlink("file.htm", path("link.htm"));
    std::filesystem::create_symlink("missing.htm", path("dangling.htm"));
    std::filesystem::create_symlink("folder", path("folderlink"));
    std::filesystem::create_symlink("/dev/null", path("null"));
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    // Like /dev/stdout when standard output is a regular file: a link to an open descriptor of one.
    std::unique_ptr<SystemFile> opened;
    ASSERT_EQ(platform::openExisting(path("file.htm"), FileAccess::ReadOnly, opened), 0);
    std::filesystem::create_symlink("/proc/self/fd/" + std::to_string(opened->handle()), path("descriptor"));
    std::filesystem::create_symlink("descriptor", path("descriptorlink"));
#endif
    const struct
    {
        std::string path;
        int code;
        NameContents contents;
    } rows[] = {
        {path("missing.htm"), 0, NameContents::Nothing},
        {path("file.htm"), 0, NameContents::RegularFile},
        {path("folder"), 0, NameContents::Folder},
        {path("file.htm/x"), 3, NameContents::Nothing},
#ifdef _WIN32
        {std::filesystem::path(path("file.htm")).make_preferred().string(), 0, NameContents::RegularFile},
        {"NUL", 0, NameContents::Stream},
        {"\\\\.\\NUL", 0, NameContents::Stream},
        {path("nofolder/x.htm"), 3, NameContents::Nothing},
#else
        {path("link.htm"), 0, NameContents::Link},
        {path("dangling.htm"), 0, NameContents::Link},
        {path("folderlink"), 0, NameContents::Link},
        {path("fifo"), 0, NameContents::Stream},
        {"/dev/null", 0, NameContents::Stream},
        {path("null"), 0, NameContents::Stream},
        {path("descriptor"), 0, NameContents::Stream},
        {path("descriptorlink"), 0, NameContents::Stream},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        NameContents contents = NameContents::Nothing;
        EXPECT_EQ(platform::contentsOfName(row.path, contents), row.code);
        if (row.code == 0) {
            EXPECT_EQ(contents, row.contents);
        }
    }
}

// The folder a path names its last name in, split where the system splits it.
TEST(Paths, FolderOf)
{
    const struct
    {
        std::string path;
        const char* folder;
        std::size_t nameStart;
    } rows[] = {
        {"page.htm", ".", 0},
        {"/page.htm", "/", 1},
        {"site/page.htm", "site", 5},
        {"/srv/site/page.htm", "/srv/site", 10},
#ifdef _WIN32
        {"site\\page.htm", "site", 5},
        {"C:page.htm", "C:", 2},
        {"C:\\site\\page.htm", "C:\\site", 8},
#else
        {"site\\page.htm", ".", 0},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(platform::folderOf(row.path), row.folder);
        EXPECT_EQ(platform::nameStart(row.path), row.nameStart);
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Temporary files: spooled sources and staged destinations.

// A staged file shows under its name only once put in place, and leaves no temporary file either way.
TEST_F(PlatformTest, StagedFileTakesItsNameOnlyWhenPutInPlace)
{
    const struct
    {
        const char* name;
        std::function<void(const std::string&)> before; // what the name holds before
        StagedEnd end;
        bool replace;
        int code;
        const char* after; // what out.htm holds afterwards; nullptr: nothing
    } rows[] = {
        {"new name", [](const std::string&) {}, StagedEnd::Commit, false, 0, "new"},
        {"new name, replacing allowed", [](const std::string&) {}, StagedEnd::Commit, true, 0, "new"},
        {"taken name kept", [](const std::string& p) { writeFileBytes(p, "old"); }, StagedEnd::Commit, false, 80,
         "old"},
#ifndef _WIN32
        {"dangling link kept",
         [](const std::string& p) { std::filesystem::create_symlink("missing.htm", p); }, StagedEnd::Commit, false, 80,
         nullptr},
#endif
        {"taken name replaced", [](const std::string& p) { writeFileBytes(p, "old"); }, StagedEnd::Commit, true, 0,
         "new"},
#ifndef _WIN32
        {"link replaced, not followed",
         [](const std::string& p) { std::filesystem::create_symlink("target.htm", p); }, StagedEnd::Commit, true, 0,
         "new"},
#endif
        {"discarded", [](const std::string& p) { writeFileBytes(p, "old"); }, StagedEnd::Discard, true, 0, "old"},
        {"destroyed before being put in place", [](const std::string&) {}, StagedEnd::Destroy, true, 0, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const std::string& name : namesIn(m_dir.path()))
            std::filesystem::remove(path(name));
        writeFileBytes(path("target.htm"), "target");
        row.before(path("out.htm"));
        std::unique_ptr<StagedFile> staged;
        ASSERT_EQ(platform::createStaged(path("out.htm"), staged), 0);
        EXPECT_EQ(staged->temporaryPath().rfind(m_dir.path() + "/", 0), 0u) << "beside the name";
        std::size_t stored = 0;
        EXPECT_EQ(staged->write(reinterpret_cast<const unsigned char*>("new"), 3, stored), 0);
        endStaged(*staged, row.end, row.replace, row.code);
        staged.reset();
        if (row.after) {
            EXPECT_EQ(readFileBytes(path("out.htm")), row.after);
        } else {
            EXPECT_FALSE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path("out.htm"))));
        }
        EXPECT_EQ(readFileBytes(path("target.htm")), "target");
        std::vector<std::string> names;
        for (const std::string& name : namesIn(m_dir.path()))
            if (name != "out.htm" && name != "target.htm")
                names.push_back(name);
        EXPECT_EQ(names, std::vector<std::string> {}) << "a temporary file was left behind";
    }
}

// What a signal handler removes: a temporary name in flight while it still leads to its own file, nothing else.
TEST_F(PlatformTest, PendingNamesAreOnlyTheFilesStillInFlight)
{
#ifdef _WIN32
    const bool openFileRemoved = false; // deleting a file held open without sharing its deletion is refused
#else
    const bool openFileRemoved = true;
#endif
    const auto stage = [this](std::unique_ptr<StagedFile>& staged) {
        EXPECT_EQ(platform::createStaged(path("out.htm"), staged), 0);
        std::size_t stored = 0;
        EXPECT_EQ(staged->write(reinterpret_cast<const unsigned char*>("new"), 3, stored), 0);
        return staged->temporaryPath();
    };
    const struct
    {
        const char* name;
        // Leaves the registry as the row needs it; answers the name to look at after the removal.
        std::function<std::string(std::unique_ptr<StagedFile>&)> before;
        bool removed; // by the handler's call
        bool kept;    // once the staged file is gone too
    } rows[] = {
        {"staged file being written", stage, openFileRemoved, false},
        {"put in place", [&](std::unique_ptr<StagedFile>& staged) {
             stage(staged);
             EXPECT_EQ(staged->commit(true), 0);
             return path("out.htm");
         },
         false, true},
        {"discarded, its name made again by another", [&](std::unique_ptr<StagedFile>& staged) {
             const std::string name = stage(staged);
             EXPECT_EQ(staged->discard(), 0);
             writeFileBytes(name, "another");
             return name;
         },
         false, true},
        {"its name taken by another file meanwhile", [&](std::unique_ptr<StagedFile>& staged) {
             const std::string name = stage(staged);
             EXPECT_EQ(staged->close(), 0);
             std::filesystem::rename(name, path("moved.htm"));
             writeFileBytes(name, "another");
             return name;
         },
         false, true},
        {"reserved, never armed", [&](std::unique_ptr<StagedFile>&) {
             auto entry = platform::PendingNameEntry::reserve();
             writeFileBytes(path("reserved.htm"), "made");
             return path("reserved.htm");
         },
         false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const std::string& name : namesIn(m_dir.path()))
            std::filesystem::remove(path(name));
        std::unique_ptr<StagedFile> staged;
        const std::string name = row.before(staged);
        platform::removePendingNames(true);
        EXPECT_EQ(std::filesystem::exists(name), !row.removed);
        staged.reset(); // the ordinary clean-up finds nothing it must not remove
        EXPECT_EQ(std::filesystem::exists(name), row.kept);
    }
}

} // namespace
