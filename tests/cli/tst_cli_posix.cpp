// End-to-end tests of snellitore-cli that only POSIX systems can run: pipes, links, devices, pseudo-files and
// permission bits, the built program started in a fresh temporary folder.
#include <tests/support/cli_launcher.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace cli_test;

namespace {

// Removes what a folder holds, except the name kept.
void emptyFolder(const fs::path& folder, const std::string& kept = {})
{
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename() != kept)
            fs::remove_all(entry.path());
}

TEST_F(CliTest, WritesStandardOutputWithoutDestinationOrWithDash)
{
    for (const auto& args : { std::vector<std::string> { "page.htm" }, { "-o", "-", "page.htm" } }) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.out, PageDefaultApiciDiv);
        EXPECT_EQ(outcome.err, "");
        EXPECT_FALSE(exists("-"));
    }
}

TEST_F(CliTest, SpoolsAPipeOnStandardInput)
{
    std::string big;
    for (int line = 0; big.size() < 3 * 1024 * 1024; ++line)
        big += "\t<p class=\"row\">line " + std::to_string(line) + "</p>\r\n";
    const Outcome copy = run({ .args = { "--options=", "--stats", "-" }, .stdinPipe = big });
    EXPECT_EQ(copy.exitCode, 0);
    EXPECT_TRUE(copy.out == big) << "the copy of " << big.size() << " bytes differs; got " << copy.out.size();
    const std::string size = std::to_string(big.size());
    EXPECT_EQ(copy.err, "- " + size + " byte  ==> - " + size + " byte 0%\n");

    const Outcome compacted = run({ .args = { "-o", "out.big", "-" }, .stdinPipe = Page });
    EXPECT_EQ(compacted.exitCode, 0) << compacted.err;
    EXPECT_EQ(readAll(work("out.big")), PageDefaultApiciDiv);
}

// Standard input has no folder: only its own <style> blocks count, and a linked stylesheet is noted.
TEST_F(CliTest, SafeStandardInputSeesOnlyItsOwnStyles)
{
    const std::string page = "<link rel=stylesheet href=s.css><style>.k{white-space:pre}</style>"
                             "<p class=k>  a  </p>\r\n<p>  b  </p>";
    const Outcome outcome = run({ .args = { "--safe", "--stats", "-" }, .stdinPipe = page });
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "<link rel=stylesheet href=s.css><style>.k{white-space:pre}</style>"
                           "<p class=k>  a  </p>\n<p> b </p>");
    const std::string note = "snellitore-cli: -: stylesheet s.css: not read (the page has no folder)\n";
    EXPECT_EQ(outcome.err.substr(0, note.size() + 2), note + "- ");
}

TEST_F(CliTest, ReadsStandardInputFromAFileFromWhereItStands)
{
    const Outcome whole = run({ .args = { "--options=", "-" }, .stdinPath = "page.htm" });
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_EQ(whole.out, Page);
    // What the caller has already read of standard input is not compacted again.
    const Outcome rest = run({ .args = { "--options=", "-" }, .stdinPath = "page.htm", .stdinOffset = 8 });
    EXPECT_EQ(rest.exitCode, 0) << rest.err;
    EXPECT_EQ(rest.out, Page.substr(8));
}

TEST_F(CliTest, ReadsANamedPipe)
{
    ASSERT_EQ(::mkfifo(work("fifo").c_str(), 0600), 0);
    const auto writer = [&](pid_t pid) {
        // Wait for the reader without blocking, so that a program that never opens the pipe fails the test
        // instead of hanging it.
        int fd = -1;
        siginfo_t info {};
        while ((fd = ::open(work("fifo").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 && errno == ENXIO
            && ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0)
            ::usleep(1000);
        if (fd < 0) {
            ::kill(pid, SIGKILL);
            FAIL() << "the program never opened the pipe";
        }
        ::fcntl(fd, F_SETFL, 0);
        feed(fd, Page);
    };
    const Outcome outcome = run({ .args = { "--stats", "-o", "out.big", "fifo" }, .whileRunning = writer });
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.err, "fifo 121 byte  ==> out.big 96 byte -21%\n");
    EXPECT_EQ(readAll(work("out.big")), PageDefaultApiciDiv);
}

TEST_F(CliTest, ReportsASpoolFailureBeforeCreatingTheDestination)
{
    const std::string missing = (m_root / "missing").string();
    const Outcome outcome = run({ .args = { "-o", "out.big", "-" }, .stdinPipe = Page, .temporaryFolder = missing });
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "snellitore-cli: temporary file in " + missing + ": No such folder: " + missing + "\n");
    EXPECT_FALSE(exists("out.big"));
}

TEST_F(CliTest, RefusesToReplaceAnExistingDestinationWithoutForce)
{
    writeAll(work("out.big"), "keep me");
    const Outcome outcome = run({ "-o", "out.big", "page.htm" });
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "snellitore-cli: out.big: File exists (use --force to replace it)\n");
    EXPECT_EQ(readAll(work("out.big")), "keep me");
}

TEST_F(CliTest, ForceReplacesAnExistingDestination)
{
    writeAll(work("out.big"), std::string(1000, 'x'));
    const Outcome outcome = run({ "--force", "-o", "out.big", "page.htm" });
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(readAll(work("out.big")), PageDefaultApiciDiv);
}

// With --force the destination is replaced as a name: the new file takes its place when complete, keeps the
// permission bits and owner of the file it replaces, and never writes through a link into another file.
TEST_F(CliTest, ForceReplacesTheDestinationAsAName)
{
    struct Row
    {
        const char* name;
        std::function<void()> prepare;
        std::vector<std::string> untouched; // other names, with the contents they must keep
        std::vector<std::string> names; // what the folder holds afterwards, besides page.htm
        mode_t mode = 0; // the permission bits out.big must have, when given
        std::optional<uid_t> owner {}; // the owner out.big must have, when given
    };
    const bool root = ::geteuid() == 0; // only root can give a file away to test that its owner is kept
    const Row rows[] = {
        { "regular file",
            [&] {
                writeAll(work("out.big"), std::string(4000, 'x'));
                fs::permissions(work("out.big"), fs::perms(0640));
            },
            {}, { "out.big" }, 0640 },
        { "read-only file of another owner",
            [&] {
                writeAll(work("out.big"), "old");
                fs::permissions(work("out.big"), fs::perms(0444));
                if (root && ::chown(work("out.big").c_str(), 4321, 4321) != 0)
                    ADD_FAILURE() << "cannot give the file away: " << std::strerror(errno);
            },
            {}, { "out.big" }, 0444, root ? std::optional<uid_t>(4321) : std::nullopt },
        { "symbolic link to a file",
            [&] {
                writeAll(work("target.htm"), "target");
                fs::create_symlink("target.htm", work("out.big"));
            },
            { "target.htm=target" }, { "out.big", "target.htm" } },
        { "dangling symbolic link", [&] { fs::create_symlink("missing.htm", work("out.big")); }, {}, { "out.big" } },
        { "hard link",
            [&] {
                writeAll(work("other.htm"), "other");
                fs::create_hard_link(work("other.htm"), work("out.big"));
            },
            { "other.htm=other" }, { "other.htm", "out.big" } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path folder = m_root / "work";
        emptyFolder(folder, "page.htm");
        row.prepare();
        const Outcome outcome = run({ "--force", "-o", "out.big", "page.htm" });
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(readAll(work("out.big")), PageDefaultApiciDiv);
        struct stat info
        {
        };
        ASSERT_EQ(::lstat(work("out.big").c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode)) << "the link itself is replaced";
        if (row.mode != 0) {
            EXPECT_EQ(info.st_mode & 07777, row.mode);
        }
        if (row.owner) {
            EXPECT_EQ(info.st_uid, *row.owner);
        }
        for (const std::string& kept : row.untouched) {
            const auto equals = kept.find('=');
            EXPECT_EQ(readAll(work(kept.substr(0, equals))), kept.substr(equals + 1));
        }
        std::vector<std::string> names = row.names;
        names.push_back("page.htm");
        std::sort(names.begin(), names.end());
        EXPECT_EQ(namesIn(folder), names) << "a temporary file was left behind";
    }
}

// Without --force any name that is taken is refused, a dangling link too, and nothing is written; a folder is
// no name to replace at all.
TEST_F(CliTest, RefusesEveryTakenNameWithoutForce)
{
    writeAll(work("file.big"), "keep me");
    fs::create_symlink("missing.htm", work("dangling.big"));
    fs::create_symlink("file.big", work("link.big"));
    fs::create_directory(work("folder.big"));
    for (const std::string destination : { "file.big", "dangling.big", "link.big", "folder.big", "/dev/null" }) {
        SCOPED_TRACE(destination);
        const Outcome outcome = run({ "-o", destination, "page.htm" });
        EXPECT_EQ(outcome.exitCode, 1);
        const std::string text = destination == "folder.big" ? "is a folder; to write into it, end DEST with /"
                                                              : "File exists (use --force to replace it)";
        EXPECT_EQ(outcome.err, "snellitore-cli: " + destination + ": " + text + "\n");
    }
    EXPECT_EQ(readAll(work("file.big")), "keep me");
    EXPECT_TRUE(fs::is_symlink(work("dangling.big")));
    EXPECT_FALSE(exists("missing.htm"));
    EXPECT_EQ(namesIn(m_root / "work"),
        (std::vector<std::string> { "dangling.big", "file.big", "folder.big", "link.big", "page.htm" }));
}

// A device is written as it is, also through a link: /dev/null must never be replaced by a file.
TEST_F(CliTest, WritesADeviceAsItIs)
{
    struct stat info
    {
    };
    if (::stat("/dev/null", &info) != 0 || !S_ISCHR(info.st_mode))
        GTEST_SKIP() << "no /dev/null on this machine";
    fs::create_symlink("/dev/null", work("null.big"));
    for (const std::string destination : { "/dev/null", "null.big" }) {
        SCOPED_TRACE(destination);
        const Outcome outcome = run({ "--force", "--stats", "-o", destination, "page.htm" });
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.err, "page.htm 121 byte  ==> " + destination + " 96 byte -21%\n");
        ASSERT_EQ(::stat("/dev/null", &info), 0);
        EXPECT_TRUE(S_ISCHR(info.st_mode));
    }
    EXPECT_TRUE(fs::is_symlink(work("null.big")));
    EXPECT_EQ(namesIn(m_root / "work"), (std::vector<std::string> { "null.big", "page.htm" }));
}

// A link to an open descriptor, like /dev/stdout, means that descriptor even when it is a regular file.
TEST_F(CliTest, WritesThroughALinkToAnOpenDescriptor)
{
    fs::create_symlink("/proc/self/fd/1", work("stdout.big"));
    const Outcome outcome = run({ "--force", "--options=", "-o", "stdout.big", "page.htm" });
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, Page);
    EXPECT_TRUE(fs::is_symlink(work("stdout.big")));
    EXPECT_EQ(namesIn(m_root / "work"), (std::vector<std::string> { "page.htm", "stdout.big" }));
}

TEST_F(CliTest, LeavesAloneWhatIsNoRegularFile)
{
    struct stat info
    {
    };
    if (::stat("/dev/full", &info) != 0 || !S_ISCHR(info.st_mode))
        GTEST_SKIP() << "no /dev/full on this machine";
    const Launch rows[] = {
        { .args = { "--force", "-o", "/dev/full", "page.htm" } },
        { .args = { "-o", "-", "page.htm" }, .stdoutPath = "/dev/full", .stdoutFlags = O_WRONLY },
    };
    for (const Launch& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        const Outcome outcome = run(row);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_NE(outcome.err.find(": Disk full\n"), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find("removed"), std::string::npos) << outcome.err;
        ASSERT_EQ(::stat("/dev/full", &info), 0);
        EXPECT_TRUE(S_ISCHR(info.st_mode));
    }
}

TEST_F(CliTest, ReportsProgressAndSummaryOnStandardError)
{
    writeAll(work("eight.htm"), "abcdefgh");
    writeAll(work("empty.htm"), "");
    writeAll(work("spaces.htm"), "a  b\t\tc\r\nd");
    const struct
    {
        std::vector<std::string> args;
        const char* err;
    } rows[] = {
        { { "--options=", "--progress", "-o", "out.big", "eight.htm" }, "12%\n25%\n38%\n50%\n62%\n75%\n88%\n100%\n" },
        { { "--progress", "--stats", "-o", "out.big", "empty.htm" }, "empty.htm 0 byte  ==> out.big 0 byte 0%\n" },
        { { "--options=default", "--stats", "-o", "out.big", "spaces.htm" },
            "spaces.htm 10 byte  ==> out.big 6 byte -40%\n" },
        { { "--stats", "--progress", "--options=", "eight.htm" },
            "12%\n25%\n38%\n50%\n62%\n75%\n88%\n100%\neight.htm 8 byte  ==> - 8 byte 0%\n" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        fs::remove(work("out.big"));
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.err, row.err);
    }
}

// Names are shown on one line in every message and summary, whatever bytes they hold; the files themselves are
// read and written under their exact names.
TEST_F(CliTest, ShowsControlCharactersInNamesEscaped)
{
    const std::string names[] = { "new\nline.htm", "\x1b[31mred.htm", "line\xe2\x80\xa8sep.htm", "bad\xfe.htm" };
    fs::create_directory(work("site"));
    for (const std::string& name : names)
        writeAll(work("site/" + name), Page);
    writeAll(work("site/mark\x7f\xc2\x85\xe2\x80\xae.js"), Page);
    fs::create_symlink("new\nline.htm", work("site/tab\tlink.htm"));
    const std::string summary = " 121 byte  ==> ";
    const struct
    {
        std::vector<std::string> args;
        std::string err;
        int exitCode;
        std::string written {}; // a file of the run, read and written under its exact name
    } rows[] = {
        { { "-o", "out.big", "missing\n.htm" }, "snellitore-cli: missing\\n.htm: File not found\n", 1 },
        { { "--stats", "-o", "out.big", "site/\x1b[31mred.htm" },
          "site/\\x1b[31mred.htm" + summary + "out.big 96 byte -21%\n", 0 },
        { { "--stats", "-o", "out\r\xff.big", "site/line\xe2\x80\xa8sep.htm" },
          "site/line\\u2028sep.htm" + summary + "out\\r\\xff.big 96 byte -21%\n", 0, "out\r\xff.big" },
        { { "--stats", "--jobs=3", "-r", "site", "-o", "pub" },
          "site/\\x1b[31mred.htm" + summary + "pub/\\x1b[31mred.htm 96 byte -21%\n"
          "site/bad\\xfe.htm" + summary + "pub/bad\\xfe.htm 96 byte -21%\n"
          "site/line\\u2028sep.htm" + summary + "pub/line\\u2028sep.htm 96 byte -21%\n"
          "site/mark\\x7f\\u0085\\u202e.js" + summary + "pub/mark\\x7f\\u0085\\u202e.js 96 byte -21%\n"
          "site/new\\nline.htm" + summary + "pub/new\\nline.htm 96 byte -21%\n"
          "snellitore-cli: site/tab\\tlink.htm: symbolic link skipped (--copy-others recreates it)\n"
          "total 5 files 605 byte  ==> 480 byte -21%\n", 0, "pub/bad\xfe.htm" },
        { { "-o", "pub/", "site/new\nline.htm", "elsewhere/new\nline.htm" },
          "snellitore-cli: elsewhere/new\\nline.htm: skipped: an earlier SOURCE has the same name\n", 1 },
        { { "-o", "pub/", "site/bad\xfe.htm", "nofolder\x1b/a.htm" },
          "snellitore-cli: nofolder\\x1b/a.htm: No such folder: nofolder\\x1b\n", 1 },
        // A backslash is shown as it is: it would be the separator of a Windows path.
        { { "--stats", "-o", "out\\n.big", "page.htm" }, "page.htm" + summary + "out\\n.big 96 byte -21%\n", 0 },
        { { "--stats\n" }, "snellitore-cli: unrecognised option '--stats\\n'\n", 2 },
        { { "-o", "out.big", "page.htm", "x\x1b]0;title\x07" },
          "snellitore-cli: unexpected operand 'x\\x1b]0;title\\x07'\n", 2 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        fs::remove_all(work("pub"));
        for (const auto& entry : fs::directory_iterator(m_root / "work"))
            if (entry.path().filename().string().rfind("out", 0) == 0)
                fs::remove(entry.path());
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.exitCode, row.exitCode);
        if (row.exitCode == 2) {
            EXPECT_EQ(outcome.err.substr(0, row.err.size() + 7), row.err + "usage: ");
        } else {
            EXPECT_EQ(outcome.err, row.err);
        }
        if (!row.written.empty()) {
            EXPECT_EQ(readAll(work(row.written)), PageDefaultApiciDiv);
        }
    }
}

// On a terminal --progress redraws one line and ends it, or clears it for the message that stops the run;
// elsewhere each whole percentage has its own line.
TEST_F(CliTest, RedrawsTheProgressLineOnATerminal)
{
    writeAll(work("eight.htm"), "abcdefgh");
    writeAll(work("big.htm"), std::string(1024 * 1024, 'a'));
    const std::string lines = "12%\n25%\n38%\n50%\n62%\n75%\n88%\n100%\n";
    const std::string redrawn = "\r12%\x1b[K\r25%\x1b[K\r38%\x1b[K\r50%\x1b[K\r62%\x1b[K\r75%\x1b[K\r88%\x1b[K"
                                "\r100%\x1b[K\n";
    const std::string full = "snellitore-cli: /dev/full: Disk full\n";
    const struct
    {
        bool terminal;
        std::vector<std::string> args;
        std::string begins; // what standard error begins with
        std::string ends; // and ends with; all of it when begins is empty
    } rows[] = {
        { false, { "--options=", "--progress", "-o", "out.big", "eight.htm" }, "", lines },
        { true, { "--options=", "--progress", "-o", "out.big", "eight.htm" }, "", redrawn },
        { true, { "--options=", "--progress", "--stats", "-o", "out.big", "eight.htm" }, "",
          redrawn + "eight.htm 8 byte  ==> out.big 8 byte 0%\n" },
        { true, { "--progress", "-o", "out.big", "empty.htm" }, "", "" },
        { true, { "--progress", "-o", "out.big", "missing.htm" }, "", "snellitore-cli: missing.htm: File not found\n" },
        { false, { "--options=", "--progress", "--force", "-o", "/dev/full", "big.htm" }, "0%\n", "%\n" + full },
        { true, { "--options=", "--progress", "--force", "-o", "/dev/full", "big.htm" }, "\r0%\x1b[K",
          "%\x1b[K\r\x1b[K" + full },
    };
    writeAll(work("empty.htm"), "");
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args) + (row.terminal ? " on a terminal" : ""));
        fs::remove(work("out.big"));
        const Outcome outcome = run({ .args = row.args, .stderrTerminal = row.terminal });
        EXPECT_EQ(outcome.exitCode, row.ends.find(": ") == std::string::npos ? 0 : 1);
        if (row.begins.empty()) {
            EXPECT_EQ(outcome.err, row.ends);
        } else {
            EXPECT_EQ(outcome.err.substr(0, row.begins.size()), row.begins);
            ASSERT_GE(outcome.err.size(), row.ends.size());
            EXPECT_EQ(outcome.err.substr(outcome.err.size() - row.ends.size()), row.ends);
        }
    }
}

TEST_F(CliTest, CompactsAReadOnlySource)
{
    fs::permissions(work("page.htm"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    // The check means something only if the file really cannot be written here, also for root.
    const Outcome probe
        = run({ .args = { "-c", "exec 3>>page.htm" }, .program = "/bin/sh", .withoutDacOverride = true });
    if (probe.exitCode == 0 || probe.exitCode == CannotDropCapabilities)
        GTEST_SKIP() << "a read-only file stays writable here (CAP_DAC_OVERRIDE cannot be dropped)";

    const Outcome outcome = run({ .args = { "--stats", "-o", "out.big", "page.htm" }, .withoutDacOverride = true });
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "page.htm 121 byte  ==> out.big 96 byte -21%\n");
    EXPECT_EQ(readAll(work("out.big")), PageDefaultApiciDiv);
}

// Replacing a file is refused as writing into it would be, when its permission bits forbid it.
TEST_F(CliTest, ForceKeepsAFileThatMayNotBeWritten)
{
    writeAll(work("out.big"), "keep me");
    fs::permissions(work("out.big"), fs::perms(0444));
    const Outcome probe
        = run({ .args = { "-c", "exec 3>>out.big" }, .program = "/bin/sh", .withoutDacOverride = true });
    if (probe.exitCode == 0 || probe.exitCode == CannotDropCapabilities)
        GTEST_SKIP() << "a read-only file stays writable here (CAP_DAC_OVERRIDE cannot be dropped)";

    const Outcome outcome = run({ .args = { "--force", "-o", "out.big", "page.htm" }, .withoutDacOverride = true });
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "snellitore-cli: out.big: File access denied\n");
    EXPECT_EQ(readAll(work("out.big")), "keep me");
    EXPECT_EQ(namesIn(m_root / "work"), (std::vector<std::string> { "out.big", "page.htm" }));
}

// Pseudo-files report a size of 0 (/proc) or a page (/sys) whatever they hold; the copy has what they really read.
TEST_F(CliTest, CopiesPseudoFilesWhole)
{
    int tried = 0;
    for (const std::string source : { "/proc/version", "/proc/sys/kernel/ostype", "/sys/class/net/lo/address" }) {
        SCOPED_TRACE(source);
        const std::string expected = readAll(source);
        if (expected.empty())
            continue; // not on this machine
        ++tried;
        fs::remove(work("out.big"));
        const Outcome outcome = run({ "--options=", "--stats", "-o", "out.big", source });
        EXPECT_EQ(outcome.exitCode, 0);
        const std::string size = std::to_string(expected.size());
        EXPECT_EQ(outcome.err, source + " " + size + " byte  ==> out.big " + size + " byte 0%\n");
        EXPECT_EQ(readAll(work("out.big")), expected);
    }
    if (tried == 0)
        GTEST_SKIP() << "no readable pseudo-file in /proc or /sys";
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndCreateNothing)
{
    const std::vector<std::string> rows[] = {
        {},
        { "--options=bogus", "-o", "out.big", "page.htm" },
        { "-o", "out.big", "page.htm", "extra.htm" },
        { "--force", "--force", "-o", "out.big", "page.htm" },
    };
    for (const auto& args : rows) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_NE(outcome.err.find("\nusage: snellitore-cli "), std::string::npos) << outcome.err;
        EXPECT_FALSE(exists("out.big"));
    }
}

TEST_F(CliTest, HelpAndVersionGoToStandardOutput)
{
    const Outcome help = run({ "--help" });
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: snellitore-cli ", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
    const Outcome version = run({ "--version" });
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "snellitore-cli " SNELLITORE_VERSION "\n");
}

// --- Signals and pipes: the program started, caught at a moment, and what it leaves ---

constexpr const char* OldContents = "the old contents\n";

// Some megabytes: long enough that a run is caught while it writes, whatever the machine's speed.
std::string bigPage()
{
    std::string text;
    while (text.size() < 24 * 1024 * 1024)
        text += "<tr>\r\n\t<td  class=\"cell\">  " + std::to_string(text.size()) + "  </td>\r\n</tr>\r\n";
    return text;
}

// Polls until done() holds, for at most a minute: a loaded machine with the sanitizers is slow to get there.
bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        if (done()) // asked once: what held may be gone by a second look
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        ::usleep(200);
    }
}

// Whether the program's main thread sleeps in a call (a write to a full pipe, the open of a FIFO).
bool asleep(pid_t pid)
{
    const std::string text = readAll("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t end = text.rfind(')');
    return end != std::string::npos && end + 2 < text.size() && text[end + 2] == 'S';
}

std::vector<fs::path> temporaryFiles(const fs::path& folder)
{
    std::vector<fs::path> found;
    std::error_code error; // the program may remove a name meanwhile
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        if (it->path().filename().string().rfind(".snellitore-", 0) == 0)
            found.push_back(it->path());
    return found;
}

// Stops the program while a temporary file in folder has bytes: the moment is then fixed, whatever the speed. A
// file may be named into place between the look and the stop (a small page beside the big one), so the program is
// let go and caught again until the stop holds one.
bool freezeWhileStaged(pid_t pid, const fs::path& folder)
{
    const auto staged = [&] {
        std::error_code error;
        for (const fs::path& file : temporaryFiles(folder))
            if (fs::file_size(file, error) > 0 && !error)
                return true;
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitFor(staged) && std::chrono::steady_clock::now() < deadline) {
        ::kill(pid, SIGSTOP);
        siginfo_t info {};
        ::waitid(P_PID, static_cast<id_t>(pid), &info, WSTOPPED | WEXITED | WNOWAIT);
        if (info.si_code != CLD_STOPPED)
            return false;
        if (staged())
            return true;
        ::kill(pid, SIGCONT);
    }
    return false;
}

// A signal removes what the run staged and leaves DEST as it was, in every kind of run, also while the run waits
// in a call, and a second signal too; the program ends by the signal.
TEST_F(CliTest, ASignalLeavesNoTemporaryFileAndDestinationAsItWas)
{
    writeAll(work("big.htm"), bigPage());
    fs::create_directories(work("site"));
    fs::create_hard_link(work("big.htm"), work("site/big.htm"));
    writeAll(work("site/a.htm"), Page);
    const std::vector<std::string> single = { "--force", "-o", "out.big", "big.htm" };
    const std::vector<std::string> site = { "--force", "--jobs=1", "-r", "site", "-o", "public" };
    const std::vector<std::string> waits = { "--force", "--stats", "--jobs=2", "-r", "site", "-o", "public" };
    const struct
    {
        const char* name;
        std::vector<std::string> args;
        std::string destination; // whose old contents must stay
        bool fullStandardError; // its first message waits, and so does whoever writes it
        bool frozen; // caught while its temporary file has bytes; else as soon as it waits in a call
        std::vector<int> signals; // sent together; the program ends by one of them
    } rows[] = {
        { "one file, SIGINT", single, "out.big", false, true, { SIGINT } },
        { "one file, SIGTERM", single, "out.big", false, true, { SIGTERM } },
        { "one file, SIGHUP", single, "out.big", false, true, { SIGHUP } },
        { "one file, SIGPIPE sent", single, "out.big", false, true, { SIGPIPE } },
        { "one file waiting on stderr, SIGTERM", { "--force", "--progress", "-o", "out.big", "big.htm" }, "out.big",
          true, false, { SIGTERM } },
        { "site, SIGHUP", site, "public/big.htm", false, true, { SIGHUP } },
        { "site, SIGPIPE sent", site, "public/big.htm", false, true, { SIGPIPE } },
        { "site with a worker waiting on stderr, SIGINT", waits, "public/big.htm", true, true, { SIGINT } },
        { "several files, SIGTERM", { "--force", "big.htm", "-o", "public/" }, "public/big.htm", false, true,
          { SIGTERM } },
        { "site, a second signal", site, "public/big.htm", false, true, { SIGINT, SIGTERM } },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::create_directories(work("public"));
        writeAll(work(row.destination), OldContents);
        Launch launch { row.args };
        int ends[2] = { -1, -1 };
        if (row.fullStandardError) {
            ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
            while (::write(ends[1], OldContents, std::strlen(OldContents)) > 0) { }
            ::fcntl(ends[1], F_SETFL, 0);
            launch.stderrFd = ends[1];
        }
        bool caught = false;
        launch.whileRunning = [&](pid_t pid) {
            const fs::path folder = work(row.destination).parent_path();
            caught = row.frozen ? freezeWhileStaged(pid, folder)
                                : waitFor([&] { return !temporaryFiles(folder).empty() && asleep(pid); });
            for (const int signal : row.signals)
                ::kill(pid, signal);
            ::kill(pid, SIGCONT);
        };
        const Outcome outcome = run(launch);
        ::close(ends[0]);
        ::close(ends[1]);
        EXPECT_TRUE(caught) << "the run was not caught with its temporary file";
        EXPECT_EQ(temporaryFiles(m_root / "work"), std::vector<fs::path> {});
        EXPECT_EQ(readAll(work(row.destination)), OldContents);
        EXPECT_NE(std::find(row.signals.begin(), row.signals.end(), outcome.exitCode - 128), row.signals.end())
            << "exit " << outcome.exitCode << ": " << outcome.err;
        for (const fs::path& left : temporaryFiles(m_root / "work"))
            fs::remove(left); // each row on its own
        fs::remove_all(work("public"));
    }
}

// Reads up to limit bytes from the FIFO the program waits to write, then closes it; never waits for ever.
std::string readFifo(const fs::path& fifo, std::size_t limit)
{
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    std::string got;
    char buffer[4096];
    waitFor([&] {
        pollfd ready { fd, POLLIN, 0 };
        ::poll(&ready, 1, 10);
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - got.size()));
        got.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        return fd < 0 || got.size() == limit || (n == 0 && !got.empty()); // n == 0 once the writer closed it
    });
    ::close(fd);
    return got;
}

// Pipes are written as the shell's ">" and "|" would: a closed standard error fails only the exit code, a closed
// standard output or FIFO fails the run, and a FIFO waits for its reader; nothing hangs, nothing is left.
TEST_F(CliTest, PipesThatCloseOrWaitNeitherHangNorPassForSuccess)
{
    writeAll(work("big.htm"), bigPage());
    for (const std::string name : { "a.htm", "b.htm", "sub/c.htm" }) {
        fs::create_directories(work("site/" + name).parent_path());
        writeAll(work("site/" + name), Page);
    }
    ASSERT_EQ(::mkfifo(work("page.fifo").c_str(), 0600), 0);
    const struct
    {
        const char* name;
        std::vector<std::string> args;
        int closedFd; // 1 or 2: standard output or error is a pipe whose reader is gone (at once, or after a byte)
        std::size_t fifoRead; // once the program waits on page.fifo: the bytes its reader takes before it closes
        int signal; // sent instead once the program waits
        int exitCode;
        std::string err;
        std::string received; // what page.fifo's reader got
    } rows[] = {
        { "closed stderr, site", { "--force", "--stats", "-r", "site", "-o", "public" }, 2, 0, 0, 1, "", "" },
        { "closed stdout", { "-o", "-", "big.htm" }, 1, 0, 0, 1, "snellitore-cli: -: I/O error 232\n", "" },
        { "FIFO, its reader comes later", { "--force", "-o", "page.fifo", "page.htm" }, 0, SIZE_MAX, 0, 0, "",
          PageDefaultApiciDiv },
        { "FIFO without a reader, SIGTERM", { "--force", "-o", "page.fifo", "page.htm" }, 0, 0, SIGTERM,
          128 + SIGTERM, "", "" },
        { "FIFO whose reader stops", { "--force", "-o", "page.fifo", "big.htm" }, 0, 10, 0, 1,
          "snellitore-cli: page.fifo: I/O error 232\n", "<tr>\n<td  " },
        { "/dev/null", { "--force", "-o", "/dev/null", "page.htm" }, 0, 0, 0, 0, "", "" },
        { "/dev/full", { "--force", "-o", "/dev/full", "page.htm" }, 0, 0, 0, 1,
          "snellitore-cli: /dev/full: Disk full\n", "" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Launch launch { row.args };
        int ends[2] = { -1, -1 };
        if (row.closedFd != 0) {
            ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
            (row.closedFd == 1 ? launch.stdoutFd : launch.stderrFd) = ends[1];
        }
        if (row.closedFd == 2)
            ::close(ends[0]); // before the start: not one message may find a reader
        std::string received;
        launch.whileRunning = [&](pid_t pid) {
            if (row.closedFd == 1) {
                char first = 0;
                EXPECT_EQ(::read(ends[0], &first, 1), 1);
                ::close(ends[0]);
            }
            if ((row.fifoRead != 0 || row.signal != 0) && waitFor([&] { return asleep(pid); })) {
                if (row.signal != 0)
                    ::kill(pid, row.signal);
                else
                    received = readFifo(work("page.fifo"), row.fifoRead);
            }
        };
        const Outcome outcome = run(launch);
        ::close(ends[1]);
        EXPECT_EQ(outcome.exitCode, row.exitCode) << outcome.err;
        EXPECT_EQ(outcome.err, row.err);
        EXPECT_EQ(received, row.received);
        EXPECT_EQ(temporaryFiles(m_root / "work"), std::vector<fs::path> {});
        EXPECT_TRUE(fs::is_fifo(work("page.fifo")));
    }
    for (const std::string name : { "a.htm", "b.htm", "sub/c.htm" })
        EXPECT_EQ(readAll(work("public/" + name)), PageDefaultApiciDiv) << name;
}

} // namespace
