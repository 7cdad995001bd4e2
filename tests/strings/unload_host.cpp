// A host that does not link the library: it loads a client module (which
// brings the library with it) and unloads it again, many times. Each unload
// must take the library down with its registries; a take-down that left the
// pools, the static instance table or the debug-info tree behind would make
// the heap grow by the module's filling on every cycle.
#include <windows.h>

#include <cstdio>

namespace {

unsigned long long heapBytesInUse()
{
    HANDLE heaps[64];
    DWORD n = GetProcessHeaps(64, heaps);
    unsigned long long total = 0;
    for (DWORD i = 0; i < n && i < 64; ++i) {
        PROCESS_HEAP_ENTRY e;
        e.lpData = nullptr;
        if (!HeapLock(heaps[i])) continue;
        while (HeapWalk(heaps[i], &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += e.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

int fail(const char* what, int cycle)
{
    std::printf("FAIL: %s (cycle %d)\n", what, cycle);
    return 1;
}

}  // namespace

int main()
{
    const int cycles = 25;
    // What one cycle puts into the registries (pool blocks alone: 40,001 + 80,002 bytes).
    const unsigned long long perCycle = 120000;
    unsigned long long baseline = 0, last = 0;
    if (GetModuleHandleA("OrvCore_Rudaru20.dll")) return fail("the library is loaded before the first cycle", 0);
    for (int cycle = 0; cycle < cycles; ++cycle) {
        HMODULE client = LoadLibraryA("orvtest_client.dll");
        if (!client) return fail("cannot load orvtest_client.dll", cycle);
        auto exercise = reinterpret_cast<unsigned long (*)()>(reinterpret_cast<void*>(GetProcAddress(client, "orvtestClientExercise")));
        if (!exercise) return fail("orvtestClientExercise missing", cycle);
        unsigned long guards = exercise();
        // The library's four guards and the client's: counting started again from 0.
        if (guards != 5) return fail("wrong number of live guards", cycle);
        if (!FreeLibrary(client)) return fail("FreeLibrary failed", cycle);
        if (GetModuleHandleA("orvtest_client.dll")) return fail("the client stayed loaded", cycle);
        if (GetModuleHandleA("OrvCore_Rudaru20.dll")) return fail("the library stayed loaded", cycle);
        last = heapBytesInUse();
        if (cycle == 1) baseline = last;   // one-time allocations of the run-time are behind us
    }
    long long growth = static_cast<long long>(last) - static_cast<long long>(baseline);
    std::printf("heap in use after cycle 2: %llu bytes, after cycle %d: %llu bytes, growth %lld bytes\n", baseline, cycles, last,
                growth);
    if (growth > static_cast<long long>(perCycle)) return fail("the registries were not released at unload", cycles);
    std::printf("OK: %d load/unload cycles, registries released each time\n", cycles);
    return 0;
}
