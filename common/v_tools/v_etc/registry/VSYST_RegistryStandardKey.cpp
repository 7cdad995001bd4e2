// The platform's standard keys and the per-application basic key name.
#include "VSYST_RegistryKey.h"
#include "VSYST_VersionInfo.h"
#include "V_CapsulatedPointer.h"

#include <windows.h>

namespace {

struct StandardKey {
    VSYST_RegistryStandardKey key;
    VSYST_RegistryRootKey root;
    const char* prefix;   // before the basic key name, or the whole path
    bool basic;           // the basic key name follows the prefix
    const char* suffix;
};

const StandardKey kStandardKeys[] = {
    {VSYST_RSK_LocalMachineCompany, VSYST_RegLocalMachine, "Software\\Brakmar", false, ""},
    {VSYST_RSK_LocalMachineBase, VSYST_RegLocalMachine, "", true, ""},
    {VSYST_RSK_LocalMachineSettings, VSYST_RegLocalMachine, "", true, "\\Settings"},
    {VSYST_RSK_DefaultUserBase, VSYST_RegUsers, ".DEFAULT\\", true, ""},
    {VSYST_RSK_DefaultUserSettings, VSYST_RegUsers, ".DEFAULT\\", true, "\\Settings"},
    {VSYST_RSK_CurrentUserCompany, VSYST_RegCurrentUser, "Software\\Brakmar", false, ""},
    {VSYST_RSK_CurrentUserBase, VSYST_RegCurrentUser, "", true, ""},
    {VSYST_RSK_CurrentUserSession, VSYST_RegCurrentUser, "", true, "\\Session"},
    {VSYST_RSK_CurrentUserSettings, VSYST_RegCurrentUser, "", true, "\\Settings"},
    {VSYST_RSK_LocalMachinePlatform, VSYST_RegLocalMachine, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", false, ""},
    {VSYST_RSK_CurrentUserPlatform, VSYST_RegCurrentUser, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", false, ""},
    {VSYST_RSK_LocalMachineExplorer, VSYST_RegLocalMachine, "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Explorer",
     false, ""},
    {VSYST_RSK_CurrentUserExplorer, VSYST_RegCurrentUser, "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Explorer",
     false, ""},
    {VSYST_RSK_CurrentUserExplorerSettings, VSYST_RegCurrentUser,
     "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Explorer\\Settings", false, ""},
};

const unsigned kSoftwarePrefixLength = 9;   // "Software\\"

// Constant-initialised: usable from any static initialiser of the library,
// whatever the order of the source files.
V_CapsulatedPointer<V_STRING> s_basicKeyName;
V_CapsulatedPointer<V_STRING> s_nonSpecificRegBase;
HINSTANCE s_regBaseModule = nullptr;

const V_STRING& basicKeyName()
{
    if (!s_basicKeyName) {
        V_STRING name("Software\\");
        if (s_nonSpecificRegBase && !s_nonSpecificRegBase->isEmpty()) {
            name = *s_nonSpecificRegBase;
        } else if (s_regBaseModule) {
            VSYST_VersionInfo info(s_regBaseModule, true);
            name += info.getRegBaseVersion('\\');
        } else {
            VSYST_VersionInfo info(true);
            name += info.getRegBaseVersion('\\');
        }
        s_basicKeyName.reset(new V_STRING(name));
    }
    return *s_basicKeyName;
}

HKEY rootHandle(VSYST_RegistryRootKey root)
{
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

}  // namespace

VSYST_RegistryKey::VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create) : m_key(nullptr), m_mutex(nullptr)
{
    createRSK(key, create, false, nullptr, VSYST_RegReadWrite);
}

VSYST_RegistryKey::VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create, VSYST_RegistryAccess access)
    : m_key(nullptr), m_mutex(nullptr)
{
    createRSK(key, create, false, nullptr, access);
}

VSYST_RegistryKey::VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create, const V_STRING* sub)
    : m_key(nullptr), m_mutex(nullptr)
{
    createRSK(key, create, sub != nullptr, sub, VSYST_RegReadWrite);
}

VSYST_RegistryKey::VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create, const V_STRING* sub,
                                     VSYST_RegistryAccess access)
    : m_key(nullptr), m_mutex(nullptr)
{
    createRSK(key, create, sub != nullptr, sub, access);
}

VSYST_RegistryKey::VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create, const V_STRING& sub)
    : m_key(nullptr), m_mutex(nullptr)
{
    createRSK(key, create, true, &sub, VSYST_RegReadWrite);
}

VSYST_RegistryKey::VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create, const V_STRING& sub,
                                     VSYST_RegistryAccess access)
    : m_key(nullptr), m_mutex(nullptr)
{
    createRSK(key, create, true, &sub, access);
}

void VSYST_RegistryKey::createRSK(VSYST_RegistryStandardKey key, bool create, bool hasSub, const V_STRING* sub,
                                  VSYST_RegistryAccess access)
{
    const V_STRING& basic = basicKeyName();
    const StandardKey* entry = nullptr;
    for (const StandardKey& k : kStandardKeys)
        if (k.key == key) entry = &k;
    if (!entry) return;   // no root: the key stays invalid

    V_STRING path(entry->prefix);
    if (entry->basic) path += basic;
    path += entry->suffix;
    if (hasSub && sub) {
        path += "\\";
        path += *sub;
    }
    openSubKey(rootHandle(entry->root), path.data(), create, access);
}

V_STRING VSYST_RegistryKey::getBasicKeyName()
{
    return basicKeyName();
}

V_STRING VSYST_RegistryKey::getBasicKeyNameSoftware()
{
    const V_STRING& name = basicKeyName();
    // A non-specific base shorter than "Software\" has nothing after it.
    if (name.length() <= kSoftwarePrefixLength) return V_STRING();
    return name.substr(kSoftwarePrefixLength);
}

void VSYST_RegistryKey::setNonSpecificRegBase(const char* path)
{
    if (!path) return;
    s_nonSpecificRegBase.reset(new V_STRING(path));
    s_basicKeyName.reset();
    s_regBaseModule = nullptr;
}

HINSTANCE VSYST_RegistryKey::setNonSpecificRegBaseModule(HINSTANCE module, bool force)
{
    HINSTANCE previous = s_regBaseModule;
    if (force) {
        s_basicKeyName.reset();
        s_regBaseModule = module;
    } else if (!s_basicKeyName && !s_regBaseModule) {
        s_regBaseModule = module;
    }
    return previous;
}
