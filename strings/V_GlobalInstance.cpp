// _vsyst_GI: the counted guard of the process-wide registries.
#include "V_StringPool.h"
#include "VSYST_DIManager.h"
#include "dllmain/OrvLock.h"
#include "dllmain/OrvRuntimeInternal.h"

unsigned long _vsyst_GI::s_count = 0;

namespace {
// Guards s_count with the set-up and take-down it triggers.
orv::Lock s_giLock;
}  // namespace

_vsyst_GI::_vsyst_GI()
{
    orv::Locked locked(s_giLock);
    if (++s_count != 1) return;
    try {
        setUp();
    } catch (...) {
        --s_count;
        throw;
    }
}

_vsyst_GI::~_vsyst_GI()
{
    orv::Locked locked(s_giLock);
    if (s_count == 0) return;
    if (--s_count == 0) takeDown();
}

void _vsyst_GI::setUp()
{
    VSYST_DIManager::createRoot();
    VSYST_DIManager::add("System", "Dump string pool data", "char based strings\nwchar_t based strings\nstart tracing\nstop tracing",
                         &orv::poolDumpCallback);
    orv::siCreateTable();
}

void _vsyst_GI::takeDown()
{
    orv::siReleaseTable();
    V_StringPool_CHAR::exitPool();
    V_StringPool_WCHAR::exitPool();
    VSYST_DIManager::destroyRoot();
}
