// Test support for OrvCore tests under Windows (wine64): private temporary
// folders, per-test registry keys, environment scopes and child processes.
#ifndef ORV_TEST_SUPPORT_H
#define ORV_TEST_SUPPORT_H

#include <string>
#include <vector>

struct HKEY__;

namespace orvtest {

// The helpers below own what they set up: no copies.
struct NoCopy {
    NoCopy() = default;
    NoCopy(const NoCopy&) = delete;
    NoCopy& operator=(const NoCopy&) = delete;
};

// A fresh folder below %TEMP%, removed with everything in it on destruction.
class TempDir : NoCopy {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return m_path; }      // no trailing backslash
    std::string file(const std::string& name) const { return m_path + "\\" + name; }
    std::vector<std::string> list() const;                  // file names in the folder, sorted
private:
    std::string m_path;
};

// Sets (or with a null value removes) an environment variable; restores it on destruction.
class ScopedEnv : NoCopy {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
private:
    std::string m_name, m_old;
    bool m_had;
};

// HKCU\Software\OrvCoreTest\<name>-<pid>: created on construction, deleted
// with its whole tree on destruction.
class TestRegKey : NoCopy {
public:
    explicit TestRegKey(const std::string& name);
    ~TestRegKey();
    const std::string& subPath() const { return m_path; }   // below HKEY_CURRENT_USER
    HKEY__* handle() const { return m_key; }
private:
    std::string m_path;
    HKEY__* m_key;
};

// Saves a registry value (under HKCU or HKLM) and puts it back as it was,
// deleting it if it did not exist.
class RegValueRestorer : NoCopy {
public:
    RegValueRestorer(HKEY__* root, const std::string& subKey, const std::string& value);
    ~RegValueRestorer();
private:
    HKEY__* m_root;
    std::string m_subKey, m_value;
    bool m_existed, m_keyExisted;
    unsigned long m_type;
    std::vector<unsigned char> m_data;
};

struct ChildResult {
    unsigned long exitCode = 0xFFFFFFFF;
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs this test executable again as a child: `<exe> --orv-child <name> args...`;
// env entries "NAME=value" (or "NAME=", to remove it) are set in this process
// until the child ends, and it inherits them. Output is captured; the child gets no console.
ChildResult runChild(const std::string& name, const std::vector<std::string>& args = {},
                     const std::vector<std::string>& env = {});
// Runs any program the same way.
ChildResult runProgram(const std::string& exe, const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {});
// Runs the build's orvtool.exe the same way; CR LF in its output becomes LF.
ChildResult runOrvtool(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// Replaces one imported function in a module's import table (what the module
// calls, not what anyone else calls) and puts it back on destruction. Lets a
// test count or steer the library's calls to the system (Sleep, CreateDCA...).
class IatHook : NoCopy {
public:
    IatHook(const char* module, const char* importedDll, const char* function, void* replacement);
    ~IatHook();
    void* original() const { return m_original; }
private:
    void** m_slot;
    void* m_original;
};

// The standard log of this process, written to a fresh folder: sets
// ORV_DIR_LOGFILES and ORV_STDLOGFILE, runs openStdStream and gives the text.
class StdLogCapture : NoCopy {
public:
    StdLogCapture();
    ~StdLogCapture();                       // closes the log (closeStdStream)
    std::string text() const;               // everything written so far
    std::string since(size_t offset) const { return text().substr(offset); }
    size_t size() const { return text().size(); }
private:
    TempDir m_dir;
    ScopedEnv m_logDir, m_switch;
    std::string m_path;
};

// Deletes root\path and then its parents, up to `levels` keys, as long as each
// has neither values nor sub-keys (keys the library creates on the way).
void removeEmptyKeys(HKEY__* root, const std::string& path, int levels);

// The text a process writes with the "!E ... [ Process: ...]" header for the calling thread.
std::string processThreadText();

std::string exePath();              // full path of this executable
std::string exeDir();               // its folder, no trailing backslash
std::string readFile(const std::string& path);   // whole file, binary; empty if absent
void writeFile(const std::string& path, const std::string& bytes);

// For a test of once-per-process state: true when this process runs that test
// alone; otherwise runs it again in a process of its own, reports the outcome
// here and gives false (the caller returns).
bool aloneInProcess();

// Child entry points, run by the test main when invoked with --orv-child NAME.
using ChildFn = int (*)(int argc, char** argv);
struct ChildRegistrar { ChildRegistrar(const char* name, ChildFn fn); };

}  // namespace orvtest

// Defines a child entry point: ORV_TEST_CHILD(name) { ...; return exitCode; }
#define ORV_TEST_CHILD(name)                                                   \
    static int orv_child_##name(int argc, char** argv);                        \
    static ::orvtest::ChildRegistrar orv_child_reg_##name(#name, orv_child_##name); \
    static int orv_child_##name(int argc, char** argv)

#endif
