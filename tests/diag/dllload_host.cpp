// Loads OrvCore_Rudaru20.dll at run time, logs before and after doInit and unloads
// it. Console log text goes to standard output; debugger text and TLS checks to standard error.
#include "diag/LogCapture.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

namespace {

template <class F>
F entry(HMODULE dll, const char* name)
{
    F f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    if (!f) std::fprintf(stderr, "no export %s\n", name);
    return f;
}

}  // namespace

int main()
{
    _setmode(_fileno(stderr), _O_BINARY);
    DebugCapture debugger;
    HMODULE dll = LoadLibraryA("OrvCore_Rudaru20.dll");
    if (!dll) return 2;
    auto dump = entry<void (*)(const char*, ...)>(dll, "V_DIAG_DUMP");
    auto doInit = entry<bool (*)()>(dll, "_ZN18VSYST_ApplInitExit6doInitEv");
    auto doExit = entry<void (*)()>(dll, "_ZN18VSYST_ApplInitExit6doExitEv");
    // The TLS manager's record begins with the TLS index.
    auto tlsData = entry<const unsigned long* (*)()>(dll, "_ZN12VDIAG_TlsMan7getDataEv");
    if (!dump || !doInit || !doExit || !tlsData) return 3;

    const DWORD index = *tlsData();
    std::fprintf(stderr, "tls index allocated: %s\n", index != TLS_OUT_OF_INDEXES ? "yes" : "no");
    std::fprintf(stderr, "loading thread's block: %s\n", TlsGetValue(index) ? "yes" : "no");
    dump("before doInit");
    doInit();
    dump("after doInit");
    doExit();
    FreeLibrary(dll);
    // A freed index is the lowest free one again.
    std::fprintf(stderr, "tls index freed at unload: %s\n", TlsAlloc() == index ? "yes" : "no");
    const std::string seen = debugger.all();
    for (const char* text : {"before doInit\r\n", "after doInit\r\n"})
        std::fprintf(stderr, "debugger received %s", seen.find(text) != std::string::npos ? text : "nothing\n");
    return 0;
}
