// Makes a file read-only for this process for a scope, on any system, even for a test run as root.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <tests/support/privileges.h>
#endif

// Takes every write permission away (on Windows the read-only attribute, elsewhere the permission bits), and on
// Linux drops root's overrides so that the bits bind. The destructor gives writing back, so the file can go.
//
//     ReadOnlyFile readOnly(path);
//     if (!readOnly.active())
//         GTEST_SKIP() << ReadOnlyFile::SkipReason;
class ReadOnlyFile
{
public:
#ifdef _WIN32
    static constexpr const char* SkipReason = "cannot set the read-only attribute";
#else
    static constexpr const char* SkipReason = PermissionOverridesDropped::SkipReason;
#endif

    explicit ReadOnlyFile(std::string path)
        : m_path(std::move(path))
    {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::permissions(m_path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read, error);
        m_active = !error;
#ifndef _WIN32
        m_dropped.emplace();
        m_active = m_active && m_dropped->active();
#endif
    }
    ~ReadOnlyFile()
    {
#ifndef _WIN32
        m_dropped.reset();
#endif
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add,
                                     ignored);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool active() const { return m_active; }

private:
    std::string m_path;
    bool m_active = false;
#ifndef _WIN32
    std::optional<PermissionOverridesDropped> m_dropped;
#endif
};
