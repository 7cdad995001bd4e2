// mem_bench - the fixed-size pool against malloc/free, and intrusive handles
// against std::shared_ptr made with make_shared.
//
//   mem_bench [repetitions] [chunk bytes of the pools, 4096 unless given]
//
// Each figure is the best of N runs; both sides of a row do the same work on
// the same sequence of sizes and indices, after a warm-up run of their own.
//   pool rows: 10 million allocations and frees of 32-byte objects. Stack
//     pattern: 1000 rounds of 10,000 allocations freed in reverse order.
//     Random pattern: 10,000 live objects, each step frees a random one and
//     allocates its replacement. The pool rows run on the pool's owning
//     thread; the shared rows on a pool another thread has used before.
//   handle row: 10,000 rounds over 1000 handles to 1000 objects: copy the
//     handles, assign each copy another handle, destroy the copies.
#include "VPOOL_MemoryPool.h"
#include "VSYST_Handle.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

const unsigned kObject = 32;
const unsigned kLive = 10000;
const unsigned kOps = 10000000;

double bestSeconds(int repetitions, const std::function<void()>& run)
{
    run();   // warm-up: caches, the heap's free lists, the pool's chunks
    double best = 1e30;
    for (int i = 0; i < repetitions; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        if (d.count() < best) best = d.count();
    }
    return best;
}

// The same work for both allocators; each object is written once, as a
// constructor would.
template <class Alloc, class Free>
void stackPattern(Alloc alloc, Free release)
{
    static void* live[kLive];
    for (unsigned round = 0; round < kOps / kLive; ++round) {
        for (unsigned i = 0; i < kLive; ++i) {
            live[i] = alloc();
            std::memset(live[i], 0, 8);
        }
        for (unsigned i = kLive; i-- > 0;) release(live[i]);
    }
}

template <class Alloc, class Free>
void randomPattern(const std::vector<unsigned>& picks, Alloc alloc, Free release)
{
    static void* live[kLive];
    for (unsigned i = 0; i < kLive; ++i) live[i] = alloc();
    for (unsigned pick : picks) {
        release(live[pick]);
        live[pick] = alloc();
        std::memset(live[pick], 0, 8);
    }
    for (unsigned i = 0; i < kLive; ++i) release(live[i]);
}

struct Counted : VSYST_HandableClass {
    long value = 0;
};
struct Plain {
    long value = 0;
};

template <class H>
void handleWork(const std::vector<H>& handles, const std::vector<unsigned>& perm)
{
    for (int round = 0; round < 10000; ++round) {
        std::vector<H> copies(handles);
        for (size_t i = 0; i < copies.size(); ++i) copies[i] = handles[perm[i]];
    }
}

void row(const char* name, double ours, const char* baseName, double base, const char* target)
{
    std::printf("%-34s %10.1f  %-10s %10.1f  %7.2f  %s\n", name, ours * 1e3, baseName, base * 1e3, base / ours, target);
}

}  // namespace

int main(int argc, char** argv)
{
    const int reps = argc > 1 ? std::atoi(argv[1]) : 3;
    const unsigned chunkBytes = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 4096;
    std::mt19937 rng(12345);
    std::vector<unsigned> picks(kOps - kLive);
    for (unsigned& p : picks) p = rng() % kLive;

    std::printf("32-byte objects, pool chunks of %u bytes, best of %d runs\n", chunkBytes, reps);
    std::printf("%-34s %10s  %-10s %10s  %7s  %s\n", "case", "ours ms", "baseline", "base ms", "speedup",
                "target");
    auto mallocOne = [] { return std::malloc(kObject); };
    auto freeOne = [](void* p) { std::free(p); };
    const double mallocStack = bestSeconds(reps, [&] { stackPattern(mallocOne, freeOne); });
    const double mallocRandom = bestSeconds(reps, [&] { randomPattern(picks, mallocOne, freeOne); });
    for (int keep = 0; keep <= 2; ++keep) {
        VPOOL_MemoryPool pool(kObject, 0, chunkBytes, keep);
        auto poolOne = [&] { return pool.poolNew(kObject); };
        auto unpoolOne = [&](void* p) { pool.poolDelete(p, kObject); };
        char name[64];
        std::snprintf(name, sizeof name, "pool stack pattern, keep level %d", keep);
        row(name, bestSeconds(reps, [&] { stackPattern(poolOne, unpoolOne); }), "malloc", mallocStack,
            "speedup >= 3");
        std::snprintf(name, sizeof name, "pool random pattern, keep level %d", keep);
        row(name, bestSeconds(reps, [&] { randomPattern(picks, poolOne, unpoolOne); }), "malloc", mallocRandom,
            "speedup >= 3");
    }

    {
        // Once a second thread has used a pool, every operation takes its lock.
        VPOOL_MemoryPool pool(kObject, 0, chunkBytes, 1);
        std::thread([&] { pool.poolDelete(pool.poolNew(kObject), kObject); }).join();
        auto poolOne = [&] { return pool.poolNew(kObject); };
        auto unpoolOne = [&](void* p) { pool.poolDelete(p, kObject); };
        row("shared pool stack, keep level 1", bestSeconds(reps, [&] { stackPattern(poolOne, unpoolOne); }), "malloc",
            mallocStack, "(locked: no target)");
        row("shared pool random, keep level 1",
            bestSeconds(reps, [&] { randomPattern(picks, poolOne, unpoolOne); }), "malloc", mallocRandom,
            "(locked: no target)");
    }

    std::vector<unsigned> perm(1000);
    for (unsigned& p : perm) p = rng() % 1000;
    std::vector<VSYST_Handle> handles;
    std::vector<std::shared_ptr<Plain>> shared;
    for (int i = 0; i < 1000; ++i) {
        handles.emplace_back(new Counted);
        shared.push_back(std::make_shared<Plain>());
    }
    row("handle copy/assign/destroy", bestSeconds(reps, [&] { handleWork(handles, perm); }), "shared_ptr",
        bestSeconds(reps, [&] { handleWork(shared, perm); }), "speedup >= 1/1.2 = 0.83");
    return 0;
}
