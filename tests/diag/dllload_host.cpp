// Loads OrvCore_Rudaru20.dll at run time, logs before and after doInit and unloads
// it. Console log text goes to standard output; the TLS and debugger checks to standard error.
#include "diag/LogCapture.h"

#include <cstdio>
#include <string>

int main()
{
    DebugCapture debugger;
    HMODULE dll = LoadLibraryA("OrvCore_Rudaru20.dll");
    auto entry = [dll](const char* name) { return reinterpret_cast<void*>(GetProcAddress(dll, name)); };
    auto dump = reinterpret_cast<void (*)(const char*, ...)>(entry("V_DIAG_DUMP"));
    auto doInit = reinterpret_cast<bool (*)()>(entry("_ZN18VSYST_ApplInitExit6doInitEv"));
    auto doExit = reinterpret_cast<void (*)()>(entry("_ZN18VSYST_ApplInitExit6doExitEv"));
    // The TLS manager's record begins with the TLS index.
    auto tlsData = reinterpret_cast<const unsigned long* (*)()>(entry("_ZN12VDIAG_TlsMan7getDataEv"));

    const DWORD index = *tlsData();
    dump("before doInit");
    doInit();
    dump("after doInit");
    doExit();
    FreeLibrary(dll);
    // A freed index is the lowest free one again.
    std::fprintf(stderr, "tls index freed at unload: %s\n", TlsAlloc() == index ? "yes" : "no");
    const bool seen = debugger.all().find("before doInit\r\n") != std::string::npos;
    std::fprintf(stderr, "debugger received the text before doInit: %s\n", seen ? "yes" : "no");
    return 0;
}
