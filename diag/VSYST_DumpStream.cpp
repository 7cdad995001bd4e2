// The dump stream, its log file wrapper and the time-stamp marks.
#include "VSYST_DumpStream.h"
#include "diag/orv_diag_internal.h"
#include "dllmain/OrvLock.h"
#include "strings/orv_bytescan.h"
#include "strings/orv_numtext.h"

#include <windows.h>
#include <io.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

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

// The files this process's streams have open, by file identity. Streams that
// open the same file share one handle and so one file position: their texts
// follow each other instead of overwriting. (An append-only handle would do
// that across processes too, but costs three system calls per write under Wine
// where a plain one costs one.)
struct SharedFile {
    DWORD volume, indexHigh, indexLow;
    HANDLE handle;
    long users;
};
std::vector<SharedFile>* s_sharedFiles = nullptr;   // created on first use, gone when empty
orv::Lock s_sharedFilesLock;

// h, or the handle this process already has open on the same file (h is then closed).
HANDLE shareHandle(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return h;
    orv::Locked locked(s_sharedFilesLock);
    if (!s_sharedFiles) s_sharedFiles = new std::vector<SharedFile>;
    for (SharedFile& f : *s_sharedFiles) {
        if (f.volume == info.dwVolumeSerialNumber && f.indexHigh == info.nFileIndexHigh &&
            f.indexLow == info.nFileIndexLow) {
            ++f.users;
            CloseHandle(h);
            return f.handle;
        }
    }
    s_sharedFiles->push_back({info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow, h, 1});
    return h;
}

// Closes h when no other stream of this process still writes through it.
void releaseHandle(HANDLE h)
{
    {
        orv::Locked locked(s_sharedFilesLock);
        for (size_t i = 0; s_sharedFiles && i < s_sharedFiles->size(); ++i) {
            SharedFile& f = (*s_sharedFiles)[i];
            if (f.handle != h) continue;
            if (--f.users > 0) return;
            s_sharedFiles->erase(s_sharedFiles->begin() + static_cast<std::ptrdiff_t>(i));
            if (s_sharedFiles->empty()) {
                delete s_sharedFiles;
                s_sharedFiles = nullptr;
            }
            break;
        }
    }
    CloseHandle(h);
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
    HANDLE h = CreateFileA(path, FILE_GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw OrvDumpFileException(GetLastError(), false);
    h = shareHandle(h);
    if (SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        DWORD code = GetLastError();
        releaseHandle(h);
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
    if (m_owned && isValid()) releaseHandle(m_handle);
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

namespace {

// Puts a stream into a mode when the scope ends, by return or by exception:
// a log write that fails must not leave the standard stream writing to the
// file alone.
class ModeOnExit {
public:
    ModeOnExit(VSYST_DumpStream& s, long mode) : m_stream(s), m_mode(mode) {}
    ~ModeOnExit() { m_stream.setMode(m_mode); }
    ModeOnExit(const ModeOnExit&) = delete;
    ModeOnExit& operator=(const ModeOnExit&) = delete;

private:
    VSYST_DumpStream& m_stream;
    long m_mode;
};

}  // namespace

void VSYST_DumpStream::openStdStream()
{
    VSYST_DumpStream& s = getStdStream();
    stdLogDecision();
    // Counted even when the banner fails, so that every closeStdStream still matches.
    InterlockedIncrement(&s_openCount);
    if (!s_stdLogSwitch) {
        s.setMode(kModeDebugger);
        return;
    }
    ModeOnExit after(s, kModeDebugger | kModeFile);
    s.setMode(kModeFile);
    s.openMessage();
}

void VSYST_DumpStream::closeStdStream()
{
    if (InterlockedDecrement(&s_openCount) >= 1) return;
    VSYST_DumpStream& s = getStdStream();
    stdLogDecision();
    // The file and the console wrapper go whether or not the banner could be written.
    struct Release {
        VSYST_DumpStream& s;
        ~Release()
        {
            s.closeFile();
            delete s_conFilePtr;
            s_conFilePtr = nullptr;
        }
    } release{s};
    ModeOnExit after(s, kModeDebugger);
    if (s_stdLogSwitch) {
        s.setMode(kModeFile);
        if (s.m_file) s.closeMessage();
    }
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
    // Wide sum: a large delta must not wrap round to a small count.
    long long n = static_cast<long long>(m_indent) + delta;
    m_indent = n < 1 ? 0 : (n > LONG_MAX ? LONG_MAX : static_cast<long>(n));
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

void VSYST_DumpStream::OutputString_(const char* text, size_t n)
{
    if (m_mode & kModeDebugger) OutputDebugStringA(text);
    if (m_mode & kModeConsole)
        if (OrvDupmFile* con = openConsole()) con->write(text, static_cast<unsigned long>(n));
    if (m_mode & kModeFile)
        if (OrvDupmFile* file = openLogfile()) file->write(text, static_cast<unsigned long>(n));
}

void VSYST_DumpStream::OutputString(const char* text) { OutputString(text, orv::textLength(text)); }

void VSYST_DumpStream::OutputString(const char* text, size_t length)
{
    if (!length) return;
    // Without indentation a text that fits one piece goes out as it is.
    if (m_indent <= 0 && length <= kOutputPiece) {
        m_lineStart = text[length - 1] == '\n';
        OutputString_(text, length);
        return;
    }
    char buf[kOutputPiece + 1];
    unsigned n = 0;
    auto put = [&](char c) {
        buf[n++] = c;
        if (n == kOutputPiece) {
            buf[n] = '\0';
            OutputString_(buf, n);
            n = 0;
        }
    };
    for (size_t i = 0; i < length; ++i) {
        if (m_lineStart) {
            m_lineStart = false;
            for (long k = 0; k < m_indent; ++k) put(m_indentChar);
        }
        put(text[i]);
        if (text[i] == '\n') m_lineStart = true;
    }
    if (n) {
        buf[n] = '\0';
        OutputString_(buf, n);
    }
}

void VSYST_DumpStream::writeText(const char* text, unsigned long length)
{
    // Pieces of at most 511 characters: before a character is added, a piece
    // holding more than 509 is passed on; a line feed adds its carriage return.
    const unsigned kFlushAbove = kLinePiece - 2;
    char piece[kLinePiece + 1];
    unsigned n = 0;
    auto flush = [&] {
        piece[n] = '\0';
        OutputString(piece, n);
        n = 0;
    };
    unsigned long i = 0;
    while (i < length) {
        if (n > kFlushAbove) flush();
        if (text[i] == '\n') {
            piece[n++] = '\r';
            piece[n++] = '\n';
            ++i;
            continue;
        }
        // A run without line feeds, as far as the piece takes it before the next check.
        unsigned long run = length - i;
        if (run > kFlushAbove + 1 - n) run = kFlushAbove + 1 - n;
        run = static_cast<unsigned long>(orv::findByte(text + i, run, '\n'));
        std::memcpy(piece + n, text + i, run);
        n += static_cast<unsigned>(run);
        i += run;
    }
    if (n) flush();
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
    writeText(text, static_cast<unsigned long>(orv::textLength(text)));
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
