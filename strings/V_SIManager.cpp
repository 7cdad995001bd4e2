// The static instance manager: name-keyed records in name order.
#include "V_SIManager.h"
#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"
#include "V_StringPool.h"
#include "V_String.h"
#include "dllmain/OrvLock.h"
#include "dllmain/OrvRuntimeInternal.h"
#include "strings/orv_si_internal.h"
#include "strings/orv_compare.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

const unsigned long kFirstCapacity = 1024;
const unsigned long kChunkRecords = 1024;

// The records live in chunks that never move, so a record found on one thread
// stays where it is while other threads insert; the sorted order is kept in an
// array of pointers that grows by doubling.
struct SITable {
    V_SIInfo** sorted;
    unsigned long capacity;
    unsigned long count;
    std::vector<V_SIInfo*> chunks;
};

// Lives from the first to the last _vsyst_GI; created on demand outside that time.
SITable* s_table = nullptr;
// Guards s_table, its order and its storage; modules look records up from any thread.
orv::Lock s_tableLock;

// Callers hold s_tableLock.
SITable* table()
{
    if (!s_table) {
        s_table = new (std::nothrow) SITable{nullptr, 0, 0, {}};
        if (!s_table) throw VSYST_XMemory();
    }
    return s_table;
}

// Callers hold s_tableLock.
V_SIInfo* insertAt(SITable* t, unsigned long p, const char* name)
{
    // Everything that can fail comes before the table changes.
    const char* copy = V_StringPool_CHAR::allocCopy(name);
    if (t->count == t->capacity) {
        unsigned long capacity = t->capacity ? t->capacity * 2 : kFirstCapacity;
        V_SIInfo** sorted = new (std::nothrow) V_SIInfo*[capacity]();
        if (!sorted) throw VSYST_XMemory();
        if (t->count) std::memcpy(sorted, t->sorted, t->count * sizeof(V_SIInfo*));
        delete[] t->sorted;
        t->sorted = sorted;
        t->capacity = capacity;
    }
    if (t->count == t->chunks.size() * kChunkRecords) {
        V_SIInfo* chunk = new (std::nothrow) V_SIInfo[kChunkRecords]();
        if (!chunk) throw VSYST_XMemory();
        try {
            t->chunks.push_back(chunk);
        } catch (...) {
            delete[] chunk;
            throw VSYST_XMemory();
        }
    }
    V_SIInfo* r = &t->chunks[t->count / kChunkRecords][t->count % kChunkRecords];
    std::memmove(t->sorted + p + 1, t->sorted + p, (t->count - p) * sizeof(V_SIInfo*));
    ++t->count;
    t->sorted[p] = r;
    r->name = copy;
    r->value1 = 0;
    r->value2 = 0;
    r->reserved = 0;
    return r;
}

void listingCallback(VSYST_DumpStream& stream, unsigned long) { V_SITraceTo(stream); }

}  // namespace

namespace orv {

void siCreateTable()
{
    orv::Locked locked(s_tableLock);
    table();
}

void siReleaseTable()
{
    orv::Locked locked(s_tableLock);
    if (!s_table) return;
    for (V_SIInfo* chunk : s_table->chunks) delete[] chunk;
    delete[] s_table->sorted;
    delete s_table;
    s_table = nullptr;
}

bool siRegisterListing()
{
    VSYST_DIManager::add("System", "Dump all registrated Static-Data Instances", nullptr, &listingCallback);
    return true;
}

}  // namespace orv

V_SIInfo* V_SIFind(const char* name)
{
    if (!name) return nullptr;
    orv::Locked locked(s_tableLock);
    SITable* t = table();
    if (t->count == 0) return insertAt(t, 0, name);
    unsigned long lo = 0, hi = t->count - 1;
    for (;;) {
        unsigned long mid = lo + (hi - lo) / 2;
        int c = orv::compareUnsigned(name, t->sorted[mid]->name);
        if (c == 0) return t->sorted[mid];
        if (c < 0) {
            if (mid == lo) return insertAt(t, mid, name);
            hi = mid - 1;
        } else {
            if (mid == hi) return insertAt(t, mid + 1, name);
            lo = mid + 1;
        }
    }
}

void V_SITraceTo(VSYST_DumpStream& stream)
{
    orv::Locked locked(s_tableLock);
    stream << "\nSTART TRACING STATIC INSTANCE MANAGER DATA\n";
    if (s_table) {
        for (unsigned long i = 0; i < s_table->count; ++i) {
            const V_SIInfo& r = *s_table->sorted[i];
            stream << "\t\"" << r.name << "\"," << r.value1 << "," << r.value2 << "\n";
        }
    }
    stream << "END TRACING STATIC INSTANCE MANAGER DATA\n\n";
}

void V_SITrace() { V_SITraceTo(VSYST_DumpStream::getStdStream()); }

unsigned long V_SICount()
{
    orv::Locked locked(s_tableLock);
    return s_table ? s_table->count : 0;
}

unsigned long V_SICapacity()
{
    orv::Locked locked(s_tableLock);
    return s_table ? s_table->capacity : 0;
}

const V_SIInfo* V_SIAt(unsigned long i)
{
    orv::Locked locked(s_tableLock);
    return s_table && i < s_table->count ? s_table->sorted[i] : nullptr;
}
