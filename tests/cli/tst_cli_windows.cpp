// End-to-end tests of snellitore-cli on Windows: the built program started with CreateProcessW in a fresh folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string Page = "<html>\r\n<body>\r\n\t<div align=\"center\">\r\n\t\t<font  face=\"Arial;  Verdana\" >Hello   "
                         "world</font>\r\n\t</div>\r\n</body>\r\n</html>\r\n";
const std::string PageDefaultApiciDiv
    = "<html>\n<body>\n<center>\n<font  face=\"Arial;Verdana\">Hello world</font>\n</center>\n</body>\n</html>\n";
const std::string PageDefaultTags
    = "<html><body><div align=\"center\"><font face=\"Arial; Verdana\" >Hello world</font></div></body></html>";
const std::string PageAllFour
    = "<html><body><center>\n<font  face=\"Arial;Verdana\">Hello world</font></center>\n</body></html>";
const std::string Summary = "page.htm 121 byte  ==> out.big 96 byte -21%\n";

constexpr DWORD ChildTimeLimit = 60 * 1000; // a program that hangs fails its test instead of stalling the suite

// Resolved while the current folder is still the build folder: the tests move into folders on another drive.
const fs::path Program = fs::absolute(SNELLITORE_CLI);

std::wstring wide(const std::string& utf8)
{
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                               text.data(), static_cast<int>(text.size()))));
    return text;
}

// One argument as CommandLineToArgvW reads it back: quoted, with backslashes before a quote doubled.
std::wstring quoted(const std::wstring& argument)
{
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, L'\\');
    return text + L"\"";
}

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAll(const fs::path& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A handle the child inherits.
HANDLE inheritable(const fs::path& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES security {sizeof security, nullptr, TRUE};
    return ::CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Another program's handle on a file, for a scope.
class HeldFile
{
public:
    HeldFile(const fs::path& path, DWORD share)
        : m_handle(::CreateFileW(path.wstring().c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~HeldFile()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_handle);
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool held() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

struct Outcome
{
    DWORD exitCode = 9999;
    std::string out;
    std::string err;
};

// How the program is started; paths are relative to the work folder, which is its current folder.
struct Launch
{
    std::vector<std::string> args {};
    std::string stdinPath {}; // NUL unless set
    std::optional<std::string> stdinPipe {}; // fed through a pipe instead
    std::string temporaryFolder {}; // %TMP% and %TEMP% for the program, when set
};

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const fs::path parent = fs::temp_directory_path();
        for (unsigned attempt = ::GetTickCount(); m_root.empty(); ++attempt) {
            if (fs::create_directory(parent / ("tst_cli-" + std::to_string(attempt))))
                m_root = parent / ("tst_cli-" + std::to_string(attempt));
        }
        fs::create_directory(m_root / "work");
        fs::create_directory(m_root / "io");
        writeAll(work("page.htm"), Page);
    }
    void TearDown() override
    {
        for (const auto& entry : fs::recursive_directory_iterator(m_root))
            ::SetFileAttributesW(entry.path().wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(m_root);
    }

    fs::path work(const std::string& name) const { return m_root / "work" / fs::u8path(name); }
    bool exists(const std::string& name) const { return fs::exists(work(name)); }

    Outcome run(std::vector<std::string> args) { return run(Launch {std::move(args)}); }

    Outcome run(const Launch& launch)
    {
        std::wstring commandLine = quoted(Program.wstring());
        for (const std::string& arg : launch.args)
            commandLine += L" " + quoted(wide(arg));
        const fs::path outPath = m_root / "io" / "out";
        const fs::path errPath = m_root / "io" / "err";
        HANDLE input = INVALID_HANDLE_VALUE;
        HANDLE feeder = INVALID_HANDLE_VALUE;
        if (launch.stdinPipe) {
            SECURITY_ATTRIBUTES security {sizeof security, nullptr, TRUE};
            EXPECT_TRUE(::CreatePipe(&input, &feeder, &security, 0));
            ::SetHandleInformation(feeder, HANDLE_FLAG_INHERIT, 0);
        } else {
            input = inheritable(launch.stdinPath.empty() ? fs::path("NUL") : work(launch.stdinPath), GENERIC_READ,
                                OPEN_EXISTING);
        }
        const HANDLE output = inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
        const HANDLE error = inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
        EXPECT_NE(input, INVALID_HANDLE_VALUE);
        EXPECT_NE(output, INVALID_HANDLE_VALUE);

        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = output;
        startup.hStdError = error;
        PROCESS_INFORMATION process {};
        const std::wstring folder = (m_root / "work").wstring();
        const std::wstring temporary = launch.temporaryFolder.empty() ? L"" : wide(launch.temporaryFolder);
        std::wstring savedTmp(MAX_PATH + 1, L'\0'), savedTemp(MAX_PATH + 1, L'\0');
        savedTmp.resize(::GetEnvironmentVariableW(L"TMP", savedTmp.data(), MAX_PATH + 1));
        savedTemp.resize(::GetEnvironmentVariableW(L"TEMP", savedTemp.data(), MAX_PATH + 1));
        if (!temporary.empty()) {
            ::SetEnvironmentVariableW(L"TMP", temporary.c_str());
            ::SetEnvironmentVariableW(L"TEMP", temporary.c_str());
        }
        // Wine now and then fails to start a process with ERROR_INTERNAL_ERROR, when nothing is wrong with it.
        BOOL started = FALSE;
        for (int attempt = 0; attempt < 3 && !started; ++attempt) {
            started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                                       &startup, &process);
            if (!started && ::GetLastError() != ERROR_INTERNAL_ERROR)
                break;
            if (!started)
                ::Sleep(200);
        }
        ::SetEnvironmentVariableW(L"TMP", savedTmp.empty() ? nullptr : savedTmp.c_str());
        ::SetEnvironmentVariableW(L"TEMP", savedTemp.empty() ? nullptr : savedTemp.c_str());
        ::CloseHandle(input);
        ::CloseHandle(output);
        ::CloseHandle(error);
        Outcome outcome;
        if (!started) {
            ADD_FAILURE() << "CreateProcessW failed with " << ::GetLastError();
            if (feeder != INVALID_HANDLE_VALUE)
                ::CloseHandle(feeder);
            return outcome;
        }
        if (feeder != INVALID_HANDLE_VALUE) {
            const std::string& data = *launch.stdinPipe;
            for (std::size_t done = 0; done < data.size();) {
                DWORD written = 0;
                const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 16));
                if (!::WriteFile(feeder, data.data() + done, chunk, &written, nullptr) || written == 0)
                    break; // the program stopped reading; its outcome tells why
                done += written;
            }
            ::CloseHandle(feeder);
        }
        if (::WaitForSingleObject(process.hProcess, ChildTimeLimit) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.hProcess, 9999);
            ::WaitForSingleObject(process.hProcess, INFINITE);
            ADD_FAILURE() << "the program did not end in time";
        }
        ::GetExitCodeProcess(process.hProcess, &outcome.exitCode);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        outcome.out = readAll(outPath);
        outcome.err = readAll(errPath);
        return outcome;
    }

    fs::path m_root;
};

TEST_F(CliTest, CompactsWithTheChosenOptions)
{
    const struct
    {
        std::vector<std::string> options;
        const std::string& expected;
    } rows[] = {
        {{}, PageDefaultApiciDiv},
        {{"--options="}, Page},
        {{"--options=default,tags"}, PageDefaultTags},
        {{"--options=div,tags,apici,default"}, PageAllFour},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.options));
        fs::remove(work("out.big"));
        std::vector<std::string> args = row.options;
        args.insert(args.end(), {"-o", "out.big", "page.htm"});
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.exitCode, 0u);
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(readAll(work("out.big")), row.expected);
    }
}

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
        {"standard input from a file", {{"--options=", "-"}, "page.htm"}, Page},
        {"standard input from a pipe", {{"--options=", "-"}, {}, Page}, Page},
        {"pipe compacted", {{"-"}, {}, Page}, PageDefaultApiciDiv},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = run(row.launch);
        EXPECT_EQ(outcome.exitCode, 0u) << outcome.err;
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
    EXPECT_EQ(copy.exitCode, 0u);
    EXPECT_TRUE(copy.out == big) << "the copy of " << big.size() << " bytes differs; got " << copy.out.size();
    const std::string size = std::to_string(big.size());
    EXPECT_EQ(copy.err, "- " + size + " byte  ==> - " + size + " byte 0%\n");
    EXPECT_EQ(namesIn(m_root / "temp"), std::vector<std::string> {}) << "the copy was left behind";

    const std::string missing = (m_root / "missing").string();
    const Outcome failed = run({.args = {"-o", "out.big", "-"}, .stdinPipe = Page, .temporaryFolder = missing});
    EXPECT_EQ(failed.exitCode, 1u);
    EXPECT_EQ(failed.err, "snellitore-cli: temporary file in " + missing + ": Invalid filename\n");
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
        EXPECT_EQ(outcome.exitCode, 0u) << outcome.err;
        EXPECT_EQ(outcome.err, row.source + " 121 byte  ==> " + row.destination + " 96 byte -21%\n");
        EXPECT_EQ(readAll(work(row.created)), PageDefaultApiciDiv);
    }
}

// Every failure exits with 1 and names the path and the system's code; nothing is created.
TEST_F(CliTest, ReportsIoErrorsWithThePathAndCreatesNothing)
{
    fs::create_directory(work("sub"));
    const struct
    {
        std::vector<std::string> args;
        std::string message;
    } rows[] = {
        {{"-o", "out.big", "missing.htm"}, "snellitore-cli: missing.htm: File not found\n"},
        {{"-o", "out.big", "nofolder\\page.htm"}, "snellitore-cli: nofolder\\page.htm: Invalid filename\n"},
        {{"-o", "out.big", "sub"}, "snellitore-cli: sub: File access denied\n"},
        {{"-o", "nofolder\\out.big", "page.htm"}, "snellitore-cli: nofolder\\out.big: Invalid filename\n"},
        {{"--force", "-o", "sub", "page.htm"}, "snellitore-cli: sub: File access denied\n"},
        {{"-o", "out.big", "a?.htm"}, "snellitore-cli: a?.htm: I/O error 123\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.exitCode, 1u);
        EXPECT_EQ(outcome.err, row.message);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(namesIn(m_root / "work"), (std::vector<std::string> {"page.htm", "sub"}));
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
    EXPECT_EQ(outcome.exitCode, 1u);
    EXPECT_EQ(outcome.err, "snellitore-cli: " + source + ": Invalid filename\n");
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
        EXPECT_EQ(outcome.exitCode, 2u);
        EXPECT_NE(outcome.err.find(row.reason), std::string::npos) << outcome.err;
        EXPECT_EQ(namesIn(m_root / "work"), std::vector<std::string> {"page.htm"});
    }
}

// A destination that may not be replaced keeps its contents, and no temporary file is left beside it.
TEST_F(CliTest, AFailedRunLeavesTheDestinationAsItWas)
{
    const struct
    {
        const char* name;
        DWORD attributes; // of out.big
        DWORD heldShare;  // another program holds out.big, sharing this; 0xffffffff: not held
        const char* error;
    } rows[] = {
        {"read-only attribute", FILE_ATTRIBUTE_READONLY, 0xffffffff, "File access denied\n"},
        {"held without sharing", FILE_ATTRIBUTE_NORMAL, 0, "I/O error 32\n"},
        {"held sharing reading only", FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, "I/O error 32\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ::SetFileAttributesW(work("out.big").wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
        writeAll(work("out.big"), "keep me");
        ::SetFileAttributesW(work("out.big").wstring().c_str(), row.attributes);
        std::optional<HeldFile> held;
        if (row.heldShare != 0xffffffff) {
            held.emplace(work("out.big"), row.heldShare);
            ASSERT_TRUE(held->held());
        }
        const Outcome outcome = run({"--force", "-o", "out.big", "page.htm"});
        held.reset();
        EXPECT_EQ(outcome.exitCode, 1u);
        EXPECT_EQ(outcome.err, std::string("snellitore-cli: out.big: ") + row.error);
        EXPECT_EQ(readAll(work("out.big")), "keep me");
        EXPECT_EQ(namesIn(m_root / "work"), (std::vector<std::string> {"out.big", "page.htm"}));
    }
}

TEST_F(CliTest, SourcesThatOthersHoldOrThatAreReadOnly)
{
    const struct
    {
        const char* name;
        DWORD attributes;
        DWORD heldShare; // 0xffffffff: not held
        DWORD exitCode;
        std::string err;
    } rows[] = {
        {"read-only source", FILE_ATTRIBUTE_READONLY, 0xffffffff, 0, Summary},
        {"held sharing reading", FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, 0, Summary},
        {"held without sharing", FILE_ATTRIBUTE_NORMAL, 0, 1, "snellitore-cli: page.htm: I/O error 32\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
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

TEST_F(CliTest, ExistingDestinationNeedsForce)
{
    writeAll(work("out.big"), "keep me");
    const Outcome refused = run({"-o", "out.big", "page.htm"});
    EXPECT_EQ(refused.exitCode, 1u);
    EXPECT_EQ(refused.err, "snellitore-cli: out.big: File exists (use --force to replace it)\n");
    EXPECT_EQ(readAll(work("out.big")), "keep me");

    ::SetFileAttributesW(work("out.big").wstring().c_str(), FILE_ATTRIBUTE_HIDDEN);
    const Outcome forced = run({"--force", "-o", "out.big", "page.htm"});
    EXPECT_EQ(forced.exitCode, 0u) << forced.err;
    EXPECT_EQ(readAll(work("out.big")), PageDefaultApiciDiv);
    EXPECT_TRUE(::GetFileAttributesW(work("out.big").wstring().c_str()) & FILE_ATTRIBUTE_HIDDEN)
        << "the replaced file was hidden";
    EXPECT_EQ(namesIn(m_root / "work"), (std::vector<std::string> {"out.big", "page.htm"}));
}

// Whatever name leads to the source, it is never written, not even with --force.
TEST_F(CliTest, NeverWritesIntoTheSource)
{
    ASSERT_TRUE(::CreateHardLinkW(work("hard.htm").wstring().c_str(), work("page.htm").wstring().c_str(), nullptr));
    const std::string absolute = (m_root / "work" / "page.htm").string();
    for (const std::string& destination : {std::string("page.htm"), std::string("PAGE.HTM"), std::string(".\\page.htm"),
                                           absolute, std::string("hard.htm")}) {
        SCOPED_TRACE(destination);
        const Outcome outcome = run({"--force", "-o", destination, "page.htm"});
        EXPECT_EQ(outcome.exitCode, 1u);
        EXPECT_EQ(outcome.err, "snellitore-cli: " + destination + ": Source and destination are the same file\n");
        EXPECT_EQ(readAll(work("page.htm")), Page);
    }
}

// NUL is a device: written as it is, never replaced.
TEST_F(CliTest, WritesTheNulDevice)
{
    const Outcome refused = run({"-o", "NUL", "page.htm"});
    EXPECT_EQ(refused.exitCode, 1u);
    EXPECT_EQ(refused.err, "snellitore-cli: NUL: File exists (use --force to replace it)\n");
    const Outcome written = run({"--force", "--stats", "-o", "NUL", "page.htm"});
    EXPECT_EQ(written.exitCode, 0u) << written.err;
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
    EXPECT_EQ(outcome.exitCode, 1u);
    EXPECT_EQ(outcome.err, "snellitore-cli: " + destination + ": Disk full\n");
    EXPECT_EQ(namesIn(fs::path(folder)), std::vector<std::string> {}) << "the incomplete copy was left behind";
}

} // namespace
