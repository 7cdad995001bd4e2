// sym_bench - symbols and BSTR conversion against their everyday peers.
//
//   sym_bench [repetitions]
//
// Prints one table: our time, the baseline's time measured in the same run,
// the ratio ours / baseline and the target. Times are best-of-N except the
// interning insert, which the process-wide table allows only once per run
// (the baseline still gets its best of N, which favours the baseline).
// Allocations inside the library are counted by hooking the allocation
// functions it imports.
#include "OrvCore.h"
#include "support/OrvTestSupport.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#undef V_BSTR   // the class, not <oleauto.h>'s variant accessor

namespace {

// ---- allocation counting -----------------------------------------------------

unsigned long long s_allocations = 0;

void* (*s_malloc)(size_t) = nullptr;
void* (*s_calloc)(size_t, size_t) = nullptr;
void* (*s_realloc)(void*, size_t) = nullptr;
void* (*s_new)(size_t) = nullptr;
void* (*s_newArray)(size_t) = nullptr;
void* (*s_newNothrow)(size_t, const std::nothrow_t&) = nullptr;
void* (*s_newArrayNothrow)(size_t, const std::nothrow_t&) = nullptr;

void* countMalloc(size_t n) { ++s_allocations; return s_malloc(n); }
void* countCalloc(size_t n, size_t m) { ++s_allocations; return s_calloc(n, m); }
void* countRealloc(void* p, size_t n) { ++s_allocations; return s_realloc(p, n); }
void* countNew(size_t n) { ++s_allocations; return s_new(n); }
void* countNewArray(size_t n) { ++s_allocations; return s_newArray(n); }
void* countNewNothrow(size_t n, const std::nothrow_t& t) { ++s_allocations; return s_newNothrow(n, t); }
void* countNewArrayNothrow(size_t n, const std::nothrow_t& t) { ++s_allocations; return s_newArrayNothrow(n, t); }

// Hooks whatever of these the library imports.
class LibraryAllocationCounter {
public:
    LibraryAllocationCounter()
    {
        const bool x64 = sizeof(void*) == 8;
        hook("msvcrt.dll", "malloc", &countMalloc, s_malloc);
        hook("msvcrt.dll", "calloc", &countCalloc, s_calloc);
        hook("msvcrt.dll", "realloc", &countRealloc, s_realloc);
        hook("libstdc++-6.dll", x64 ? "_Znwy" : "_Znwj", &countNew, s_new);
        hook("libstdc++-6.dll", x64 ? "_Znay" : "_Znaj", &countNewArray, s_newArray);
        hook("libstdc++-6.dll", x64 ? "_ZnwyRKSt9nothrow_t" : "_ZnwjRKSt9nothrow_t", &countNewNothrow, s_newNothrow);
        hook("libstdc++-6.dll", x64 ? "_ZnayRKSt9nothrow_t" : "_ZnajRKSt9nothrow_t", &countNewArrayNothrow,
             s_newArrayNothrow);
    }

private:
    template <class Fn>
    void hook(const char* dll, const char* name, Fn replacement, Fn& original)
    {
        try {
            m_hooks.emplace_back(new orvtest::IatHook("OrvCore_Rudaru20.dll", dll, name,
                                                      reinterpret_cast<void*>(replacement)));
            original = reinterpret_cast<Fn>(m_hooks.back()->original());
        } catch (const std::exception&) {
            // not imported: the library cannot allocate that way
        }
    }
    std::vector<std::unique_ptr<orvtest::IatHook>> m_hooks;
};

}  // namespace

namespace {

// ---- timing and data ------------------------------------------------------------

double seconds(const std::function<void()>& run)
{
    const auto t0 = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double best(int repetitions, const std::function<void()>& run)
{
    double b = 1e30;
    for (int i = 0; i < repetitions; ++i) b = std::min(b, seconds(run));
    return b;
}

unsigned long s_seed = 12345;
unsigned long next() { return s_seed = s_seed * 1103515245ul + 12345ul, (s_seed >> 8) & 0xFFFFFF; }

// Distinct names of minLen..maxLen characters from the symbol alphabet.
std::vector<std::string> names(size_t count, unsigned minLen, unsigned maxLen, const char* tag)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_$";
    std::vector<std::string> out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        std::string s = tag + std::to_string(i) + "_";
        const unsigned len = minLen + next() % (maxLen - minLen + 1);
        while (s.size() < len) s += alphabet[next() % 64];
        s.resize(len);
        // With 8 or more characters the serial survives the cut and keeps them distinct.
        out.push_back(s);
    }
    return out;
}

void row(const char* what, double ours, double base, const char* target, const char* note = "")
{
    std::printf("%-44s %10.2f %10.2f %7.2f   %-8s %s\n", what, ours * 1e3, base * 1e3, ours / base, target, note);
}

volatile unsigned long long s_sink;

}  // namespace

int main(int argc, char** argv)
{
    const int reps = argc > 1 ? std::atoi(argv[1]) : 5;
    std::printf("%-44s %10s %10s %7s   %-8s\n", "case (times in ms)", "ours", "baseline", "ratio", "target");

    // ---- interning: 200,000 distinct names, then each looked up again ----
    {
        std::vector<std::string> list = names(200000, 8, 24, "n");
        std::unordered_set<std::string> distinct(list.begin(), list.end());
        if (distinct.size() != list.size()) std::printf("warning: %zu duplicate names\n", list.size() - distinct.size());
        distinct.clear();
        unsigned long long sum = 0;
        auto baseline = [&] {
            std::unordered_set<std::string> set;
            for (const std::string& n : list) set.insert(std::string(n.c_str()));
            for (const std::string& n : list) sum += set.find(std::string(n.c_str()))->size();
        };
        baseline();   // warms the allocator with the same pattern
        const double base = best(reps, baseline);
        const double insert = seconds([&] {
            for (const std::string& n : list) sum += reinterpret_cast<uintptr_t>(static_cast<const char*>(VSYST_SymbolA(n.c_str())));
        });
        const double find = best(reps, [&] {
            for (const std::string& n : list) sum += reinterpret_cast<uintptr_t>(static_cast<const char*>(VSYST_SymbolA(n.c_str())));
        });
        s_sink = sum;
        const VSYST_SymbolTableInfo info = VSYST_SymbolA::tableInfo();
        char note[96];
        std::snprintf(note, sizeof note, "table %lu slots, %lu texts", info.slots, info.entries);
        row("intern 200k names + find each (unordered_set)", insert + find, base, "<= 1", note);
    }

    // ---- VSYST_Symbol12: packing and comparing ----
    {
        const size_t n = 200000;
        std::vector<std::string> list = names(n, 1, 12, "");
        std::vector<size_t> other(n);
        for (size_t i = 0; i < n; ++i) other[i] = next() % n;
        std::vector<VSYST_Symbol12> syms(n);
        std::vector<std::string> strs(n);
        unsigned long long allocs = 0;
        bool counterWorks = false;
        {
            LibraryAllocationCounter counter;
            { V_STRING probe("a string allocates inside the library"); }
            counterWorks = s_allocations > 0;
            s_allocations = 0;
            for (size_t i = 0; i < n; ++i) syms[i] = VSYST_Symbol12(list[i].c_str());
            allocs = s_allocations;
        }
        const double pack = best(reps, [&] {
            for (size_t i = 0; i < n; ++i) syms[i] = VSYST_Symbol12(list[i].c_str());
        });
        const double build = best(reps, [&] {
            for (size_t i = 0; i < n; ++i) strs[i].assign(list[i].c_str());
        });
        char note[80];
        std::snprintf(note, sizeof note, "%llu allocations while packing (counter %s)", allocs,
                      counterWorks ? "checked" : "SAW NOTHING");
        row("pack 200k names (std::string from the text)", pack, build, "", note);

        unsigned long long sum = 0;
        const double ours = best(reps, [&] {
            for (int pass = 0; pass < 10; ++pass)
                for (size_t i = 0; i < n; ++i) sum += syms[i] < syms[other[i]];
        });
        const double base = best(reps, [&] {
            for (int pass = 0; pass < 10; ++pass)
                for (size_t i = 0; i < n; ++i) sum += strs[i] < strs[other[i]];
        });
        s_sink = sum;
        row("2M comparisons (std::string operator<)", ours, base, "<= 0.2");
    }

    // ---- V_BSTR round trip of 1 MB ----
    // Interleaved, so that both sides meet the same load on a shared machine.
    {
        const int size = 1 << 20;
        std::string text(size, ' ');
        for (int i = 0; i < size; ++i) text[i] = static_cast<char>(i % 61 == 60 ? 0xC0 + next() % 64 : 0x20 + next() % 95);
        const V_STRING source(text.c_str());
        std::vector<wchar_t> wide(size + 1);
        std::vector<char> back(size + 1);
        bool same = true;
        auto bare = [&] {
            int w = MultiByteToWideChar(CP_THREAD_ACP, 0, text.c_str(), size, wide.data(), size);
            int b = WideCharToMultiByte(CP_THREAD_ACP, 0, wide.data(), w, back.data(), size, nullptr, nullptr);
            same = same && b == size;
        };
        // The same two calls writing into results allocated as ours are: a BSTR and a new[] buffer.
        auto fresh = [&] {
            BSTR w = SysAllocStringLen(nullptr, size);
            MultiByteToWideChar(CP_THREAD_ACP, 0, text.c_str(), size, w, size);
            std::unique_ptr<char[]> b(new char[size + 1]);
            same = same && WideCharToMultiByte(CP_THREAD_ACP, 0, w, size, b.get(), size, nullptr, nullptr) == size;
            SysFreeString(w);
        };
        auto allocOnly = [&] {
            BSTR w = SysAllocStringLen(nullptr, size);
            std::memset(w, 1, size * sizeof(wchar_t));
            std::unique_ptr<char[]> b(new char[size + 1]);
            std::memset(b.get(), 1, size);
            same = same && b[size / 2] == 1;
            SysFreeString(w);
        };
        auto ours = [&] {
            const V_BSTR b(source);
            const V_STRING result = b;
            same = same && result.length() == source.length() && result.data()[size / 2] == text[size / 2];
        };
        double tBare = 1e30, tFresh = 1e30, tAlloc = 1e30, tOurs = 1e30;
        for (int i = 0; i < reps * 8; ++i) {
            tBare = std::min(tBare, seconds(bare));
            tFresh = std::min(tFresh, seconds(fresh));
            tAlloc = std::min(tAlloc, seconds(allocOnly));
            tOurs = std::min(tOurs, seconds(ours));
        }
        const char* check = same ? "round trip exact" : "ROUND TRIP DIFFERS";
        row("1 MB round trip / 2 bare calls, reused buffers", tOurs, tBare, "<= 1.5", check);
        row("1 MB round trip / 2 calls into fresh BSTR, new[]", tOurs, tFresh, "<= 1.5");
        row("  of which: allocating and touching the results", tAlloc, tBare, "", "(baseline: the bare calls)");
    }
    return 0;
}
