// The registry of named temporary files in flight: a list that only ever grows, whose entries are reused, so
// that a signal handler walks it without a lock while other threads add to it.
#include <platform/pending_names.h>

#include <atomic>
#include <cstring>
#include <new>
#include <thread>

namespace platform {

namespace {

enum State : int
{
    Free,     // unused, to be reserved again
    Reserved, // a file is being made, or the path being copied in
    Armed,    // path is to be removed
    Taken,    // a handler is removing it
    Removed,  // a handler removed it; released by its owner
};

constexpr int WaitRounds = 20000; // yields, for the entries of other threads; a few tens of milliseconds

} // namespace

struct PendingName
{
    std::atomic<int> state { Reserved };
    PendingName* next = nullptr; // set once, before the entry is published
    char* path = nullptr;
    std::size_t capacity = 0;
    FileIdentity identity;
};

namespace {

std::atomic<PendingName*> head { nullptr };
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<PendingName*>::is_always_lock_free,
              "read from a signal handler");

PendingName* reserveEntry() noexcept
{
    for (PendingName* entry = head.load(std::memory_order_acquire); entry; entry = entry->next) {
        int expected = Free;
        if (entry->state.compare_exchange_strong(expected, Reserved, std::memory_order_acq_rel))
            return entry;
    }
    auto* entry = new (std::nothrow) PendingName;
    if (!entry)
        return nullptr;
    entry->next = head.load(std::memory_order_relaxed);
    while (!head.compare_exchange_weak(entry->next, entry, std::memory_order_release, std::memory_order_relaxed)) {
    }
    return entry;
}

// Whether an entry is still being worked on by a thread other than the handler's own.
bool othersBusy() noexcept
{
    for (PendingName* entry = head.load(std::memory_order_acquire); entry; entry = entry->next) {
        const int state = entry->state.load(std::memory_order_acquire);
        if (state == Reserved || state == Taken)
            return true;
    }
    return false;
}

void removeArmed() noexcept
{
    for (PendingName* entry = head.load(std::memory_order_acquire); entry; entry = entry->next) {
        int expected = Armed;
        if (!entry->state.compare_exchange_strong(expected, Taken, std::memory_order_acq_rel))
            continue;
        removeIfStill(entry->path, entry->identity);
        entry->state.store(Removed, std::memory_order_release);
    }
}

} // namespace

PendingNameEntry PendingNameEntry::reserve() noexcept
{
    return PendingNameEntry(reserveEntry());
}

PendingNameEntry::PendingNameEntry(PendingNameEntry&& other) noexcept
    : m_entry(other.m_entry)
{
    other.m_entry = nullptr;
}

PendingNameEntry& PendingNameEntry::operator=(PendingNameEntry&& other) noexcept
{
    if (this != &other) {
        release();
        m_entry = other.m_entry;
        other.m_entry = nullptr;
    }
    return *this;
}

// A handler skips a reserved entry, so the path may be copied in, and its buffer replaced, meanwhile.
void PendingNameEntry::arm(const std::string& path, const FileIdentity& identity) noexcept
{
    if (!m_entry || m_entry->state.load(std::memory_order_relaxed) != Reserved)
        return;
    if (m_entry->capacity <= path.size()) {
        char* larger = new (std::nothrow) char[path.size() + 1];
        if (!larger)
            return; // stays reserved, never removed by a handler: the ordinary clean-up remains
        delete[] m_entry->path;
        m_entry->path = larger;
        m_entry->capacity = path.size() + 1;
    }
    std::memcpy(m_entry->path, path.c_str(), path.size() + 1);
    m_entry->identity = identity;
    m_entry->state.store(Armed, std::memory_order_release);
}

void PendingNameEntry::release() noexcept
{
    if (!m_entry)
        return;
    for (;;) {
        int state = m_entry->state.load(std::memory_order_acquire);
        if (state == Taken) { // a handler on another thread is removing it right now
            std::this_thread::yield();
            continue;
        }
        if (m_entry->state.compare_exchange_weak(state, Free, std::memory_order_acq_rel))
            break;
    }
    m_entry = nullptr;
}

void removePendingNames(bool endingProcess) noexcept
{
    removeArmed();
    for (int round = 0; endingProcess && round < WaitRounds && othersBusy(); ++round) {
        std::this_thread::yield();
        removeArmed();
    }
}

} // namespace platform
