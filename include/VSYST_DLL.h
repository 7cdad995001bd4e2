// VSYST_DLL.h - the process-wide registry of modules loaded on demand
// (VSYST_DLL, one entry per module name, unloaded only while nobody holds a
// lock), the lock guard VSYST_LockDLL, and the exceptions for modules that the
// system cannot load or unload.
#ifndef VSYST_DLL_H
#define VSYST_DLL_H

#include "OrvCoreDefs.h"
#include "V_CapsulatedPointer.h"
#include "V_Exception.h"
#include "V_String.h"

#include <windef.h>   // HMODULE

struct _vsyst_DLLList;

// A module known by name. Entries belong to the registry: callers never delete
// them; VSYST_DLL::atExit (the library's exit handler of priority 32000)
// destroys them all and empties the registry, leaving the modules loaded.
// Thread safety: the list is guarded by a lock of its own (create, lookUp, add
// and atExit may run on any thread). Loading, unloading, locking and the state
// queries share a second, re-entrant lock, never held together with the list
// lock, so a module's entry point may create entries (and load others).
class ORVCORE_API VSYST_DLL {
public:
    // The entry for name (byte for byte, case counts): the existing one or a new,
    // unloaded one with lock count 0.
    static VSYST_DLL* create(const V_STRING& name);
    // Destroys every entry; afterwards the registry is empty and create makes new ones.
    static void atExit();

    virtual ~VSYST_DLL();   // deletes the name; the module stays loaded

    const V_STRING& getName() const { return m_name; }
    bool isLoaded() const;
    bool isUnloadable() const;   // loaded and lock count exactly 0

    // false when already loaded; true when LoadLibrary succeeded; otherwise
    // throws VSYST_LoadingDLLException and the entry stays unloaded.
    bool loadDLLifNotLoaded();
    // false when not loaded or locked (count above 0); true when FreeLibrary
    // succeeded; otherwise throws VSYST_UnloadingDLLException, module kept.
    bool unloadDLLifLoaded();
    void lockDLL();     // lock count + 1
    void unlockDLL();   // lock count - 1, no lower bound

protected:
    explicit VSYST_DLL(const V_STRING& name);
    static VSYST_DLL* lookUp(const V_STRING& name);   // the first entry with the name, or null
    static void add(VSYST_DLL* dll);                  // appends to the list

private:
    VSYST_DLL(const VSYST_DLL&) = delete;
    VSYST_DLL& operator=(const VSYST_DLL&) = delete;

    V_STRING m_name;
    HMODULE m_module;    // both under the load lock
    long m_lockCount;

    // The list in creation order; created at library load, its destructor at
    // unload frees the list only.
    static V_CapsulatedPointer<_vsyst_DLLList> s_setOfDLLs;
};

// Holds one lock on an entry for its lifetime; a null entry is ignored.
class ORVCORE_API VSYST_LockDLL {
public:
    explicit VSYST_LockDLL(VSYST_DLL* dll);
    ~VSYST_LockDLL();
private:
    VSYST_LockDLL(const VSYST_LockDLL&) = delete;
    VSYST_LockDLL& operator=(const VSYST_LockDLL&) = delete;
    VSYST_DLL* m_dll;
};

// LoadLibrary failed. The report names the module and the system's reason.
class ORVCORE_API VSYST_LoadingDLLException : public V_Exception {
public:
    explicit VSYST_LoadingDLLException(const V_STRING& name);
    VSYST_LoadingDLLException(const VSYST_LoadingDLLException& other) = default;
    VSYST_LoadingDLLException& operator=(const VSYST_LoadingDLLException& other) = default;
    virtual ~VSYST_LoadingDLLException();
};

// FreeLibrary failed. The report names the module and the system's reason.
class ORVCORE_API VSYST_UnloadingDLLException : public V_Exception {
public:
    explicit VSYST_UnloadingDLLException(const V_STRING& name);
    VSYST_UnloadingDLLException(const VSYST_UnloadingDLLException& other) = default;
    VSYST_UnloadingDLLException& operator=(const VSYST_UnloadingDLLException& other) = default;
    virtual ~VSYST_UnloadingDLLException();
};

#endif
