// What every run of snellitore-cli reports the same way: its exit codes, its prefix and the texts it shares.
#pragma once

#include <string>

namespace ExitCode {
inline constexpr int Success = 0;
inline constexpr int IoError = 1;
inline constexpr int UsageError = 2;
} // namespace ExitCode

namespace CliText {
inline constexpr const char* Program = "snellitore-cli: ";
inline constexpr const char* Exists = "File exists (use --force to replace it)";
} // namespace CliText

// The line that reports something about one file or folder: "snellitore-cli: PATH: TEXT".
inline std::string messageLine(const std::string& path, const std::string& text)
{
    return CliText::Program + path + ": " + text + '\n';
}
