// Shared owners of movable global memory blocks.
#include "VSYST_WinMem.h"
#include "VSYST_DumpStream.h"
#include "V_Exception.h"

#include <windows.h>

VSYST_WinMemBody::VSYST_WinMemBody(unsigned long size) : m_handle(nullptr), m_refCount(0)
{
    if (size == 0) return;
    m_handle = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!m_handle) throw VSYST_OutOfMemory();
}

VSYST_WinMemBody::VSYST_WinMemBody(void* handle) : m_handle(handle), m_refCount(0) {}

VSYST_WinMemBody::~VSYST_WinMemBody()
{
    if (!m_handle) return;
    // A block freed while locked is a caller's bug worth seeing in the log.
    try {
        VSYST_DumpStream::getStdStream() << "VSYST_WinMem LockCount = " << (GlobalFlags(m_handle) & GMEM_LOCKCOUNT)
                                         << "\n";
    } catch (...) {
        // A log that cannot be written must neither end the process nor keep the block.
    }
    GlobalFree(m_handle);
}

VSYST_WinMemBody& VSYST_WinMemBody::operator=(const VSYST_WinMemBody& other)
{
    m_handle = other.m_handle;
    m_refCount = other.m_refCount;
    return *this;
}

VSYST_WinMem::VSYST_WinMem(unsigned long size) : m_body(new VSYST_WinMemBody(size))
{
    m_body->increaseRefCount();
}

VSYST_WinMem::VSYST_WinMem(void* handle) : m_body(new VSYST_WinMemBody(handle))
{
    m_body->increaseRefCount();
}

VSYST_WinMem::VSYST_WinMem(const VSYST_WinMem& other) : m_body(other.m_body)
{
    m_body->increaseRefCount();
}

VSYST_WinMem& VSYST_WinMem::operator=(const VSYST_WinMem& other)
{
    if (m_body == other.m_body) return *this;
    release();
    m_body = other.m_body;
    m_body->increaseRefCount();
    return *this;
}

VSYST_WinMem::~VSYST_WinMem()
{
    release();
}

void VSYST_WinMem::release()
{
    if (m_body->getRefCount() == 1) delete m_body;
    else m_body->decreaseRefCount();
}

void* VSYST_WinMem::globalLock()
{
    void* p = m_body->getHandle() ? GlobalLock(m_body->getHandle()) : nullptr;
    if (!p) throw VSYST_OutOfMemory();
    return p;
}

bool VSYST_WinMem::globalUnlock()
{
    return GlobalUnlock(m_body->getHandle()) != FALSE;
}

unsigned VSYST_WinMem::getLockCount() const
{
    return GlobalFlags(m_body->getHandle()) & GMEM_LOCKCOUNT;
}

void* VSYST_WinMem::extractMemHandle() const
{
    return m_body->getHandle();
}

unsigned long VSYST_WinMem::size() const
{
    return m_body->getHandle() ? static_cast<unsigned long>(GlobalSize(m_body->getHandle())) : 0;
}
