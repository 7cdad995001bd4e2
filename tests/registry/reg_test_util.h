// Independent access to the registry for the registry tests: the Win32 API
// directly, never through the library.
#ifndef ORV_REG_TEST_UTIL_H
#define ORV_REG_TEST_UTIL_H

#include "V_String.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace regtest {

inline std::string text(const V_STRING& s) { return std::string(s.data(), s.length()); }

inline std::string bytes(std::initializer_list<int> list)
{
    std::string b;
    for (int c : list) b += static_cast<char>(c);
    return b;
}

inline HKEY openRaw(HKEY root, const std::string& path)
{
    HKEY k = nullptr;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS ? k : nullptr;
}

inline bool keyExists(HKEY root, const std::string& path)
{
    HKEY k = openRaw(root, path);
    if (k) RegCloseKey(k);
    return k != nullptr;
}

// Whether a value can be read; its type and bytes when asked for.
inline bool readRaw(HKEY root, const std::string& path, const std::string& name, DWORD* type = nullptr,
                    std::string* data = nullptr)
{
    HKEY k = openRaw(root, path);
    if (!k) return false;
    DWORD size = 0, t = 0;
    LONG rc = RegQueryValueExA(k, name.c_str(), nullptr, &t, nullptr, &size);
    std::vector<unsigned char> buf(size + 1);
    if (rc == ERROR_SUCCESS) rc = RegQueryValueExA(k, name.c_str(), nullptr, &t, buf.data(), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS) return false;
    if (type) *type = t;
    if (data) data->assign(reinterpret_cast<const char*>(buf.data()), size);
    return true;
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
    if (k) RegCloseKey(k);
    return k != nullptr;
}

inline bool writeRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& data)
{
    HKEY k = openOrCreate(root, path);
    if (!k) return false;
    LONG rc = RegSetValueExA(k, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size()));
    RegCloseKey(k);
    return rc == ERROR_SUCCESS;
}

// Whether a handle is still open.
inline bool handleOpen(HKEY k)
{
    DWORD n = 0;
    return RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr) == ERROR_SUCCESS;
}

inline std::string classOf(HKEY root, const std::string& path)
{
    HKEY k = openRaw(root, path);
    if (!k) return "<missing>";
    char buf[2048] = {0};
    DWORD n = sizeof buf - 1;
    RegQueryInfoKeyA(k, buf, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(k);
    return buf;
}

// Names of the sub-keys or of the values of a key, sorted or in the registry's own order.
inline std::vector<std::string> namesIn(HKEY root, const std::string& path, bool subKeys, bool sorted = true)
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
    if (sorted) std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<std::string> valueNames(HKEY root, const std::string& path) { return namesIn(root, path, false); }
inline std::vector<std::string> subKeyNames(HKEY root, const std::string& path) { return namesIn(root, path, true); }

}  // namespace regtest

#endif
