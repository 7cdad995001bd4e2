// Load and unload entry of OrvCore_Rudaru20.dll. The C run-time has built the
// library's static objects before attach and destroys them after detach.
#include "dllmain/OrvRuntimeInternal.h"

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        orv::diagStartup();
        break;
    case DLL_PROCESS_DETACH:
        orv::diagShutdown();
        break;
    default:
        break;
    }
    return TRUE;
}
