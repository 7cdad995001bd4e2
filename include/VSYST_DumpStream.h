// VSYST_DumpStream.h - the dump (log) stream: VSYST_DumpStream, its file
// wrapper OrvDupmFile, the exception OrvDumpFileException and _orv_timestamp_.
// A stream sends each piece of text to the debugger, a console and a log file,
// as its mode says. The process-wide standard stream is getStdStream().
#ifndef VSYST_DUMPSTREAM_H
#define VSYST_DUMPSTREAM_H

#include "OrvCoreDefs.h"
#include "V_CapsulatedPointer.h"
#include "V_Exception.h"
#include "V_String.h"

#include <cstddef>

// Failure of a log file operation; carries the Win32 error code.
class ORVCORE_API OrvDumpFileException : public VSYST_Exception {
public:
    // With report true the standard report is written, holding the line
    // "Standard log file error: <code>"; the stream's own failures pass false.
    OrvDumpFileException(unsigned long errorCode, bool report);
    OrvDumpFileException(const OrvDumpFileException& other) = default;
    OrvDumpFileException& operator=(const OrvDumpFileException& other) = default;
    virtual ~OrvDumpFileException();

    unsigned long getErrorCode() const { return m_errorCode; }
    virtual long mapToHRESULT() const;              // 0x80070000 | code

private:
    unsigned long m_errorCode;
};

// One Win32 file handle, opened for writing (shared read/write) or wrapped.
// The files of one process are shared: every OrvDupmFile opened on the same
// file uses one handle and so one position (under an in-process lock), and
// two streams on one file append after each other instead of overwriting.
// Another process's writer positions at the end when it opens.
class ORVCORE_API OrvDupmFile {
public:
    enum OpenMode {
        OM_OpenExisting,   // only an existing file
        OM_Create,         // always create; an existing file is emptied
        OM_OpenOrCreate    // open an existing file or create a new one
    };

    // Opens path and positions at its end; throws OrvDumpFileException on failure.
    OrvDupmFile(const char* path, OpenMode mode);
    // Wraps a handle without owning it (the console's standard output).
    explicit OrvDupmFile(void* handle);
    ~OrvDupmFile();
    OrvDupmFile(const OrvDupmFile&) = delete;
    OrvDupmFile& operator=(const OrvDupmFile&) = delete;

    // Throws OrvDumpFileException: the Win32 code when WriteFile fails, 112 for a short write.
    void write(const void* data, unsigned long count);
    void flush();                                   // FlushFileBuffers; throws on failure
    void* handle() const { return m_handle; }
    bool isValid() const;
    const char* path() const { return m_path; }     // "" for a wrapped handle

private:
    void* m_handle;
    long m_owned;
    char* m_path;
};

class ORVCORE_API VSYST_DumpStream {
public:
    enum {
        DSM_Debugger = 0x0001,   // OutputDebugStringA
        DSM_Console = 0x0002,    // a console, allocated on first use
        DSM_File = 0x0004,       // the log file
        DSM_Append = 0x1000      // construction only: append to an existing file
    };

    // With a name, opens the file at once (a name without a slash or backslash
    // goes into the log directory); if that fails the stream stays without a
    // file. Without a name the per-run log file opens at the first write to it.
    VSYST_DumpStream(const char* fileName, long mode);
    ~VSYST_DumpStream();
    VSYST_DumpStream(const VSYST_DumpStream&) = delete;
    VSYST_DumpStream& operator=(const VSYST_DumpStream&) = delete;

    static VSYST_DumpStream& getStdStream();
    // Counted; with the log switch on, opens the per-run file with its banner.
    // A failed banner write throws OrvDumpFileException, yet the call is counted
    // and the mode is debugger and file all the same.
    static void openStdStream();
    // The last closer writes the closing banner and closes the file; the mode
    // becomes debugger only and the file is released even when the banner
    // write throws.
    static void closeStdStream();

    long setMode(long mode);                        // returns the previous mode
    long getMode() const { return m_mode; }
    long setIndent(long count, char c = ' ');       // returns the previous count; below 1 becomes 0
    void changeIndent(long delta);
    long getIndent() const { return m_indent; }

    void flush();                    // flushes an open file; throws OrvDumpFileException
    void timeStamp();                // "hh:mm:ss dd.mm.yyyy", local time
    void hexDump(const char* header, const unsigned char* data, long count, long perLine);

    // The open log file, or null.
    OrvDupmFile* file() const { return m_file; }
    // Path of the open log file, or "" when none is open.
    const char* filePath() const;
    // Number of openStdStream calls not yet matched by closeStdStream.
    static long getOpenCount();

    VSYST_DumpStream& operator<<(char v);                 // as a number: 'A' writes 65
    VSYST_DumpStream& operator<<(unsigned char v);
    VSYST_DumpStream& operator<<(short v);
    VSYST_DumpStream& operator<<(unsigned short v);
    VSYST_DumpStream& operator<<(int v);
    VSYST_DumpStream& operator<<(unsigned int v);
    VSYST_DumpStream& operator<<(long v);
    VSYST_DumpStream& operator<<(unsigned long v);
    VSYST_DumpStream& operator<<(long long v);
    VSYST_DumpStream& operator<<(unsigned long long v);
    VSYST_DumpStream& operator<<(float v);                // _gcvt style, 15 significant digits
    VSYST_DumpStream& operator<<(double v);
    VSYST_DumpStream& operator<<(const void* p);          // "$" + upper-case hex
    VSYST_DumpStream& operator<<(const char* text);       // LF becomes CR LF; null writes "(NULL)"
    VSYST_DumpStream& operator<<(const wchar_t* text);    // converted to ANSI, at most 511 bytes
    VSYST_DumpStream& operator<<(const V_STRING& text);

private:
    void openMessage();
    void closeMessage();
    OrvDupmFile* openLogfile();
    static OrvDupmFile* openConsole();
    void OutputString(const char* text);            // with indentation, 1022-character pieces
    void OutputString(const char* text, size_t length);
    void OutputString_(const char* text, size_t length);   // straight to the outputs; text[length] is NUL
    void writeText(const char* text, unsigned long length);   // LF -> CR LF, 511-character pieces
    void closeFile();

    long m_mode;
    OrvDupmFile* m_file;
    long m_indent;
    char m_indentChar;
    bool m_lineStart;
    bool m_named;   // a named stream never falls back to the per-run file

    static V_CapsulatedPointer<VSYST_DumpStream> s_stdStreamPtr;
    static long s_conOpen;
    static OrvDupmFile* s_conFilePtr;
};

// Writes "---> <ms> ms <file>[<line>]" with the time since the previous mark.
ORVCORE_API void _orv_timestamp_(const char* file, int line);

#define ORV_TIMESTAMP() _orv_timestamp_(__FILE__, __LINE__)

#endif
