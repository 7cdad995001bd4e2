/* load_bench: what loading and unloading a DLL costs, against a trivial DLL of
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

static const char* const kDependencies[] = {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libgcc_s_dw2-1.dll",
                                            "libwinpthread-1.dll"};

static double now_ms(void)
{
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return (double)t.QuadPart * 1000.0 / (double)f.QuadPart;
}

/* Mean milliseconds of one LoadLibrary and FreeLibrary of path; negative when it does not load. */
static double load_cost(const char* path, int count)
{
    double start = now_ms();
    for (int i = 0; i < count; ++i) {
        HMODULE m = LoadLibraryA(path);
        if (!m) return -1.0;
        FreeLibrary(m);
    }
    return (now_ms() - start) / count;
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

static void row(const char* name, const char* path, int count, double trivial)
{
    double alone = load_cost(path, count);
    if (alone < 0) {
        printf("%-44s does not load (error %lu)\n", name, GetLastError());
        return;
    }
    char dir[MAX_PATH];
    folder_of(path, dir, sizeof dir);
    HMODULE held[sizeof kDependencies / sizeof kDependencies[0]] = {0};
    for (size_t i = 0; i < sizeof kDependencies / sizeof kDependencies[0]; ++i) {
        char dep[MAX_PATH * 2];
        snprintf(dep, sizeof dep, "%s%s", dir, kDependencies[i]);
        if (GetFileAttributesA(dep) != INVALID_FILE_ATTRIBUTES) held[i] = LoadLibraryA(dep);
    }
    double warm = load_cost(path, count);
    for (size_t i = 0; i < sizeof held / sizeof held[0]; ++i)
        if (held[i]) FreeLibrary(held[i]);
    printf("%-44s %9.1f %10.3f %8.1f %12.3f %8.1f\n", name, file_size(path) / 1024.0, alone, alone / trivial, warm,
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
    printf("LoadLibrary + FreeLibrary, mean of %d, against a trivial DLL (%.3f ms)\n\n", count, base);
    printf("%-44s %9s %10s %8s %12s %8s\n", "DLL", "KiB", "ms alone", "ratio", "ms deps held", "ratio");
    row("orv_trivial.dll (baseline)", trivial, count, base);
    if (first >= argc) row(fallback, fallback, count, base);
    for (int i = first; i < argc; ++i) row(argv[i], argv[i], count, base);
    return 0;
}
