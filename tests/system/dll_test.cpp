// The DLL registry with modules of ours (dll_modules.c): one that loads, one
// whose entry point refuses.
#include "VSYST_ApplInitExit.h"
#include "VSYST_DLL.h"
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <thread>
#include <vector>

namespace {

const std::string kPlain = orvtest::exeDir() + "\\orv_dll_plain.dll";

bool moduleLoaded(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }

BOOL WINAPI failingFreeLibrary(HMODULE)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

std::string report(const char* what, const std::string& name, DWORD code)
{
    return orvtest::crlf("]\n!E      Can't " + std::string(what) + " the DLL " + name +
                         " !\n        GetLastError() returns error \"" + orvtest::systemText(code) + "\"\n\n");
}

}  // namespace

// doExit runs the library's 32000 exit handler: the entries go, the modules stay.
ORV_TEST_CHILD(atExit)
{
    VSYST_ApplInitExit::doInit();
    VSYST_DLL::create(kPlain.c_str())->loadDLLifNotLoaded();
    VSYST_ApplInitExit::doExit();
    std::printf("%s %s", VSYST_DLL::create(kPlain.c_str())->isLoaded() ? "entry kept" : "new entry",
                moduleLoaded(kPlain) ? "module loaded" : "module gone");
    return 0;
}

TEST(DLLRegistry, LoadLockUnloadFailuresAndTheExitHandler)
{
    VSYST_DLL* dll = VSYST_DLL::create(kPlain.c_str());
    EXPECT_EQ(dll, VSYST_DLL::create(kPlain.c_str()));
    EXPECT_NE(dll, VSYST_DLL::create((kPlain.substr(0, kPlain.size() - 3) + "DLL").c_str()));   // case counts
    EXPECT_FALSE(dll->isLoaded() || dll->isUnloadable() || dll->unloadDLLifLoaded());
    EXPECT_TRUE(dll->loadDLLifNotLoaded() && !dll->loadDLLifNotLoaded());
    EXPECT_TRUE(dll->isLoaded() && dll->isUnloadable() && moduleLoaded(kPlain));
    {
        VSYST_LockDLL lock(dll), again(dll), none(nullptr);
        EXPECT_FALSE(dll->isUnloadable() || dll->unloadDLLifLoaded());
        EXPECT_TRUE(dll->isLoaded() && moduleLoaded(kPlain));
    }
    dll->unlockDLL();   // -1: not "unloadable", and still unloaded
    EXPECT_TRUE(!dll->isUnloadable() && dll->unloadDLLifLoaded());
    EXPECT_FALSE(dll->isLoaded() || moduleLoaded(kPlain));
    dll->lockDLL();
    EXPECT_EQ("new entry module loaded", orvtest::runChild("atExit", {}, {"ORV_STDLOGFILE="}).out);

    // Loader failures report the system's reason.
    const struct { std::string name; DWORD code; } cases[] = {
        {orvtest::exeDir() + "\\no_such_module.dll", ERROR_MOD_NOT_FOUND},
        {orvtest::exeDir() + "\\orv_dll_initfail.dll", ERROR_DLL_INIT_FAILED}};
    for (const auto& c : cases) {
        VSYST_DLL* failing = VSYST_DLL::create(c.name.c_str());
        for (int attempt = 0; attempt < 2; ++attempt) {   // a second call tries again
            DebugCapture log;
            EXPECT_THROW(failing->loadDLLifNotLoaded(), VSYST_LoadingDLLException) << c.name;
            EXPECT_NE(std::string::npos, log.all().find(report("load", c.name, c.code))) << log.all();
        }
    }
    // FreeLibrary refusing: the module stays recorded.
    ASSERT_TRUE(dll->loadDLLifNotLoaded());
    {
        orvtest::IatHook hook("OrvCore_Rudaru20.dll", "kernel32.dll", "FreeLibrary",
                              reinterpret_cast<void*>(&failingFreeLibrary));
        DebugCapture log;
        EXPECT_THROW(dll->unloadDLLifLoaded(), VSYST_UnloadingDLLException);
        EXPECT_NE(std::string::npos, log.all().find(report("unload", kPlain, ERROR_INVALID_HANDLE))) << log.all();
        EXPECT_TRUE(dll->isLoaded());
    }
    EXPECT_TRUE(dll->unloadDLLifLoaded());
}

TEST(DLLRegistry, ThreadsShareEntriesAndCounts)
{
    // Two spellings of one module: two entries, each loading it once at most.
    const std::string names[2] = {kPlain, orvtest::exeDir() + "\\.\\orv_dll_plain.dll"};
    std::vector<std::set<VSYST_DLL*>> seen(8);
    std::vector<int> unloadedWhileLocked(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                VSYST_DLL* dll = VSYST_DLL::create(names[(t + i) % 2].c_str());
                seen[t].insert(dll);
                {
                    VSYST_LockDLL lock(dll);
                    dll->loadDLLifNotLoaded();
                    unloadedWhileLocked[t] += dll->isLoaded() ? 0 : 1;
                }
                dll->unloadDLLifLoaded();
            }
        });
    for (std::thread& t : threads) t.join();
    const std::set<VSYST_DLL*> entries = {VSYST_DLL::create(names[0].c_str()), VSYST_DLL::create(names[1].c_str())};
    for (int t = 0; t < 8; ++t) EXPECT_TRUE(unloadedWhileLocked[t] == 0 && seen[t] == entries) << t;
    for (VSYST_DLL* dll : entries) dll->unloadDLLifLoaded();
    EXPECT_FALSE(moduleLoaded(kPlain));   // every LoadLibrary had its FreeLibrary
}
