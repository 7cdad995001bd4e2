// VPOOL_MemoryPool.h - a fixed-size object pool for class-specific operator
// new/delete: allocations of one size come from chunks carved into slots,
// every other size goes to the general heap (::operator new/delete).
#ifndef VPOOL_MEMORYPOOL_H
#define VPOOL_MEMORYPOOL_H

#include "OrvCoreDefs.h"

// Layout in machine words W (4 bytes on x86, 8 on x64): a chunk is a header
// of 3 words (next chunk, previous chunk, slots in use) followed by its slots;
// a slot is one word (its chunk's address) followed by the object area of
// slotSize bytes, where a free slot keeps the next free slot.
//   slotSize      = objectSize, at least W
//   slotsPerChunk = objectsPerChunk, or when that is 0
//                   (chunkBytes - 3W) / (slotSize + W), at least 1
//
// Locking: a pool usually serves one class from a static, so every thread
// that creates such objects may reach it. The first thread to use a pool owns
// it and works without atomic operations; when another thread arrives, the
// owner hands the pool over after its current operation, or, when it is not
// inside one, is stopped briefly (SuspendThread) while the pool changes hands;
// from then on every poolNew/poolDelete holds the pool's spin lock. The work
// under it is a few pointer moves, apart from getting or releasing a chunk.
// Objects are not constructed or destroyed under the lock.
class ORVCORE_API VPOOL_MemoryPool {
public:
    // Keep levels for empty chunks: 0 or less returns a chunk once it is empty;
    // 1 keeps them until no object of the pool is alive, then returns all;
    // 2 or more never returns a chunk.
    // With objectsPerChunk 0, chunkBytes must be at least 3 words. Allocates nothing.
    VPOOL_MemoryPool(unsigned objectSize, unsigned objectsPerChunk, unsigned chunkBytes, int keepLevel);
    // Does nothing: chunks still held stay allocated.
    ~VPOOL_MemoryPool() {}
    VPOOL_MemoryPool(const VPOOL_MemoryPool&) = delete;
    // Copies the seven pool fields (both pools then share the chunks); the lock and
    // the owning thread stay this pool's own. Meant for handing a pool over, not for sharing it.
    VPOOL_MemoryPool& operator=(const VPOOL_MemoryPool& other);

    // Memory for one object of size bytes: a pool slot when size is the
    // pool's object size, else from the general heap. Heap failure throws
    // the heap's std::bad_alloc.
    void* poolNew(unsigned size);
    // Returns p, obtained from poolNew with the same size.
    void poolDelete(void* p, unsigned size);

    unsigned objectSize() const { return m_objectSize; }
    unsigned slotSize() const { return m_slotSize; }
    unsigned slotsPerChunk() const { return m_slotsPerChunk; }
    unsigned liveCount() const { return m_liveCount; }
    int keepLevel() const { return m_keepLevel; }

private:
    void addChunk();
    void releaseAll();
    void releaseEmptyChunk(char* chunk);
    class Guard;
    void takeFromOwner(unsigned long owner);

    void* m_chunks;           // first chunk of the doubly linked list
    void* m_freeList;         // first free slot
    unsigned m_objectSize;
    unsigned m_slotSize;
    unsigned m_slotsPerChunk;
    unsigned m_liveCount;
    int m_keepLevel;
    long m_lock;              // 0 free, 1 held
    unsigned long m_owner;    // thread that works unlocked; 0 none yet, ~0 all lock
    long m_ownerBusy;         // set by the owner during each operation
    long m_wanted;            // another thread waits to take the pool over
};

#endif
