// VSYST_RegistryKey: one open registry key with shared, counted handles.
#include "VSYST_RegistryKey.h"
#include "V_CapsulatedPointer.h"
#include "dllmain/OrvLock.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <new>

namespace {

// What the registry exceptions report as their source.
const char kThrowFile[] = "common/v_tools/v_etc/registry";

const REGSAM kReadWrite = KEY_READ | KEY_WRITE;   // 0x2001F
const REGSAM kReadOnly = KEY_READ;                // 0x20019
const char kMutexName[] = "Brakmar!FT!Registry";
const DWORD kMutexWaitMs = 1000;

// Name buffers in characters, terminator included.
const DWORD kValueNameChars = 128;       // value names in bulk operations
const DWORD kDeleteKeyNameChars = 256;   // sub-keys deleted recursively
const DWORD kKeyNameChars = 261;         // sub-keys enumerated or copied
const DWORD kCopyClassChars = 128;       // class strings of copied sub-keys
const DWORD kClassNameChars = 1025;      // getClassName

// The registry nests at most 512 levels; a deeper copy can only be a tree
// being copied into itself.
const unsigned kMaxCopyDepth = 512;

const char kNoClassName[] = "<Cannot get class name>";

REGSAM accessMask(VSYST_RegistryAccess access)
{
    return access == VSYST_RegReadWrite ? kReadWrite : kReadOnly;
}

HKEY rootHandle(VSYST_RegistryRootKey root)
{
    // The predefined handles are sign-extended 32-bit values on 64-bit Windows.
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

// A zeroed heap block; an allocation failure leaves it empty.
class Block {
public:
    explicit Block(DWORD size) : m_data(new (std::nothrow) unsigned char[size ? size : 1]()) {}
    ~Block() { delete[] m_data; }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    bool ok() const { return m_data != nullptr; }
    unsigned char* data() { return m_data; }
    const unsigned char* data() const { return m_data; }
    unsigned char& operator[](DWORD i) { return m_data[i]; }
private:
    unsigned char* m_data;
};

// A raw handle closed on every path unless handed on.
class RawKey {
public:
    RawKey() : m_key(nullptr) {}
    ~RawKey() { if (m_key) RegCloseKey(m_key); }
    RawKey(const RawKey&) = delete;
    RawKey& operator=(const RawKey&) = delete;
    HKEY* out() { return &m_key; }
    HKEY release() { HKEY k = m_key; m_key = nullptr; return k; }
private:
    HKEY m_key;
};

bool queryTypeAndSize(HKEY key, const char* name, DWORD& type, DWORD& size)
{
    type = REG_NONE;
    size = 0;
    return RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

// The whole of one value of one registry type.
class ValueBytes {
public:
    ValueBytes() : m_block(nullptr), m_size(0) {}
    ~ValueBytes() { delete m_block; }
    ValueBytes(const ValueBytes&) = delete;
    ValueBytes& operator=(const ValueBytes&) = delete;

    bool read(HKEY key, const char* name, DWORD wantedType)
    {
        DWORD type, size;
        if (!queryTypeAndSize(key, name, type, size) || type != wantedType) return false;
        m_block = new (std::nothrow) Block(size);
        if (!m_block || !m_block->ok()) return false;
        DWORD got = size;
        if (RegQueryValueExA(key, name, nullptr, &type, m_block->data(), &got) != ERROR_SUCCESS || type != wantedType)
            return false;
        m_size = got <= size ? got : size;
        return true;
    }
    const unsigned char* data() const { return m_block->data(); }
    DWORD size() const { return m_size; }

private:
    Block* m_block;
    DWORD m_size;
};

// A string value (REG_SZ, and REG_EXPAND_SZ when allowed), cut at its first NUL.
// bytes is the number of bytes the registry returned.
bool readText(HKEY key, const char* name, bool allowExpand, V_STRING& text, DWORD& bytes)
{
    DWORD type, size;
    if (!key || !queryTypeAndSize(key, name, type, size)) return false;
    if (type != REG_SZ && !(allowExpand && type == REG_EXPAND_SZ)) return false;
    if (size > 0xFFFFFFFFul - 2) return false;
    Block buf(size + 2);
    if (!buf.ok()) return false;
    DWORD got = size + 1;
    if (RegQueryValueExA(key, name, nullptr, &type, buf.data(), &got) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && !(allowExpand && type == REG_EXPAND_SZ)) return false;
    if (got > size + 1) got = size + 1;
    buf[got] = 0;
    text = reinterpret_cast<const char*>(buf.data());
    bytes = got;
    return true;
}

// ExpandEnvironmentStrings into a first guess, then once more at the size asked for.
bool expandText(const V_STRING& source, DWORD bytesRead, V_STRING& result)
{
    DWORD capacity = 2 * bytesRead + 1;
    Block first(capacity + 1);
    if (!first.ok()) return false;
    DWORD need = ExpandEnvironmentStringsA(source.data(), reinterpret_cast<char*>(first.data()), capacity);
    if (need == 0) return false;
    if (need <= capacity) {
        first[capacity] = 0;
        result = reinterpret_cast<const char*>(first.data());
        return true;
    }
    capacity = need;
    Block second(capacity + 1);
    if (!second.ok()) return false;
    need = ExpandEnvironmentStringsA(source.data(), reinterpret_cast<char*>(second.data()), capacity);
    if (need == 0 || need > capacity) return false;
    second[capacity] = 0;
    result = reinterpret_cast<const char*>(second.data());
    return true;
}

long int32At(const unsigned char* p)
{
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool hasTag(const unsigned char* p, DWORD size, char tag)
{
    return size >= 2 && p[0] == static_cast<unsigned char>(tag) && p[1] == ':';
}

// ---- the open-key map -------------------------------------------------------

typedef std::map<HKEY, long> OpenKeyMap;

// Constant-initialised, so keys constructed by other static initialisers find it.
V_CapsulatedPointer<OpenKeyMap> m_openKeys;
bool s_openKeysGone = false;
// Guards m_openKeys: modules construct and drop keys on any thread, and the
// library itself opens keys for diagnostic levels that any thread may ask for.
orv::Lock s_openKeysLock;

// Callers hold s_openKeysLock.
OpenKeyMap* openKeys()
{
    if (!m_openKeys && !s_openKeysGone) m_openKeys.reset(new OpenKeyMap);
    return m_openKeys.get();
}

// Creates the map at load; destroyed before the holder, it keeps keys that
// outlive the library from building a new map.
struct OpenKeysLifetime {
    OpenKeysLifetime()
    {
        orv::Locked locked(s_openKeysLock);
        openKeys();
    }
    ~OpenKeysLifetime()
    {
        orv::Locked locked(s_openKeysLock);
        s_openKeysGone = true;
    }
};
OpenKeysLifetime s_openKeysLifetime;

}  // namespace

void VSYST_RegistryKey::registerHandle(HKEY key)
{
    if (!key) return;
    orv::Locked locked(s_openKeysLock);
    if (OpenKeyMap* map = openKeys()) ++(*map)[key];
}

void VSYST_RegistryKey::releaseHandle(HKEY key)
{
    if (!key) return;
    {
        orv::Locked locked(s_openKeysLock);
        OpenKeyMap* map = m_openKeys.get();
        if (!map) return;
        OpenKeyMap::iterator it = map->find(key);
        if (it == map->end() || --it->second > 0) return;
        map->erase(it);
    }
    // Out of the map first: the system may hand the value out again once it is closed.
    RegCloseKey(key);
}

// ---- construction -----------------------------------------------------------

VSYST_RegistryKey::VSYST_RegistryKey() : m_key(nullptr), m_mutex(nullptr) {}

VSYST_RegistryKey::VSYST_RegistryKey(VSYST_RegistryRootKey root) : m_key(nullptr), m_mutex(nullptr)
{
    openSubKey(rootHandle(root), nullptr, false, VSYST_RegReadWrite);
}

VSYST_RegistryKey::VSYST_RegistryKey(VSYST_RegistryRootKey root, VSYST_RegistryAccess access)
    : m_key(nullptr), m_mutex(nullptr)
{
    openSubKey(rootHandle(root), nullptr, false, access);
}

VSYST_RegistryKey::VSYST_RegistryKey(const VSYST_RegistryKey& parent, const V_STRING& name, bool create)
    : m_key(nullptr), m_mutex(nullptr)
{
    openSubKey(parent.m_key, name.data(), create, VSYST_RegReadWrite);
}

VSYST_RegistryKey::VSYST_RegistryKey(const VSYST_RegistryKey& parent, const V_STRING& name, bool create,
                                     VSYST_RegistryAccess access)
    : m_key(nullptr), m_mutex(nullptr)
{
    openSubKey(parent.m_key, name.data(), create, access);
}

VSYST_RegistryKey::VSYST_RegistryKey(HKEY key, bool duplicate) : m_key(nullptr), m_mutex(nullptr)
{
    if (duplicate) {
        HKEY copy = nullptr;
        if (key && RegOpenKeyExA(key, nullptr, 0, KEY_ALL_ACCESS, &copy) == ERROR_SUCCESS) m_key = copy;
    } else {
        m_key = key;
    }
    registerHandle(m_key);
}

VSYST_RegistryKey::VSYST_RegistryKey(HKEY key) : m_key(key), m_mutex(nullptr)
{
    registerHandle(m_key);
}

VSYST_RegistryKey::VSYST_RegistryKey(const VSYST_RegistryKey& other) : m_key(other.m_key), m_mutex(nullptr)
{
    registerHandle(m_key);
}

VSYST_RegistryKey& VSYST_RegistryKey::operator=(const VSYST_RegistryKey& other)
{
    if (this == &other) return *this;
    releaseMutex();
    HKEY old = m_key;
    m_key = other.m_key;
    // Taken before the old one is let go, so a shared handle never drops to 0 on the way.
    if (m_key) {
        orv::Locked locked(s_openKeysLock);
        if (OpenKeyMap* map = m_openKeys.get()) {
            OpenKeyMap::iterator it = map->find(m_key);
            if (it != map->end()) ++it->second;
        }
    }
    releaseHandle(old);
    return *this;
}

VSYST_RegistryKey::~VSYST_RegistryKey()
{
    releaseMutex();
    releaseHandle(m_key);
}

// Open with the access asked for; failing that create (if allowed); failing
// that open read-only. A caller that asked for read-write may get read-only.
void VSYST_RegistryKey::openSubKey(HKEY parent, const char* path, bool create, VSYST_RegistryAccess access)
{
    if (!parent) return;
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path, 0, accessMask(access), &key) != ERROR_SUCCESS) {
        key = nullptr;
        if (create && RegCreateKeyExA(parent, path ? path : "", 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite,
                                      nullptr, &key, nullptr) != ERROR_SUCCESS)
            key = nullptr;
        if (!key && RegOpenKeyExA(parent, path, 0, kReadOnly, &key) != ERROR_SUCCESS) key = nullptr;
    }
    m_key = key;
    registerHandle(m_key);
}

// ---- writing ----------------------------------------------------------------

bool VSYST_RegistryKey::setValue(const V_STRING& name, unsigned long type, const unsigned char* data,
                                 unsigned long size) const
{
    if (!m_key) return false;
    return RegSetValueExA(m_key, name.data(), 0, type, data, size) == ERROR_SUCCESS;
}

bool VSYST_RegistryKey::setStringValue(const V_STRING& name, const V_STRING& text) const
{
    return setValue(name, REG_SZ, reinterpret_cast<const unsigned char*>(text.data()), text.length() + 1);
}

bool VSYST_RegistryKey::setEnvStringValue(const V_STRING& name, const V_STRING& text) const
{
    return setStringValue(name, text);
}

bool VSYST_RegistryKey::setIntValue(const V_STRING& name, long value) const
{
    int32_t v = static_cast<int32_t>(value);
    unsigned char bytes[4];
    std::memcpy(bytes, &v, sizeof bytes);
    return setValue(name, REG_DWORD, bytes, sizeof bytes);
}

bool VSYST_RegistryKey::setFloatValue(const V_STRING& name, double value) const
{
    unsigned char bytes[10] = {'F', ':'};
    std::memcpy(bytes + 2, &value, sizeof value);
    return setValue(name, REG_BINARY, bytes, sizeof bytes);
}

bool VSYST_RegistryKey::setBinaryValue(const V_STRING& name, const void* data, unsigned long size) const
{
    if (!m_key) return false;
    if ((!data && size) || size > 0xFFFFFFFFul - 2) return false;
    Block block(size + 2);
    if (!block.ok()) return false;
    block[0] = 'B';
    block[1] = ':';
    if (size) std::memcpy(block.data() + 2, data, size);
    return setValue(name, REG_BINARY, block.data(), size + 2);
}

// ---- reading ----------------------------------------------------------------

V_STRING VSYST_RegistryKey::getStringValue(const V_STRING& name, bool& ok) const
{
    V_STRING text;
    DWORD bytes = 0;
    ok = readText(m_key, name.data(), false, text, bytes);
    return ok ? text : V_STRING();
}

V_STRING VSYST_RegistryKey::getStringValue(const V_STRING& name) const
{
    bool ok;
    V_STRING text = getStringValue(name, ok);
    if (!ok) throw VSYST_RegistryInvalidKey(getClassName(name), kThrowFile, __LINE__);
    return text;
}

V_STRING VSYST_RegistryKey::getStringValue(const V_STRING& name, const char* defaultText) const
{
    bool ok;
    V_STRING text = getStringValue(name, ok);
    return ok ? text : V_STRING(defaultText);
}

V_STRING VSYST_RegistryKey::getEnvStringValue(const V_STRING& name, bool& ok) const
{
    V_STRING raw, expanded;
    DWORD bytes = 0;
    ok = readText(m_key, name.data(), true, raw, bytes) && expandText(raw, bytes, expanded);
    return ok ? expanded : V_STRING();
}

V_STRING VSYST_RegistryKey::getEnvStringValue(const V_STRING& name) const
{
    bool ok;
    V_STRING text = getEnvStringValue(name, ok);
    if (!ok) throw VSYST_RegistryInvalidKey(getClassName(name), kThrowFile, __LINE__);
    return text;
}

long VSYST_RegistryKey::getIntValue(const V_STRING& name, bool& ok) const
{
    ok = false;
    if (!m_key) return 0;
    ValueBytes bytes;
    if (!bytes.read(m_key, name.data(), REG_DWORD) || bytes.size() < 4) return 0;
    ok = true;
    return int32At(bytes.data());
}

long VSYST_RegistryKey::getIntValue(const V_STRING& name) const
{
    bool ok;
    long value = getIntValue(name, ok);
    if (!ok) throw VSYST_RegistryInvalidKey(getClassName(name), kThrowFile, __LINE__);
    return value;
}

long VSYST_RegistryKey::getIntValue(const V_STRING& name, long defaultValue) const
{
    bool ok;
    long value = getIntValue(name, ok);
    return ok ? value : defaultValue;
}

double VSYST_RegistryKey::getFloatValue(const V_STRING& name, bool& ok) const
{
    ok = false;
    if (!m_key) return 0.0;
    ValueBytes bytes;
    if (!bytes.read(m_key, name.data(), REG_BINARY) || bytes.size() < 10 || !hasTag(bytes.data(), bytes.size(), 'F'))
        return 0.0;
    double value;
    std::memcpy(&value, bytes.data() + 2, sizeof value);
    ok = true;
    return value;
}

double VSYST_RegistryKey::getFloatValue(const V_STRING& name) const
{
    bool ok;
    double value = getFloatValue(name, ok);
    if (!ok) throw VSYST_RegistryInvalidKey(getClassName(name), kThrowFile, __LINE__);
    return value;
}

bool VSYST_RegistryKey::getBinaryValue(const V_STRING& name, void* buffer, unsigned long* size) const
{
    if (!size) return false;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    DWORD type = REG_NONE, stored = 0;
    // Without a tag there is no payload; a value of fewer than 2 bytes has none.
    if (!m_key || !queryTypeAndSize(m_key, name.data(), type, stored) || type != REG_BINARY || stored < 2) {
        if (out && *size) std::memset(out, 0, *size);
        *size = 0;
        return false;
    }
    const unsigned long payload = stored - 2;
    if (*size < payload) {
        if (out && *size) std::memset(out, 0, *size);
        *size = payload;
        return false;
    }
    *size = payload;
    if (!out) return false;
    Block block(stored);
    DWORD got = stored;
    if (block.ok() && RegQueryValueExA(m_key, name.data(), nullptr, &type, block.data(), &got) == ERROR_SUCCESS &&
        type == REG_BINARY && got == stored && hasTag(block.data(), got, 'B')) {
        if (payload) std::memcpy(out, block.data() + 2, payload);
        return true;
    }
    if (payload) std::memset(out, 0, payload);
    *size = 0;
    return false;
}

VSYST_RegistryValueType VSYST_RegistryKey::getTypeOf(const V_STRING& name) const
{
    DWORD type, size;
    if (!m_key || !queryTypeAndSize(m_key, name.data(), type, size)) return VSYST_RegValNone;
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return VSYST_RegValString;
    case REG_DWORD:
        return VSYST_RegValInt;
    case REG_BINARY: {
        ValueBytes bytes;
        if (!bytes.read(m_key, name.data(), REG_BINARY)) return VSYST_RegValOther;
        if (hasTag(bytes.data(), bytes.size(), 'F')) return VSYST_RegValFloat;
        if (hasTag(bytes.data(), bytes.size(), 'B')) return VSYST_RegValBinary;
        return VSYST_RegValOther;
    }
    default:
        return VSYST_RegValOther;
    }
}

// ---- key information --------------------------------------------------------

V_STRING VSYST_RegistryKey::getClassName() const
{
    if (!m_key) return V_STRING(kNoClassName);
    char buf[kClassNameChars] = {0};
    DWORD length = kClassNameChars - 1;
    if (RegQueryInfoKeyA(m_key, buf, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return V_STRING(kNoClassName);
    buf[kClassNameChars - 1] = 0;
    return V_STRING(buf);
}

V_STRING VSYST_RegistryKey::getClassName(const V_STRING& name) const
{
    return getClassName() + "\\" + name;
}

long VSYST_RegistryKey::getNumberOfSubKeys() const
{
    DWORD count = 0;
    if (!m_key || RegQueryInfoKeyA(m_key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        throw VSYST_RegistryInvalidKey(getClassName(), kThrowFile, __LINE__);
    return static_cast<long>(count);
}

long VSYST_RegistryKey::getNumberOfValues() const
{
    DWORD count = 0;
    if (!m_key || RegQueryInfoKeyA(m_key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                                   nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        throw VSYST_RegistryInvalidKey(getClassName(), kThrowFile, __LINE__);
    return static_cast<long>(count);
}

// ---- deleting ---------------------------------------------------------------

bool VSYST_RegistryKey::deleteValue(const V_STRING& name) const
{
    if (!m_key) return false;
    return RegDeleteValueA(m_key, name.data()) == ERROR_SUCCESS;
}

bool VSYST_RegistryKey::deleteAllValues() const
{
    if (!m_key) return false;
    for (;;) {
        char name[kValueNameChars];
        DWORD length = kValueNameChars;
        LONG rc = RegEnumValueA(m_key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return true;
        // A name too long for the buffer cannot be deleted by name: stop.
        if (rc != ERROR_SUCCESS) return false;
        if (RegDeleteValueA(m_key, name) != ERROR_SUCCESS) return false;
    }
}

bool VSYST_RegistryKey::deleteAllValuesAndSubKeys() const
{
    if (!deleteAllValues()) return false;
    for (;;) {
        char name[kDeleteKeyNameChars];
        LONG rc = RegEnumKeyA(m_key, 0, name, kDeleteKeyNameChars);
        if (rc == ERROR_NO_MORE_ITEMS) return true;
        if (rc != ERROR_SUCCESS) return false;
        {
            VSYST_RegistryKey sub(*this, V_STRING(name), false);
            sub.deleteAllValuesAndSubKeys();
        }
        if (RegDeleteKeyA(m_key, name) != ERROR_SUCCESS) return false;
    }
}

bool VSYST_RegistryKey::deleteAllValuesAndSubKeys(const V_STRING& name) const
{
    // An empty name would stand for this key itself.
    if (!m_key || name.isEmpty()) return false;
    {
        VSYST_RegistryKey sub(*this, name, false);
        sub.deleteAllValuesAndSubKeys();
    }
    return RegDeleteKeyA(m_key, name.data()) == ERROR_SUCCESS;
}

// ---- copying ----------------------------------------------------------------

bool VSYST_RegistryKey::copyAllValuesTo(const VSYST_RegistryKey& target) const
{
    if (!m_key || !target.m_key) return false;
    for (DWORD index = 0;; ++index) {
        char name[kValueNameChars];
        DWORD length = kValueNameChars, type = REG_NONE, size = 0;
        LONG rc = RegEnumValueA(m_key, index, name, &length, nullptr, &type, nullptr, &size);
        if (rc == ERROR_NO_MORE_ITEMS) return true;
        if (rc != ERROR_SUCCESS) return false;
        Block data(size);
        if (!data.ok()) return false;
        DWORD got = size;
        if (RegQueryValueExA(m_key, name, nullptr, &type, data.data(), &got) != ERROR_SUCCESS) return false;
        if (RegSetValueExA(target.m_key, name, 0, type, data.data(), got) != ERROR_SUCCESS) return false;
    }
}

bool VSYST_RegistryKey::copyAllValuesAndSubKeysTo(const VSYST_RegistryKey& target) const
{
    bool tooDeep = false;
    return copyTreeTo(target, 0, tooDeep);
}

bool VSYST_RegistryKey::copyTreeTo(const VSYST_RegistryKey& target, unsigned depth, bool& tooDeep) const
{
    if (!m_key || !target.m_key) return false;
    if (depth > kMaxCopyDepth) {
        tooDeep = true;
        return false;
    }
    copyAllValuesTo(target);
    for (DWORD index = 0;; ++index) {
        char name[kKeyNameChars];
        char keyClass[kCopyClassChars];
        DWORD nameLength = kKeyNameChars, classLength = kCopyClassChars;
        LONG rc = RegEnumKeyExA(m_key, index, name, &nameLength, nullptr, keyClass, &classLength, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return true;
        if (rc != ERROR_SUCCESS) return false;
        RawKey to, from;
        if (RegCreateKeyExA(target.m_key, name, 0, keyClass, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr, to.out(),
                            nullptr) != ERROR_SUCCESS)
            return false;
        if (RegOpenKeyExA(m_key, name, 0, kReadWrite, from.out()) != ERROR_SUCCESS) return false;
        VSYST_RegistryKey source(from.release());
        VSYST_RegistryKey destination(to.release());
        source.copyTreeTo(destination, depth + 1, tooDeep);
        if (tooDeep) return false;
    }
}

bool VSYST_RegistryKey::copyAllValuesAndSubKeysTo(HKEY source, HKEY target)
{
    VSYST_RegistryKey from(source);
    VSYST_RegistryKey to(target);
    if (!source || !target) return false;
    return from.copyAllValuesAndSubKeysTo(to);
}

// ---- enumeration ------------------------------------------------------------

bool VSYST_RegistryKey::getKeyByIndex(unsigned long& index, V_STRING& name) const
{
    if (!m_key) return true;
    char buf[kKeyNameChars];
    DWORD length = kKeyNameChars;
    // The end, or any failure (a name too long, a handle gone bad), ends the enumeration.
    if (RegEnumKeyExA(m_key, index, buf, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return true;
    buf[kKeyNameChars - 1] = 0;
    name = buf;
    ++index;
    return false;
}

bool VSYST_RegistryKey::getStringValueByIndex(unsigned long& index, V_STRING& name, V_STRING& value) const
{
    if (!m_key) return true;
    for (;;) {
        char buf[kValueNameChars];
        DWORD length = kValueNameChars, type = REG_NONE, size = 0;
        if (RegEnumValueA(m_key, index, buf, &length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return true;
        if (type != REG_SZ) {
            ++index;
            continue;
        }
        buf[kValueNameChars - 1] = 0;
        if (size == 0xFFFFFFFFul) return true;
        // A value that vanished or changed since it was enumerated reads as empty text.
        Block text(size + 1);
        if (!text.ok()) return true;
        DWORD got = size;
        if (RegQueryValueExA(m_key, buf, nullptr, &type, text.data(), &got) != ERROR_SUCCESS || type != REG_SZ)
            got = 0;
        text[got <= size ? got : size] = 0;
        name = buf;
        value = reinterpret_cast<const char*>(text.data());
        ++index;
        return false;
    }
}

bool VSYST_RegistryKey::getIntValueByIndex(unsigned long& index, V_STRING& name, long& value) const
{
    if (!m_key) return true;
    for (;;) {
        char buf[kValueNameChars];
        DWORD length = kValueNameChars, type = REG_NONE;
        if (RegEnumValueA(m_key, index, buf, &length, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) return true;
        if (type != REG_DWORD) {
            ++index;
            continue;
        }
        buf[kValueNameChars - 1] = 0;
        unsigned char data[8] = {0};
        DWORD got = sizeof data;
        if (RegQueryValueExA(m_key, buf, nullptr, &type, data, &got) != ERROR_SUCCESS || type != REG_DWORD || got < 4)
            std::memset(data, 0, sizeof data);
        name = buf;
        value = int32At(data);
        ++index;
        return false;
    }
}

// ---- the writer lock --------------------------------------------------------

void VSYST_RegistryKey::releaseMutex()
{
    if (!m_mutex) return;
    ReleaseMutex(m_mutex);   // fails harmlessly when the wait timed out
    CloseHandle(m_mutex);
    m_mutex = nullptr;
}

bool VSYST_RegistryKey::setValuesBegin()
{
    releaseMutex();
    if (!m_key) return false;
    m_mutex = CreateMutexA(nullptr, FALSE, kMutexName);
    if (!m_mutex) return false;
    DWORD wait = WaitForSingleObject(m_mutex, kMutexWaitMs);
    // A holder that died without releasing leaves the mutex abandoned: ours now.
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

void VSYST_RegistryKey::setValuesEnd()
{
    releaseMutex();
}
