// orvtool reg: registry values and keys through VSYST_RegistryKey, addressed
// by standard key name or by root path; and the tour step that shows the
// running executable's basic key name.
#include "orvtool.h"

#include "VSYST_RegistryKey.h"
#include "VSYST_VersionInfo.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct StandardKeyName {
    const char* name;
    VSYST_RegistryStandardKey key;
    VSYST_RegistryRootKey root;
    const char* prefix;   // before the basic key name, or the whole path
    bool basic;
    const char* suffix;
};

const StandardKeyName kStandardKeys[] = {
    {"LocalMachineCompany", VSYST_RSK_LocalMachineCompany, VSYST_RegLocalMachine, "Software\\Brakmar", false, ""},
    {"LocalMachineBase", VSYST_RSK_LocalMachineBase, VSYST_RegLocalMachine, "", true, ""},
    {"LocalMachineSettings", VSYST_RSK_LocalMachineSettings, VSYST_RegLocalMachine, "", true, "\\Settings"},
    {"DefaultUserBase", VSYST_RSK_DefaultUserBase, VSYST_RegUsers, ".DEFAULT\\", true, ""},
    {"DefaultUserSettings", VSYST_RSK_DefaultUserSettings, VSYST_RegUsers, ".DEFAULT\\", true, "\\Settings"},
    {"CurrentUserCompany", VSYST_RSK_CurrentUserCompany, VSYST_RegCurrentUser, "Software\\Brakmar", false, ""},
    {"CurrentUserBase", VSYST_RSK_CurrentUserBase, VSYST_RegCurrentUser, "", true, ""},
    {"CurrentUserSession", VSYST_RSK_CurrentUserSession, VSYST_RegCurrentUser, "", true, "\\Session"},
    {"CurrentUserSettings", VSYST_RSK_CurrentUserSettings, VSYST_RegCurrentUser, "", true, "\\Settings"},
    {"LocalMachinePlatform", VSYST_RSK_LocalMachinePlatform, VSYST_RegLocalMachine,
     "Software\\Brakmar\\T.R.I.O.N.(R) Platform", false, ""},
    {"CurrentUserPlatform", VSYST_RSK_CurrentUserPlatform, VSYST_RegCurrentUser,
     "Software\\Brakmar\\T.R.I.O.N.(R) Platform", false, ""},
    {"LocalMachineExplorer", VSYST_RSK_LocalMachineExplorer, VSYST_RegLocalMachine,
     "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Explorer", false, ""},
    {"CurrentUserExplorer", VSYST_RSK_CurrentUserExplorer, VSYST_RegCurrentUser,
     "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Explorer", false, ""},
    {"CurrentUserExplorerSettings", VSYST_RSK_CurrentUserExplorerSettings, VSYST_RegCurrentUser,
     "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Explorer\\Settings", false, ""},
};

struct RootName {
    const char* shortName;
    const char* longName;
    VSYST_RegistryRootKey root;
};

const RootName kRoots[] = {
    {"HKCU", "HKEY_CURRENT_USER", VSYST_RegCurrentUser},
    {"HKLM", "HKEY_LOCAL_MACHINE", VSYST_RegLocalMachine},
    {"HKU", "HKEY_USERS", VSYST_RegUsers},
    {"HKCR", "HKEY_CLASSES_ROOT", VSYST_RegClassesRoot},
};

const char* rootText(VSYST_RegistryRootKey root)
{
    for (const RootName& r : kRoots)
        if (r.root == root) return r.longName;
    return "?";
}

// A key given on the command line: a standard key (with an optional path
// below it) or a root with a path.
struct KeySpec {
    const StandardKeyName* standard = nullptr;
    VSYST_RegistryRootKey root = VSYST_RegCurrentUser;
    std::string sub;    // below the standard key or the root
    std::string path;   // full path below the root

    std::string display() const { return std::string(rootText(root)) + (path.empty() ? "" : "\\" + path); }

    VSYST_RegistryKey open(bool create, VSYST_RegistryAccess access) const
    {
        if (standard) {
            if (sub.empty()) return VSYST_RegistryKey(standard->key, create, access);
            return VSYST_RegistryKey(standard->key, create, V_STRING(sub.c_str()), access);
        }
        if (path.empty()) return VSYST_RegistryKey(root, access);
        return VSYST_RegistryKey(VSYST_RegistryKey(root, VSYST_RegReadOnly), path.c_str(), create, access);
    }
};

bool equalsNoCase(const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; }

bool parseKey(const std::string& text, KeySpec& spec)
{
    size_t cut = text.find('\\');
    std::string head = text.substr(0, cut);
    std::string rest = cut == std::string::npos ? "" : text.substr(cut + 1);
    while (!rest.empty() && rest.back() == '\\') rest.pop_back();
    for (const RootName& r : kRoots) {
        if (equalsNoCase(head, r.shortName) || equalsNoCase(head, r.longName)) {
            spec.root = r.root;
            spec.path = spec.sub = rest;
            return true;
        }
    }
    if (head.compare(0, 10, "VSYST_RSK_") == 0) head = head.substr(10);
    for (const StandardKeyName& k : kStandardKeys) {
        if (!equalsNoCase(head, k.name)) continue;
        spec.standard = &k;
        spec.root = k.root;
        spec.sub = rest;
        spec.path = k.prefix;
        if (k.basic) spec.path += VSYST_RegistryKey::getBasicKeyName().data();
        spec.path += k.suffix;
        if (!rest.empty()) spec.path += "\\" + rest;
        return true;
    }
    return false;
}

std::string text(const V_STRING& s) { return std::string(s.data(), s.length()); }

std::string hexText(const unsigned char* data, unsigned long size)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned long i = 0; i < size; ++i) {
        out += kHex[data[i] >> 4];
        out += kHex[data[i] & 0xF];
    }
    return out;
}

bool parseHex(const std::string& text, std::vector<unsigned char>& out)
{
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char* end = nullptr;
        if (!isxdigit(static_cast<unsigned char>(pair[0])) || !isxdigit(static_cast<unsigned char>(pair[1])))
            return false;
        out.push_back(static_cast<unsigned char>(std::strtoul(pair, &end, 16)));
    }
    return true;
}

const char* kindName(VSYST_RegistryValueType type)
{
    switch (type) {
    case VSYST_RegValInt: return "int";
    case VSYST_RegValString: return "string";
    case VSYST_RegValFloat: return "float";
    case VSYST_RegValBinary: return "binary";
    case VSYST_RegValOther: return "other";
    default: return "none";
    }
}

// The value decoded as the library reads it; false when it is none of the library's kinds.
bool decode(const VSYST_RegistryKey& key, const V_STRING& name, bool expand, std::string& out)
{
    bool ok = false;
    switch (key.getTypeOf(name)) {
    case VSYST_RegValString: {
        V_STRING value = expand ? key.getEnvStringValue(name, ok) : key.getStringValue(name, ok);
        if (!ok) value = key.getEnvStringValue(name, ok);   // REG_EXPAND_SZ reads only expanded
        out = text(value);
        return ok;
    }
    case VSYST_RegValInt:
        out = std::to_string(key.getIntValue(name, ok));
        return ok;
    case VSYST_RegValFloat: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", key.getFloatValue(name, ok));
        out = buf;
        return ok;
    }
    case VSYST_RegValBinary: {
        unsigned long size = 0;
        key.getBinaryValue(name, nullptr, &size);
        std::vector<unsigned char> data(size + 1);
        ok = key.getBinaryValue(name, data.data(), &size);
        out = hexText(data.data(), size);
        return ok;
    }
    default:
        return false;
    }
}

int keyError(const char* command, const std::string& key)
{
    return orvtool::usageError(command, "not a standard key name or root path: '" + key + "'");
}

int regGet(const orvtool::Args& args)
{
    if (args.size() < 3 || args.size() > 4 || (args.size() == 4 && args[3] != "--expand"))
        return orvtool::usageError("reg", "reg get takes KEY NAME [--expand]");
    KeySpec spec;
    if (!parseKey(args[1], spec)) return keyError("reg", args[1]);
    VSYST_RegistryKey key = spec.open(false, VSYST_RegReadOnly);
    if (!key.isValid()) {
        std::fprintf(stderr, "orvtool: no key %s\n", spec.display().c_str());
        return 1;
    }
    V_STRING name(args[2].c_str());
    VSYST_RegistryValueType type = key.getTypeOf(name);
    if (type == VSYST_RegValNone) {
        std::fprintf(stderr, "orvtool: no value '%s' in %s\n", args[2].c_str(), spec.display().c_str());
        return 1;
    }
    std::string value;
    if (!decode(key, name, args.size() == 4, value)) {
        std::fprintf(stderr, "orvtool: value '%s' is of none of the library's kinds\n", args[2].c_str());
        return 1;
    }
    std::printf("%s\n", value.c_str());
    return 0;
}

int regSet(const orvtool::Args& args)
{
    if (args.size() != 5) return orvtool::usageError("reg", "reg set takes KEY NAME KIND DATA");
    KeySpec spec;
    if (!parseKey(args[1], spec)) return keyError("reg", args[1]);
    const std::string& kind = args[3];
    const std::string& data = args[4];
    long number = 0;
    double real = 0.0;
    std::vector<unsigned char> bytes;
    char* end = nullptr;
    errno = 0;
    if (kind == "int") {
        long long v = std::strtoll(data.c_str(), &end, 0);
        if (data.empty() || *end || errno || v < -2147483648LL || v > 4294967295LL)
            return orvtool::usageError("reg", "int takes a 32-bit number: '" + data + "'");
        number = static_cast<long>(static_cast<int32_t>(static_cast<uint32_t>(v)));
    } else if (kind == "float") {
        real = std::strtod(data.c_str(), &end);
        if (data.empty() || *end) return orvtool::usageError("reg", "float takes a number: '" + data + "'");
    } else if (kind == "binary") {
        if (!parseHex(data, bytes)) return orvtool::usageError("reg", "binary takes pairs of hex digits: '" + data + "'");
    } else if (kind != "string" && kind != "envstring") {
        return orvtool::usageError("reg", "KIND is string, envstring, int, float or binary");
    }

    VSYST_RegistryKey key = spec.open(true, VSYST_RegReadWrite);
    if (!key.isValid()) {
        std::fprintf(stderr, "orvtool: cannot open or create %s\n", spec.display().c_str());
        return 1;
    }
    if (!key.setValuesBegin())
        std::fprintf(stderr, "orvtool: the registry writer lock is held elsewhere; writing without it\n");
    V_STRING name(args[2].c_str());
    bool ok;
    if (kind == "int") ok = key.setIntValue(name, number);
    else if (kind == "float") ok = key.setFloatValue(name, real);
    else if (kind == "binary") ok = key.setBinaryValue(name, bytes.data(), static_cast<unsigned long>(bytes.size()));
    else if (kind == "envstring") ok = key.setEnvStringValue(name, data.c_str());
    else ok = key.setStringValue(name, data.c_str());
    key.setValuesEnd();
    if (!ok) {
        std::fprintf(stderr, "orvtool: cannot write '%s' in %s\n", args[2].c_str(), spec.display().c_str());
        return 1;
    }
    return 0;
}

int regList(const orvtool::Args& args)
{
    if (args.size() != 2) return orvtool::usageError("reg", "reg list takes KEY");
    KeySpec spec;
    if (!parseKey(args[1], spec)) return keyError("reg", args[1]);
    VSYST_RegistryKey key = spec.open(false, VSYST_RegReadOnly);
    if (!key.isValid()) {
        std::fprintf(stderr, "orvtool: no key %s\n", spec.display().c_str());
        return 1;
    }
    std::printf("%s\n", spec.display().c_str());
    unsigned long index = 0;
    V_STRING name;
    while (!key.getKeyByIndex(index, name)) std::printf("key\t%s\n", name.data());

    // The library enumerates strings and integers only; names of all values come from the registry.
    HKEY raw = nullptr;
    HKEY rootKey = reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(spec.root)));
    if (RegOpenKeyExA(rootKey, spec.path.empty() ? nullptr : spec.path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS)
        return 1;
    for (DWORD i = 0;; ++i) {
        char buf[16384];
        DWORD length = sizeof buf;
        if (RegEnumValueA(raw, i, buf, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        V_STRING valueName(buf);
        VSYST_RegistryValueType type = key.getTypeOf(valueName);
        std::string value;
        decode(key, valueName, false, value);
        std::printf("value\t%s\t%s\t%s\n", buf[0] ? buf : "(default)", kindName(type), value.c_str());
    }
    if (raw != rootKey) RegCloseKey(raw);
    return 0;
}

int regCopy(const orvtool::Args& args)
{
    if (args.size() != 3) return orvtool::usageError("reg", "reg copy takes FROM TO");
    KeySpec from, to;
    if (!parseKey(args[1], from)) return keyError("reg", args[1]);
    if (!parseKey(args[2], to)) return keyError("reg", args[2]);
    VSYST_RegistryKey source = from.open(false, VSYST_RegReadOnly);
    if (!source.isValid()) {
        std::fprintf(stderr, "orvtool: no key %s\n", from.display().c_str());
        return 1;
    }
    VSYST_RegistryKey target = to.open(true, VSYST_RegReadWrite);
    if (!target.isValid()) {
        std::fprintf(stderr, "orvtool: cannot open or create %s\n", to.display().c_str());
        return 1;
    }
    if (!source.copyAllValuesAndSubKeysTo(target)) {
        std::fprintf(stderr, "orvtool: the copy to %s is incomplete\n", to.display().c_str());
        return 1;
    }
    return 0;
}

int regDelete(const orvtool::Args& args)
{
    if (args.size() < 2 || args.size() > 3) return orvtool::usageError("reg", "reg delete takes KEY [NAME]");
    KeySpec spec;
    if (!parseKey(args[1], spec)) return keyError("reg", args[1]);
    if (args.size() == 3) {
        VSYST_RegistryKey key = spec.open(false, VSYST_RegReadWrite);
        if (!key.deleteValue(args[2].c_str())) {
            std::fprintf(stderr, "orvtool: cannot delete '%s' in %s\n", args[2].c_str(), spec.display().c_str());
            return 1;
        }
        return 0;
    }
    // The key with everything below it, from its parent.
    if (spec.path.empty()) return orvtool::usageError("reg", "a root key cannot be deleted");
    size_t cut = spec.path.rfind('\\');
    std::string parentPath = cut == std::string::npos ? "" : spec.path.substr(0, cut);
    std::string leaf = cut == std::string::npos ? spec.path : spec.path.substr(cut + 1);
    VSYST_RegistryKey root(spec.root);
    VSYST_RegistryKey parent = parentPath.empty() ? root : VSYST_RegistryKey(root, parentPath.c_str(), false);
    if (!parent.deleteAllValuesAndSubKeys(leaf.c_str())) {
        std::fprintf(stderr, "orvtool: cannot delete %s\n", spec.display().c_str());
        return 1;
    }
    return 0;
}

int reg(const orvtool::Args& args)
{
    if (args.empty()) return orvtool::usageError("reg", "reg needs an action: get, set, list, copy or delete");
    const std::string& action = args[0];
    if (action == "get") return regGet(args);
    if (action == "set") return regSet(args);
    if (action == "list") return regList(args);
    if (action == "copy") return regCopy(args);
    if (action == "delete") return regDelete(args);
    return orvtool::usageError("reg", "unknown action '" + action + "'");
}

// Tour: where this executable keeps its settings.
int tourRegistryBase()
{
    VSYST_VersionInfo self(true);
    V_STRING basic = VSYST_RegistryKey::getBasicKeyName();
    std::printf("   registry base:      %s (%s), version %s\n", self.getRegBase().data(),
                self.isDefaultRegBase() ? "generic" : "from the version resource",
                self.getVersionString(VSYST_VersionInfo::VSF_MajorMinor).data());
    std::printf("   basic key name:     %s\n", basic.data());
    VSYST_RegistryKey settings(VSYST_RSK_CurrentUserSettings, false, VSYST_RegReadOnly);
    std::printf("   settings key:       HKEY_CURRENT_USER\\%s\\Settings (%s)\n", basic.data(),
                settings.isValid() ? "present" : "not present");
    if (settings.isValid()) std::printf("   settings values:    %ld\n", settings.getNumberOfValues());
    return basic == V_STRING("Software\\") + self.getRegBaseVersion('\\') ? 0 : 1;
}

}  // namespace

ORVTOOL_COMMAND(reg, "reg",
                "reg get KEY NAME [--expand] | set KEY NAME string|envstring|int|float|binary DATA | list KEY | "
                "copy FROM TO | delete KEY [NAME]",
                "read, write, list, copy and delete registry values and keys (KEY: a standard key such as "
                "CurrentUserSettings[\\sub] or a root path such as HKCU\\Software\\X)",
                reg);

ORVTOOL_TOUR_STEP(registry_base, 300, "Registry base of this executable", tourRegistryBase);
