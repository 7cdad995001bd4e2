// Run after all tests: fails when a test left registry keys behind. The empty
// platform key that opening the standard log creates by design is removed first.
#include "support/OrvTestSupport.h"

#include <windows.h>

#include <cstdio>

int main()
{
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 2);
    struct Place { HKEY root; const char* rootName; const char* path; };
    const Place places[] = {
        {HKEY_CURRENT_USER, "HKCU", "Software\\OrvCoreTest"},
        {HKEY_CURRENT_USER, "HKCU", "Software\\Brakmar"},
        {HKEY_LOCAL_MACHINE, "HKLM", "Software\\OrvCoreTest"},
        {HKEY_LOCAL_MACHINE, "HKLM", "Software\\Brakmar"},
        {HKEY_USERS, "HKU", ".DEFAULT\\Software\\OrvCoreTest"},
        {HKEY_USERS, "HKU", ".DEFAULT\\Software\\Brakmar"},
    };
    int left = 0;
    for (const Place& p : places) {
        HKEY k;
        if (RegOpenKeyExA(p.root, p.path, 0, KEY_READ, &k) == ERROR_SUCCESS) {
            std::printf("left behind: %s\\%s\n", p.rootName, p.path);
            RegCloseKey(k);
            ++left;
        }
    }
    if (!left) std::printf("no registry keys left behind\n");
    return left ? 1 : 0;
}
