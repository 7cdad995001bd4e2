// VSYST_ApplInitExit.h - prioritised init/exit handlers. Modules declare static
// handler objects; the host runs every init function once with doInit() (highest
// priority first) and every exit function with doExit() (exactly the reverse),
// with a trace in the standard dump stream (ORVFT_TRACE_APPLINITEXIT shows it all).
#ifndef VSYST_APPLINITEXIT_H
#define VSYST_APPLINITEXIT_H

#include "OrvCoreDefs.h"

class VSYST_DumpStream;

// One handler. It must outlive its registration: the list holds the object
// itself. Handlers constructed after doInit (late handlers) run their init
// function at once and their exit function from their destructor.
class ORVCORE_API VSYST_ApplInitExit {
public:
    typedef bool (*InitFn)();   // true on success
    typedef void (*ExitFn)();

    enum {
        AIE_Registered = 0,        // in the list, not initialised
        AIE_Initialized = 1,
        AIE_Terminated = 2,
        AIE_Late = 0x1000,         // registered after doInit, no init function
        AIE_LateOK = 0x1001,       // late, init function returned true
        AIE_LateFailed = 0x1002    // late, init function failed
    };

    // description is not copied and may be null ("<no description>").
    VSYST_ApplInitExit(const char* description, short priority, InitFn init, ExitFn exit);
    VSYST_ApplInitExit(short priority, InitFn init, ExitFn exit);
    ~VSYST_ApplInitExit();

    // Opens the standard log and runs the init functions; stops at the first
    // that fails or throws and returns false then. Nested calls only count.
    static bool doInit();
    // The call that matches the first doInit runs the exit functions of the
    // initialised handlers in reverse order and closes the standard log.
    // Neither throws: a log that cannot be written changes nothing they do.
    static void doExit();
    // Number of doInit calls not yet matched by doExit.
    static int getState();
    // Lists the registered handlers in list order.
    static void dump(VSYST_DumpStream& stream);

    unsigned short handlerState() const { return m_state; }
    short priority() const { return m_priority; }

private:
    VSYST_ApplInitExit(const VSYST_ApplInitExit&) = delete;
    VSYST_ApplInitExit& operator=(const VSYST_ApplInitExit&) = delete;

    void add();
    const char* dscr() const;
    static void reverseList();
    static bool traceLevelAtLeast(int level);
    static void dumpCallback(VSYST_DumpStream& stream, unsigned long alternative);

    VSYST_ApplInitExit* m_next;
    const char* m_description;
    unsigned short m_state;
    short m_priority;
    InitFn m_init;
    ExitFn m_exit;

    static VSYST_ApplInitExit* s_startOfList;
    static int s_initCounter;
    static int s_traceLevel;
};

#endif
