// Makes permission bits bind a test run as root: drops root's file-permission overrides for a scope.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// While an instance lives, the calling thread lacks CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH in its effective
// set, so a read-only file refuses it as it refuses any user; the destructor puts them back. Capabilities
// belong to a thread on Linux: other threads keep theirs. Uses the raw system calls, so no libcap is needed.
//
//     PermissionOverridesDropped dropped;
//     if (!dropped.active())
//         GTEST_SKIP() << PermissionOverridesDropped::SkipReason;
class PermissionOverridesDropped
{
public:
    static constexpr const char* SkipReason =
        "cannot drop CAP_DAC_OVERRIDE: permission bits would not bind this process, so a read-only file "
        "cannot be made unwritable for the test";

    PermissionOverridesDropped()
    {
        if (!capget(m_saved))
            return;
        __user_cap_data_struct reduced[_LINUX_CAPABILITY_U32S_3];
        for (int i = 0; i < _LINUX_CAPABILITY_U32S_3; ++i)
            reduced[i] = m_saved[i];
        reduced[0].effective &= ~Overrides;
        if ((m_saved[0].effective & Overrides) != 0)
            m_changed = capset(reduced);
        __user_cap_data_struct now[_LINUX_CAPABILITY_U32S_3];
        m_active = capget(now) && (now[0].effective & Overrides) == 0;
    }

    ~PermissionOverridesDropped()
    {
        if (m_changed)
            capset(m_saved);
    }

    PermissionOverridesDropped(const PermissionOverridesDropped&) = delete;
    PermissionOverridesDropped& operator=(const PermissionOverridesDropped&) = delete;

    // True when neither override is in effect now (also when the process never had them).
    bool active() const { return m_active; }

private:
    static_assert(CAP_DAC_OVERRIDE < 32 && CAP_DAC_READ_SEARCH < 32, "both live in the first word");
    static constexpr __u32 Overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

    static bool capget(__user_cap_data_struct* data)
    {
        __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capget, &header, data) == 0;
    }
    static bool capset(__user_cap_data_struct* data)
    {
        __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capset, &header, data) == 0;
    }

    __user_cap_data_struct m_saved[_LINUX_CAPABILITY_U32S_3] {};
    bool m_changed = false;
    bool m_active = false;
};
