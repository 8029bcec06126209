// The I/O code table and EInOutError.
#include <platform/io_error.h>

#include <cstdio>

std::string ioErrorText(int code)
{
    switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 101: return "Disk full";
    case 106: return "Invalid numeric input";
    default: {
        char text[32];
        std::snprintf(text, sizeof text, "I/O error %d", code);
        return text;
    }
    }
}

EInOutError::EInOutError(int code, FileSide side)
    : std::runtime_error(ioErrorText(code))
    , m_code(code)
    , m_side(side)
{
}

EInOutError::EInOutError(int code, const std::string& message)
    : std::runtime_error(message)
    , m_code(code)
{
}

void check(int code, FileSide side)
{
    if (code != IoCode::Ok)
        throw EInOutError(code, side);
}
