// OrvLock.h - the in-process lock of the library's process-wide tables.
// Internal to the DLL.
#ifndef ORV_LOCK_H
#define ORV_LOCK_H

#include <windows.h>

namespace orv {

// A critical section that sets itself up on first use. Constant-initialised
// and never deleted, so a table that other modules' static initialisers reach
// before ours have run, or after they are destroyed, is guarded all the same.
// (A slim reader/writer lock would need no set-up, but Wine wakes waiters on
// every release of one: ten times the cost of an uncontended critical section.)
class Lock {
public:
    constexpr Lock() : m_once{}, m_section{} {}
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void lock()
    {
        InitOnceExecuteOnce(&m_once, &Lock::init, &m_section, nullptr);
        EnterCriticalSection(&m_section);
    }
    void unlock() { LeaveCriticalSection(&m_section); }

private:
    static BOOL CALLBACK init(PINIT_ONCE, PVOID section, PVOID*)
    {
        InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(section));
        return TRUE;
    }

    INIT_ONCE m_once;
    CRITICAL_SECTION m_section;
};

// Holds a lock for a scope.
class Locked {
public:
    explicit Locked(Lock& l) : m_lock(l) { m_lock.lock(); }
    ~Locked() { m_lock.unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    Lock& m_lock;
};

// Holds a slim reader/writer lock, shared or exclusive, for a scope: for
// tables read far more often than written.
class SrwGuard {
public:
    SrwGuard(SRWLOCK& lock, bool exclusive) : m_lock(lock), m_exclusive(exclusive)
    {
        if (m_exclusive) AcquireSRWLockExclusive(&m_lock);
        else AcquireSRWLockShared(&m_lock);
    }
    ~SrwGuard()
    {
        if (m_exclusive) ReleaseSRWLockExclusive(&m_lock);
        else ReleaseSRWLockShared(&m_lock);
    }
    SrwGuard(const SrwGuard&) = delete;
    SrwGuard& operator=(const SrwGuard&) = delete;

private:
    SRWLOCK& m_lock;
    const bool m_exclusive;
};

}  // namespace orv

#endif
