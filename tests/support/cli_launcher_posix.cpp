// The launcher of the CLI tests on POSIX systems: the built program started with fork and exec.
#include <tests/support/cli_launcher.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace cli_test {

namespace {

constexpr unsigned ChildTimeLimit = 60; // seconds

// Root ignores permission bits through two capabilities. Taken out of the bounding and the inheritable set,
// they stay gone in the program this child becomes. Runs between fork and exec: raw system calls only.
bool dropDacOverride()
{
    if (::geteuid() != 0)
        return true; // permission bits already apply
    const unsigned mask = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    if (::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0
        || ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) != 0)
        return false;
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective &= ~mask;
    data[0].permitted &= ~mask;
    data[0].inheritable &= ~mask;
    return ::syscall(SYS_capset, &header, data) == 0;
}

// A pseudo-terminal in raw mode, so that what the program writes arrives byte for byte (no CR added to LF).
bool openTerminal(int& master, int& slave)
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return false;
    slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode {};
    if (slave < 0 || ::tcgetattr(slave, &mode) != 0)
        return false;
    ::cfmakeraw(&mode);
    return ::tcsetattr(slave, TCSANOW, &mode) == 0;
}

// What the program wrote to the terminal; the read ends (EIO) once no one holds the other end.
std::string drainTerminal(int master)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(master);
    return text;
}

int openOrDie(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0)
        ADD_FAILURE() << "cannot open " << path << ": " << std::strerror(errno);
    return fd;
}

} // namespace

void feed(int fd, const std::string& data)
{
    for (std::size_t done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the program stopped reading; its outcome tells why
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void CliTest::SetUp()
{
    std::signal(SIGPIPE, SIG_IGN);
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tst_cli-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    fs::create_directory(m_root / "work");
    fs::create_directory(m_root / "io");
    writeAll(work("page.htm"), Page);
}

void CliTest::TearDown()
{
    fs::remove_all(m_root);
}

fs::path CliTest::work(const std::string& name) const
{
    return m_root / "work" / name;
}

bool CliTest::exists(const std::string& name) const
{
    return fs::exists(fs::symlink_status(work(name)));
}

Outcome CliTest::run(const Launch& launch)
{
    std::vector<std::string> args { launch.program };
    args.insert(args.end(), launch.args.begin(), launch.args.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string folder = (m_root / "work").string();
    const std::string outPath
        = launch.stdoutPath.empty() ? (m_root / "io" / "out").string() : work(launch.stdoutPath).string();
    const std::string errPath = (m_root / "io" / "err").string();

    int stdinFd = -1;
    int feeder = -1;
    if (launch.stdinPipe) {
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        stdinFd = ends[0];
        feeder = ends[1];
    } else {
        const std::string& path = launch.stdinPath.empty() ? std::string("/dev/null") : launch.stdinPath;
        stdinFd = openOrDie(path[0] == '/' ? path : work(path).string(), O_RDONLY);
        ::lseek(stdinFd, launch.stdinOffset, SEEK_SET);
    }
    const int outFd = launch.stdoutFd >= 0 ? ::fcntl(launch.stdoutFd, F_DUPFD_CLOEXEC, 0)
                                           : openOrDie(outPath, launch.stdoutFlags);
    int master = -1;
    int errFd = -1;
    if (launch.stderrTerminal)
        EXPECT_TRUE(openTerminal(master, errFd)) << "no pseudo-terminal: " << std::strerror(errno);
    else if (launch.stderrFd >= 0)
        errFd = ::fcntl(launch.stderrFd, F_DUPFD_CLOEXEC, 0);
    else
        errFd = openOrDie(errPath, O_WRONLY | O_CREAT | O_TRUNC);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(stdinFd, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        // What the test sends must reach the program, even from a test started with some signals ignored.
        for (const int caught : { SIGPIPE, SIGINT, SIGHUP, SIGTERM })
            std::signal(caught, SIG_DFL);
        if (!launch.temporaryFolder.empty())
            ::setenv("TMPDIR", launch.temporaryFolder.c_str(), 1);
        ::alarm(ChildTimeLimit); // a program that hangs fails its test instead of stalling the suite
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        if (launch.fileSizeLimit != RLIM_INFINITY) {
            std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails instead of killing
            const rlimit limit { launch.fileSizeLimit, launch.fileSizeLimit };
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (launch.withoutDacOverride && !dropDacOverride())
            ::_exit(CannotDropCapabilities);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(stdinFd);
    ::close(outFd);
    ::close(errFd);
    if (feeder >= 0)
        feed(feeder, *launch.stdinPipe);
    if (launch.whileRunning)
        launch.whileRunning(pid);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    Outcome outcome;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (launch.stdoutPath.empty() && launch.stdoutFd < 0)
        outcome.out = readAll(outPath);
    if (launch.stderrTerminal)
        outcome.err = drainTerminal(master);
    else if (launch.stderrFd < 0)
        outcome.err = readAll(errPath);
    return outcome;
}

} // namespace cli_test
