// What every run of snellitore-cli reports the same way: its exit codes, its prefix and the texts it shares.
#pragma once

#include <platform/shown_text.h>

#include <string>

namespace ExitCode {
inline constexpr int Success = 0;
inline constexpr int IoError = 1;
inline constexpr int UsageError = 2;
} // namespace ExitCode

namespace CliText {
inline constexpr const char* Program = "snellitore-cli: ";
inline constexpr const char* Exists = "File exists (use --force to replace it)";
inline constexpr const char* DestinationIsFolder = "is a folder; to write into it, end DEST with /";
inline constexpr const char* SourceIsFolder = "is a folder; to compact a whole site, use -r";
inline constexpr const char* FolderInTheWay = "is a folder"; // where a folder run would put a file
inline constexpr const char* NoSuchFolder = "No such folder: ";
} // namespace CliText

// Every name and text in a message is shown as one line.
using platform::shownText;

// The line that reports something about one file or folder: "snellitore-cli: PATH: TEXT".
std::string messageLine(const std::string& path, const std::string& text);
// A line of the program that concerns no one path: "snellitore-cli: TEXT".
std::string programLine(const std::string& text);

// The text for a failed operation on path: a missing folder on its way is named as such, which the code's own
// text ("Invalid filename") does not tell; every other code keeps the text of the I/O code table.
std::string failureText(int code, const std::string& path);
// The same for an operation in folder itself (a temporary file made there).
std::string folderFailureText(int code, const std::string& folder);
