// Internal parts of the operating-system services: the DLL list that the
// ordered statics create, and path helpers exported for the library's own
// tests only (clients do not get this header).
#ifndef ORV_SYSTEM_INTERNAL_H
#define ORV_SYSTEM_INTERNAL_H

#include "OrvCoreDefs.h"
#include "V_String.h"

#include <windows.h>

#include <vector>

class VSYST_DLL;

// The registry of VSYST_DLL entries. listLock guards entries; loadLock
// (re-entrant) serialises loading and unloading and is never taken while
// listLock is held, so that a module's entry point may create entries.
struct _vsyst_DLLList {
    std::vector<VSYST_DLL*> entries;
    SRWLOCK listLock;
    CRITICAL_SECTION loadLock;
    _vsyst_DLLList() { InitializeSRWLock(&listLock); InitializeCriticalSection(&loadLock); }
    ~_vsyst_DLLList() { DeleteCriticalSection(&loadLock); }
    _vsyst_DLLList(const _vsyst_DLLList&) = delete;
    _vsyst_DLLList& operator=(const _vsyst_DLLList&) = delete;
};

namespace VSYST_Pathes {

// Creates the folder and its missing parents; true when it exists afterwards.
// A failed creation is logged with the system's reason.
ORVCORE_API bool EnsureThatDirectoryExists(const char* path);

}  // namespace VSYST_Pathes

#endif
