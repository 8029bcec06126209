// EInOutError: a failed file operation, with its numeric I/O code and the English text chosen by that code.
#pragma once

#include <stdexcept>
#include <string>

// The I/O codes the program itself produces; any other code is a system error code shown as "I/O error N".
namespace IoCode {
inline constexpr int Ok = 0;
inline constexpr int FileNotFound = 2;      // "File not found"
inline constexpr int PathNotFound = 3;      // "Invalid filename": a folder on the path is missing
inline constexpr int TooManyOpenFiles = 4;  // "Too many open files"
inline constexpr int AccessDenied = 5;      // "File access denied"
inline constexpr int SharingViolation = 32; // another program holds the file
inline constexpr int FileExists = 80;       // the name is taken
inline constexpr int ReadPastEnd = 100;     // "Read beyond end of file": a read delivered no byte
inline constexpr int DiskFull = 101;        // "Disk full": a write stored no byte
inline constexpr int CloseFailed = 1;       // a close the system refused
} // namespace IoCode

// The text shown for an I/O code: the fixed table, or "I/O error N" for any other code.
std::string ioErrorText(int code);

// Which of a run's two files an operation failed on, where the one that raises knows it.
enum class FileSide { Unknown, Source, Destination };

class EInOutError : public std::runtime_error
{
public:
    explicit EInOutError(int code, FileSide side = FileSide::Unknown);
    // For refusals that have a clearer text of their own than the code's (the code is kept for callers).
    EInOutError(int code, const std::string& message);

    int code() const noexcept { return m_code; }
    FileSide side() const noexcept { return m_side; }

private:
    int m_code;
    FileSide m_side = FileSide::Unknown;
};

// Raises EInOutError for any code but IoCode::Ok.
void check(int code, FileSide side = FileSide::Unknown);
