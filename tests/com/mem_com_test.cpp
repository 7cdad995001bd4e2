// Memory blocks, the pool, intrusive handles and the COM helpers, each against
// the real system: its heap, global memory, safe arrays and interface table.
#include "support/OrvTestSupport.h"

#include "VCOM_Helpers.h"
#include "VPOOL_MemoryPool.h"
#include "VSYST_Handle.h"
#include "VSYST_WinMem.h"
#include "V_MsgBox.h"

#include <windows.h>
#include <comdef.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const int k64 = sizeof(void*) == 8 ? 1 : 0;   // column of the x64 values
const char kDll[] = "OrvCore_Rudaru20.dll", kCxx[] = "libstdc++-6.dll";

// Sizes of the blocks the library takes from the general heap and gives back,
// seen through its imports of ::operator new and sized ::operator delete.
std::mutex s_lock;
std::vector<size_t> s_taken, s_given;
void* s_last;

void* countingNew(size_t n)
{
    std::lock_guard<std::mutex> g(s_lock);
    return s_taken.push_back(n), s_last = std::malloc(n ? n : 1);
}

void countingDelete(void* p, size_t n)
{
    std::lock_guard<std::mutex> g(s_lock);
    s_given.push_back(n), std::free(p);
}

long count(const std::vector<size_t>& sizes, size_t n) { return std::count(sizes.begin(), sizes.end(), n); }

struct HeapHooks {
    orvtest::IatHook take{kDll, kCxx, k64 ? "_Znwy" : "_Znwj", reinterpret_cast<void*>(&countingNew)};
    orvtest::IatHook give{kDll, kCxx, k64 ? "_ZdlPvy" : "_ZdlPvj", reinterpret_cast<void*>(&countingDelete)};
    HeapHooks() { s_taken.clear(), s_given.clear(); }
};

struct Node : VSYST_HandableClass {
    static inline int s_deleted = 0;
    struct Handle : VSYST_Handle {
        using VSYST_Handle::VSYST_Handle;
        Node* operator->() const { return static_cast<Node*>(dereference()); }
    } next;
    ~Node() override { ++s_deleted; }
};

// An IUnknown that counts its references and has no other interface.
struct Probe : IUnknown {
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = iid == IID_IUnknown ? this : nullptr;
        return *out ? AddRef(), S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

// Fills indices 1..3 of an array with lower bound 1 and hands the array over.
template <class Array, class Put>
VARIANT filled(Put put)
{
    Array a(3, 1);
    for (long i : {1L, 2L, 3L}) put(a, i);
    VARIANT out;
    a.transferVariant(&out);
    EXPECT_EQ(VT_EMPTY, V_VT(a.getVariantPtr()));
    return out;   // the array object goes now, the array must not
}

// Element i read back with SafeArrayGetElement, bare element types wrapped.
_variant_t element(SAFEARRAY* array, long i)
{
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(array, &vt);
    _variant_t v;
    EXPECT_EQ(S_OK, SafeArrayGetElement(array, &i, vt == VT_VARIANT ? static_cast<void*>(&v) : &V_I8(&v)));
    if (vt != VT_VARIANT) V_VT(&v) = vt;
    return v;
}

BSTR WINAPI refuseAlloc(const OLECHAR*, UINT) { return nullptr; }
BSTR WINAPI refuseCopy(const OLECHAR*) { return nullptr; }

int s_creations = 0;
void* s_realCreate = nullptr;
HRESULT WINAPI countingCreate(REFCLSID c, LPUNKNOWN outer, DWORD ctx, REFIID iid, void** out)
{
    ++s_creations;
    return reinterpret_cast<decltype(&CoCreateInstance)>(s_realCreate)(c, outer, ctx, iid, out);
}

}  // namespace

TEST(MemoryPool, SlotsAndChunksFollowTheWordLayout)
{
    // {x86, x64}: 3 header words, one word per slot; rows where no byte is over included.
    // The chunk's size shows the slots per chunk, the first object's place the slot size.
    struct Row {
        unsigned objectSize, perChunk, chunkBytes, bytes[2], slot[2];
    } rows[] = {
        {8, 0, 60, {60, 56}, {8, 8}}, {8, 0, 23, {24, 40}, {8, 8}}, {8, 0, 24, {24, 40}, {8, 8}},
        {8, 0, 36, {36, 40}, {8, 8}}, {8, 0, 35, {24, 40}, {8, 8}}, {8, 0, 56, {48, 56}, {8, 8}},
        {2, 0, 60, {60, 56}, {4, 8}}, {8, 7, 60, {96, 136}, {8, 8}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.objectSize << "/" << r.perChunk << "/" << r.chunkBytes);
        VPOOL_MemoryPool pool(r.objectSize, r.perChunk, r.chunkBytes, 1);
        HeapHooks heap;
        char* object = static_cast<char*>(pool.poolNew(r.objectSize));
        char* chunk = static_cast<char*>(s_last);
        EXPECT_EQ(std::vector<size_t>{r.bytes[k64]}, s_taken);
        // The chunk's last slot goes first, its chunk word just before the object.
        EXPECT_EQ(chunk + r.bytes[k64] - r.slot[k64], object);
        EXPECT_EQ(0, std::memcmp(object - sizeof(void*), &chunk, sizeof chunk));
        pool.poolDelete(object, r.objectSize);
        EXPECT_EQ(std::vector<size_t>{r.bytes[k64]}, s_given);
        // Other sizes are the heap's and not counted.
        pool.poolDelete(pool.poolNew(r.objectSize + 1), r.objectSize + 1);
        EXPECT_EQ(1l, count(s_given, r.objectSize + 1));
        EXPECT_EQ(0u, pool.liveCount());
    }
}

TEST(MemoryPool, EmptyChunksGoBackAsTheKeepLevelSays)
{
    // Two slots per chunk; five objects fill chunks A, B and half of C. Freed
    // in the order a0 a1 (A empty) a4 (C empty) a2 a3 (nothing alive).
    struct Row {
        int keepLevel;
        bool keepsA;   // after a0 a1: the next object is A's again, else C's free slot
        const char* chunksFreedAfterEach;
        long chunksAfterRefill, chunksFreedAtEnd;
    } rows[] = {{0, false, "01223", 6, 6}, {-5, false, "01223", 6, 6}, {1, true, "00003", 6, 6},
                {2, true, "00000", 3, 0},  {7, true, "00000", 3, 0}};
    const size_t chunkBytes = k64 ? 56 : 36;
    const ptrdiff_t stride = k64 ? 16 : 12;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.keepLevel);
        HeapHooks heap;
        VPOOL_MemoryPool pool(8, 2, 0, r.keepLevel);
        char* a[5];
        for (char*& p : a) p = static_cast<char*>(pool.poolNew(8));
        std::string freed;
        for (int i : {0, 1, 4, 2, 3}) {
            pool.poolDelete(a[i], 8);
            freed += std::to_string(count(s_given, chunkBytes));
            if (i != 1) continue;
            char* next = static_cast<char*>(pool.poolNew(8));
            EXPECT_EQ(r.keepsA ? a[1] : a[4] - stride, next);
            pool.poolDelete(next, 8);
        }
        EXPECT_EQ(r.chunksFreedAfterEach, freed);
        for (char*& p : a) p = static_cast<char*>(pool.poolNew(8));
        EXPECT_EQ(r.chunksAfterRefill, count(s_taken, chunkBytes));
        // An assigned pool takes over the chunks and the objects alive in them.
        VPOOL_MemoryPool heir(1, 1, 0, 0);
        heir = pool;
        for (char* p : a) heir.poolDelete(p, 8);
        EXPECT_EQ(0u, heir.liveCount());
        EXPECT_EQ(r.chunksFreedAtEnd, count(s_given, chunkBytes));
    }
}

// Many take-overs, so that some catch the owner inside an operation, often in
// the heap for a chunk (keep level 0, four slots a chunk).
TEST(MemoryPool, TakenOverFromItsBusyOwnerAndSharedFromThenOn)
{
    HeapHooks heap;
    for (int round = 0; round < 100; ++round) {
        VPOOL_MemoryPool pool(16, 4, 0, 0);
        std::atomic<int> ownerOps{0};
        std::atomic<bool> stop{false};
        int damaged = 0;
        auto work = [&pool](unsigned mark, int& damage) {
            unsigned* held[5];
            for (unsigned*& p : held) p = static_cast<unsigned*>(pool.poolNew(16)), std::fill(p, p + 4, mark);
            for (unsigned* p : held) damage += std::count(p, p + 4, mark) != 4, pool.poolDelete(p, 16);
        };
        std::thread owner([&] {
            for (int damage = 0; !stop; ++ownerOps) work(1, damage), damaged += damage, damage = 0;
        });
        while (ownerOps == 0) std::this_thread::yield();
        int mine = 0;
        for (int i = 0; i < 200; ++i) work(2, mine);
        stop = true;
        owner.join();
        EXPECT_EQ(0, damaged + mine);
        EXPECT_EQ(0u, pool.liveCount());
    }
    const size_t chunkBytes = k64 ? 120 : 92;   // 3 header words, 4 slots of a word and 16 bytes
    EXPECT_LT(0l, count(s_taken, chunkBytes));
    EXPECT_EQ(count(s_taken, chunkBytes), count(s_given, chunkBytes));
}

TEST(SharedOwnership, WinMemBlocksAndHandledObjectsAreFreedOnceByTheirLastHolder)
{
    orvtest::StdLogCapture log;
    const size_t start = log.size();
    const std::string refused =
        "!E  THROW EXCEPTION class VSYST_OutOfMemory\r\n!E      " + orvtest::processThreadText() + "\r\n\r\n";
    {
        VSYST_WinMem empty(0ul), a(100ul), b(a), c(16ul);
        EXPECT_THROW(empty.globalLock(), VSYST_OutOfMemory);
        c = a;
        EXPECT_EQ(refused + "VSYST_WinMem LockCount = 0\r\n", log.since(start));
        EXPECT_EQ(std::make_pair(100ul, a.extractMemHandle()), std::make_pair(c.size(), c.extractMemHandle()));
        EXPECT_EQ(a.globalLock(), b.globalLock());
        EXPECT_EQ(2u, c.getLockCount());
        EXPECT_TRUE(b.globalUnlock());
        EXPECT_FALSE(a.globalUnlock());
        a = b;
        for (int i = 0; i < 3; ++i) c.globalLock();
        VSYST_WinMem adopted(GlobalAlloc(GMEM_MOVEABLE, 8));
        b = c = adopted;   // a alone holds the shared block now
        a = a;
    }
    // c's own block at c = a; then the adopted block, the shared one once, still locked
    // three times, and nothing for the empty one.
    EXPECT_EQ(refused + "VSYST_WinMem LockCount = 0\r\nVSYST_WinMem LockCount = 0\r\nVSYST_WinMem LockCount = 3\r\n",
              log.since(start));

    VSYST_WinMemBody none(0ul), held(GlobalAlloc(GMEM_MOVEABLE, 8));   // assigned: held forgets its block
    void* block = (none.increaseRefCount(), held.getHandle());
    held = none;
    EXPECT_TRUE(!held.getHandle() && held.getRefCount() == 1 && !GlobalFree(block));

    // Handles count their object's holders the same way.
    Node* first = new Node;
    Node::Handle h(first);
    {
        VSYST_Handle copy(h), none;
        EXPECT_TRUE(!h.isLastConnectedHandle() && none.isNullHandle() && !none.isLastConnectedHandle());
        EXPECT_EQ(0ul, V_HashValue(none).value());
        EXPECT_EQ(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(first) >> 2), V_HashValue(h).value());
        none = copy;
        copy = h;
        EXPECT_EQ(std::make_pair(1, 0), std::make_pair(none == h, none != h));
    }
    EXPECT_TRUE(Node::s_deleted == 0 && h.isLastConnectedHandle() && h.isConnected());
    // The old object owns the handle assigned from: it may go only once the new one is held.
    h->next = Node::Handle(new Node);
    h = h->next;
    EXPECT_EQ(1, Node::s_deleted);
    EXPECT_TRUE(h.isLastConnectedHandle() && h->next.isNullHandle());
    h = Node::Handle(nullptr);
    EXPECT_EQ(2, Node::s_deleted);
}

TEST(ComReferences, ArraysTakeOneToThreeHandOverAndStoreNoRefusedTextPointersMoveReferences)
{
    Probe probe;
    const _variant_t empty(L"");
    using VA = VCOM_VariantArray;
    struct Row {
        VARTYPE vt;
        VARIANT array;
        std::vector<_variant_t> expected;
    } rows[] = {
        {VT_VARIANT, filled<VA>([](VA& a, long i) {
             i == 1 ? a.putLong(i, -7) : i == 2 ? a.putString(i, "8") : a.putString(i, (const wchar_t*)nullptr);
         }), {_variant_t(-7L), _variant_t(L"8"), empty}},
        {VT_UNKNOWN, filled<VCOM_IUnknownArray>([&](VCOM_IUnknownArray& a, long i) {
             a.putIUnknown(i, i == 2 ? nullptr : &probe);
         }), {_variant_t(&probe), _variant_t(static_cast<IUnknown*>(nullptr)), _variant_t(&probe)}},
    };
    EXPECT_EQ(5u, probe.refs);   // one per element in the array, two expected values
    VARIANT* third = nullptr;   // the null text read in place: a copy would be an empty one
    long at = 3;
    SafeArrayPtrOfIndex(V_ARRAY(&rows[0].array), &at, reinterpret_cast<void**>(&third));
    EXPECT_TRUE(V_VT(third) == VT_BSTR && !V_BSTR(third));
    for (Row& r : rows) {
        SCOPED_TRACE(r.vt);
        for (long i = 1; i <= 3; ++i) EXPECT_TRUE(element(V_ARRAY(&r.array), i) == r.expected[i - 1]) << i;
        EXPECT_EQ(S_OK, VariantClear(&r.array));
    }
    EXPECT_EQ(3u, probe.refs);
    VCOM_I4Array source(2, 0), target(1, 5);   // assigned: both own source's array until target hands it over
    VARIANT own;
    target.transferVariant(&own), VariantClear(&own), target = source, target.transferVariant(&own);
    EXPECT_EQ(V_ARRAY(source.getVariantPtr()), V_ARRAY(&own));

    // A refused text allocation throws _com_error and stores nothing.
    VCOM_VariantArray variants(1, 0);
    orvtest::IatHook len(kDll, "oleaut32.dll", "SysAllocStringLen", reinterpret_cast<void*>(&refuseAlloc));
    orvtest::IatHook copy(kDll, "oleaut32.dll", "SysAllocString", reinterpret_cast<void*>(&refuseCopy));
    EXPECT_THROW(variants.putString(0, "narrow"), _com_error);
    try {
        variants.putString(0, L"wide");
        ADD_FAILURE() << "stored";
    } catch (const _com_error& e) {
        EXPECT_EQ(E_OUTOFMEMORY, e.Error());
    }
    EXPECT_TRUE(element(V_ARRAY(variants.getVariantPtr()), 0) == _variant_t());

    // Pointer assignment moves references and queries the interface.
    Probe a, b;
    IUnknown* p = nullptr;
    EXPECT_EQ(&a, VCOM_ComPtrAssign(&p, &a));
    EXPECT_EQ(&b, VCOM_ComPtrAssign(&p, &b));
    EXPECT_EQ(std::make_pair(1ul, 2ul), std::make_pair(a.refs, b.refs));
    EXPECT_EQ(&a, VCOM_ComQIPtrAssign(&p, &a, IID_IUnknown));
    EXPECT_EQ(std::make_pair(2ul, 1ul), std::make_pair(a.refs, b.refs));
    EXPECT_EQ(nullptr, VCOM_ComQIPtrAssign(&p, &b, IID_IStream));   // b has no such interface
    EXPECT_EQ(std::make_pair(1ul, 1ul), std::make_pair(a.refs, b.refs));
    EXPECT_EQ(nullptr, p);
}

TEST(ComTrace, ReportsAndTracesAreWrittenExactly)
{
    orvtest::StdLogCapture log;
    size_t start = log.size();
    EXPECT_THROW(VCOM_VariantArray(1, 1).putLong(2, 0), VCOM_Exception);   // beyond the bound: the store's HRESULT
    EXPECT_EQ("!E  THROW EXCEPTION class VCOM_Exception\r\n!E      " + orvtest::processThreadText() +
                  "\r\n!E      HRESULT = 0x8002000b\r\n\r\n", log.since(start));

    V_SetCanUseMsgBoxes(false);   // a box becomes a "(!MSGBOX!)" line
    HINSTANCE self = GetModuleHandleA(nullptr);
    const std::string fail = "#ERROR COM-CALL (HRESULT=0x80004005", text = "Cannot open x.dat (error 5)\r\n";
    struct Row {
        std::function<bool()> trace;
        std::string written;   // nothing: the trace returns false
    } rows[] = {
        {[] { return VCOM_FailedTrace(0, "a.cpp", 1, "x") || VCOM_FailedTrace(1, nullptr, 0, nullptr); }, ""},
        {[] { return VCOM_FailedTrace(DISP_E_BADINDEX, nullptr, 0, nullptr); },
         "#ERROR COM-CALL (HRESULT=0x8002000b)\r\n"},
        {[&] { return VCOM_FailedTraceEx(E_FAIL, nullptr, 0, "given", self, 999); }, fail + ")\r\n\tINFO: given\r\n"},
        {[&] { return VCOM_FailedTraceEx(DISP_E_BADINDEX, "b.cpp", 3, nullptr, self, 101, "x.dat", 5); },
         "#ERROR COM-CALL (HRESULT=0x8002000b,FILE=\"b.cpp\",LINE=3)\r\n\tINFO: " + text + "(!MSGBOX!)" + text},
        {[&] { return VCOM_FailedTraceEx(E_FAIL, nullptr, 0, "own", self, 101, "x.dat", 5); },
         fail + ")\r\n\tINFO: own\r\n(!MSGBOX!)" + text},
        {[&] { return VCOM_FailedTraceEx(S_OK, nullptr, 0, nullptr, self, 101, "z", 7); }, ""},
    };
    for (const Row& r : rows) {
        start = log.size();
        EXPECT_EQ(!r.written.empty(), r.trace());
        EXPECT_EQ(r.written, log.since(start));
    }
    V_SetCanUseMsgBoxes(true);
}

TEST(ComGlobalInterfaceTable, CreatedOnceRevokedAndCreatedAgainAfterTheExit)
{
    orvtest::IatHook hook(kDll, "ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(&countingCreate));
    s_realCreate = hook.original();
    try {   // no COM in this process yet
        VCOM_GlobalGit_InternalUseOnly();
        ADD_FAILURE() << "created without COM";
    } catch (const VCOM_Exception& e) {
        EXPECT_EQ(CO_E_NOTINITIALIZED, e.mapToHRESULT());
    }
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    IGlobalInterfaceTable* git = VCOM_GlobalGit_InternalUseOnly();
    IStream* stream = nullptr;
    DWORD cookie = 0;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    ASSERT_EQ(S_OK, git->RegisterInterfaceInGlobal(stream, IID_IStream, &cookie));
    std::thread([git] { EXPECT_EQ(git, VCOM_GlobalGit_InternalUseOnly()); }).join();   // one table for all threads
    EXPECT_EQ(S_OK, VCOM_GlobalGit_Revoke(cookie));
    EXPECT_NE(S_OK, VCOM_GlobalGit_Revoke(cookie));
    stream->Release();
    VCOM_GlobalGit_Exit();
    EXPECT_EQ(E_UNEXPECTED, VCOM_GlobalGit_Revoke(cookie));
    EXPECT_NE(nullptr, VCOM_GlobalGit_InternalUseOnly());   // a new table after the exit
    EXPECT_EQ(3, s_creations);   // the refused one, the first table, the new one
    VCOM_GlobalGit_Exit();
    CoUninitialize();
}
