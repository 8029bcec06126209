// Sets the process's umask for a scope: files created meanwhile, by the process or by a program it starts, lose
// the bits it holds.
#pragma once

#ifndef _WIN32
#include <sys/stat.h>

class UmaskScope
{
public:
    explicit UmaskScope(mode_t mask)
        : m_saved(::umask(mask))
    {
    }
    ~UmaskScope() { ::umask(m_saved); }
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;

private:
    mode_t m_saved;
};
#endif
