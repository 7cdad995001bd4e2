// Run after all tests: fails when a test left registry keys behind. The empty
// platform key that opening the standard log creates by design is removed first.
#include "support/OrvTestSupport.h"

#include <windows.h>

#include <cstdio>

int main()
{
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 2);
    const struct { HKEY root; const char* rootName; const char* below; } roots[] = {
        {HKEY_CURRENT_USER, "HKCU", ""}, {HKEY_LOCAL_MACHINE, "HKLM", ""}, {HKEY_USERS, "HKU", ".DEFAULT\\"}};
    int left = 0;
    for (const auto& r : roots) {
        for (const char* name : {"Software\\OrvCoreTest", "Software\\Brakmar"}) {
            const std::string path = std::string(r.below) + name;
            HKEY k;
            if (RegOpenKeyExA(r.root, path.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS) {
                std::printf("left behind: %s\\%s\n", r.rootName, path.c_str());
                RegCloseKey(k);
                ++left;
            }
        }
    }
    if (!left) std::printf("no registry keys left behind\n");
    return left ? 1 : 0;
}
