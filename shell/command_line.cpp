// Command-line splitting, argument counting, ".big" naming and the replaceable process exit.
#include <shell/command_line.h>

#include <cstdlib>

namespace {

#ifdef _WIN32
// "C:page.htm" is page.htm in drive C's current folder: the colon ends the folder part as well.
constexpr const char* PathSeparators = "\\/:";
#else
constexpr const char* PathSeparators = "/";
#endif

bool isBlank(char c)
{
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

// Reads one item starting at pos; returns the position after it.
std::size_t nextItem(std::string_view line, std::size_t pos, std::string& item)
{
    item.clear();
    for (;;) {
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        if (pos + 1 < line.size() && line[pos] == '"' && line[pos + 1] == '"')
            pos += 2;
        else
            break;
    }
    while (pos < line.size() && line[pos] != '\0' && !isBlank(line[pos])) {
        if (line[pos] == '"') {
            ++pos;
            while (pos < line.size() && line[pos] != '"')
                item.push_back(line[pos++]);
            if (pos < line.size())
                ++pos;
        } else {
            item.push_back(line[pos++]);
        }
    }
    return pos;
}

void defaultExit(int code)
{
    std::exit(code);
}

ExitFunction exitFunction = defaultExit;
std::vector<std::string> arguments;

} // namespace

std::vector<std::string> splitCommandLine(std::string_view commandLine)
{
    std::vector<std::string> items;
    std::string item;
    std::size_t pos = nextItem(commandLine, 0, item);
    items.push_back(item); // the program name, even when empty
    for (;;) {
        pos = nextItem(commandLine, pos, item);
        if (item.empty())
            return items;
        items.push_back(item);
    }
}

std::vector<std::string> countedArguments(const std::vector<std::string>& argumentsAfterProgram)
{
    std::vector<std::string> counted;
    for (const std::string& argument : argumentsAfterProgram) {
        if (argument.empty())
            break;
        counted.push_back(argument);
    }
    return counted;
}

std::string bigDestinationPath(const std::string& sourcePath)
{
    // Only the file's own name is cut, so the copy stays beside the source whatever its folders are called.
    const std::size_t separator = sourcePath.find_last_of(PathSeparators);
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    // The leading dots of a hidden name (.htaccess) are part of the name, not the start of an extension.
    const std::size_t stemStart = sourcePath.find_first_not_of('.', nameStart);
    const std::size_t dot = stemStart == std::string::npos ? std::string::npos : sourcePath.find('.', stemStart);
    return sourcePath.substr(0, dot) + ".big";
}

void setProgramArguments(std::vector<std::string> newArguments)
{
    arguments = std::move(newArguments);
}

const std::vector<std::string>& programArguments()
{
    return arguments;
}

void endProcess(int code)
{
    exitFunction(code);
}

ExitFunction setExitFunction(ExitFunction function)
{
    const ExitFunction previous = exitFunction;
    exitFunction = function ? function : defaultExit;
    return previous;
}
