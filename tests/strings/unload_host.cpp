// A host without the library: loading and unloading a client module must take
// the library and its registries down each time. Loading alone grows the heap a
// little, so cycles that fill the registries are compared with cycles that do not.
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

[[noreturn]] void fail(const char* what, int cycle)
{
    std::printf("FAIL: %s (cycle %d)\n", what, cycle);
    ExitProcess(1);
}

// Heap growth over `cycles` load/unload cycles, measured from the second on.
long long runCycles(int cycles, bool fill)
{
    unsigned long long first = 0, last = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        HMODULE client = LoadLibraryA("orvtest_client.dll");
        FARPROC exercise = client ? GetProcAddress(client, "orvtestClientExercise") : nullptr;
        FARPROC guards = client ? GetProcAddress(client, "orvtestClientGuards") : nullptr;
        if (!exercise || !guards) fail("cannot load orvtest_client.dll or its exports", cycle);
        if (fill) reinterpret_cast<void (*)()>(reinterpret_cast<void*>(exercise))();
        // Four of the library and the client's: counting started again from 0.
        if (reinterpret_cast<unsigned long (*)()>(reinterpret_cast<void*>(guards))() != 5)
            fail("wrong number of live guards", cycle);
        if (!FreeLibrary(client) || GetModuleHandleA("orvtest_client.dll")) fail("the client stayed loaded", cycle);
        if (GetModuleHandleA("OrvCore_Rudaru20.dll")) fail("the library stayed loaded", cycle);
        last = heapBytesInUse();
        if (cycle == 0) first = last;
    }
    return static_cast<long long>(last) - static_cast<long long>(first);
}

}  // namespace

int main()
{
    const int cycles = 12;
    // What one filling puts into the registries (pool blocks alone: 40,001 + 80,002 bytes).
    const long long perFilling = 120000;
    runCycles(2, true);   // one-time allocations of the run-time
    long long idle = runCycles(cycles, false);
    long long filled = runCycles(cycles, true);
    std::printf("heap growth over %d cycles: %lld bytes without filling, %lld bytes with filling\n", cycles - 1, idle, filled);
    if (filled - idle > perFilling) fail("the registries were not released at unload", cycles);
    std::printf("OK: %d load/unload cycles, registries released each time\n", 2 + 2 * cycles);
    return 0;
}
