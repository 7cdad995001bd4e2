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
struct KeyRef {
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

// The basic key name of another application ("Software\\<base>\\<major.minor>"),
// empty for this one.
std::string g_basicKey;

// Takes --app FILE.exe or --regbase BASE --version X.Y out of args.
// Returns 0, or the exit status of the error already reported.
int takeApplication(orvtool::Args& args)
{
    std::string app, base, version;
    orvtool::Args rest;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string* slot = args[i] == "--app" ? &app : args[i] == "--regbase" ? &base : args[i] == "--version" ? &version : nullptr;
        if (!slot) {
            rest.push_back(args[i]);
            continue;
        }
        if (i + 1 == args.size() || args[i + 1].empty()) return orvtool::usageError("reg", args[i] + " needs a value");
        *slot = args[++i];
    }
    args.swap(rest);
    if (!app.empty() && (!base.empty() || !version.empty()))
        return orvtool::usageError("reg", "--app and --regbase/--version exclude each other");
    if (base.empty() != version.empty()) return orvtool::usageError("reg", "--regbase and --version go together");
    if (!app.empty()) {
        if (GetFileAttributesA(app.c_str()) == INVALID_FILE_ATTRIBUTES)
            return orvtool::failure("cannot read " + app + ": " + orvtool::systemReason(GetLastError()));
        VSYST_VersionInfo info(app.c_str(), true);
        if (info.isDefaultRegBase())
            std::fprintf(stderr, "orvtool: %s has no registry base of its own; using the generic one\n", app.c_str());
        g_basicKey = std::string("Software\\") + info.getRegBaseVersion('\\').data();
    } else if (!base.empty()) {
        unsigned major = 0, minor = 0;
        char extra = 0;
        if (std::sscanf(version.c_str(), "%u.%u%c", &major, &minor, &extra) != 2 || version[0] == '+' || version[0] == '-')
            return orvtool::usageError("reg", "--version takes MAJOR.MINOR: '" + version + "'");
        while (!base.empty() && base.back() == '\\') base.pop_back();
        g_basicKey = "Software\\" + base + "\\" + std::to_string(major) + "." + std::to_string(minor);
    }
    return 0;
}

// "(default)" is the one name of a key's default value.
bool valueName(const std::string& arg, V_STRING& name)
{
    if (arg.empty()) return false;
    name = arg == "(default)" ? V_STRING("") : V_STRING(arg.c_str());
    return true;
}

int nameError(const std::string& arg)
{
    return orvtool::usageError("reg", "no value name given for '" + arg + "' (the default value is named (default))");
}

// ref's key opened for reading with the bare API, for what the library does
// not tell: why a key does not open, what a value it cannot read is.
class RawKey {
public:
    explicit RawKey(const KeyRef& ref)
        : m_root(reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(ref.root)))), m_key(nullptr),
          m_rc(RegOpenKeyExA(m_root, ref.path.empty() ? nullptr : ref.path.c_str(), 0, KEY_READ, &m_key))
    {
    }
    ~RawKey()
    {
        if (m_rc == ERROR_SUCCESS && m_key != m_root) RegCloseKey(m_key);
    }
    RawKey(const RawKey&) = delete;
    RawKey& operator=(const RawKey&) = delete;
    LONG result() const { return m_rc; }
    HKEY get() const { return m_key; }

private:
    HKEY m_root;
    HKEY m_key;
    LONG m_rc;
};

// Why ref's key does not open, in the system's words.
std::string whyNot(const KeyRef& ref)
{
    const RawKey raw(ref);
    if (raw.result() == ERROR_SUCCESS) return "it opens for reading only";
    return orvtool::systemReason(static_cast<unsigned long>(raw.result()));
}

bool parseKey(const std::string& text, KeyRef& ref)
{
    size_t cut = text.find('\\');
    std::string head = text.substr(0, cut);
    std::string rest = cut == std::string::npos ? "" : text.substr(cut + 1);
    while (!rest.empty() && rest.back() == '\\') rest.pop_back();
    for (const RootName& r : kRoots) {
        if (equalsNoCase(head, r.shortName) || equalsNoCase(head, r.longName)) {
            ref.root = r.root;
            ref.path = ref.sub = rest;
            return true;
        }
    }
    if (head.compare(0, 10, "VSYST_RSK_") == 0) head = head.substr(10);
    for (const StandardKeyName& k : kStandardKeys) {
        if (!equalsNoCase(head, k.name)) continue;
        // Another application's keys are opened by path, not as this one's standard keys.
        ref.standard = k.basic && !g_basicKey.empty() ? nullptr : &k;
        ref.root = k.root;
        ref.sub = rest;
        ref.path = k.prefix;
        if (k.basic) ref.path += g_basicKey.empty() ? VSYST_RegistryKey::getBasicKeyName().data() : g_basicKey;
        ref.path += k.suffix;
        if (!rest.empty()) ref.path += "\\" + rest;
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

int keyError(const std::string& key)
{
    return orvtool::usageError("reg", "not a standard key name or root path: '" + key + "'");
}

std::string rawTypeName(DWORD type)
{
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return "type " + std::to_string(type);
    }
}

// What a value the library cannot read is: its registry type and size.
std::string undecodable(const KeyRef& ref, const V_STRING& name)
{
    const RawKey raw(ref);
    DWORD type = 0, size = 0;
    if (raw.result() == ERROR_SUCCESS) RegQueryValueExA(raw.get(), name.data(), nullptr, &type, nullptr, &size);
    return "(cannot decode: " + rawTypeName(type) + ", " + std::to_string(size) + " bytes)";
}

int regGet(const orvtool::Args& args)
{
    if (args.size() < 3 || args.size() > 4 || (args.size() == 4 && args[3] != "--expand"))
        return orvtool::usageError("reg", "reg get takes KEY NAME [--expand]");
    KeyRef ref;
    V_STRING name;
    if (!parseKey(args[1], ref)) return keyError(args[1]);
    if (!valueName(args[2], name)) return nameError(args[2]);
    VSYST_RegistryKey key = ref.open(false, VSYST_RegReadOnly);
    if (!key.isValid()) return orvtool::failure("cannot open " + ref.display() + ": " + whyNot(ref));
    if (key.getTypeOf(name) == VSYST_RegValNone)
        return orvtool::failure("no value " + args[2] + " in " + ref.display());
    std::string value;
    if (!decode(key, name, args.size() == 4, value))
        return orvtool::failure("cannot read " + args[2] + " in " + ref.display() + ": " + undecodable(ref, name));
    std::printf("%s\n", value.c_str());
    return 0;
}

int regSet(const orvtool::Args& args)
{
    if (args.size() != 5) return orvtool::usageError("reg", "reg set takes KEY NAME KIND DATA");
    KeyRef ref;
    V_STRING name;
    if (!parseKey(args[1], ref)) return keyError(args[1]);
    if (!valueName(args[2], name)) return nameError(args[2]);
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

    VSYST_RegistryKey key = ref.open(true, VSYST_RegReadWrite);
    if (!key.isValid()) return orvtool::failure("cannot open or create " + ref.display() + ": " + whyNot(ref));
    if (!key.setValuesBegin())
        std::fprintf(stderr, "orvtool: the registry writer lock is held elsewhere; writing without it\n");
    bool ok;
    if (kind == "int") ok = key.setIntValue(name, number);
    else if (kind == "float") ok = key.setFloatValue(name, real);
    else if (kind == "binary") ok = key.setBinaryValue(name, bytes.data(), static_cast<unsigned long>(bytes.size()));
    else if (kind == "envstring") ok = key.setEnvStringValue(name, data.c_str());
    else ok = key.setStringValue(name, data.c_str());
    const DWORD error = GetLastError();
    key.setValuesEnd();
    if (!ok)
        return orvtool::failure("cannot write " + args[2] + " in " + ref.display() + ": " + orvtool::systemReason(error));
    return 0;
}

int regList(const orvtool::Args& args)
{
    if (args.size() != 2) return orvtool::usageError("reg", "reg list takes KEY");
    KeyRef ref;
    if (!parseKey(args[1], ref)) return keyError(args[1]);
    VSYST_RegistryKey key = ref.open(false, VSYST_RegReadOnly);
    if (!key.isValid()) return orvtool::failure("cannot open " + ref.display() + ": " + whyNot(ref));
    std::printf("%s\n", ref.display().c_str());
    unsigned long index = 0;
    V_STRING name;
    while (!key.getKeyByIndex(index, name)) std::printf("key\t%s\n", name.data());

    // The library enumerates strings and integers only; names of all values come from the registry.
    HKEY raw = nullptr;
    HKEY rootKey = reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(ref.root)));
    LONG rc = RegOpenKeyExA(rootKey, ref.path.empty() ? nullptr : ref.path.c_str(), 0, KEY_READ, &raw);
    if (rc != ERROR_SUCCESS)
        return orvtool::failure("cannot list the values of " + ref.display() + ": " + orvtool::systemReason(rc));
    for (DWORD i = 0;; ++i) {
        char buf[16384];
        DWORD length = sizeof buf;
        if (RegEnumValueA(raw, i, buf, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        V_STRING valueName(buf);
        VSYST_RegistryValueType type = key.getTypeOf(valueName);
        std::string value;
        if (!decode(key, valueName, false, value)) value = undecodable(ref, valueName);
        std::printf("value\t%s\t%s\t%s\n", buf[0] ? buf : "(default)", kindName(type), value.c_str());
    }
    if (raw != rootKey) RegCloseKey(raw);
    return 0;
}

int regCopy(const orvtool::Args& args)
{
    if (args.size() != 3) return orvtool::usageError("reg", "reg copy takes FROM TO");
    KeyRef from, to;
    if (!parseKey(args[1], from)) return keyError(args[1]);
    if (!parseKey(args[2], to)) return keyError(args[2]);
    VSYST_RegistryKey source = from.open(false, VSYST_RegReadOnly);
    if (!source.isValid()) return orvtool::failure("cannot open " + from.display() + ": " + whyNot(from));
    VSYST_RegistryKey target = to.open(true, VSYST_RegReadWrite);
    if (!target.isValid()) return orvtool::failure("cannot open or create " + to.display() + ": " + whyNot(to));
    if (!source.copyAllValuesAndSubKeysTo(target))
        return orvtool::failure("the copy to " + to.display() + " is incomplete: " + orvtool::systemReason(GetLastError()));
    return 0;
}

// A value when NAME is given; else the key itself, and with its sub-keys only
// when --recursive says so.
int regDelete(const orvtool::Args& argsIn)
{
    orvtool::Args args;
    bool recursive = false;
    for (const std::string& a : argsIn) {
        if (a == "--recursive") recursive = true;
        else args.push_back(a);
    }
    if (args.size() < 2 || args.size() > 3 || (recursive && args.size() == 3))
        return orvtool::usageError("reg", "reg delete takes KEY NAME or KEY [--recursive]");
    KeyRef ref;
    if (!parseKey(args[1], ref)) return keyError(args[1]);
    if (args.size() == 3) {
        V_STRING name;
        if (!valueName(args[2], name)) return nameError(args[2]);
        VSYST_RegistryKey key = ref.open(false, VSYST_RegReadWrite);
        if (!key.isValid()) return orvtool::failure("cannot open " + ref.display() + ": " + whyNot(ref));
        if (key.getTypeOf(name) == VSYST_RegValNone)
            return orvtool::failure("no value " + args[2] + " in " + ref.display());
        if (!key.deleteValue(name))
            return orvtool::failure("cannot delete " + args[2] + " in " + ref.display() + ": " +
                                    orvtool::systemReason(GetLastError()));
        return 0;
    }
    if (ref.path.empty()) return orvtool::usageError("reg", "a root key cannot be deleted");
    {
        VSYST_RegistryKey key = ref.open(false, VSYST_RegReadOnly);
        if (!key.isValid()) return orvtool::failure("cannot open " + ref.display() + ": " + whyNot(ref));
        const long subKeys = key.getNumberOfSubKeys();
        if (subKeys > 0 && !recursive)
            return orvtool::failure(ref.display() + " has " + std::to_string(subKeys) +
                                    " sub-key(s); add --recursive to delete it with them");
    }
    size_t cut = ref.path.rfind('\\');
    std::string parentPath = cut == std::string::npos ? "" : ref.path.substr(0, cut);
    std::string leaf = cut == std::string::npos ? ref.path : ref.path.substr(cut + 1);
    VSYST_RegistryKey root(ref.root);
    VSYST_RegistryKey parent = parentPath.empty() ? root : VSYST_RegistryKey(root, parentPath.c_str(), false);
    if (!parent.deleteAllValuesAndSubKeys(leaf.c_str()))
        return orvtool::failure("cannot delete " + ref.display() + ": " + orvtool::systemReason(GetLastError()));
    return 0;
}

int reg(const orvtool::Args& argsIn)
{
    orvtool::Args args = argsIn;
    if (int status = takeApplication(args)) return status;
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

const char* const kRegNotes =
    "KEY is a root path (HKCU, HKLM, HKU or HKCR, long forms too, then \\path) or a\n"
    "standard key, optionally followed by \\path below it:\n"
    "  LocalMachineCompany LocalMachineBase LocalMachineSettings DefaultUserBase\n"
    "  DefaultUserSettings CurrentUserCompany CurrentUserBase CurrentUserSession\n"
    "  CurrentUserSettings LocalMachinePlatform CurrentUserPlatform LocalMachineExplorer\n"
    "  CurrentUserExplorer CurrentUserExplorerSettings\n"
    "The Base, Settings and Session keys are this tool's own unless --app FILE.exe\n"
    "(its version resource) or --regbase BASE --version X.Y names another application.\n"
    "NAME (default) is the key's default value. A key with sub-keys is deleted only\n"
    "with --recursive. Values the library cannot decode show as (cannot decode: ...).";

}  // namespace

ORVTOOL_COMMAND_NOTES(reg, "reg",
                      "reg get [--app FILE.exe | --regbase BASE --version X.Y] KEY NAME [--expand]\n"
                      "reg set [--app FILE.exe | --regbase BASE --version X.Y] KEY NAME string|envstring|int|float|binary DATA\n"
                      "reg list [--app FILE.exe | --regbase BASE --version X.Y] KEY\n"
                      "reg copy [--app FILE.exe | --regbase BASE --version X.Y] FROM TO\n"
                      "reg delete [--app FILE.exe | --regbase BASE --version X.Y] KEY NAME | KEY [--recursive]",
                      "read, write, list, copy and delete registry values and keys",
                      "reg get --app cad.exe CurrentUserSettings TimeFormat\n"
                      "reg set CurrentUserSettings\\Module Width int 640\n"
                      "reg list --regbase \"Brakmar\\T.R.I.O.N.(R) Platform\\CAD\" --version 2.0 CurrentUserSettings\n"
                      "reg copy CurrentUserSettings HKCU\\Software\\Backup\\Settings\n"
                      "reg delete HKCU\\Software\\Backup --recursive",
                      kRegNotes, reg);

ORVTOOL_TOUR_STEP(registry_base, 300, "Registry base of this executable", tourRegistryBase);
