// A disk with little room for a test, so that writes meet a really full disk.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <sys/mount.h>
#endif

// On Linux a small tmpfs of its own, mounted at where and unmounted when the test ends; mounting needs root (or
// CAP_SYS_ADMIN). Windows offers no way to make one: there the folder named by SNELLITORE_SMALL_DISK serves,
// which scripts/test-windows.sh mounts as a tmpfs that Wine shows, and the test's files are removed from it again.
class SmallDisk
{
public:
    explicit SmallDisk(const std::string& where, const char* size = "8k")
    {
#ifdef _WIN32
        (void)where;
        (void)size;
        const char* folder = std::getenv("SNELLITORE_SMALL_DISK");
        m_folder = folder ? folder : "";
        m_mounted = !m_folder.empty() && std::filesystem::is_directory(m_folder);
#else
        m_folder = where;
        std::filesystem::create_directory(where);
        const std::string options = std::string("size=") + size;
        m_mounted = ::mount("tmpfs", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
        m_error = errno;
#endif
    }
    ~SmallDisk()
    {
        if (!m_mounted)
            return;
#ifdef _WIN32
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder, ignored))
            std::filesystem::remove_all(entry.path(), ignored);
#else
        ::umount2(m_folder.c_str(), MNT_DETACH);
#endif
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    int error() const { return m_error; }
    // Where files meet the full disk.
    const std::string& folder() const { return m_folder; }
    std::string skipReason() const
    {
#ifdef _WIN32
        return "SNELLITORE_SMALL_DISK names no small disk (scripts/test-windows.sh sets it when run as root)";
#else
        return std::string("cannot mount a small tmpfs here: ") + std::strerror(m_error);
#endif
    }

private:
    std::string m_folder;
    bool m_mounted = false;
    int m_error = 0;
};
