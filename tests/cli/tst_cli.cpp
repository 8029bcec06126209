// End-to-end tests of snellitore-cli that every system passes: one table each, run through the system's launcher;
// the rows that need what only one system has are kept for that system.
#include <tests/support/cli_launcher.h>
#include <tests/support/small_disk.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace cli_test;

namespace {

// The name a failure about the destination is reported under: DEST, or "-" for standard output.
std::string destinationOf(const std::vector<std::string>& args)
{
    const auto option = std::find(args.begin(), args.end(), "-o");
    return option != args.end() && option + 1 != args.end() ? *(option + 1) : "-";
}

TEST_F(CliTest, CompactsWithTheChosenOptions)
{
    const struct
    {
        std::vector<std::string> options;
        const std::string& expected;
    } rows[] = {
        { {}, PageDefaultApiciDiv },
        { { "--options=" }, Page },
        { { "--options=default,tags" }, PageDefaultTags },
        { { "--options=div,tags,apici,default" }, PageAllFour },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.options));
        fs::remove(work("out.big"));
        std::vector<std::string> args = row.options;
        args.insert(args.end(), { "-o", "out.big", "page.htm" });
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(readAll(work("out.big")), row.expected);
    }
}

// Whatever name leads to the source, it is never written, not even with --force.
TEST_F(CliTest, NeverWritesIntoTheSource)
{
    fs::create_hard_link(work("page.htm"), work("hard.htm"));
#ifdef _WIN32
    const std::string absolute = (m_root / "work" / "page.htm").string();
#else
    fs::create_symlink("page.htm", work("link.htm"));
#endif
    const Launch rows[] = {
        { { "--force", "-o", "page.htm", "page.htm" } },
        { { "--force", "-o", "hard.htm", "page.htm" } },
#ifdef _WIN32
        { { "--force", "-o", "PAGE.HTM", "page.htm" } },
        { { "--force", "-o", ".\\page.htm", "page.htm" } },
        { { "--force", "-o", absolute, "page.htm" } },
#else
        { { "--force", "-o", "./page.htm", "page.htm" } },
        { { "--force", "-o", "link.htm", "page.htm" } },
        { { "--force", "-o", "page.htm", "link.htm" } },
        { { "-o", "hard.htm", "page.htm" } },
        { .args = { "--force", "-o", "page.htm", "-" }, .stdinPath = "page.htm" },
        { .args = { "page.htm" }, .stdoutPath = "page.htm", .stdoutFlags = O_WRONLY | O_APPEND },
#endif
    };
    for (const Launch& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        const Outcome outcome = run(row);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err,
                  "snellitore-cli: " + destinationOf(row.args) + ": Source and destination are the same file\n");
        EXPECT_EQ(readAll(work("page.htm")), Page);
    }
}

// Every failure exits with 1 and names the path and the system's code; nothing is created.
TEST_F(CliTest, ReportsIoErrorsWithThePathAndCreatesNothing)
{
    fs::create_directory(work("sub"));
    const struct
    {
        std::vector<std::string> args;
        const char* message;
    } rows[] = {
        { { "-o", "out.big", "missing.htm" }, "snellitore-cli: missing.htm: File not found\n" },
#ifdef _WIN32
        { { "-o", "out.big", "a?.htm" }, "snellitore-cli: a?.htm: I/O error 123\n" },
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err, row.message);
        EXPECT_EQ(outcome.out, "");
        EXPECT_FALSE(exists("out.big"));
        EXPECT_EQ(namesIn(m_root / "work"), (std::vector<std::string> { "page.htm", "sub" }));
    }
}

// A path in the native spelling: "/" becomes "\\" on Windows.
std::string native(std::string path)
{
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

// A message says what is wrong with a path and what to do about it, on one line: a folder where a file is
// meant, a folder missing on the way, a name that holds a line separator.
TEST_F(CliTest, SaysWhatIsWrongWithAPath)
{
    fs::create_directory(work("sub"));
    const std::string separated = "a\u2028.htm"; // U+2028, which would start a new line
    writeAll(work(separated), Page);
    const std::string folderAsDest = "snellitore-cli: sub: is a folder; to write into it, end DEST with /\n";
    const std::string folderAsSource = "snellitore-cli: sub: is a folder; to compact a whole site, use -r\n";
    const struct
    {
        std::vector<std::string> args;
        std::string err; // all of it; for a usage error its first line, the usage follows
        int exitCode;
    } rows[] = {
        { { "-o", "sub", "page.htm" }, folderAsDest, 1 },
        { { "--force", "-o", "sub", "page.htm" }, folderAsDest, 1 },
        { { "-o", "out.big", "sub" }, folderAsSource, 1 },
        { { "--force", "-o", "out.big", "sub" }, folderAsSource, 1 },
        { { "-o", native("no/such/dir/page.htm"), "page.htm" },
          "snellitore-cli: " + native("no/such/dir/page.htm") + ": No such folder: " + native("no/such/dir") + "\n",
          1 },
        { { "-o", "out.big", native("no/such/page.htm") },
          "snellitore-cli: " + native("no/such/page.htm") + ": No such folder: " + native("no/such") + "\n", 1 },
        { { "--jobs=2", "-o", "pub/", "page.htm", native("nofolder/b.htm") },
          "snellitore-cli: " + native("nofolder/b.htm") + ": No such folder: nofolder\n", 1 },
        { { "--stats", "-o", "out.big", separated }, "a\\u2028.htm 121 byte  ==> out.big 96 byte -21%\n", 0 },
        { { "-o", native("no/out.big"), separated },
          "snellitore-cli: " + native("no/out.big") + ": No such folder: no\n", 1 },
        { { "-o", "out.big", "page.htm", "b\u202e.htm" }, "snellitore-cli: unexpected operand 'b\\u202e.htm'\n", 2 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        fs::remove(work("out.big"));
        fs::remove_all(work("pub"));
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.exitCode, row.exitCode);
        EXPECT_EQ(outcome.out, "");
        if (row.exitCode == 2) {
            EXPECT_EQ(outcome.err.substr(0, row.err.size() + 7), row.err + "usage: ");
        } else {
            EXPECT_EQ(outcome.err, row.err);
        }
        EXPECT_EQ(namesIn(work("sub")), std::vector<std::string> {});
        EXPECT_FALSE(exists("no"));
    }
}

// A run that fails leaves the destination's name as it was: no half-written file appears under it, an
// earlier file keeps its contents, and no temporary file is left behind.
TEST_F(CliTest, AFailedRunLeavesTheDestinationAsItWas)
{
#ifdef _WIN32
    constexpr DWORD NotHeld = 0xffffffff;
    // What stops the run: the attributes of out.big, and another program that holds it, sharing heldShare.
    struct Obstacle
    {
        DWORD attributes;
        DWORD heldShare;
    };
#else
    // What stops the run: a small disk, else the file size limit.
    struct Obstacle
    {
        bool onSmallDisk;
    };
    writeAll(work("big.htm"), std::string(1024 * 1024, 'a'));
    SmallDisk disk(work("small"), "64k");
#endif
    const struct
    {
        const char* name;
        Obstacle obstacle;
        bool force;
        std::optional<std::string> before; // what the destination held before the run
        const char* error; // after "snellitore-cli: <destination>: "
    } rows[] = {
#ifdef _WIN32
        { "read-only attribute", { FILE_ATTRIBUTE_READONLY, NotHeld }, true, "keep me", "File access denied\n" },
        { "held without sharing", { FILE_ATTRIBUTE_NORMAL, 0 }, true, "keep me", "I/O error 32\n" },
        { "held sharing reading only", { FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ }, true, "keep me",
          "I/O error 32\n" },
#else
        { "new name, file size limit", { false }, false, std::nullopt, "I/O error 223\n" },
        { "existing file, --force, file size limit", { false }, true, "old", "I/O error 223\n" },
        { "new name, full disk", { true }, false, std::nullopt, "Disk full\n" },
        { "existing file, --force, full disk", { true }, true, "old", "Disk full\n" },
        { "existing file without --force, full disk", { true }, false, "old",
          "File exists (use --force to replace it)\n" },
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
#ifdef _WIN32
        const std::string destination = "out.big";
        const fs::path folder = m_root / "work";
        ::SetFileAttributesW(work(destination).wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
        writeAll(work(destination), *row.before);
        ::SetFileAttributesW(work(destination).wstring().c_str(), row.obstacle.attributes);
        std::optional<HeldFile> held;
        if (row.obstacle.heldShare != NotHeld) {
            held.emplace(work(destination), row.obstacle.heldShare);
            ASSERT_TRUE(held->held());
        }
        Launch launch { { "-o", destination, "page.htm" } };
        const std::vector<std::string> names { "out.big", "page.htm" };
#else
        if (row.obstacle.onSmallDisk && !disk.mounted())
            continue;
        const std::string subfolder = row.obstacle.onSmallDisk ? "small" : "out";
        const fs::path folder = work(subfolder);
        fs::create_directory(folder);
        for (const auto& entry : fs::directory_iterator(folder)) // a mount point cannot go itself
            fs::remove_all(entry.path());
        const std::string destination = subfolder + "/out.big";
        if (row.before)
            writeAll(work(destination), *row.before);
        Launch launch { .args = { "--options=", "-o", destination, "big.htm" },
                        .fileSizeLimit = row.obstacle.onSmallDisk ? RLIM_INFINITY : 64 * 1024 };
        const std::vector<std::string> names = row.before ? std::vector<std::string> { "out.big" }
                                                          : std::vector<std::string> {};
#endif
        if (row.force)
            launch.args.insert(launch.args.begin(), "--force");
        const Outcome outcome = run(launch);
#ifdef _WIN32
        held.reset();
#endif
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err, "snellitore-cli: " + destination + ": " + row.error);
        if (row.before) {
            EXPECT_EQ(readAll(work(destination)), *row.before);
        }
        EXPECT_EQ(namesIn(folder), names) << "a temporary file was left behind";
    }
#ifndef _WIN32
    if (!disk.mounted())
        GTEST_SKIP() << "the full-disk rows need a small tmpfs, which cannot be mounted here: "
                     << std::strerror(disk.error());
#endif
}

} // namespace
