// The launcher of the CLI tests on Windows: the built program started with CreateProcessW.
#include <tests/support/cli_launcher.h>

namespace cli_test {

namespace {

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

// A handle the child inherits.
HANDLE inheritable(const fs::path& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES security {sizeof security, nullptr, TRUE};
    return ::CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

void CliTest::SetUp()
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

void CliTest::TearDown()
{
    for (const auto& entry : fs::recursive_directory_iterator(m_root))
        ::SetFileAttributesW(entry.path().wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(m_root);
}

fs::path CliTest::work(const std::string& name) const
{
    return m_root / "work" / fs::u8path(name);
}

bool CliTest::exists(const std::string& name) const
{
    return fs::exists(work(name));
}

Outcome CliTest::run(const Launch& launch)
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
    DWORD exitCode = 9999;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    outcome.exitCode = static_cast<int>(exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    outcome.out = readAll(outPath);
    outcome.err = readAll(errPath);
    return outcome;
}

} // namespace cli_test
