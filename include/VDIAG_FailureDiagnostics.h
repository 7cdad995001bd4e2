// VDIAG_FailureDiagnostics.h - failure diagnostics: V_DIAG_DUMP, diagnostic
// levels per module, HRESULT reports, event-log messages, security dumps
// (VDIAG_FailureDiagnostics), the per-thread request context and indentation
// (VDIAG_DiagnosticContext, VDIAG_DiagnosticIndent) and the small thread-local
// storage manager they rest on (VDIAG_TlsMan).
#ifndef VDIAG_FAILUREDIAGNOSTICS_H
#define VDIAG_FAILUREDIAGNOSTICS_H

#include "OrvCoreDefs.h"

class VSYST_DumpStream;

// Formats with the C run-time's _vsnprintf into 4096 characters (a longer
// text is cut to 4095 and stays terminated) and writes the text and "\n" to
// the standard stream. A null format writes nothing. Returns the standard
// stream, so V_DIAG_DUMP(nullptr) << ... goes on writing to it.
ORVCORE_API VSYST_DumpStream& V_DIAG_DUMP(const char* format, ...) ORV_MS_PRINTF(1, 2);

// The form without a result: the same text, exported as the C symbol
// "V_DIAG_DUMP" for modules written in C or that look the log up with
// GetProcAddress. (C++ cannot overload on the result alone; the namespace
// only keeps the two declarations apart.)
namespace VDIAG_C {
extern "C" ORVCORE_API void V_DIAG_DUMP(const char* format, ...) ORV_MS_PRINTF(1, 2);
}

class ORVCORE_API VDIAG_FailureDiagnostics {
public:
    // Kept for callers that bracket their dumps; no lock is taken.
    static void acquireDumpLock();
    static void releaseDumpLock();

    // Level of a module (the name is matched exactly; null is the empty name),
    // read once per process from the REG_DWORD value of that name under
    // HKLM ...Platform\Diagnostics\Application:
    // - no value: the level becomes 0 and, when the key is writable, a value 0
    //   is created; asked again while the value is still missing, the slot is
    //   set back to 0;
    // - a value: the first one read is the level for the rest of the process;
    //   later registry changes do not replace it. -1 is a level like any other.
    // - keys that cannot be opened: level 0, nothing is written.
    // - a null or empty name: level 0, the registry is neither read nor written.
    // Modules ask from any thread: the table is under an in-process lock.
    // The slot stays at its address until unload, so the reference may be kept.
    // The table has no fixed bound: past the first 100 modules it grows, and
    // slots given out before never move.
    static int& getModuleDiagLevel(const char* module);
    // getModuleDiagLevel(module), then the module's slot index (-1 if none).
    static int getModuleDiagLevelRef(const char* module);
    // With ref an index given out before: that slot, without reading the
    // registry. Otherwise (-1 or any index not given out): the module's slot
    // as getModuleDiagLevel finds it, and its index is stored in ref.
    static int& getModuleDiagLevelFromRef(int& ref, const char* module);

    // Writes "Return code: HRESULT = 0x%08x\n" to the standard stream. For a
    // failure code (hr < 0) the calling thread's COM error information is set
    // (SetErrorInfo) with the code's text as description: from the message
    // table of the module (loaded by name) and the system's, else the system's
    // alone, inserts ("%1") left as they are, trailing line breaks removed;
    // "" when neither has it. Success codes leave the error information
    // alone. Never throws; returns hr.
    static long hresult(long hr, const char* module);
    // skip true: returns hr and reports nothing; otherwise hresult(hr, module).
    static long hresultLevelBased(bool skip, long hr, const char* module);

    // Writes one event (type, category 0, eventId, text as its one insertion
    // string) under source, or "ZIZ Oziraz" when source is null; a null text is
    // written as "". False on any failure and on a Windows 9x platform.
    static bool logMessage(unsigned long eventId, const char* text, unsigned short type, const char* source);
    // The same; the fourth argument is not used.
    static bool logMessage(unsigned long eventId, const char* text, unsigned short type, const char* ignored,
                           const char* source);

    // Opens the calling thread's request (or nests it: the number stays) and
    // closes it; numbers run 1 to 999 and start again at 1, process-wide.
    static void createRequest();
    static void removeRequest();
    // The calling thread's request: its number and nesting, 0 when it has none.
    static unsigned long getRequestId();
    static long getRequestNesting();
    // The indentation count of the thread's request, or the process's when it has none.
    static long getIndent();

    // Security dumps through V_DIAG_DUMP. A text of the dump that ends in a
    // line feed is written as it is, the others are V_DIAG_DUMP formats (so
    // one line feed ends every line). Each block of detail is a line "{",
    // its lines, and "}". A descriptor without group writes
    // "Group SID is : NULL"; ACEs are numbered from 0; entry types without a
    // name are written as their number; "ACE AceFlags:" is followed by the
    // names whose bits are all set, each after a space; an ACE or SID that
    // does not fit its ACL ends the list with "Error obtaining ACE...".
    static void dumpSecurityDescriptor(void* descriptor);
    static void dumpProcessUserIdentityString();
    static void dumpThreadUserIdentityString();

    // 0 at load; for the modules' own use, the library neither reads nor writes it.
    static int s_globalLevel;
};

// Adds count to the calling thread's indentation (its request's, or the
// process's when it has none) and takes it off again when it ends, then
// writes the closing text through V_DIAG_DUMP("%s", ...) unless it is empty.
// The library keeps the count; it indents no output by it.
class ORVCORE_API VDIAG_DiagnosticIndent {
public:
    explicit VDIAG_DiagnosticIndent(unsigned long count = 4, const char* closingText = "}");   // null: none
    ~VDIAG_DiagnosticIndent();
    VDIAG_DiagnosticIndent(const VDIAG_DiagnosticIndent&) = delete;
    VDIAG_DiagnosticIndent& operator=(const VDIAG_DiagnosticIndent&) = delete;

private:
    unsigned long m_count;
    char* m_closingText;   // malloc'd copy, or null
};

// The calling thread's request for the life of the object (createRequest and
// removeRequest).
class ORVCORE_API VDIAG_DiagnosticContext {
public:
    VDIAG_DiagnosticContext();
    ~VDIAG_DiagnosticContext();
    VDIAG_DiagnosticContext(const VDIAG_DiagnosticContext&) = delete;
    VDIAG_DiagnosticContext& operator=(const VDIAG_DiagnosticContext&) = delete;

    // True when the thread's request is nested (an outer context already
    // wrote its header); false also when the thread has no request.
    bool hiddenRqHeader() const;
};

// Per-thread data of the diagnostics: slots handed out of 100 bytes that every
// thread gets a copy of. A block is a header of two pointer-sized words and
// the 100 data bytes: 108 bytes in the x86 product, 116 (120 with alignment)
// on x64. The thread's TLS value is the address of its block's data.
class ORVCORE_API VDIAG_TlsMan {
public:
    enum { DataSize = 100 };

    struct Block {
        Block* first;   // template: null; thread block: the template
        Block* next;    // template: the newest thread block; thread block: the one before it
        unsigned char data[DataSize];
    };

    struct Data {
        unsigned long index;   // TLS index; 0xFFFFFFFF while none is allocated
        unsigned long used;    // bytes of the data handed out
        Block templ;           // the initial value of every slot
    };

    static Data& getData();
    // Hands out size bytes at the next offset with their initial value (null:
    // zeros); blocks created afterwards start with it. Returns the offset, or
    // -1 when the slot does not fit into the 100 bytes.
    static long allocSlot(unsigned long size, const void* initial);
    // The calling thread's data, its block created on first use; null while no
    // TLS index is allocated (before load, after unload) or memory runs out.
    static unsigned char* getThreadData();

    // Refers to getData(); the library itself does not use it.
    static Data& s_rData;
};

#endif
