// Another program's handle on a file, for a scope (Windows): its access and share mode decide what the program
// under test may do with the file meanwhile.
#pragma once

#ifdef _WIN32
#include <filesystem>

#include <windows.h>

class HeldFile
{
public:
    HeldFile(const std::filesystem::path& path, DWORD share, DWORD access = GENERIC_READ)
        : m_handle(::CreateFileW(path.wstring().c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~HeldFile()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_handle);
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool held() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};
#endif
