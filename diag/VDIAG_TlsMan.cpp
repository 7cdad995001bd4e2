// The thread-local storage manager of the diagnostics: one TLS index for the
// library, and per thread a copy of the template block holding every slot.
#include "VDIAG_FailureDiagnostics.h"
#include "dllmain/OrvRuntimeInternal.h"

#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

static_assert(offsetof(VDIAG_TlsMan::Block, data) == 2 * sizeof(void*), "block header is two pointer-sized words");
static_assert(sizeof(void*) != 4 || sizeof(VDIAG_TlsMan::Block) == 108, "the x86 block is 108 bytes");

namespace {

// Constant-initialised: usable before any dynamic initialiser of the library runs.
VDIAG_TlsMan::Data s_data = {TLS_OUT_OF_INDEXES, 0, {nullptr, nullptr, {0}}};

}  // namespace

VDIAG_TlsMan::Data& VDIAG_TlsMan::s_rData = s_data;

VDIAG_TlsMan::Data& VDIAG_TlsMan::getData() { return s_data; }

long VDIAG_TlsMan::allocSlot(unsigned long size, const void* initial)
{
    if (size > DataSize - s_data.used) return -1;
    unsigned long offset = s_data.used;
    if (initial) std::memcpy(s_data.templ.data + offset, initial, size);
    else std::memset(s_data.templ.data + offset, 0, size);
    s_data.used += size;
    return static_cast<long>(offset);
}

unsigned char* VDIAG_TlsMan::getThreadData()
{
    DWORD index = s_data.index;
    if (index == TLS_OUT_OF_INDEXES) return nullptr;
    // TlsGetValue clears the last error; callers report theirs after calling us.
    const DWORD lastError = GetLastError();
    void* data = TlsGetValue(index);
    SetLastError(lastError);
    if (data) return static_cast<unsigned char*>(data);
    Block* block = static_cast<Block*>(std::malloc(sizeof(Block)));
    if (!block) return nullptr;
    block->first = &s_data.templ;
    std::memcpy(block->data, s_data.templ.data, DataSize);
    // Threads make their blocks at any time; a compare-and-swap push keeps the
    // list whole without a lock.
    Block* head;
    do {
        head = s_data.templ.next;
        block->next = head;
    } while (InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&s_data.templ.next), block, head) !=
             head);
    TlsSetValue(index, block->data);
    SetLastError(lastError);
    return block->data;
}

namespace orv {

void tlsAttach()
{
    if (s_data.index != TLS_OUT_OF_INDEXES) return;
    s_data.index = TlsAlloc();
    VDIAG_TlsMan::getThreadData();
}

void tlsDetach()
{
    if (s_data.index == TLS_OUT_OF_INDEXES) return;
    TlsFree(s_data.index);
    s_data.index = TLS_OUT_OF_INDEXES;
    VDIAG_TlsMan::Block* block = s_data.templ.next;
    s_data.templ.next = nullptr;
    while (block) {
        VDIAG_TlsMan::Block* next = block->next;
        std::free(block);
        block = next;
    }
}

}  // namespace orv
