// VSYST_WinMem.h - shared owners of movable global memory blocks. Copies of a
// VSYST_WinMem share one VSYST_WinMemBody, which frees its block with the last
// copy and logs the block's lock count as it does.
#ifndef VSYST_WINMEM_H
#define VSYST_WINMEM_H

#include "OrvCoreDefs.h"

// The block and the number of VSYST_WinMem objects sharing it. The count is
// a plain int: a body is used by one thread at a time. Bodies are not copy
// constructed; assignment copies the block and the count, so the caller must
// see to it that only one of the two bodies frees the block.
class ORVCORE_API VSYST_WinMemBody {
public:
    // A movable block of size bytes (none for 0); VSYST_OutOfMemory when the
    // system refuses it. The count starts at 0.
    explicit VSYST_WinMemBody(unsigned long size);
    // Adopts a block of the global heap; it is freed with the body.
    explicit VSYST_WinMemBody(void* handle);
    // Writes "VSYST_WinMem LockCount = <n>" to the standard stream for a block
    // still held, whatever its lock count, and frees it.
    ~VSYST_WinMemBody();
    VSYST_WinMemBody(const VSYST_WinMemBody&) = delete;
    // Copies both fields; the block this body held is neither freed nor logged.
    VSYST_WinMemBody& operator=(const VSYST_WinMemBody& other);

    void* getHandle() const { return m_handle; }
    int getRefCount() const { return m_refCount; }
    void increaseRefCount() { ++m_refCount; }
    void decreaseRefCount() { --m_refCount; }

private:
    void* m_handle;   // HGLOBAL
    int m_refCount;
};

// A reference-counted owner of one movable global block. Not for sharing
// between threads: the count is not atomic.
class ORVCORE_API VSYST_WinMem {
public:
    // A new block of size bytes (none for 0); VSYST_OutOfMemory when refused.
    explicit VSYST_WinMem(unsigned long size);
    // Takes over a block of the global heap; it is freed with the last copy.
    explicit VSYST_WinMem(void* handle);
    VSYST_WinMem(const VSYST_WinMem& other);     // shares the block
    VSYST_WinMem& operator=(const VSYST_WinMem& other);
    ~VSYST_WinMem();

    // The block's address, locked once more; VSYST_OutOfMemory when there is
    // no block or it cannot be locked.
    void* globalLock();
    // Unlocks once; true while the block stays locked.
    bool globalUnlock();
    unsigned getLockCount() const;
    // The block handle; ownership stays here.
    void* extractMemHandle() const;
    // Bytes in the block; 0 without one.
    unsigned long size() const;

private:
    void release();
    VSYST_WinMemBody* m_body;
};

#endif
