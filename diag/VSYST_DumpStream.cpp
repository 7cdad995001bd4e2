// The dump stream, its log file wrapper and the time-stamp marks.
#include "VSYST_DumpStream.h"
#include "diag/orv_diag_internal.h"
#include "strings/orv_numtext.h"

#include <windows.h>
#include <io.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const long kModeDebugger = 0x0001;
const long kModeConsole = 0x0002;
const long kModeFile = 0x0004;
const long kModeAppend = 0x1000;

const unsigned kOutputPiece = 1022;   // characters per write to the outputs
const unsigned kLinePiece = 511;      // characters per piece after LF -> CR LF
const unsigned kPathSize = MAX_PATH;

const char kBannerLine[] = "\n--------------------------------------------------\n";

volatile LONG s_openCount = 0;
bool s_stdLogSwitch = false;
char s_registryLogPath[kPathSize] = {0};
bool s_registryLogPathRead = false;
char s_pathBuffer[kPathSize];

// The value "LogFilePath" below the platform key, read once per process with
// the raw registry calls: logging must work before anything else does.
void readRegistryLogPath()
{
    if (s_registryLogPathRead) return;
    s_registryLogPathRead = true;
    s_registryLogPath[0] = '\0';
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    char value[kPathSize] = {0};
    DWORD type = 0, size = sizeof value - 1;
    if (RegQueryValueExA(key, "LogFilePath", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
        type == REG_SZ && value[0]) {
        value[kPathSize - 1] = '\0';
        std::strcpy(s_registryLogPath, value);
    }
    RegCloseKey(key);
}

// The log directory with a backslash appended (always, even after one).
const char* logDirectory()
{
    readRegistryLogPath();
    const char* dir = s_registryLogPath[0] ? s_registryLogPath : nullptr;
    if (!dir) dir = std::getenv("ORV_DIR_LOGFILES");
    if (!dir) dir = std::getenv("TEMP");
    if (!dir) dir = ".";
    return dir;
}

// Builds dir + "\\" + name in the shared path buffer; false when it does not fit.
bool buildPath(const char* dir, const char* name)
{
    size_t d = dir ? std::strlen(dir) : 0, n = std::strlen(name);
    size_t total = dir ? d + 1 + n : n;
    if (total >= kPathSize) return false;
    if (dir) {
        std::memcpy(s_pathBuffer, dir, d);
        s_pathBuffer[d] = '\\';
        std::memcpy(s_pathBuffer + d + 1, name, n + 1);
    } else {
        std::memcpy(s_pathBuffer, name, n + 1);
    }
    return true;
}

void stdLogDecision()
{
    readRegistryLogPath();
    if (s_registryLogPath[0] || std::getenv("ORV_STDLOGFILE")) s_stdLogSwitch = true;
}

struct LocalTime {
    int year, month, day, hour, minute, second;
};

LocalTime localNow()
{
    __time64_t now = _time64(nullptr);
    struct tm* t = _localtime64(&now);
    LocalTime lt = {1970, 1, 1, 0, 0, 0};
    if (t) lt = {t->tm_year + 1900, t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec};
    return lt;
}

}  // namespace

// ---- OrvDumpFileException ---------------------------------------------------

OrvDumpFileException::OrvDumpFileException(unsigned long errorCode, bool report) : m_errorCode(errorCode)
{
    if (report) {
        displayStart();
        dumpStream() << "Standard log file error: " << errorCode << "\n";
        displayEnd();
    }
}

OrvDumpFileException::~OrvDumpFileException() {}

long OrvDumpFileException::mapToHRESULT() const
{
    return static_cast<long>(m_errorCode | 0x80070000u);
}

// ---- OrvDupmFile ------------------------------------------------------------

OrvDupmFile::OrvDupmFile(const char* path, OpenMode mode) : m_handle(INVALID_HANDLE_VALUE), m_owned(1), m_path(nullptr)
{
    DWORD disposition = mode == OM_OpenExisting ? OPEN_EXISTING : (mode == OM_Create ? CREATE_ALWAYS : OPEN_ALWAYS);
    // Write access without FILE_WRITE_DATA: every write lands at the current end,
    // so streams sharing one log file (same name, same second) never overwrite
    // each other's text.
    const DWORD access = FILE_GENERIC_WRITE & ~FILE_WRITE_DATA;
    HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw OrvDumpFileException(GetLastError(), false);
    if (SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        DWORD code = GetLastError();
        CloseHandle(h);
        throw OrvDumpFileException(code, false);
    }
    m_handle = h;
    size_t n = std::strlen(path);
    m_path = new char[n + 1];
    std::memcpy(m_path, path, n + 1);
}

OrvDupmFile::OrvDupmFile(void* handle) : m_handle(handle), m_owned(0), m_path(nullptr) {}

OrvDupmFile::~OrvDupmFile()
{
    if (m_owned && isValid()) CloseHandle(m_handle);
    delete[] m_path;
}

bool OrvDupmFile::isValid() const
{
    return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr;
}

void OrvDupmFile::write(const void* data, unsigned long count)
{
    if (!count) return;
    DWORD written = 0;
    if (!WriteFile(m_handle, data, count, &written, nullptr)) throw OrvDumpFileException(GetLastError(), false);
    if (written < count) throw OrvDumpFileException(ERROR_DISK_FULL, false);
}

void OrvDupmFile::flush()
{
    if (!FlushFileBuffers(m_handle)) throw OrvDumpFileException(GetLastError(), false);
}

// ---- VSYST_DumpStream: construction and the standard stream -----------------

long VSYST_DumpStream::s_conOpen = 0;
OrvDupmFile* VSYST_DumpStream::s_conFilePtr = nullptr;

VSYST_DumpStream::VSYST_DumpStream(const char* fileName, long mode)
    : m_mode(mode), m_file(nullptr), m_indent(0), m_indentChar(' '), m_lineStart(true), m_named(fileName != nullptr)
{
    if (!fileName) return;
    try {
        bool bare = !std::strchr(fileName, '\\') && !std::strchr(fileName, '/');
        if (!buildPath(bare ? logDirectory() : nullptr, fileName)) return;
        OrvDupmFile::OpenMode open = OrvDupmFile::OM_Create;
        if ((mode & kModeAppend) && _access(s_pathBuffer, 2) == 0) open = OrvDupmFile::OM_OpenExisting;
        m_file = new OrvDupmFile(s_pathBuffer, open);
        long saved = m_mode;
        m_mode &= kModeFile;
        try {
            openMessage();
        } catch (...) {
            m_mode = saved;
            throw;
        }
        m_mode = saved;
    } catch (...) {
        delete m_file;
        m_file = nullptr;
    }
}

VSYST_DumpStream::~VSYST_DumpStream()
{
    if (m_file) {
        try {
            m_mode &= kModeFile;
            closeMessage();
        } catch (...) {
            // Nothing sensible remains to report to at this point.
        }
        m_mode = kModeDebugger;
        closeFile();
    }
}

void VSYST_DumpStream::closeFile()
{
    delete m_file;
    m_file = nullptr;
}

VSYST_DumpStream& VSYST_DumpStream::getStdStream()
{
    if (!s_stdStreamPtr) s_stdStreamPtr.reset(new VSYST_DumpStream(nullptr, kModeDebugger));
    return *s_stdStreamPtr;
}

void VSYST_DumpStream::openStdStream()
{
    VSYST_DumpStream& s = getStdStream();
    stdLogDecision();
    if (s_stdLogSwitch) {
        s.setMode(kModeFile);
        s.openMessage();
        s.setMode(kModeDebugger | kModeFile);
    } else {
        s.setMode(kModeDebugger);
    }
    InterlockedIncrement(&s_openCount);
}

void VSYST_DumpStream::closeStdStream()
{
    if (InterlockedDecrement(&s_openCount) >= 1) return;
    VSYST_DumpStream& s = getStdStream();
    stdLogDecision();
    if (s_stdLogSwitch) {
        s.setMode(kModeFile);
        if (s.m_file) s.closeMessage();
    }
    s.setMode(kModeDebugger);
    s.closeFile();
    delete s_conFilePtr;
    s_conFilePtr = nullptr;
}

long VSYST_DumpStream::getOpenCount()
{
    return InterlockedCompareExchange(&s_openCount, 0, 0);
}

const char* VSYST_DumpStream::filePath() const
{
    return m_file && m_file->path() ? m_file->path() : "";
}

long VSYST_DumpStream::setMode(long mode)
{
    long old = m_mode;
    m_mode = mode;
    return old;
}

long VSYST_DumpStream::setIndent(long count, char c)
{
    long old = m_indent;
    m_indent = count < 1 ? 0 : count;
    m_indentChar = c;
    return old;
}

void VSYST_DumpStream::changeIndent(long delta)
{
    long n = m_indent + delta;
    m_indent = n < 1 ? 0 : n;
}

void VSYST_DumpStream::flush()
{
    if (m_file && m_file->isValid()) m_file->flush();
}

// ---- banners, files and the console -----------------------------------------

void VSYST_DumpStream::openMessage()
{
    *this << "APPLICATION DUMP STARTED AT : ";
    timeStamp();
    *this << kBannerLine;
}

void VSYST_DumpStream::closeMessage()
{
    *this << kBannerLine << "APPLICATION DUMP FINISHED AT : ";
    timeStamp();
    *this << "\n\n";
}

OrvDupmFile* VSYST_DumpStream::openLogfile()
{
    if (m_file || m_named) return m_file;
    try {
        char exe[kPathSize + 1] = {0};
        if (GetModuleFileNameA(nullptr, exe, kPathSize) == 0) {
            DWORD code = GetLastError();
            if (code) orv::systemErrorBox(code, nullptr, 0);
            std::strcpy(exe, "OrvCore");
        }
        char name[_MAX_FNAME] = {0};
        _splitpath(exe, nullptr, nullptr, name, nullptr);
        LocalTime t = localNow();
        char fileName[kPathSize];
        orv::crtFormat(fileName, sizeof fileName, "%s_%04d.%02d.%02d_%02d.%02d.%02d_run.log", name, t.year, t.month,
                       t.day, t.hour, t.minute, t.second);
        if (!buildPath(logDirectory(), fileName)) return nullptr;
        m_file = new OrvDupmFile(s_pathBuffer, OrvDupmFile::OM_OpenOrCreate);
    } catch (...) {
        m_file = nullptr;
    }
    return m_file;
}

OrvDupmFile* VSYST_DumpStream::openConsole()
{
    try {
        if (!s_conOpen && AllocConsole()) s_conOpen = 1;
        if (!s_conFilePtr) {
            HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
            if (out == nullptr || out == INVALID_HANDLE_VALUE) return nullptr;
            s_conFilePtr = new OrvDupmFile(out);
        }
        return s_conFilePtr;
    } catch (...) {
        return nullptr;
    }
}

// ---- output layers ----------------------------------------------------------

void VSYST_DumpStream::OutputString_(const char* text)
{
    unsigned long n = static_cast<unsigned long>(std::strlen(text));
    if (m_mode & kModeDebugger) OutputDebugStringA(text);
    if (m_mode & kModeConsole)
        if (OrvDupmFile* con = openConsole()) con->write(text, n);
    if (m_mode & kModeFile)
        if (OrvDupmFile* file = openLogfile()) file->write(text, n);
}

void VSYST_DumpStream::OutputString(const char* text)
{
    char buf[kOutputPiece + 1];
    unsigned n = 0;
    auto put = [&](char c) {
        buf[n++] = c;
        if (n == kOutputPiece) {
            buf[n] = '\0';
            n = 0;
            OutputString_(buf);
        }
    };
    for (const char* p = text; *p; ++p) {
        if (m_lineStart) {
            m_lineStart = false;
            for (long i = 0; i < m_indent; ++i) put(m_indentChar);
        }
        put(*p);
        if (*p == '\n') m_lineStart = true;
    }
    if (n) {
        buf[n] = '\0';
        OutputString_(buf);
    }
}

void VSYST_DumpStream::writeText(const char* text, unsigned long length)
{
    char piece[kLinePiece + 1];
    unsigned n = 0;
    for (unsigned long i = 0; i < length; ++i) {
        if (n > kLinePiece - 2) {
            piece[n] = '\0';
            n = 0;
            OutputString(piece);
        }
        if (text[i] == '\n') piece[n++] = '\r';
        piece[n++] = text[i];
    }
    if (n) {
        piece[n] = '\0';
        OutputString(piece);
    }
}

// ---- operator<< -------------------------------------------------------------

VSYST_DumpStream& VSYST_DumpStream::operator<<(char v) { return *this << static_cast<long>(static_cast<signed char>(v)); }
VSYST_DumpStream& VSYST_DumpStream::operator<<(unsigned char v) { return *this << static_cast<unsigned long>(v); }
VSYST_DumpStream& VSYST_DumpStream::operator<<(short v) { return *this << static_cast<long>(v); }
VSYST_DumpStream& VSYST_DumpStream::operator<<(unsigned short v) { return *this << static_cast<unsigned long>(v); }
VSYST_DumpStream& VSYST_DumpStream::operator<<(int v) { return *this << static_cast<long>(v); }
VSYST_DumpStream& VSYST_DumpStream::operator<<(unsigned int v) { return *this << static_cast<unsigned long>(v); }

VSYST_DumpStream& VSYST_DumpStream::operator<<(long v)
{
    char text[orv::kNumTextSize];
    orv::textSigned(text, v);
    OutputString(text);
    return *this;
}

VSYST_DumpStream& VSYST_DumpStream::operator<<(unsigned long v)
{
    char text[orv::kNumTextSize];
    orv::textUnsigned(text, v);
    OutputString(text);
    return *this;
}

VSYST_DumpStream& VSYST_DumpStream::operator<<(long long v)
{
    char text[orv::kNumTextSize];
    orv::textSigned(text, v);
    OutputString(text);
    return *this;
}

VSYST_DumpStream& VSYST_DumpStream::operator<<(unsigned long long v)
{
    char text[orv::kNumTextSize];
    orv::textUnsigned(text, v);
    OutputString(text);
    return *this;
}

VSYST_DumpStream& VSYST_DumpStream::operator<<(float v) { return *this << static_cast<double>(v); }

VSYST_DumpStream& VSYST_DumpStream::operator<<(double v)
{
    char text[orv::kNumTextSize];
    orv::textGcvt15(text, v);
    *this << static_cast<const char*>(text);
    return *this;
}

VSYST_DumpStream& VSYST_DumpStream::operator<<(const void* p)
{
    char text[orv::kNumTextSize];
    text[0] = '$';
    orv::textHexUpper(text + 1, reinterpret_cast<uintptr_t>(p));
    OutputString(text);
    return *this;
}

VSYST_DumpStream& VSYST_DumpStream::operator<<(const char* text)
{
    if (!text) text = "(NULL)";
    writeText(text, static_cast<unsigned long>(std::strlen(text)));
    return *this;
}

VSYST_DumpStream& VSYST_DumpStream::operator<<(const wchar_t* text)
{
    if (!text) return *this << "(NULL)";
    // At most 511 bytes; a longer text is cut at a character boundary.
    char out[kLinePiece + 1];
    unsigned n = 0;
    for (const wchar_t* p = text; *p;) {
        int units = (p[0] >= 0xD800 && p[0] <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) ? 2 : 1;
        char one[16];
        int got = WideCharToMultiByte(CP_ACP, 0, p, units, one, sizeof one, nullptr, nullptr);
        if (got <= 0 || n + static_cast<unsigned>(got) > kLinePiece) break;
        std::memcpy(out + n, one, static_cast<size_t>(got));
        n += static_cast<unsigned>(got);
        p += units;
    }
    out[n] = '\0';
    return *this << static_cast<const char*>(out);
}

VSYST_DumpStream& VSYST_DumpStream::operator<<(const V_STRING& text)
{
    return *this << text.data();
}

// ---- time stamps and hex dumps ----------------------------------------------

void VSYST_DumpStream::timeStamp()
{
    LocalTime t = localNow();
    char text[64];
    orv::crtFormat(text, sizeof text, "%02d:%02d:%02d %02d.%02d.%04d", t.hour, t.minute, t.second, t.day, t.month,
                   t.year);
    OutputString(text);
}

void VSYST_DumpStream::hexDump(const char* header, const unsigned char* data, long count, long perLine)
{
    if (count <= 0 || !data) return;
    if (perLine < 1) perLine = 1;
    for (long i = 0; i < count; ++i) {
        if (i % perLine == 0) {
            // wsprintfA never writes more than 1024 characters.
            char head[1025] = {0};
            if (header) wsprintfA(head, header, static_cast<const void*>(data + i));
            *this << static_cast<const char*>(head);
        }
        char item[8];
        orv::crtFormat(item, sizeof item, " %02X", data[i]);
        OutputString(item);
        if (i % perLine == perLine - 1) *this << "\n";
    }
    if (count % perLine) *this << "\n";
}

// ---- _orv_timestamp_ --------------------------------------------------------

void _orv_timestamp_(const char* file, int line)
{
    static clock_t s_last = 0;
    clock_t now = clock();
    double ms = static_cast<double>(now - s_last) * 0.001 * 1000.0;
    char text[1024];
    orv::crtFormat(text, sizeof text, "---> %10.3f ms %s[%d]\n", ms, file ? file : "(NULL)", line);
    VSYST_DumpStream& s = VSYST_DumpStream::getStdStream();
    s << static_cast<const char*>(text);
    s.flush();
    s_last = clock();
}
