// Failure diagnostics: V_DIAG_DUMP, module levels, HRESULT reports, event-log
// messages, requests and indentation, and the diagnostics' load and unload work.
#include "VDIAG_FailureDiagnostics.h"
#include "VSYST_DumpStream.h"
#include "VSYST_RegistryKey.h"
#include "diag/orv_diag_internal.h"
#include "dllmain/OrvLock.h"
#include "dllmain/OrvRuntimeInternal.h"
#include "strings/orv_numtext.h"

#include <windows.h>
#include <mbstring.h>
#include <oleauto.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

const char kDiagnosticsKey[] = "SOFTWARE\\Brakmar\\T.R.I.O.N.(R) Platform\\Diagnostics";
const char kDefaultEventSource[] = "ZIZ Oziraz";
const unsigned kDumpBuffer = 4096;
const unsigned long kLastRequestNumber = 999;

// 2 when "Console Log" asked for console output at load.
int s_consoleSwitch = 0;

struct Request {
    unsigned long id;
    long indent;
    long nesting;
};

unsigned long s_lastRequestNumber = 0;
CRITICAL_SECTION s_requestLock;
INIT_ONCE s_requestLockOnce = INIT_ONCE_STATIC_INIT;
bool s_requestLockReady = false;
volatile LONG s_processIndent = 0;

BOOL CALLBACK initRequestLock(PINIT_ONCE, PVOID, PVOID*)
{
    InitializeCriticalSection(&s_requestLock);
    s_requestLockReady = true;
    return TRUE;
}

// The place of the calling thread's request pointer, or null without thread data.
Request** requestPlace()
{
    unsigned char* data = VDIAG_TlsMan::getThreadData();
    if (!data || orv::g_diagRequestSlot < 0) return nullptr;
    return reinterpret_cast<Request**>(data + orv::g_diagRequestSlot);
}

Request* currentRequest()
{
    Request** place = requestPlace();
    return place ? *place : nullptr;
}

void addIndent(long delta)
{
    if (Request* r = currentRequest()) r->indent += delta;
    else InterlockedExchangeAdd(&s_processIndent, delta);
}

void dumpV(const char* format, va_list args)
{
    // One write for text and line feed keeps a line whole among other writers.
    char text[kDumpBuffer + 1];
    unsigned n = orv::crtFormatV(text, kDumpBuffer, format, args);
    text[n] = '\n';
    text[n + 1] = '\0';
    VSYST_DumpStream::getStdStream() << static_cast<const char*>(text);
}

// Hands the thread's COM error information a new object carrying text.
void setThreadErrorInfo(const char* text)
{
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || !create) return;
    wchar_t wide[1024] = {0};
    if (!MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, wide, sizeof wide / sizeof wide[0])) wide[0] = L'\0';
    BSTR description = SysAllocString(wide);
    create->SetDescription(description);
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(__uuidof(IErrorInfo), reinterpret_cast<void**>(&info))) && info) {
        SetErrorInfo(0, info);
        info->Release();
    }
    SysFreeString(description);
    create->Release();
}

// Modules ask for levels from any thread; the table's map and slot store
// change under this lock. A slot itself never moves once given out.
orv::Lock s_levelsLock;

// The module's slot, a new one when it has none. Callers hold s_levelsLock.
int& levelSlot(const std::string& name, bool& isNew)
{
    orv::DiagLevelTable& t = orv::g_diagLevels;
    auto known = t.names.find(name);
    isNew = known == t.names.end();
    if (!isNew) return t.slots[static_cast<size_t>(known->second)];
    int index = t.lastUsed + 1;
    if (static_cast<size_t>(index) >= t.slots.size()) t.slots.push_back(0);
    t.names[name] = index;
    t.lastUsed = index;
    return t.slots[static_cast<size_t>(index)];
}

}  // namespace

// ---- V_DIAG_DUMP ------------------------------------------------------------

VSYST_DumpStream& V_DIAG_DUMP(const char* format, ...)
{
    if (format) {
        va_list args;
        va_start(args, format);
        dumpV(format, args);
        va_end(args);
    }
    return VSYST_DumpStream::getStdStream();
}

extern "C" void VDIAG_C::V_DIAG_DUMP(const char* format, ...)
{
    if (!format) return;
    va_list args;
    va_start(args, format);
    dumpV(format, args);
    va_end(args);
}

// ---- platform ---------------------------------------------------------------

bool orv::isWin9xPlatform()
{
    static int s_win9x = -1;
    if (s_win9x < 0) {
        OSVERSIONINFOA info;
        std::memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        s_win9x = (!GetVersionExA(&info) || info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) ? 1 : 0;
    }
    return s_win9x == 1;
}

// ---- levels -----------------------------------------------------------------

int VDIAG_FailureDiagnostics::s_globalLevel = 0;

void VDIAG_FailureDiagnostics::acquireDumpLock() {}
void VDIAG_FailureDiagnostics::releaseDumpLock() {}

int& VDIAG_FailureDiagnostics::getModuleDiagLevel(const char* module)
{
    const std::string name = module ? module : "";
    bool isNew = false;
    if (name.empty()) {
        // No value name to read: the empty name would be the key's default value.
        orv::Locked locked(s_levelsLock);
        int& slot = levelSlot(name, isNew);
        slot = 0;
        return slot;
    }
    const V_STRING valueName(name.c_str());
    VSYST_RegistryKey platform(VSYST_RSK_LocalMachinePlatform, false);
    VSYST_RegistryKey application(platform, V_STRING("Diagnostics\\Application"), true);
    bool found = false;
    long value = application.getIntValue(valueName, found);
    if (!found && application.isValid()) application.setIntValue(valueName, 0);

    orv::Locked locked(s_levelsLock);
    int& slot = levelSlot(name, isNew);
    if (!found) slot = 0;
    else if (isNew) slot = static_cast<int>(value);
    return slot;
}

int VDIAG_FailureDiagnostics::getModuleDiagLevelRef(const char* module)
{
    getModuleDiagLevel(module);
    orv::Locked locked(s_levelsLock);
    auto known = orv::g_diagLevels.names.find(module ? module : "");
    return known == orv::g_diagLevels.names.end() ? -1 : known->second;
}

int& VDIAG_FailureDiagnostics::getModuleDiagLevelFromRef(int& ref, const char* module)
{
    {
        orv::Locked locked(s_levelsLock);
        orv::DiagLevelTable& t = orv::g_diagLevels;
        if (ref >= 0 && ref <= t.lastUsed) return t.slots[static_cast<size_t>(ref)];
    }
    int& slot = getModuleDiagLevel(module);
    orv::Locked locked(s_levelsLock);
    ref = orv::g_diagLevels.names[module ? module : ""];
    return slot;
}

// ---- HRESULT reports ----------------------------------------------------------

long VDIAG_FailureDiagnostics::hresult(long hr, const char* module)
{
    try {
        char line[64];
        orv::crtFormat(line, sizeof line, "Return code: HRESULT = 0x%08x\n", static_cast<unsigned>(hr));
        VSYST_DumpStream::getStdStream() << static_cast<const char*>(line);
    } catch (...) {
        // A log that cannot be written must not turn a report into a failure.
    }
    HMODULE library = module ? LoadLibraryExA(module, nullptr, 0) : nullptr;
    const DWORD code = static_cast<DWORD>(hr);
    // Inserts stay as they are ("%1"): there are no arguments to fill them,
    // and without the flag FormatMessage would read some all the same.
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    char text[1024] = {0};
    DWORD length = FormatMessageA(flags | FORMAT_MESSAGE_FROM_HMODULE, library, code, 0, text, sizeof text, nullptr);
    if (!length) {
        std::memset(text, 0, sizeof text);
        length = FormatMessageA(flags, nullptr, code, 0, text, sizeof text, nullptr);
    }
    if (length) {
        text[sizeof text - 1] = '\0';
        for (long i = static_cast<long>(std::strlen(text)) - 2; i >= 0 && (text[i] == '\r' || text[i] == '\n'); --i)
            text[i] = '\0';
    } else {
        text[0] = '\0';
    }
    if (hr < 0) setThreadErrorInfo(text);
    if (library) FreeLibrary(library);
    return hr;
}

long VDIAG_FailureDiagnostics::hresultLevelBased(bool skip, long hr, const char* module)
{
    return skip ? hr : hresult(hr, module);
}

// ---- event log --------------------------------------------------------------

bool VDIAG_FailureDiagnostics::logMessage(unsigned long eventId, const char* text, unsigned short type,
                                          const char* source)
{
    if (orv::isWin9xPlatform()) return false;
    HANDLE log = RegisterEventSourceA(nullptr, source ? source : kDefaultEventSource);
    if (!log) return false;
    const char* strings[1] = {text ? text : ""};
    BOOL reported = ReportEventA(log, type, 0, eventId, nullptr, 1, 0, strings, nullptr);
    BOOL deregistered = DeregisterEventSource(log);
    return reported && deregistered;
}

bool VDIAG_FailureDiagnostics::logMessage(unsigned long eventId, const char* text, unsigned short type,
                                          const char*, const char* source)
{
    return logMessage(eventId, text, type, source);
}

// ---- requests and indentation -----------------------------------------------

void VDIAG_FailureDiagnostics::createRequest()
{
    Request** place = requestPlace();
    if (!place) return;
    if (*place) {
        ++(*place)->nesting;
        return;
    }
    InitOnceExecuteOnce(&s_requestLockOnce, initRequestLock, nullptr, nullptr);
    EnterCriticalSection(&s_requestLock);
    s_lastRequestNumber = s_lastRequestNumber >= kLastRequestNumber ? 1 : s_lastRequestNumber + 1;
    unsigned long id = s_lastRequestNumber;
    LeaveCriticalSection(&s_requestLock);
    *place = new Request{id, 0, 1};
}

void VDIAG_FailureDiagnostics::removeRequest()
{
    Request** place = requestPlace();
    if (!place || !*place) return;
    if (--(*place)->nesting <= 0) {
        delete *place;
        *place = nullptr;
    }
}

unsigned long VDIAG_FailureDiagnostics::getRequestId()
{
    Request* r = currentRequest();
    return r ? r->id : 0;
}

long VDIAG_FailureDiagnostics::getRequestNesting()
{
    Request* r = currentRequest();
    return r ? r->nesting : 0;
}

long VDIAG_FailureDiagnostics::getIndent()
{
    Request* r = currentRequest();
    return r ? r->indent : InterlockedCompareExchange(&s_processIndent, 0, 0);
}

VDIAG_DiagnosticIndent::VDIAG_DiagnosticIndent(unsigned long count, const char* closingText)
    : m_count(count), m_closingText(nullptr)
{
    if (closingText && *closingText) {
        size_t n = std::strlen(closingText) + 1;
        m_closingText = static_cast<char*>(std::malloc(n));
        if (m_closingText) std::memcpy(m_closingText, closingText, n);
    }
    addIndent(static_cast<long>(m_count));
}

VDIAG_DiagnosticIndent::~VDIAG_DiagnosticIndent()
{
    addIndent(-static_cast<long>(m_count));
    if (m_closingText) {
        try {
            V_DIAG_DUMP("%s", m_closingText);
        } catch (...) {
            // The log's own failure has no place to go from a destructor.
        }
        std::free(m_closingText);
    }
}

VDIAG_DiagnosticContext::VDIAG_DiagnosticContext() { VDIAG_FailureDiagnostics::createRequest(); }

VDIAG_DiagnosticContext::~VDIAG_DiagnosticContext() { VDIAG_FailureDiagnostics::removeRequest(); }

bool VDIAG_DiagnosticContext::hiddenRqHeader() const
{
    Request* r = currentRequest();
    return r && r->nesting > 1;
}

// ---- load and unload ----------------------------------------------------------

void orv::diagStartup()
{
    int consoleSwitch = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDiagnosticsKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        // 15 bytes, the last always left zero so the text stays terminated.
        unsigned char value[15] = {0};
        DWORD size = sizeof value - 1;
        if (RegQueryValueExA(key, "Console Log", nullptr, nullptr, value, &size) != ERROR_SUCCESS)
            std::memset(value, 0, sizeof value);
        if (_mbsicmp(value, reinterpret_cast<const unsigned char*>("on")) == 0) consoleSwitch = 2;
        RegCloseKey(key);
    }
    s_consoleSwitch = consoleSwitch;
    VSYST_DumpStream::getStdStream().setMode(s_consoleSwitch | VSYST_DumpStream::DSM_Debugger);
    tlsAttach();
}

void orv::diagShutdown()
{
    // Requests still open when the library goes die with their blocks.
    for (VDIAG_TlsMan::Block* b = VDIAG_TlsMan::getData().templ.next; b && g_diagRequestSlot >= 0; b = b->next) {
        Request** place = reinterpret_cast<Request**>(b->data + g_diagRequestSlot);
        delete *place;
        *place = nullptr;
    }
    tlsDetach();
    try {
        VSYST_DumpStream::closeStdStream();
    } catch (...) {
        // Unloading goes on whether or not the closing banner could be written.
    }
    if (s_requestLockReady) {
        DeleteCriticalSection(&s_requestLock);
        s_requestLockReady = false;
        InitOnceInitialize(&s_requestLockOnce);
    }
}
