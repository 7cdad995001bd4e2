// V_StringPool.h - permanent copies of short texts (V_StringPool_CHAR,
// V_StringPool_WCHAR) and the global instance guard _vsyst_GI that sets the
// process-wide registries up with the first instance and takes them down with
// the last, whatever order the modules construct their statics in.
#ifndef V_STRINGPOOL_H
#define V_STRINGPOOL_H

#include "OrvCoreDefs.h"

#include <wchar.h>

class VSYST_DumpStream;

// A pool of 8-bit texts in blocks of at least 32,700 characters. Texts are
// never freed one by one and equal texts are not shared; every copy stays valid
// until exitPool() or the end of the last _vsyst_GI. Allocation failure throws
// VSYST_XMemory. Modules copy texts from any thread, so the process-wide pool
// is under an in-process lock (one per pool class).
class ORVCORE_API V_StringPool_CHAR {
public:
    static const unsigned long kBlockChars = 32700;
    static const unsigned long kTableGrowth = 64;

    V_StringPool_CHAR() : m_blocks(nullptr), m_capacity(0), m_count(0) {}
    ~V_StringPool_CHAR();
    // Shallow copy of the three fields; the library itself never copies a pool.
    V_StringPool_CHAR& operator=(const V_StringPool_CHAR& other);

    // A NUL-terminated copy of text (a null text is stored as ""), from the
    // process-wide pool, which comes into being on the first call.
    static const char* allocCopy(const char* text);
    // Destroys the process-wide pool; every text given out becomes invalid.
    static void exitPool();
    static void dump(VSYST_DumpStream& stream);   // writes nothing

private:
    friend struct _vsyst_PoolView;
    struct Block {
        char* base;                // start of the block's storage
        char* next;                // first free character
        unsigned long remaining;   // free characters left
    };
    V_StringPool_CHAR(const V_StringPool_CHAR&) = delete;
    const char* doAllocCopy(const char* text);
    static int compPool(const void* a, const void* b);

    Block* m_blocks;
    unsigned long m_capacity;
    unsigned long m_count;

    static V_StringPool_CHAR* s_instanceMMPtr;
};

// The same pool for wide texts; sizes count 16-bit units (65,400 bytes a block).
class ORVCORE_API V_StringPool_WCHAR {
public:
    static const unsigned long kBlockChars = 32700;
    static const unsigned long kTableGrowth = 64;

    V_StringPool_WCHAR() : m_blocks(nullptr), m_capacity(0), m_count(0) {}
    ~V_StringPool_WCHAR();
    V_StringPool_WCHAR& operator=(const V_StringPool_WCHAR& other);

    static const wchar_t* allocCopy(const wchar_t* text);
    static void exitPool();
    static void dump(VSYST_DumpStream& stream);   // writes nothing

private:
    friend struct _vsyst_PoolView;
    struct Block {
        wchar_t* base;
        wchar_t* next;
        unsigned long remaining;
    };
    V_StringPool_WCHAR(const V_StringPool_WCHAR&) = delete;
    const wchar_t* doAllocCopy(const wchar_t* text);
    static int compPool(const void* a, const void* b);

    Block* m_blocks;
    unsigned long m_capacity;
    unsigned long m_count;

    static V_StringPool_WCHAR* s_instanceMMPtr;
};

// Counted guard of the process-wide registries. The library holds four static
// instances and every client module holds its own. The first instance creates
// the debug-info registry root (with the "Dump string pool data" entry) and the
// static-instance table; the last releases the table, the pools and the registry.
// The count and the work it triggers are under an in-process lock.
class ORVCORE_API _vsyst_GI {
public:
    _vsyst_GI();
    ~_vsyst_GI();
    _vsyst_GI& operator=(const _vsyst_GI&) { return *this; }

    static unsigned long s_count;   // live instances in the process

private:
    _vsyst_GI(const _vsyst_GI&) = delete;
    static void setUp();
    static void takeDown();
};

#endif
