// orvtool dll: the library's registry of modules loaded on demand.
#include "orvtool.h"
#include "tour_support.h"

#include "VSYST_DLL.h"
#include "VSYST_DumpStream.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void show(const VSYST_DLL& dll)
{
    std::printf("   %s: %s, %s\n", dll.getName().data(), dll.isLoaded() ? "loaded" : "not loaded",
                dll.isUnloadable() ? "unloadable" : "not unloadable");
}

// Each action loads the module first; lock and unload then show what the
// registry allows.
int dll(const orvtool::Args& args)
{
    if (args.size() != 2 || (args[0] != "load" && args[0] != "lock" && args[0] != "unload"))
        return orvtool::usageError("dll", "dll takes load|lock|unload NAME");
    const std::string& action = args[0];
    VSYST_DLL* entry = VSYST_DLL::create(args[1].c_str());
    // The exceptions report to the standard log; with a per-run file it is shown here.
    VSYST_DumpStream::openStdStream();
    const size_t before = orvtool::stdLogSize();
    int status = 0;
    try {
        std::printf("load: loadDLLifNotLoaded() = %s\n", entry->loadDLLifNotLoaded() ? "true" : "false");
        show(*entry);
        if (action == "lock") {
            VSYST_LockDLL lock(entry);
            std::printf("locked by VSYST_LockDLL\n");
            show(*entry);
            std::printf("unload while locked: unloadDLLifLoaded() = %s\n", entry->unloadDLLifLoaded() ? "true" : "false");
            show(*entry);
        }
        if (action != "load") {
            std::printf("unload: unloadDLLifLoaded() = %s\n", entry->unloadDLLifLoaded() ? "true" : "false");
            show(*entry);
        }
    } catch (const V_Exception& e) {
        const bool loading = dynamic_cast<const VSYST_LoadingDLLException*>(&e) != nullptr;
        const std::string path = orvtool::stdLogPath();
        if (!path.empty()) orvtool::showLog(orvtool::readFrom(path, before));
        // The report went to the log; the reason is asked again for stderr, where
        // a failure says what and why. A load that fails fails the same way twice.
        std::string reason = "see the exception's report in the standard log";
        if (loading) {
            SetLastError(0);
            HMODULE again = LoadLibraryA(args[1].c_str());
            if (again) FreeLibrary(again);
            else reason = orvtool::systemReason(GetLastError());
        }
        std::fflush(stdout);
        status = orvtool::failure(std::string("cannot ") + (loading ? "load " : "unload ") + args[1] + " (VSYST_" +
                                  (loading ? "Loading" : "Unloading") + "DLLException): " + reason);
    }
    VSYST_DumpStream::closeStdStream();
    return status;
}

}  // namespace

ORVTOOL_COMMAND(dll, "dll", "dll load NAME\ndll lock NAME\ndll unload NAME",
                "load a module through the library's DLL registry; lock: refused unload while locked; unload: free it",
                "dll load version.dll\ndll lock version.dll\ndll unload version.dll", dll);
