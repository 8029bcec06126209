// The lines snellitore-cli prints about its files, each kept to one line whatever the names hold.
#include <cli/messages.h>

#include <platform/directory.h>
#include <platform/io_error.h>

std::string messageLine(const std::string& path, const std::string& text)
{
    return CliText::Program + shownText(path) + ": " + shownText(text) + '\n';
}

std::string programLine(const std::string& text)
{
    return CliText::Program + shownText(text) + '\n';
}

std::string failureText(int code, const std::string& path)
{
    return folderFailureText(code, platform::folderOf(path));
}

std::string folderFailureText(int code, const std::string& folder)
{
    if (code == IoCode::PathNotFound)
        return CliText::NoSuchFolder + folder;
    return ioErrorText(code);
}
