// End-to-end tests of snellitore-cli that only Windows can run: binary streams, its paths, attributes and files
// that other programs hold, the built program started with CreateProcessW in a fresh folder.
#include <tests/support/cli_launcher.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace cli_test;

namespace {

const std::string Summary = "page.htm 121 byte  ==> out.big 96 byte -21%\n";

// Standard input and output carry bytes: no CR is added before an LF, none is taken away.
TEST_F(CliTest, StandardStreamsAreBinary)
{
    const struct
    {
        const char* name;
        Launch launch;
        const std::string& out;
    } rows[] = {
        {"file to standard output", {{"page.htm"}}, PageDefaultApiciDiv},
        {"file copied to standard output", {{"--options=", "-o", "-", "page.htm"}}, Page},
        {"standard input from a file", {.args = {"--options=", "-"}, .stdinPath = "page.htm"}, Page},
        {"standard input from a pipe", {.args = {"--options=", "-"}, .stdinPipe = Page}, Page},
        {"pipe compacted", {.args = {"-"}, .stdinPipe = Page}, PageDefaultApiciDiv},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = run(row.launch);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(outcome.out, row.out);
        EXPECT_EQ(outcome.err, "");
    }
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.out, "snellitore-cli " SNELLITORE_VERSION "\n");
}

// A pipe is first copied into %TEMP%, block by block; the copy is gone when the program ends.
TEST_F(CliTest, SpoolsAPipeInTheTemporaryFolder)
{
    std::string big;
    for (int line = 0; big.size() < 3 * 1024 * 1024; ++line)
        big += "\t<p class=\"row\">line " + std::to_string(line) + "</p>\r\n";
    fs::create_directory(m_root / "temp");
    const std::string temp = (m_root / "temp").string();
    const Outcome copy = run({.args = {"--options=", "--stats", "-"}, .stdinPipe = big, .temporaryFolder = temp});
    EXPECT_EQ(copy.exitCode, 0);
    EXPECT_TRUE(copy.out == big) << "the copy of " << big.size() << " bytes differs; got " << copy.out.size();
    const std::string size = std::to_string(big.size());
    EXPECT_EQ(copy.err, "- " + size + " byte  ==> - " + size + " byte 0%\n");
    EXPECT_EQ(namesIn(m_root / "temp"), std::vector<std::string> {}) << "the copy was left behind";

    const std::string missing = (m_root / "missing").string();
    const Outcome failed = run({.args = {"-o", "out.big", "-"}, .stdinPipe = Page, .temporaryFolder = missing});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err, "snellitore-cli: temporary file in " + missing + ": No such folder: " + missing + "\n");
    EXPECT_FALSE(exists("out.big"));
}

// Backslashes, forward slashes, drive letters and names beyond the ANSI code page all name files.
TEST_F(CliTest, WindowsPaths)
{
    fs::create_directory(work("sub"));
    writeAll(work("sub/page.htm"), Page);
    const std::string root = (m_root / "work").string();
    const std::string drive = root.substr(0, 2); // "C:"
    const std::string unicode = "p\xc3\xa4gina \xe2\x82\xac \xe6\x97\xa5\xe6\x9c\xac"; // "pägina € 日本"
    writeAll(work(unicode + ".htm"), Page);
    const struct
    {
        const char* name;
        std::string source;
        std::string destination;
        std::string created; // relative to the work folder
    } rows[] = {
        {"backslashes", ".\\sub\\page.htm", "sub\\out.big", "sub/out.big"},
        {"forward slashes", "./sub/page.htm", "sub/out.big", "sub/out.big"},
        {"absolute with a drive letter", root + "\\sub\\page.htm", root + "\\out.big", "out.big"},
        {"drive and current folder", drive + "page.htm", drive + "out.big", "out.big"},
        {"beyond the ANSI code page", unicode + ".htm", unicode + ".big", unicode + ".big"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(work(row.created));
        const Outcome outcome = run({"--stats", "-o", row.destination, row.source});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(outcome.err, row.source + " 121 byte  ==> " + row.destination + " 96 byte -21%\n");
        EXPECT_EQ(readAll(work(row.created)), PageDefaultApiciDiv);
    }
}

TEST_F(CliTest, MissingDrive)
{
    const DWORD present = ::GetLogicalDrives();
    char letter = 'Z';
    while (letter >= 'D' && (present & (1u << (letter - 'A'))))
        --letter;
    if (letter < 'D')
        GTEST_SKIP() << "every drive letter is taken";
    const std::string source = std::string(1, letter) + ":\\web\\page.htm";
    const Outcome outcome = run({"-o", "out.big", source});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "snellitore-cli: " + source + ": No such folder: " + source.substr(0, 6) + "\n");
}

TEST_F(CliTest, UsageErrorsExitWithTwo)
{
    const struct
    {
        std::vector<std::string> args;
        const char* reason;
    } rows[] = {
        {{"--options=bogus", "page.htm"}, "unknown compaction 'bogus'"},
        {{}, "SOURCE"},
        {{"page.htm", "other.htm"}, "other.htm"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_NE(outcome.err.find(row.reason), std::string::npos) << outcome.err;
        EXPECT_EQ(namesIn(m_root / "work"), std::vector<std::string> {"page.htm"});
    }
}

TEST_F(CliTest, SourcesThatOthersHoldOrThatAreReadOnly)
{
    const struct
    {
        const char* name;
        DWORD attributes;
        DWORD heldShare; // 0xffffffff: not held
        int exitCode;
        std::string err;
    } rows[] = {
        {"read-only source", FILE_ATTRIBUTE_READONLY, 0xffffffff, 0, Summary},
        {"held sharing reading", FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, 0, Summary},
        {"held without sharing", FILE_ATTRIBUTE_NORMAL, 0, 1, "snellitore-cli: page.htm: I/O error 32\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ::SetFileAttributesW(work("out.big").wstring().c_str(), FILE_ATTRIBUTE_NORMAL); // a read-only copy
        fs::remove(work("out.big"));
        ::SetFileAttributesW(work("page.htm").wstring().c_str(), row.attributes);
        std::optional<HeldFile> held;
        if (row.heldShare != 0xffffffff) {
            held.emplace(work("page.htm"), row.heldShare);
            ASSERT_TRUE(held->held());
        }
        const Outcome outcome = run({"--stats", "-o", "out.big", "page.htm"});
        held.reset();
        ::SetFileAttributesW(work("page.htm").wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(outcome.exitCode, row.exitCode);
        EXPECT_EQ(outcome.err, row.err);
        EXPECT_EQ(exists("out.big"), row.exitCode == 0);
    }
}

// A new file made from a read-only source is read-only, as a source without write bits gives a copy without them
// on POSIX; a copy in a folder run keeps its source's time as well. A --force replacement keeps the attributes of
// the file it replaces instead.
TEST_F(CliTest, ReadOnlySourceGivesReadOnlyNewFile)
{
    const struct
    {
        const char* name;
        const char* source;
        DWORD sourceAttributes;
        DWORD before; // of a file at the destination first; 0: none
        std::vector<std::string> args;
        const char* made;
        DWORD attributes; // those of the file made that are looked at
        bool sourceTime;
    } rows[] = {
        {"read-only source", "page.htm", FILE_ATTRIBUTE_READONLY, 0, {"-o", "out.big", "page.htm"}, "out.big",
         FILE_ATTRIBUTE_READONLY, false},
        {"read-only source, --force onto a free name", "page.htm", FILE_ATTRIBUTE_READONLY, 0,
         {"--force", "-o", "out.big", "page.htm"}, "out.big", FILE_ATTRIBUTE_READONLY, false},
        {"read-only copy in a folder run", "site\\notes.txt", FILE_ATTRIBUTE_READONLY, 0,
         {"-r", "--copy-others", "site", "-o", "out"}, "out\\notes.txt", FILE_ATTRIBUTE_READONLY, true},
        {"--force over a hidden file", "page.htm", FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
         {"--force", "-o", "out.big", "page.htm"}, "out.big", FILE_ATTRIBUTE_HIDDEN, false},
    };
    fs::create_directory(work("site"));
    writeAll(work("site/notes.txt"), "two  spaces\r\n");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring source = work(row.source).wstring();
        const std::wstring made = work(row.made).wstring();
        if (row.before) {
            writeAll(work(row.made), "old");
            ::SetFileAttributesW(made.c_str(), row.before);
        }
        // An hour back, so that a time of its own cannot pass for the source's.
        const auto sourceTime = fs::last_write_time(work(row.source)) - std::chrono::hours(1);
        fs::last_write_time(work(row.source), sourceTime);
        ASSERT_TRUE(::SetFileAttributesW(source.c_str(), row.sourceAttributes));
        const Outcome outcome = run(row.args);
        ::SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        const DWORD attributes = ::GetFileAttributesW(made.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), row.attributes);
        EXPECT_EQ(fs::last_write_time(work(row.made)) == sourceTime, row.sourceTime);
        ::SetFileAttributesW(made.c_str(), FILE_ATTRIBUTE_NORMAL);
        for (const std::string& name : namesIn(work(row.made).parent_path()))
            EXPECT_NE(name.rfind(".snellitore-", 0), 0u) << "a temporary file was left: " << name;
        fs::remove(work(row.made));
    }
}

TEST_F(CliTest, ExistingDestinationNeedsForce)
{
    writeAll(work("out.big"), "keep me");
    const Outcome refused = run({"-o", "out.big", "page.htm"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "snellitore-cli: out.big: File exists (use --force to replace it)\n");
    EXPECT_EQ(readAll(work("out.big")), "keep me");

    ::SetFileAttributesW(work("out.big").wstring().c_str(), FILE_ATTRIBUTE_HIDDEN);
    const Outcome forced = run({"--force", "-o", "out.big", "page.htm"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(readAll(work("out.big")), PageDefaultApiciDiv);
    EXPECT_TRUE(::GetFileAttributesW(work("out.big").wstring().c_str()) & FILE_ATTRIBUTE_HIDDEN)
        << "the replaced file was hidden";
    EXPECT_EQ(namesIn(m_root / "work"), (std::vector<std::string> {"out.big", "page.htm"}));
}

// NUL is a device: written as it is, never replaced.
TEST_F(CliTest, WritesTheNulDevice)
{
    const Outcome refused = run({"-o", "NUL", "page.htm"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "snellitore-cli: NUL: File exists (use --force to replace it)\n");
    const Outcome written = run({"--force", "--stats", "-o", "NUL", "page.htm"});
    EXPECT_EQ(written.exitCode, 0) << written.err;
    EXPECT_EQ(written.err, "page.htm 121 byte  ==> NUL 96 byte -21%\n");
    EXPECT_EQ(namesIn(m_root / "work"), std::vector<std::string> {"page.htm"});
}

TEST_F(CliTest, FullDisk)
{
    const char* folder = std::getenv("SNELLITORE_SMALL_DISK");
    if (!folder || !*folder)
        GTEST_SKIP() << "SNELLITORE_SMALL_DISK names no small disk (scripts/test-windows.sh sets it when run as root)";
    std::string big;
    while (big.size() < 1024 * 1024)
        big += "<p>a line that fills the small disk</p>\n";
    writeAll(work("big.htm"), big);
    const std::string destination = std::string(folder) + "\\out.big";
    const Outcome outcome = run({"--options=", "-o", destination, "big.htm"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "snellitore-cli: " + destination + ": Disk full\n");
    EXPECT_EQ(namesIn(fs::path(folder)), std::vector<std::string> {}) << "the incomplete copy was left behind";
}

} // namespace
