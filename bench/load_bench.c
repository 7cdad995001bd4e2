/* load_bench: what loading and unloading a DLL costs (the median of COUNT rounds), against a trivial DLL of
   ours measured in the same run. Each DLL is timed twice: on its own (its
   dependencies come and go with it) and with its dependencies held loaded
   beforehand, which is how a host meets a module once the C++ run-time is in.
   usage: load_bench.exe [-n COUNT] [DLL...]   (default: OrvCore_Rudaru20.dll beside this program)
   The program is plain C and links the C run-time statically, so it holds
   none of the DLLs it measures. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static double now_ms(void)
{
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return (double)t.QuadPart * 1000.0 / (double)f.QuadPart;
}

/* The DLL's own folder is searched first for what it imports, as for a DLL
   beside its host; otherwise this program's folder would supply them. */
static HMODULE load(const char* path) { return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH); }

static int by_value(const void* a, const void* b)
{
    double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

/* Median milliseconds of one LoadLibrary and FreeLibrary of path, after one
   untimed round (the file cache); negative when it does not load. The median,
   because other work on a shared machine only ever adds time. */
static double load_cost(const char* path, int count)
{
    double* times = (double*)malloc(sizeof(double) * (size_t)count);
    HMODULE m = times ? load(path) : NULL;
    if (!m) {
        free(times);
        return -1.0;
    }
    FreeLibrary(m);
    for (int i = 0; i < count; ++i) {
        double start = now_ms();
        m = load(path);
        if (m) FreeLibrary(m);
        times[i] = now_ms() - start;
    }
    qsort(times, (size_t)count, sizeof(double), by_value);
    double median = times[count / 2];
    free(times);
    return median;
}

/* The folder of path with a trailing separator, or "" for a bare name. */
static void folder_of(const char* path, char* out, size_t size)
{
    const char* cut = strrchr(path, '\\');
    const char* slash = strrchr(path, '/');
    if (!cut || (slash && slash > cut)) cut = slash;
    size_t n = cut ? (size_t)(cut - path) + 1 : 0;
    if (n >= size) n = 0;
    memcpy(out, path, n);
    out[n] = 0;
}

static DWORD file_size(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path, GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

/* Loads what path imports (from its own folder where the file is there, as
   the loader takes it), so that only the DLL itself comes and goes; returns
   how many modules are held in held. */
static int hold_imports(const char* path, HMODULE* held, int max)
{
    HMODULE m = LoadLibraryExA(path, NULL, DONT_RESOLVE_DLL_REFERENCES);
    if (!m) return 0;
    const BYTE* base = (const BYTE*)m;
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    char dir[MAX_PATH], local[MAX_PATH * 2];
    folder_of(path, dir, sizeof dir);
    int n = 0;
    const IMAGE_IMPORT_DESCRIPTOR* d = (const IMAGE_IMPORT_DESCRIPTOR*)(base + imports.VirtualAddress);
    for (; imports.VirtualAddress && d->Name && n < max; ++d) {
        const char* name = (const char*)(base + d->Name);
        snprintf(local, sizeof local, "%s%s", dir, name);
        held[n] = LoadLibraryA(GetFileAttributesA(local) != INVALID_FILE_ATTRIBUTES ? local : name);
        if (held[n]) ++n;
    }
    FreeLibrary(m);
    return n;
}

static void row(const char* name, const char* path, int count, double trivial)
{
    double alone = load_cost(path, count);
    if (alone < 0) {
        printf("%-44s does not load (error %lu)\n", name, GetLastError());
        return;
    }
    HMODULE held[64];
    int n = hold_imports(path, held, 64);
    double warm = load_cost(path, count);
    while (n > 0) FreeLibrary(held[--n]);
    printf("%-44s %9.1f %10.3f %8.1f %15.3f %8.1f\n", name, file_size(path) / 1024.0, alone, alone / trivial, warm,
           warm / trivial);
}

int main(int argc, char** argv)
{
    int count = 50, first = 1;
    if (argc > 2 && strcmp(argv[1], "-n") == 0) {
        count = atoi(argv[2]);
        first = 3;
    }
    if (count < 1) {
        fprintf(stderr, "usage: load_bench [-n COUNT] [DLL...]\n");
        return 2;
    }
    char self[MAX_PATH], dir[MAX_PATH], trivial[MAX_PATH * 2], fallback[MAX_PATH * 2];
    GetModuleFileNameA(NULL, self, sizeof self);
    folder_of(self, dir, sizeof dir);
    snprintf(trivial, sizeof trivial, "%sorv_trivial.dll", dir);
    snprintf(fallback, sizeof fallback, "%sOrvCore_Rudaru20.dll", dir);

    double base = load_cost(trivial, count);
    if (base <= 0) {
        fprintf(stderr, "load_bench: %s does not load\n", trivial);
        return 1;
    }
    printf("LoadLibrary + FreeLibrary, median of %d, against a trivial DLL (%.3f ms)\n\n", count, base);
    printf("%-44s %9s %10s %8s %15s %8s\n", "DLL", "KiB", "ms alone", "ratio", "ms imports held", "ratio");
    row("orv_trivial.dll (baseline)", trivial, count, base);
    if (first >= argc) row(fallback, fallback, count, base);
    for (int i = first; i < argc; ++i) row(argv[i], argv[i], count, base);
    return 0;
}
