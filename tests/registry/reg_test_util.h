// Independent access to the registry for the registry tests: the Win32 API
// directly, never through the library.
#ifndef ORV_REG_TEST_UTIL_H
#define ORV_REG_TEST_UTIL_H

#include "V_String.h"
#include "support/OrvTestSupport.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace regtest {

inline std::string text(const V_STRING& s) { return std::string(s.data(), s.length()); }

inline std::string bytes(std::initializer_list<int> list) { return std::string(list.begin(), list.end()); }

inline HKEY openRaw(HKEY root, const std::string& path)
{
    HKEY k = nullptr;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS ? k : nullptr;
}

inline bool keyExists(HKEY root, const std::string& path)
{
    HKEY k = openRaw(root, path);
    return k && RegCloseKey(k) == ERROR_SUCCESS;
}

// Whether a value (of at most 4 KB: the tests' are small) can be read; its type and bytes when asked for.
inline bool readRaw(HKEY root, const std::string& path, const std::string& name, DWORD* type = nullptr,
                    std::string* data = nullptr)
{
    char buf[4096];
    DWORD size = sizeof buf, t = 0;
    const bool ok = !RegGetValueA(root, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &t, buf, &size);
    if (type) *type = t;
    if (data) *data = std::string(buf, ok ? size : 0);
    return ok;
}

// Opens a key, creating it only when missing: Wine gives an existing key the
// class of a RegCreateKeyEx call, an empty one when none is passed.
inline HKEY openOrCreate(HKEY root, const std::string& path, const char* keyClass = nullptr)
{
    HKEY k = keyClass ? nullptr : openRaw(root, path);
    if (!k && RegCreateKeyExA(root, path.c_str(), 0, const_cast<char*>(keyClass), 0, KEY_ALL_ACCESS, nullptr, &k,
                              nullptr) != ERROR_SUCCESS)
        return nullptr;
    return k;
}

// The last name is created relative to its parent: Wine limits the length of
// the whole path given to one call.
inline bool createRaw(HKEY root, const std::string& path, const char* keyClass = nullptr)
{
    size_t cut = path.rfind('\\');
    HKEY parent = cut == std::string::npos ? root : openOrCreate(root, path.substr(0, cut));
    HKEY k = parent ? openOrCreate(parent, path.substr(cut + 1), keyClass) : nullptr;
    if (parent && parent != root) RegCloseKey(parent);
    return k && RegCloseKey(k) == ERROR_SUCCESS;
}

// Creates the key when missing; under Wine that also clears an existing key's class.
inline bool writeRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& data)
{
    return RegSetKeyValueA(root, path.c_str(), name.c_str(), type, data.data(), DWORD(data.size())) == ERROR_SUCCESS;
}

inline bool handleOpen(HKEY k)
{
    return RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr) == ERROR_SUCCESS;
}

inline std::string classOf(HKEY root, const std::string& path)
{
    HKEY k = openRaw(root, path);
    char buf[2048] = {0};
    DWORD n = sizeof buf - 1;
    if (k) RegQueryInfoKeyA(k, buf, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (k) RegCloseKey(k);
    return k ? buf : "<missing>";
}

// Names of the sub-keys or of the values of a key, sorted.
inline std::vector<std::string> namesIn(HKEY root, const std::string& path, bool subKeys)
{
    std::vector<std::string> names;
    HKEY k = openRaw(root, path);
    char buf[512];
    for (DWORD i = 0, n = sizeof buf; k; ++i, n = sizeof buf) {
        if ((subKeys ? RegEnumKeyExA(k, i, buf, &n, nullptr, nullptr, nullptr, nullptr)
                     : RegEnumValueA(k, i, buf, &n, nullptr, nullptr, nullptr, nullptr)) != ERROR_SUCCESS)
            break;
        names.push_back(buf);
    }
    if (k) RegCloseKey(k);
    std::sort(names.begin(), names.end());
    return names;
}

// A private test key to which HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and
// HKEY_USERS of this process lead (its sub-keys cu, lm and u) while it lives.
struct RootOverride {
    explicit RootOverride(const char* name) : tk(name)
    {
        const char* names[3] = {"cu", "lm", "u"};
        for (int i = 0; i < 3; ++i) {
            keys[i] = openOrCreate(tk.handle(), names[i]);
            ok = keys[i] && RegOverridePredefKey(roots[i], keys[i]) == ERROR_SUCCESS && ok;
        }
    }
    ~RootOverride()
    {
        for (int i = 0; i < 3; ++i) {
            RegOverridePredefKey(roots[i], nullptr);
            if (keys[i]) RegCloseKey(keys[i]);
        }
    }
    // Where a redirected root really is.
    HKEY of(HKEY root) const { return keys[std::find(roots, roots + 3, root) - roots]; }
    orvtest::TestRegKey tk;
    const HKEY roots[3] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    HKEY keys[3] = {};
    bool ok = true;
};

}  // namespace regtest

#endif
