// snellitore-cli: compacts one web page from the command line; the work is done in cli_core.
#include <cli/cli_main.h>

#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

#ifdef _WIN32
// Paths are UTF-8 inside the program; the arguments the C runtime hands main() are in the ANSI code page, which
// cannot spell every name, so they are read again from the UTF-16 command line.
std::vector<std::string> programArguments(int, char**)
{
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; ++i) {
        const int length = static_cast<int>(std::wcslen(wide[i]));
        std::string argument(static_cast<std::size_t>(
                                 ::WideCharToMultiByte(CP_UTF8, 0, wide[i], length, nullptr, 0, nullptr, nullptr)),
                             '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, wide[i], length, argument.data(), static_cast<int>(argument.size()),
                              nullptr, nullptr);
        arguments.push_back(std::move(argument));
    }
    ::LocalFree(wide);
    return arguments;
}
#else
std::vector<std::string> programArguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return arguments;
}
#endif

} // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    // A compacted page must not gain a CR before each LF, nor lose one it read, on its way through a pipe; the
    // messages end their lines with LF alone too, so that they read the same byte for byte on every system.
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
    return cliMain(programArguments(argc, argv), std::cout, std::cerr);
}
