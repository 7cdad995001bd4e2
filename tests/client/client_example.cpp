// The README's client example, built with nothing but include/ on the include
// path and the import library: proves the public headers stand alone.
#include "OrvCore.h"

#include <cstdio>

static bool initMine() { VSYST_DumpStream::getStdStream() << "module ready\n"; return true; }
static void exitMine() { std::printf("exit function ran\n"); }
static VSYST_ApplInitExit s_mine("my module", 100, initMine, exitMine);

int main()
{
    bool ok = VSYST_ApplInitExit::doInit();   // opens the standard log, runs init functions
    try {
        throw VSYST_BadValue(__FILE__, __LINE__);   // writes its "!E" report now
    } catch (const V_Exception& e) {
        V_ONCATCH(e);                             // catch report when ORV_VerboseException is set
        std::printf("caught, HRESULT 0x%08lX\n", static_cast<unsigned long>(e.mapToHRESULT()));
    }
    VSYST_ApplInitExit::doExit();             // exit functions in reverse order, log closed
    return ok ? 0 : 1;
}
