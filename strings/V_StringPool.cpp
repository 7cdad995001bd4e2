// V_StringPool_CHAR and V_StringPool_WCHAR: permanent text copies in big blocks.
#include "V_StringPool.h"
#include "VSYST_DumpStream.h"
#include "V_String.h"
#include "dllmain/OrvLock.h"
#include "dllmain/OrvRuntimeInternal.h"
#include "strings/orv_pool_internal.h"

#include <cstdlib>
#include <cstring>
#include <new>

V_StringPool_CHAR* V_StringPool_CHAR::s_instanceMMPtr = nullptr;
V_StringPool_WCHAR* V_StringPool_WCHAR::s_instanceMMPtr = nullptr;

const unsigned long V_StringPool_CHAR::kBlockChars;
const unsigned long V_StringPool_CHAR::kTableGrowth;
const unsigned long V_StringPool_WCHAR::kBlockChars;
const unsigned long V_StringPool_WCHAR::kTableGrowth;

namespace {

// One lock per pool class guards its instance pointer and its block table.
orv::Lock s_charPoolLock;
orv::Lock s_wcharPoolLock;

template <class Ch>
size_t textLength(const Ch* text)
{
    const Ch* p = text;
    while (*p) ++p;
    return static_cast<size_t>(p - text);
}

template <class Block, class Ch>
const Ch* place(Block& b, const Ch* text, unsigned long need)
{
    Ch* at = b.next;
    std::memcpy(at, text, need * sizeof(Ch));
    b.next += need;
    b.remaining -= need;
    return at;
}

// The common algorithm of both pools: try the last block, then (sorted by
// room) the block with the most room, else append a block of its own.
template <class Block, class Ch>
const Ch* poolAlloc(Block*& blocks, unsigned long& capacity, unsigned long& count, const Ch* text,
                    int (*comp)(const void*, const void*), unsigned long blockChars, unsigned long growth)
{
    static const Ch empty[1] = {0};
    if (!text) text = empty;
    size_t length = textLength(text);
    if (length >= 0xFFFFFFFFul) throw VSYST_XMemory();   // sizes are 32-bit
    unsigned long need = static_cast<unsigned long>(length) + 1;

    if (count) {
        if (blocks[count - 1].remaining >= need) return place(blocks[count - 1], text, need);
        std::qsort(blocks, count, sizeof(Block), comp);
        if (blocks[count - 1].remaining >= need) return place(blocks[count - 1], text, need);
    }

    if (count == capacity) {
        Block* table = new (std::nothrow) Block[capacity + growth]();
        if (!table) throw VSYST_XMemory();
        if (count) std::memcpy(table, blocks, count * sizeof(Block));
        delete[] blocks;
        blocks = table;
        capacity += growth;
    }
    unsigned long size = need > blockChars ? need : blockChars;
    Ch* storage = new (std::nothrow) Ch[size];
    if (!storage) throw VSYST_XMemory();
    Block& b = blocks[count++];
    b.base = storage;
    b.next = storage;
    b.remaining = size;
    return place(b, text, need);
}

template <class Block>
int compareRoom(const void* a, const void* b)
{
    unsigned long x = static_cast<const Block*>(a)->remaining, y = static_cast<const Block*>(b)->remaining;
    return x < y ? -1 : (x > y ? 1 : 0);
}

template <class Block>
void releaseBlocks(Block* blocks, unsigned long count)
{
    for (unsigned long i = 0; i < count; ++i) delete[] blocks[i].base;
    delete[] blocks;
}

template <class Pool>
Pool* newPool()
{
    Pool* p = new (std::nothrow) Pool;
    if (!p) throw VSYST_XMemory();
    return p;
}

}  // namespace

// ---- 8-bit pool -------------------------------------------------------------

V_StringPool_CHAR::~V_StringPool_CHAR() { releaseBlocks(m_blocks, m_count); }

V_StringPool_CHAR& V_StringPool_CHAR::operator=(const V_StringPool_CHAR& other)
{
    m_blocks = other.m_blocks;
    m_capacity = other.m_capacity;
    m_count = other.m_count;
    return *this;
}

const char* V_StringPool_CHAR::allocCopy(const char* text)
{
    orv::Locked locked(s_charPoolLock);
    if (!s_instanceMMPtr) s_instanceMMPtr = newPool<V_StringPool_CHAR>();
    return s_instanceMMPtr->doAllocCopy(text);
}

const char* V_StringPool_CHAR::doAllocCopy(const char* text)
{
    return poolAlloc(m_blocks, m_capacity, m_count, text, &compPool, kBlockChars, kTableGrowth);
}

void V_StringPool_CHAR::exitPool()
{
    orv::Locked locked(s_charPoolLock);
    delete s_instanceMMPtr;
    s_instanceMMPtr = nullptr;
}

void V_StringPool_CHAR::dump(VSYST_DumpStream&) {}

int V_StringPool_CHAR::compPool(const void* a, const void* b) { return compareRoom<Block>(a, b); }

// ---- wide pool --------------------------------------------------------------

V_StringPool_WCHAR::~V_StringPool_WCHAR() { releaseBlocks(m_blocks, m_count); }

V_StringPool_WCHAR& V_StringPool_WCHAR::operator=(const V_StringPool_WCHAR& other)
{
    m_blocks = other.m_blocks;
    m_capacity = other.m_capacity;
    m_count = other.m_count;
    return *this;
}

const wchar_t* V_StringPool_WCHAR::allocCopy(const wchar_t* text)
{
    orv::Locked locked(s_wcharPoolLock);
    if (!s_instanceMMPtr) s_instanceMMPtr = newPool<V_StringPool_WCHAR>();
    return s_instanceMMPtr->doAllocCopy(text);
}

const wchar_t* V_StringPool_WCHAR::doAllocCopy(const wchar_t* text)
{
    return poolAlloc(m_blocks, m_capacity, m_count, text, &compPool, kBlockChars, kTableGrowth);
}

void V_StringPool_WCHAR::exitPool()
{
    orv::Locked locked(s_wcharPoolLock);
    delete s_instanceMMPtr;
    s_instanceMMPtr = nullptr;
}

void V_StringPool_WCHAR::dump(VSYST_DumpStream&) {}

int V_StringPool_WCHAR::compPool(const void* a, const void* b) { return compareRoom<Block>(a, b); }

// ---- "Dump string pool data" ------------------------------------------------

namespace orv {

// The pools keep no figures or trace for any of the four alternatives to show.
void poolDumpCallback(VSYST_DumpStream&, unsigned long) {}

}  // namespace orv
