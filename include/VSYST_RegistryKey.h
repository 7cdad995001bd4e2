// VSYST_RegistryKey.h - the library's access to the Windows registry:
// VSYST_RegistryKey (one open key, shared handles, typed values, copying,
// deleting, enumeration, the cross-process writer lock), the standard keys of
// the platform with the per-application basic key name, and the two registry
// exceptions VSYST_RegistryException and VSYST_RegistryInvalidKey.
#ifndef VSYST_REGISTRYKEY_H
#define VSYST_REGISTRYKEY_H

#include "OrvCoreDefs.h"
#include "V_Exception.h"
#include "V_String.h"

#include <windef.h>   // HKEY, HINSTANCE, HANDLE

// Access asked for when a key is opened. Any value other than 0 is read-only.
enum VSYST_RegistryAccess : int {
    VSYST_RegReadWrite = 0,   // KEY_READ | KEY_WRITE
    VSYST_RegReadOnly = 1     // KEY_READ
};

// The system's predefined root keys; each value is the numeric value of the
// root handle it stands for.
enum VSYST_RegistryRootKey : unsigned long {
    VSYST_RegClassesRoot = 0x80000000ul,
    VSYST_RegCurrentUser = 0x80000001ul,
    VSYST_RegLocalMachine = 0x80000002ul,
    VSYST_RegUsers = 0x80000003ul,
    VSYST_RegCurrentConfig = 0x80000005ul
};

// Kind of a stored value as getTypeOf reports it (4 is not assigned).
enum VSYST_RegistryValueType {
    VSYST_RegValNone = 0,     // invalid key or no such value
    VSYST_RegValOther = 1,    // any other type, or REG_BINARY without the library's tags
    VSYST_RegValInt = 2,      // REG_DWORD
    VSYST_RegValString = 3,   // REG_SZ or REG_EXPAND_SZ
    VSYST_RegValFloat = 5,    // REG_BINARY beginning "F:"
    VSYST_RegValBinary = 6    // REG_BINARY beginning "B:"
};

// The platform's standard keys; "basic" is the basic key name of the running
// application (getBasicKeyName). No other value opens a key.
enum VSYST_RegistryStandardKey : int {
    VSYST_RSK_LocalMachineCompany = 0,         // HKLM  Software\Brakmar
    VSYST_RSK_LocalMachineBase = 1,            // HKLM  basic
    VSYST_RSK_LocalMachineSettings = 2,        // HKLM  basic\Settings
    VSYST_RSK_DefaultUserBase = 3,             // HKU   .DEFAULT\basic
    VSYST_RSK_DefaultUserSettings = 4,         // HKU   .DEFAULT\basic\Settings
    VSYST_RSK_CurrentUserCompany = 5,          // HKCU  Software\Brakmar
    VSYST_RSK_CurrentUserBase = 6,             // HKCU  basic
    VSYST_RSK_CurrentUserSession = 7,          // HKCU  basic\Session
    VSYST_RSK_CurrentUserSettings = 8,         // HKCU  basic\Settings
    VSYST_RSK_LocalMachinePlatform = 0x1000,   // HKLM  Software\Brakmar\T.R.I.O.N.(R) Platform
    VSYST_RSK_CurrentUserPlatform = 0x1001,    // HKCU  the same
    VSYST_RSK_LocalMachineExplorer = 0x1002,   // HKLM  ...Platform\Explorer
    VSYST_RSK_CurrentUserExplorer = 0x1003,    // HKCU  ...Platform\Explorer
    VSYST_RSK_CurrentUserExplorerSettings = 0x1004   // HKCU  ...Platform\Explorer\Settings
};

// A registry failure with its source location. Writes no report when it is
// constructed; displayReason() writes one to the standard dump stream.
class ORVCORE_API VSYST_RegistryException : public VSYST_Exception {
public:
    VSYST_RegistryException(const char* file = nullptr, int line = 0);
    VSYST_RegistryException(const VSYST_RegistryException& other);
    VSYST_RegistryException& operator=(const VSYST_RegistryException& other);
    virtual ~VSYST_RegistryException();

    // "!E\tEXCEPTION class ...", the location and the description, then the
    // log file is flushed (a failed flush throws OrvDumpFileException).
    void displayReason() const;

    const char* getFile() const { return m_file; }   // may be null
    int getLine() const { return m_line; }

protected:
    virtual V_STRING getAdditionalInfo() const;      // empty here

private:
    const char* m_file;
    int m_line;
};

// A key or value could not be used: "The specified Registry key "<name>" is invalid".
class ORVCORE_API VSYST_RegistryInvalidKey : public VSYST_RegistryException {
public:
    VSYST_RegistryInvalidKey(const V_STRING& keyName, const char* file, int line);
    VSYST_RegistryInvalidKey(const VSYST_RegistryInvalidKey& other) = default;
    VSYST_RegistryInvalidKey& operator=(const VSYST_RegistryInvalidKey& other) = default;
    virtual ~VSYST_RegistryInvalidKey();

    const V_STRING& getKeyName() const { return m_keyName; }

protected:
    virtual V_STRING getAdditionalInfo() const;

private:
    V_STRING m_keyName;
};

// One open registry key. Objects share handles: copies take the same handle and
// a process-wide map counts its holders; the last holder closes it. Constructors
// never throw; a key that cannot be opened is invalid and every operation on it
// fails softly (setters false, readers their flag or default). Keys may be
// created, copied and destroyed on any thread: the map of holders is under an
// in-process lock, since the library itself opens keys for the diagnostic
// levels that modules ask for from their own threads. One object is still
// used by one thread at a time.
class ORVCORE_API VSYST_RegistryKey {
public:
    VSYST_RegistryKey();                                            // invalid
    // The root itself, read-write falling back to read-only.
    explicit VSYST_RegistryKey(VSYST_RegistryRootKey root);
    VSYST_RegistryKey(VSYST_RegistryRootKey root, VSYST_RegistryAccess access);
    // Sub-key of parent: open with the access, else create (when create is
    // true), else open read-only, else invalid.
    VSYST_RegistryKey(const VSYST_RegistryKey& parent, const V_STRING& name, bool create);
    VSYST_RegistryKey(const VSYST_RegistryKey& parent, const V_STRING& name, bool create,
                      VSYST_RegistryAccess access);
    // duplicate: a new handle to key with full access; otherwise key itself is
    // adopted. Either way this library closes the handle with its last holder.
    VSYST_RegistryKey(HKEY key, bool duplicate);
    // A standard key, optionally with a sub-key path below it (a null pointer
    // means none; an empty string still adds the separator).
    VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create);
    VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create, VSYST_RegistryAccess access);
    VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create, const V_STRING* sub);
    VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create, const V_STRING* sub,
                      VSYST_RegistryAccess access);
    VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create, const V_STRING& sub);
    VSYST_RegistryKey(VSYST_RegistryStandardKey key, bool create, const V_STRING& sub,
                      VSYST_RegistryAccess access);
    VSYST_RegistryKey(const VSYST_RegistryKey& other);              // shares the handle, not the lock
    VSYST_RegistryKey& operator=(const VSYST_RegistryKey& other);
    ~VSYST_RegistryKey();

    bool isValid() const { return m_key != nullptr; }

    // Writers: true on success; false for an invalid key or a failed call.
    bool setStringValue(const V_STRING& name, const V_STRING& text) const;      // REG_SZ
    bool setEnvStringValue(const V_STRING& name, const V_STRING& text) const;   // REG_SZ, expanded on reading
    bool setIntValue(const V_STRING& name, long value) const;                   // REG_DWORD
    bool setFloatValue(const V_STRING& name, double value) const;               // REG_BINARY "F:" + 8 bytes
    bool setBinaryValue(const V_STRING& name, const void* data, unsigned long size) const;  // "B:" + data

    // Readers: with a flag (empty/0 and false when missing or of another kind),
    // with a default, or throwing VSYST_RegistryInvalidKey(getClassName(name)).
    V_STRING getStringValue(const V_STRING& name, bool& ok) const;
    V_STRING getStringValue(const V_STRING& name) const;
    V_STRING getStringValue(const V_STRING& name, const char* defaultText) const;
    V_STRING getEnvStringValue(const V_STRING& name, bool& ok) const;          // REG_SZ or REG_EXPAND_SZ, expanded
    V_STRING getEnvStringValue(const V_STRING& name) const;
    long getIntValue(const V_STRING& name, bool& ok) const;
    long getIntValue(const V_STRING& name) const;
    long getIntValue(const V_STRING& name, long defaultValue) const;
    double getFloatValue(const V_STRING& name, bool& ok) const;
    double getFloatValue(const V_STRING& name) const;
    // *size: capacity of buffer on entry; the stored size (without the tag) or
    // 0 on return. True only when the bytes were copied. A null buffer asks for the size.
    bool getBinaryValue(const V_STRING& name, void* buffer, unsigned long* size) const;
    VSYST_RegistryValueType getTypeOf(const V_STRING& name) const;

    // The key's class string, or "<Cannot get class name>"; with a name, + "\" + name.
    V_STRING getClassName() const;
    V_STRING getClassName(const V_STRING& name) const;
    // Throw VSYST_RegistryInvalidKey(getClassName()) when the key cannot be queried.
    long getNumberOfSubKeys() const;
    long getNumberOfValues() const;

    bool deleteValue(const V_STRING& name) const;
    bool deleteAllValues() const;
    bool deleteAllValuesAndSubKeys() const;                   // empties the key, which stays
    bool deleteAllValuesAndSubKeys(const V_STRING& name) const;   // empties and deletes sub-key name

    bool copyAllValuesTo(const VSYST_RegistryKey& target) const;
    bool copyAllValuesAndSubKeysTo(const VSYST_RegistryKey& target) const;
    // Adopts both handles for the copy: a handle no key object holds is closed on return.
    static bool copyAllValuesAndSubKeysTo(HKEY source, HKEY target);

    // Enumeration: start with index 0 and call until the result is true (no
    // more items). false means name (and value) were delivered and index moved
    // past the item. Any failure other than the end also ends the enumeration.
    bool getKeyByIndex(unsigned long& index, V_STRING& name) const;
    bool getStringValueByIndex(unsigned long& index, V_STRING& name, V_STRING& value) const;
    bool getIntValueByIndex(unsigned long& index, V_STRING& name, long& value) const;

    // Writer lock across processes (named mutex "Brakmar!FT!Registry", 1000 ms,
    // an abandoned mutex counts as taken). Begin and end on the same thread.
    bool setValuesBegin();
    void setValuesEnd();

    // The basic key name: "Software\" + registry base + "\" + major.minor of the
    // executable (or of the module set below), or the non-specific base when set.
    static V_STRING getBasicKeyName();
    static V_STRING getBasicKeyNameSoftware();              // without the leading "Software\"
    // A complete path replacing the basic key name (null: nothing happens).
    static void setNonSpecificRegBase(const char* path);
    // Module whose version information gives the registry base; returns the one
    // set before. Without force only the first setting before any use counts.
    static HINSTANCE setNonSpecificRegBaseModule(HINSTANCE module, bool force);

private:
    explicit VSYST_RegistryKey(HKEY key);                   // adopts and registers
    bool setValue(const V_STRING& name, unsigned long type, const unsigned char* data,
                  unsigned long size) const;
    void createRSK(VSYST_RegistryStandardKey key, bool create, bool hasSub, const V_STRING* sub,
                   VSYST_RegistryAccess access);
    void openSubKey(HKEY parent, const char* path, bool create, VSYST_RegistryAccess access);
    bool copyTreeTo(const VSYST_RegistryKey& target, unsigned depth, bool& tooDeep) const;
    void releaseMutex();
    static void registerHandle(HKEY key);
    static void releaseHandle(HKEY key);

    HKEY m_key;
    HANDLE m_mutex;
};

#endif
