// The built snellitore-cli started in a fresh folder, the same fixture on every system: a launcher per system
// (cli_launcher_posix.cpp, cli_launcher_windows.cpp) starts the program and collects what it wrote.
#pragma once

#include <gtest/gtest.h>
#include <tests/support/held_file.h>
#include <tests/support/temp_folder.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/types.h>
#endif

namespace cli_test {

namespace fs = std::filesystem;

// The page every test finds in its work folder, and what the option sets make of it.
inline const std::string Page = "<html>\r\n<body>\r\n\t<div align=\"center\">\r\n\t\t<font  face=\"Arial;  "
                                "Verdana\" >Hello   world</font>\r\n\t</div>\r\n</body>\r\n</html>\r\n";
inline const std::string PageDefaultApiciDiv
    = "<html>\n<body>\n<center>\n<font  face=\"Arial;Verdana\">Hello world</font>\n</center>\n</body>\n</html>\n";
inline const std::string PageDefaultTags
    = "<html><body><div align=\"center\"><font face=\"Arial; Verdana\" >Hello world</font></div></body></html>";
inline const std::string PageAllFour
    = "<html><body><center>\n<font  face=\"Arial;Verdana\">Hello world</font></center>\n</body></html>";

struct Outcome
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// How the program is started. Paths are relative to the work folder, which is the program's current folder.
struct Launch
{
    std::vector<std::string> args {};
#ifndef _WIN32
    std::string program = SNELLITORE_CLI;
#endif
    std::string stdinPath {}; // the null device unless set
#ifndef _WIN32
    off_t stdinOffset = 0; // where standard input stands when the program starts
#endif
    std::optional<std::string> stdinPipe {}; // fed through a pipe instead of stdinPath
#ifndef _WIN32
    std::string stdoutPath {}; // a capture file unless set
    int stdoutFlags = O_WRONLY | O_CREAT | O_TRUNC;
    rlim_t fileSizeLimit = RLIM_INFINITY; // largest file the program may write
    bool withoutDacOverride = false; // root loses its power to ignore permission bits
    std::function<void(pid_t)> whileRunning {}; // acts while the program runs
    bool stderrTerminal = false; // standard error is a pseudo-terminal, which passes the bytes as they are
    int stdoutFd = -1; // standard output goes to this descriptor of the caller's (a pipe) instead, when set
    int stderrFd = -1; // the same for standard error, which is then not captured
#endif
    std::string temporaryFolder {}; // the program's temporary folder (TMPDIR, %TMP% and %TEMP%), when set
};

inline std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeAll(const fs::path& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

#ifndef _WIN32
// The exit code of a program started withoutDacOverride when the capabilities could not be dropped.
inline constexpr int CannotDropCapabilities = 125;

// Writes data to fd until the reader stops reading, then closes fd.
void feed(int fd, const std::string& data);
#endif

// Each test gets a fresh folder holding work/ (the program's current folder, with page.htm) and io/ (the
// captured standard streams).
class CliTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    fs::path work(const std::string& name) const;
    bool exists(const std::string& name) const;

    Outcome run(std::vector<std::string> args) { return run(Launch { std::move(args) }); }
    Outcome run(const Launch& launch);

    fs::path m_root;
};

} // namespace cli_test
