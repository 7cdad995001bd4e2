// The process-wide global interface table.
#include "VCOM_Helpers.h"

#include <windows.h>

namespace {

// All zero before any code runs, so the table is usable from static initialisers.
IGlobalInterfaceTable* s_git = nullptr;
CRITICAL_SECTION s_gitLock;
long s_gitLockState = 0;   // 0 none, 1 being set up, 2 ready

const CLSID kStdGlobalInterfaceTable = {0x00000323, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIGlobalInterfaceTable = {0x00000146, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

void ensureLock()
{
    if (__atomic_load_n(&s_gitLockState, __ATOMIC_ACQUIRE) == 2) return;
    long expected = 0;
    if (__atomic_compare_exchange_n(&s_gitLockState, &expected, 1L, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        InitializeCriticalSection(&s_gitLock);
        __atomic_store_n(&s_gitLockState, 2L, __ATOMIC_RELEASE);
        return;
    }
    while (__atomic_load_n(&s_gitLockState, __ATOMIC_ACQUIRE) != 2) SwitchToThread();
}

}  // namespace

IGlobalInterfaceTable* VCOM_GlobalGit_InternalUseOnly()
{
    ensureLock();
    HRESULT hr = S_OK;
    EnterCriticalSection(&s_gitLock);
    if (!s_git)
        hr = CoCreateInstance(kStdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, kIGlobalInterfaceTable,
                              reinterpret_cast<void**>(&s_git));
    IGlobalInterfaceTable* git = s_git;
    LeaveCriticalSection(&s_gitLock);
    if (FAILED(hr)) throw VCOM_Exception(hr);
    return git;
}

long VCOM_GlobalGit_Revoke(unsigned long cookie)
{
    // A cookie can only come from an existing table; without one there is nothing to revoke.
    IGlobalInterfaceTable* git = __atomic_load_n(&s_git, __ATOMIC_ACQUIRE);
    if (!git) return E_UNEXPECTED;
    return git->RevokeInterfaceFromGlobal(cookie);
}

void VCOM_GlobalGit_Exit()
{
    if (s_git) {
        s_git->Release();
        s_git = nullptr;
    }
    if (__atomic_load_n(&s_gitLockState, __ATOMIC_ACQUIRE) == 2) {
        DeleteCriticalSection(&s_gitLock);
        __atomic_store_n(&s_gitLockState, 0L, __ATOMIC_RELEASE);
    }
}
