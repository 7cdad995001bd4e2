// VSYST_DLL: the registry of modules loaded on demand, and its exceptions.
#include "VSYST_DLL.h"
#include "VSYST_DumpStream.h"
#include "diag/orv_diag_internal.h"
#include "system/orv_system_internal.h"

#include <windows.h>

namespace {

// Entries are created and looked up from any thread; the list object itself
// lives from library load to unload (dllmain/OrvStatics.cpp).
class ListGuard {
public:
    explicit ListGuard(_vsyst_DLLList& list) : m_lock(list.listLock) { AcquireSRWLockExclusive(&m_lock); }
    ~ListGuard() { ReleaseSRWLockExclusive(&m_lock); }
    ListGuard(const ListGuard&) = delete;
    ListGuard& operator=(const ListGuard&) = delete;
private:
    SRWLOCK& m_lock;
};

class LoadGuard {
public:
    explicit LoadGuard(_vsyst_DLLList& list) : m_lock(list.loadLock) { EnterCriticalSection(&m_lock); }
    ~LoadGuard() { LeaveCriticalSection(&m_lock); }
    LoadGuard(const LoadGuard&) = delete;
    LoadGuard& operator=(const LoadGuard&) = delete;
private:
    CRITICAL_SECTION& m_lock;
};

VSYST_DLL* findIn(const std::vector<VSYST_DLL*>& entries, const V_STRING& name)
{
    for (VSYST_DLL* dll : entries)
        if (dll->getName().length() == name.length() && dll->getName() == name) return dll;
    return nullptr;
}

// The report of both DLL exceptions; code is the loader's error, taken before
// anything else could change the thread's last error.
void reportDLLFailure(VSYST_DumpStream& s, const char* what, const V_STRING& name, DWORD code)
{
    char reason[261];
    orv::systemErrorText(code, reason, sizeof reason);
    s << "!E      Can't " << what << " the DLL " << name << " !\n";
    s << "        GetLastError() returns error \"" << reason << "\"\n";
}

}  // namespace

// ---- entries ----------------------------------------------------------------

VSYST_DLL::VSYST_DLL(const V_STRING& name) : m_name(name), m_module(nullptr), m_lockCount(0) {}

VSYST_DLL::~VSYST_DLL() {}

VSYST_DLL* VSYST_DLL::create(const V_STRING& name)
{
    ListGuard guard(*s_setOfDLLs);
    VSYST_DLL* dll = findIn(s_setOfDLLs->entries, name);
    if (dll) return dll;
    dll = new VSYST_DLL(name);
    try {
        s_setOfDLLs->entries.push_back(dll);
    } catch (...) {
        delete dll;
        throw;
    }
    return dll;
}

VSYST_DLL* VSYST_DLL::lookUp(const V_STRING& name)
{
    ListGuard guard(*s_setOfDLLs);
    return findIn(s_setOfDLLs->entries, name);
}

void VSYST_DLL::add(VSYST_DLL* dll)
{
    ListGuard guard(*s_setOfDLLs);
    s_setOfDLLs->entries.push_back(dll);
}

void VSYST_DLL::atExit()
{
    std::vector<VSYST_DLL*> entries;
    {
        ListGuard guard(*s_setOfDLLs);
        entries.swap(s_setOfDLLs->entries);
    }
    for (VSYST_DLL* dll : entries) delete dll;
}

bool VSYST_DLL::isLoaded() const
{
    LoadGuard guard(*s_setOfDLLs);
    return m_module != nullptr;
}

bool VSYST_DLL::isUnloadable() const
{
    LoadGuard guard(*s_setOfDLLs);
    return m_module != nullptr && m_lockCount == 0;
}

bool VSYST_DLL::loadDLLifNotLoaded()
{
    DWORD code;
    {
        LoadGuard guard(*s_setOfDLLs);
        if (m_module) return false;
        m_module = LoadLibraryA(m_name.data());
        if (m_module) return true;
        code = GetLastError();
    }
    SetLastError(code);
    throw VSYST_LoadingDLLException(m_name);
}

bool VSYST_DLL::unloadDLLifLoaded()
{
    DWORD code;
    {
        LoadGuard guard(*s_setOfDLLs);
        if (!m_module || m_lockCount > 0) return false;
        if (FreeLibrary(m_module)) {
            m_module = nullptr;
            return true;
        }
        code = GetLastError();
    }
    SetLastError(code);
    throw VSYST_UnloadingDLLException(m_name);
}

// Under the load lock, so that no lock slips in between an unload's check and FreeLibrary.
void VSYST_DLL::lockDLL()
{
    LoadGuard guard(*s_setOfDLLs);
    ++m_lockCount;
}

void VSYST_DLL::unlockDLL()
{
    LoadGuard guard(*s_setOfDLLs);
    --m_lockCount;
}

// ---- the lock guard ---------------------------------------------------------

VSYST_LockDLL::VSYST_LockDLL(VSYST_DLL* dll) : m_dll(dll)
{
    if (m_dll) m_dll->lockDLL();
}

VSYST_LockDLL::~VSYST_LockDLL()
{
    if (m_dll) m_dll->unlockDLL();
}

// ---- exceptions -------------------------------------------------------------

VSYST_LoadingDLLException::VSYST_LoadingDLLException(const V_STRING& name)
{
    const DWORD code = GetLastError();
    displayStart();
    reportDLLFailure(dumpStream(), "load", name, code);
    displayEnd();
}

VSYST_LoadingDLLException::~VSYST_LoadingDLLException() {}

VSYST_UnloadingDLLException::VSYST_UnloadingDLLException(const V_STRING& name)
{
    const DWORD code = GetLastError();
    displayStart();
    reportDLLFailure(dumpStream(), "unload", name, code);
    displayEnd();
}

VSYST_UnloadingDLLException::~VSYST_UnloadingDLLException() {}
