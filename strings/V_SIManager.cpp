// The static instance manager: name-keyed records kept sorted in one array.
#include "V_SIManager.h"
#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"
#include "V_StringPool.h"
#include "V_String.h"
#include "dllmain/OrvRuntimeInternal.h"
#include "strings/orv_compare.h"

#include <cstring>
#include <new>

namespace {

const unsigned long kFirstCapacity = 1024;

struct SITable {
    V_SIInfo* records;
    unsigned long capacity;
    unsigned long count;
};

// Lives from the first to the last _vsyst_GI; created on demand outside that time.
SITable* s_table = nullptr;

SITable* table()
{
    orv::siCreateTable();
    return s_table;
}

V_SIInfo* insertAt(SITable* t, unsigned long p, const char* name)
{
    // Everything that can fail comes before the table changes.
    const char* copy = V_StringPool_CHAR::allocCopy(name);
    if (t->count + 1 > t->capacity) {
        unsigned long capacity = t->capacity ? t->capacity * 2 : kFirstCapacity;
        V_SIInfo* records = new (std::nothrow) V_SIInfo[capacity]();
        if (!records) throw VSYST_XMemory();
        if (t->count) std::memcpy(records, t->records, t->count * sizeof(V_SIInfo));
        delete[] t->records;
        t->records = records;
        t->capacity = capacity;
    }
    std::memmove(t->records + p + 1, t->records + p, (t->count - p) * sizeof(V_SIInfo));
    ++t->count;
    V_SIInfo& r = t->records[p];
    r.name = copy;
    r.value1 = 0;
    r.value2 = 0;
    r.reserved = 0;
    return &r;
}

void listingCallback(VSYST_DumpStream& stream, unsigned long) { V_SITraceTo(stream); }

}  // namespace

namespace orv {

void siCreateTable()
{
    if (s_table) return;
    s_table = new (std::nothrow) SITable{nullptr, 0, 0};
    if (!s_table) throw VSYST_XMemory();
}

void siReleaseTable()
{
    if (!s_table) return;
    delete[] s_table->records;
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
    SITable* t = table();
    if (t->count == 0) {
        if (!t->records) {
            t->records = new (std::nothrow) V_SIInfo[kFirstCapacity]();
            if (!t->records) throw VSYST_XMemory();
            t->capacity = kFirstCapacity;
        }
        return insertAt(t, 0, name);
    }
    unsigned long lo = 0, hi = t->count - 1;
    for (;;) {
        unsigned long mid = lo + (hi - lo) / 2;
        int c = orv::compareUnsigned(name, t->records[mid].name);
        if (c == 0) return &t->records[mid];
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
    stream << "\nSTART TRACING STATIC INSTANCE MANAGER DATA\n";
    if (s_table) {
        for (unsigned long i = 0; i < s_table->count; ++i) {
            const V_SIInfo& r = s_table->records[i];
            stream << "\t\"" << r.name << "\"," << r.value1 << "," << r.value2 << "\n";
        }
    }
    stream << "END TRACING STATIC INSTANCE MANAGER DATA\n\n";
}

void V_SITrace() { V_SITraceTo(VSYST_DumpStream::getStdStream()); }

unsigned long V_SICount() { return s_table ? s_table->count : 0; }
unsigned long V_SICapacity() { return s_table ? s_table->capacity : 0; }

const V_SIInfo* V_SIAt(unsigned long i) { return s_table && i < s_table->count ? &s_table->records[i] : nullptr; }
