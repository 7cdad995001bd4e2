/* Modules for the DLL registry tests. Built twice: ORV_FAIL_ATTACH makes the
   entry point refuse the load. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
#ifdef ORV_FAIL_ATTACH
    if (reason == DLL_PROCESS_ATTACH) return FALSE;
#endif
    (void)reason;
    return TRUE;
}

__declspec(dllexport) int orv_dll_module_marker(void) { return 7; }
