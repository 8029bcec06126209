// Named temporary files in flight, kept where a signal handler can find them without a lock or an allocation, so
// that a signal which ends the process removes them first. Used inside platform/ alone; temporary_files.h includes
// it only for the entry a staged file keeps.
#pragma once

#include <platform/byte_file.h>

#include <cstdint>
#include <string>

namespace platform {

struct PendingName;

// One entry of the registry, reserved before its file is made: a signal that ends the process meanwhile (on
// another thread) waits for the entry to be armed or released. Without memory for it the file is made anyway,
// and only the ordinary clean-up removes it.
class PendingNameEntry
{
public:
    PendingNameEntry() noexcept = default; // none
    static PendingNameEntry reserve() noexcept;
    ~PendingNameEntry() { release(); }
    PendingNameEntry(PendingNameEntry&& other) noexcept;
    PendingNameEntry& operator=(PendingNameEntry&& other) noexcept;
    PendingNameEntry(const PendingNameEntry&) = delete;
    PendingNameEntry& operator=(const PendingNameEntry&) = delete;

    // The file is made: path, while it still leads to the file of identity, is removed by such a signal.
    void arm(const std::string& path, const FileIdentity& identity) noexcept;
    // The name is gone, or the file has taken the name it was meant for: nothing to remove any more.
    void release() noexcept;

private:
    explicit PendingNameEntry(PendingName* entry) noexcept
        : m_entry(entry)
    {
    }

    PendingName* m_entry = nullptr;
};

// Removes every armed name that still leads to its file. Safe in a signal handler. endingProcess first waits a
// moment for the entries that other threads are reserving, arming or removing, since the process ends next.
void removePendingNames(bool endingProcess) noexcept;

// The system's part: removes path if it still leads to the file of identity (not following a link); safe in a
// signal handler on POSIX.
void removeIfStill(const char* path, const FileIdentity& identity) noexcept;

// While alive, the caught signals wait on this thread, so that a temporary name made meanwhile is armed before a
// handler can run here. Nothing to hold on Windows, whose console handler runs on a thread of its own.
class CaughtSignalsHeld
{
public:
    CaughtSignalsHeld() noexcept;
    ~CaughtSignalsHeld();
    CaughtSignalsHeld(const CaughtSignalsHeld&) = delete;
    CaughtSignalsHeld& operator=(const CaughtSignalsHeld&) = delete;

private:
    alignas(8) unsigned char m_saved[128]; // the thread's signal mask before
    bool m_held = false;
};

} // namespace platform
