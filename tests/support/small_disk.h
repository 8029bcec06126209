// A small tmpfs of its own for a test, so that writes meet a really full disk; unmounted when the test ends.
#pragma once

#include <cerrno>
#include <filesystem>
#include <string>
#include <sys/mount.h>

class SmallDisk
{
public:
    // Mounting needs root (or CAP_SYS_ADMIN); see mounted() and error().
    explicit SmallDisk(const std::string& where, const char* size = "8k")
        : m_where(where)
    {
        std::filesystem::create_directory(where);
        const std::string options = std::string("size=") + size;
        m_mounted = ::mount("tmpfs", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
        m_error = errno;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_where.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    int error() const { return m_error; }

private:
    std::string m_where;
    bool m_mounted = false;
    int m_error = 0;
};
