// A host of the example module: loads it through the library's DLL registry,
// starts and ends the platform, and unloads it. Exit status 0 when every step
// went as a host expects.
#include "OrvCore.h"

#include <cstdio>

int main()
{
    VSYST_DLL* module = VSYST_DLL::create("example_module.dll");
    try {
        module->loadDLLifNotLoaded();
    } catch (const V_Exception& e) {
        V_ONCATCH(e);
        std::fprintf(stderr, "example_host: the module does not load (see the log)\n");
        return 1;
    }
    if (!VSYST_ApplInitExit::doInit()) {
        std::fprintf(stderr, "example_host: the platform did not start\n");
        return 1;
    }
    VSYST_DIManager::call("Example", "Example module state", nullptr, VSYST_DumpStream::getStdStream());
    VSYST_ApplInitExit::doExit();
    const bool unloaded = module->unloadDLLifLoaded();
    std::printf("example_host: module %s\n", unloaded ? "unloaded" : "still loaded");
    return unloaded ? 0 : 1;
}
