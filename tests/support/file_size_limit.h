// Lowers the process's file size limit for a test, so that writes beyond it fail as on a full disk.
#pragma once

#include <csignal>

#include <sys/resource.h>

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed process
        m_active = ::getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        m_active = m_active && ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        if (m_active)
            ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return m_active; }

private:
    rlimit m_saved {};
    bool m_active = false;
    void (*m_previousHandler)(int) = nullptr;
};
