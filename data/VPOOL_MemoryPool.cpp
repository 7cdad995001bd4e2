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

// Held for a few pointer moves at a time, so spinning beats a kernel wait;
// a holder that was preempted gets the processor back through the yield.
class SpinGuard {
public:
    explicit SpinGuard(long& lock) : m_lock(lock)
    {
        if (__atomic_exchange_n(&m_lock, 1L, __ATOMIC_ACQUIRE) == 0) return;
        for (unsigned spins = 0;; ++spins) {
            if (__atomic_load_n(&m_lock, __ATOMIC_RELAXED) == 0 &&
                __atomic_exchange_n(&m_lock, 1L, __ATOMIC_ACQUIRE) == 0)
                return;
            if (spins < 64) YieldProcessor();
            else SwitchToThread();
        }
    }
    ~SpinGuard() { __atomic_store_n(&m_lock, 0L, __ATOMIC_RELEASE); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;

private:
    long& m_lock;
};

}  // namespace

VPOOL_MemoryPool::VPOOL_MemoryPool(unsigned objectSize, unsigned objectsPerChunk, unsigned chunkBytes, int keepLevel)
    : m_chunks(nullptr), m_freeList(nullptr), m_objectSize(objectSize),
      m_slotSize(objectSize < W ? static_cast<unsigned>(W) : objectSize), m_slotsPerChunk(objectsPerChunk),
      m_liveCount(0), m_keepLevel(keepLevel), m_lock(0)
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
    SpinGuard guard(m_lock);
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
    SpinGuard guard(m_lock);
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
