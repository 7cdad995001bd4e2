#include "support/OrvTestSupport.h"

#include "VSYST_DumpStream.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <forward_list>
#include <fstream>
#include <stdexcept>

namespace orvtest {

namespace {

// Quoted when it holds a blank or nothing; no test passes a quote, or a
// backslash before the closing one, which would need escapes.
std::string quoteArg(const std::string& a)
{
    if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) return a;
    if (a.find('"') != std::string::npos || (!a.empty() && a.back() == '\\'))
        throw std::invalid_argument("cannot quote " + a);
    return '"' + a + '"';
}

// Moves whatever a pipe holds right now into data.
void drain(HANDLE pipe, std::string& data)
{
    char buf[4096];
    DWORD avail = 0, n = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &avail, nullptr) && avail &&
           ReadFile(pipe, buf, avail < sizeof buf ? avail : sizeof buf, &n, nullptr) && n)
        data.append(buf, n);
}

}  // namespace

TempDir::TempDir()
{
    static LONG serial = 0;
    const std::string base = (std::filesystem::temp_directory_path() / "orvtest-").string();
    do m_path = base + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(InterlockedIncrement(&serial));
    while (!std::filesystem::create_directory(m_path));   // throws when the folder cannot be made
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> TempDir::list() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name), m_had(false)
{
    if (const char* old = std::getenv(name)) { m_had = true; m_old = old; }
    _putenv((m_name + "=" + (value ? value : "")).c_str());   // the process's block changes too
}

ScopedEnv::~ScopedEnv()
{
    _putenv((m_name + "=" + (m_had ? m_old : "")).c_str());
}

TestRegKey::TestRegKey(const std::string& name) : m_key(nullptr)
{
    m_path = "Software\\OrvCoreTest\\" + name + "-" + std::to_string(GetCurrentProcessId());
    if (RegCreateKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr))
        throw std::runtime_error("cannot create test key " + m_path);
}

TestRegKey::~TestRegKey()
{
    if (m_key) RegCloseKey(m_key);
    RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
    // Drop the shared parent once no test uses it any more.
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OrvCoreTest");
}

RegValueRestorer::RegValueRestorer(HKEY__* root, const std::string& subKey, const std::string& value)
    : m_root(root), m_subKey(subKey), m_value(value), m_existed(false), m_keyExisted(false), m_type(0)
{
    HKEY k;
    m_keyExisted = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS && !RegCloseKey(k);
    char buf[4096];   // the values restored are short
    DWORD size = sizeof buf;
    m_existed = !RegGetValueA(root, subKey.c_str(), value.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &m_type, buf, &size);
    m_data.assign(buf, buf + (m_existed ? size : 0));
}

RegValueRestorer::~RegValueRestorer()
{
    if (m_existed) RegSetKeyValueA(m_root, m_subKey.c_str(), m_value.c_str(), m_type, m_data.data(), DWORD(m_data.size()));
    else RegDeleteKeyValueA(m_root, m_subKey.c_str(), m_value.c_str());
    if (!m_keyExisted) removeEmptyKeys(m_root, m_subKey, 1);
}

std::string exePath()
{
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n);
}

std::string exeDir()
{
    std::string p = exePath();
    return p.substr(0, p.find_last_of("\\/"));
}

ChildResult runProgram(const std::string& exe, const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    std::string cmd = quoteArg(exe);   // CreateProcessA may write into it
    for (const std::string& a : args) cmd += " " + quoteArg(a);

    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE outR, outW, errR, errW;
    if (!CreatePipe(&outR, &outW, &sa, 0) || !CreatePipe(&errR, &errW, &sa, 0))
        throw std::runtime_error("CreatePipe failed");

    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = outW;
    si.hStdError = errW;
    // The child inherits this process's environment, changed until it ends.
    std::forward_list<ScopedEnv> scoped;   // undone in reverse order
    for (const std::string& e : env) {
        const size_t eq = e.find('=');
        scoped.emplace_front(e.substr(0, eq).c_str(), eq + 1 < e.size() ? e.c_str() + eq + 1 : nullptr);
    }
    PROCESS_INFORMATION pi{};
    const BOOL ok = CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(outW);
    CloseHandle(errW);
    if (!ok) {
        CloseHandle(outR), CloseHandle(errR);
        throw std::runtime_error("CreateProcess failed for " + exe);
    }
    ChildResult r;
    // Poll rather than read to the end: a process the child starts (Wine's
    // desktop process, for one) may inherit the pipes and keep them open.
    for (;;) {
        bool exited = WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0;
        drain(outR, r.out);
        drain(errR, r.err);
        if (exited) break;
    }
    GetExitCodeProcess(pi.hProcess, &r.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(outR);
    CloseHandle(errR);
    return r;
}

ChildResult runChild(const std::string& name, const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    std::vector<std::string> all{"--orv-child", name};
    all.insert(all.end(), args.begin(), args.end());
    return runProgram(exePath(), all, env);
}

ChildResult runOrvtool(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    ChildResult r = runProgram(exeDir() + "\\orvtool.exe", args, env);
    for (std::string* text : {&r.out, &r.err}) text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
    return r;
}

IatHook::IatHook(const char* module, const char* importedDll, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleA(module));
    if (!base) throw std::runtime_error(std::string("module not loaded: ") + module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<char*>(base + imp->Name), importedDll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) != 0) continue;
            m_slot = reinterpret_cast<void**>(&slots->u1.Function);
            DWORD old;
            VirtualProtect(m_slot, sizeof(void*), PAGE_READWRITE, &old);
            m_original = *m_slot;
            *m_slot = replacement;
            VirtualProtect(m_slot, sizeof(void*), old, &old);
            return;
        }
    }
    throw std::runtime_error(std::string(module) + " does not import " + function);
}

IatHook::~IatHook()
{
    DWORD old;
    VirtualProtect(m_slot, sizeof(void*), PAGE_READWRITE, &old);
    *m_slot = m_original;
    VirtualProtect(m_slot, sizeof(void*), old, &old);
}

StdLogCapture::StdLogCapture()
    : m_logDir("ORV_DIR_LOGFILES", m_dir.path().c_str()), m_switch("ORV_STDLOGFILE", "1")
{
    VSYST_DumpStream::openStdStream();
    m_path = VSYST_DumpStream::getStdStream().filePath();
}

StdLogCapture::~StdLogCapture()
{
    while (VSYST_DumpStream::getOpenCount() > 0) VSYST_DumpStream::closeStdStream();
    // Opening the log creates the platform key when it is missing.
    removeEmptyKeys(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 2);
}

void removeEmptyKeys(HKEY__* root, const std::string& path, int levels)
{
    std::string p = path;
    for (int i = 0; i < levels && !p.empty(); ++i) {
        HKEY k;
        if (RegOpenKeyExA(root, p.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
        DWORD subKeys = 1, values = 1;
        RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr);
        RegCloseKey(k);
        if (subKeys || values || RegDeleteKeyA(root, p.c_str()) != ERROR_SUCCESS) return;
        size_t cut = p.find_last_of('\\');
        p = cut == std::string::npos ? std::string() : p.substr(0, cut);
    }
}

std::string StdLogCapture::text() const { return readFile(m_path); }

std::string processThreadText()
{
    char buf[128];
    DWORD pid = GetCurrentProcessId(), tid = GetCurrentThreadId();
    std::snprintf(buf, sizeof buf, "[ Process: %lu (0x%lx), Thread: %lu (0x%lx) ]", pid, pid, tid, tid);
    return buf;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) throw std::runtime_error("cannot write " + path);
}

}  // namespace orvtest
