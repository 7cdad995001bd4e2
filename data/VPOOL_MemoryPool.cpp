// The fixed-size object pool.
#include "VPOOL_MemoryPool.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace {

const std::size_t W = sizeof(void*);
const std::size_t kHeader = 3 * W;   // next chunk, previous chunk, slots in use

// Slots may sit at any byte offset (the layout is fixed by the object size),
// so words are moved with memcpy rather than through typed pointers.
inline std::uintptr_t word(const char* at)
{
    std::uintptr_t v;
    std::memcpy(&v, at, W);
    return v;
}
inline void setWord(char* at, std::uintptr_t v) { std::memcpy(at, &v, W); }
inline char* ptr(const char* at) { return reinterpret_cast<char*>(word(at)); }
inline void setPtr(char* at, const void* p) { setWord(at, reinterpret_cast<std::uintptr_t>(p)); }

// Checked against overflow when the first chunk is made.
inline std::size_t chunkBytes(unsigned slots, unsigned slotSize)
{
    return kHeader + slots * (static_cast<std::size_t>(slotSize) + W);
}

inline char* nextChunk(char* chunk) { return ptr(chunk); }
inline char* prevChunk(char* chunk) { return ptr(chunk + W); }
inline char* chunkOf(char* object) { return ptr(object - W); }

const unsigned long kShared = ~0ul;   // no owner: every operation locks

// Held for a few pointer moves at a time, so spinning beats a kernel wait;
// a holder that was preempted gets the processor back through the yield.
void spinLock(long& lock)
{
    if (__atomic_exchange_n(&lock, 1L, __ATOMIC_ACQUIRE) == 0) return;
    for (unsigned spins = 0;; ++spins) {
        if (__atomic_load_n(&lock, __ATOMIC_RELAXED) == 0 && __atomic_exchange_n(&lock, 1L, __ATOMIC_ACQUIRE) == 0)
            return;
        if (spins < 64) YieldProcessor();
        else SwitchToThread();
    }
}

}  // namespace

// An uncontended locked exchange costs more than the pool's own work, so the
// owning thread goes without: it flags each operation, and a thread taking
// the pool from it looks at that flag only while the owner stands still.
class VPOOL_MemoryPool::Guard {
public:
    explicit Guard(VPOOL_MemoryPool& pool) : m_pool(pool), m_owned(false)
    {
        const unsigned long me = GetCurrentThreadId();
        unsigned long owner = __atomic_load_n(&pool.m_owner, __ATOMIC_RELAXED);
        if (owner == 0 && __atomic_compare_exchange_n(&pool.m_owner, &owner, me, false, __ATOMIC_ACQUIRE,
                                                      __ATOMIC_RELAXED))
            owner = me;
        if (owner == me) {
            __atomic_store_n(&pool.m_ownerBusy, 1L, __ATOMIC_RELAXED);
            __atomic_signal_fence(__ATOMIC_SEQ_CST);
            // Read again behind the flag: a taker that stopped us before the
            // flag was set may have changed it meanwhile.
            if (__atomic_load_n(&pool.m_owner, __ATOMIC_ACQUIRE) == me) {
                m_owned = true;
                return;
            }
            __atomic_store_n(&pool.m_ownerBusy, 0L, __ATOMIC_RELEASE);
        }
        spinLock(pool.m_lock);
        owner = __atomic_load_n(&pool.m_owner, __ATOMIC_RELAXED);
        if (owner != kShared) pool.takeFromOwner(owner);
    }
    ~Guard()
    {
        if (!m_owned) {
            __atomic_store_n(&m_pool.m_lock, 0L, __ATOMIC_RELEASE);
            return;
        }
        __atomic_store_n(&m_pool.m_ownerBusy, 0L, __ATOMIC_RELEASE);
        // An owner busy in the pool most of the time would seldom be caught
        // outside an operation, so it hands the pool over when asked.
        if (__atomic_load_n(&m_pool.m_wanted, __ATOMIC_RELAXED))
            __atomic_store_n(&m_pool.m_owner, kShared, __ATOMIC_RELEASE);
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    VPOOL_MemoryPool& m_pool;
    bool m_owned;
};

// Called with the lock held. Suspending the owner and reading its context
// returns only once it has really stopped, with all its stores visible; if
// it stopped outside an operation, it sees the change when it runs again.
void VPOOL_MemoryPool::takeFromOwner(unsigned long owner)
{
    __atomic_store_n(&m_wanted, 1L, __ATOMIC_RELAXED);
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_LIMITED_INFORMATION, FALSE,
                               owner);
    for (;;) {
        // An owner that has ended, or can no longer be suspended because it
        // is ending, runs no pool operation; its number may already belong
        // to a thread of another process.
        if (!thread || GetProcessIdOfThread(thread) != GetCurrentProcessId() ||
            SuspendThread(thread) == static_cast<DWORD>(-1)) {
            __atomic_store_n(&m_owner, kShared, __ATOMIC_RELAXED);
            break;
        }
        CONTEXT context;
        context.ContextFlags = CONTEXT_CONTROL;
        const bool stopped = GetThreadContext(thread, &context) != FALSE;
        if (stopped && __atomic_load_n(&m_ownerBusy, __ATOMIC_RELAXED) == 0)
            __atomic_store_n(&m_owner, kShared, __ATOMIC_RELAXED);   // before it runs again
        ResumeThread(thread);
        if (stopped) break;
        SwitchToThread();
    }
    if (thread) CloseHandle(thread);
    // Caught inside an operation, the owner hands the pool over at its end.
    while (__atomic_load_n(&m_owner, __ATOMIC_ACQUIRE) != kShared) SwitchToThread();
}

VPOOL_MemoryPool::VPOOL_MemoryPool(unsigned objectSize, unsigned objectsPerChunk, unsigned chunkBytes, int keepLevel)
    : m_chunks(nullptr), m_freeList(nullptr), m_objectSize(objectSize),
      m_slotSize(objectSize < W ? static_cast<unsigned>(W) : objectSize), m_slotsPerChunk(objectsPerChunk),
      m_liveCount(0), m_keepLevel(keepLevel), m_lock(0), m_owner(0),
      m_ownerBusy(0), m_wanted(0)
{
    if (m_slotsPerChunk == 0) {
        // Too small a chunk still gets one slot rather than an underflow.
        const unsigned long long room = chunkBytes > kHeader ? chunkBytes - kHeader : 0;
        m_slotsPerChunk = static_cast<unsigned>(room / (static_cast<unsigned long long>(m_slotSize) + W));
        if (m_slotsPerChunk == 0) m_slotsPerChunk = 1;
    }
}

VPOOL_MemoryPool& VPOOL_MemoryPool::operator=(const VPOOL_MemoryPool& other)
{
    m_chunks = other.m_chunks;
    m_freeList = other.m_freeList;
    m_objectSize = other.m_objectSize;
    m_slotSize = other.m_slotSize;
    m_slotsPerChunk = other.m_slotsPerChunk;
    m_liveCount = other.m_liveCount;
    m_keepLevel = other.m_keepLevel;
    return *this;
}

void VPOOL_MemoryPool::addChunk()
{
    const std::size_t slot = static_cast<std::size_t>(m_slotSize) + W;
    if (slot < W || m_slotsPerChunk > (SIZE_MAX - kHeader) / slot) throw std::bad_alloc();
    char* chunk = static_cast<char*>(::operator new(chunkBytes(m_slotsPerChunk, m_slotSize)));
    char* head = static_cast<char*>(m_chunks);
    setPtr(chunk, head);
    setPtr(chunk + W, nullptr);
    setWord(chunk + 2 * W, 0);
    if (head) setPtr(head + W, chunk);
    m_chunks = chunk;
    // Pushed in address order, so the chunk's last slot is handed out first.
    char* object = chunk + kHeader + W;
    for (unsigned i = 0; i < m_slotsPerChunk; ++i, object += slot) {
        setPtr(object - W, chunk);
        setPtr(object, m_freeList);
        m_freeList = object;
    }
}

void* VPOOL_MemoryPool::poolNew(unsigned size)
{
    if (size != m_objectSize) return ::operator new(size);
    Guard guard(*this);
    if (!m_freeList) addChunk();
    char* object = static_cast<char*>(m_freeList);
    m_freeList = ptr(object);
    ++m_liveCount;
    char* chunk = chunkOf(object);
    setWord(chunk + 2 * W, word(chunk + 2 * W) + 1);
    return object;
}

void VPOOL_MemoryPool::poolDelete(void* p, unsigned size)
{
    if (!p) return;
    if (size != m_objectSize) {
        ::operator delete(p, size);
        return;
    }
    Guard guard(*this);
    char* object = static_cast<char*>(p);
    setPtr(object, m_freeList);
    m_freeList = object;
    if (--m_liveCount == 0 && m_keepLevel < 2) {
        releaseAll();
        return;
    }
    char* chunk = chunkOf(object);
    const std::uintptr_t inUse = word(chunk + 2 * W) - 1;
    setWord(chunk + 2 * W, inUse);
    if (inUse > 0 || m_keepLevel >= 1) return;
    releaseEmptyChunk(chunk);
}

void VPOOL_MemoryPool::releaseAll()
{
    for (char* chunk = static_cast<char*>(m_chunks); chunk;) {
        char* next = nextChunk(chunk);
        ::operator delete(chunk, chunkBytes(m_slotsPerChunk, m_slotSize));
        chunk = next;
    }
    m_chunks = nullptr;
    m_freeList = nullptr;
}

void VPOOL_MemoryPool::releaseEmptyChunk(char* chunk)
{
    char* next = nextChunk(chunk);
    char* prev = prevChunk(chunk);
    if (prev) setPtr(prev, next);
    else m_chunks = next;
    if (next) setPtr(next + W, prev);
    // The free list mixes chunks: keep every slot that is not this chunk's.
    char* kept = nullptr;
    for (char* object = static_cast<char*>(m_freeList); object;) {
        char* following = ptr(object);
        if (chunkOf(object) != chunk) {
            setPtr(object, kept);
            kept = object;
        }
        object = following;
    }
    m_freeList = kept;
    ::operator delete(chunk, chunkBytes(m_slotsPerChunk, m_slotSize));
}
