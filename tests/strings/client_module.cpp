// orvtest_client.dll: a client module with a guard and an init/exit handler of
// its own. Its counters live in the library's static instance table.
#include "VSYST_ApplInitExit.h"
#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"
#include "V_SIManager.h"
#include "V_StringPool.h"

#include <cstdio>
#include <string>

namespace {

_vsyst_GI s_globalInstance;

void clientDump(VSYST_DumpStream& stream, unsigned long) { stream << "client module state\n"; }

bool clientInit()
{
    ++V_SIFind("orvtest.client.inits")->value1;
    VSYST_DIManager::add("Client", "Client state", nullptr, &clientDump);
    return true;
}

void clientExit()
{
    ++V_SIFind("orvtest.client.exits")->value1;
    VSYST_DIManager::remove("Client", "Client state");
}

VSYST_ApplInitExit s_handler("orvtest client module", 100, &clientInit, &clientExit);

// A module unloaded before doExit must not leave its callback behind.
struct CallbackRemover {
    ~CallbackRemover() { VSYST_DIManager::remove("Client", "Client state"); }
} s_callbackRemover;

}  // namespace

extern "C" __declspec(dllexport) const char* orvtestClientText()
{
    static const char* text = V_StringPool_CHAR::allocCopy("text of the client");
    return text;
}

extern "C" __declspec(dllexport) unsigned long orvtestClientGuards() { return _vsyst_GI::s_count; }

// Enough in every registry to show in the heap if a take-down left it behind.
extern "C" __declspec(dllexport) void orvtestClientExercise()
{
    V_StringPool_CHAR::allocCopy(std::string(40000, 'x').c_str());
    V_StringPool_WCHAR::allocCopy(std::wstring(40000, L'y').c_str());
    char name[40];
    for (int i = 0; i < 2000; ++i) {
        std::snprintf(name, sizeof name, "exercise.%d", i);
        V_SIFind(name);
        if (i < 200) VSYST_DIManager::add("Exercise", name, "one\ntwo\nthree", &clientDump);
    }
}
