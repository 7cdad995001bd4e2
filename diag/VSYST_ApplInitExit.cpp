// VSYST_ApplInitExit: the prioritised init/exit sequence of the host.
#include "VSYST_ApplInitExit.h"
#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"

#include <cstdlib>

// Plain data, constant-initialised: handlers of any module may register before
// any dynamic initialiser of this library has run.
VSYST_ApplInitExit* VSYST_ApplInitExit::s_startOfList = nullptr;
int VSYST_ApplInitExit::s_initCounter = 0;
int VSYST_ApplInitExit::s_traceLevel = -1;

namespace {

// Late handlers above this priority are the platform's own and may legitimately
// run their exit work from their destructor.
const short kLateExitWarningLimit = 32000;

enum Outcome { O_OK, O_ERROR, O_EXCEPTION };

// Writes to the standard stream; a log that cannot be written must not change
// what the sequence does or returns.
template <class Write>
void trace(Write write)
{
    try {
        write(VSYST_DumpStream::getStdStream());
    } catch (...) {
    }
}

const char* outcomeText(Outcome o)
{
    switch (o) {
    case O_OK: return ",State=OK)\n";
    case O_ERROR: return ",State=ERROR)\n";
    default: return ",State=EXCEPTION)\n";
    }
}

}  // namespace

VSYST_ApplInitExit::VSYST_ApplInitExit(const char* description, short priority, InitFn init, ExitFn exit)
    : m_next(nullptr), m_description(description), m_state(AIE_Registered), m_priority(priority), m_init(init), m_exit(exit)
{
    add();
}

VSYST_ApplInitExit::VSYST_ApplInitExit(short priority, InitFn init, ExitFn exit)
    : m_next(nullptr), m_description(nullptr), m_state(AIE_Registered), m_priority(priority), m_init(init), m_exit(exit)
{
    add();
}

VSYST_ApplInitExit::~VSYST_ApplInitExit()
{
    if (!(m_state & AIE_Late)) {
        for (VSYST_ApplInitExit** p = &s_startOfList; *p; p = &(*p)->m_next) {
            if (*p == this) {
                *p = m_next;
                break;
            }
        }
        m_next = nullptr;
        return;
    }
    try {
        if (m_priority <= kLateExitWarningLimit)
            VSYST_DumpStream::getStdStream() << "ERROR in VSYST_ApplInitExit::~VSYST_ApplInitExit\n\tCalling exit-function for \""
                                             << dscr() << "\"\n\n";
        // A late handler without an init function counts as initialised, as it
        // would in the list, so it gets its exit function too.
        if ((m_state == AIE_LateOK || m_state == AIE_Late) && m_exit) m_exit();
    } catch (...) {
        // A destructor must not throw; the exit function's own report is all we give.
    }
}

void VSYST_ApplInitExit::add()
{
    if (s_initCounter <= 0) {
        m_state = AIE_Registered;
        if (!s_startOfList || m_priority > s_startOfList->m_priority) {
            m_next = s_startOfList;
            s_startOfList = this;
            return;
        }
        VSYST_ApplInitExit* p = s_startOfList;
        while (p->m_next && p->m_next->m_priority >= m_priority) p = p->m_next;
        m_next = p->m_next;
        p->m_next = this;
        return;
    }

    m_next = nullptr;
    m_state = AIE_Late;
    if (!m_init) return;
    m_state = AIE_LateFailed;
    bool ok = false;
    try {
        ok = m_init();
    } catch (...) {
        ok = false;   // a constructor of a static object must not let it escape
    }
    if (ok) {
        m_state = AIE_LateOK;
        return;
    }
    trace([this](VSYST_DumpStream& s) {
        s << "ERROR in\tVSYST_ApplInitExit::add\n\tOut of order calling init-function for \"" << dscr()
          << "\" fails!\n\n";
    });
}

const char* VSYST_ApplInitExit::dscr() const { return m_description ? m_description : "<no description>"; }

bool VSYST_ApplInitExit::traceLevelAtLeast(int level)
{
    if (s_traceLevel < 1 && std::getenv("ORVFT_TRACE_APPLINITEXIT")) s_traceLevel = 1;
    return s_traceLevel >= level;
}

void VSYST_ApplInitExit::reverseList()
{
    VSYST_ApplInitExit* reversed = nullptr;
    while (VSYST_ApplInitExit* h = s_startOfList) {
        s_startOfList = h->m_next;
        h->m_next = reversed;
        reversed = h;
    }
    s_startOfList = reversed;
}

void VSYST_ApplInitExit::dumpCallback(VSYST_DumpStream& stream, unsigned long) { dump(stream); }

bool VSYST_ApplInitExit::doInit()
{
    trace([](VSYST_DumpStream& s) { s << "\nVSYST_ApplInitExit::doInit s_initCounter==" << (s_initCounter + 1); });
    if (s_initCounter++ != 0) return true;

    VSYST_DIManager::add("System", "Dump registrated initialization handlers", nullptr, &dumpCallback);
    trace([](VSYST_DumpStream&) { VSYST_DumpStream::openStdStream(); });
    if (traceLevelAtLeast(0))
        trace([](VSYST_DumpStream& s) { s << "\nStarting ZANDrel-FT initialization : part 1\n"; });

    bool result = true;
    for (VSYST_ApplInitExit* h = s_startOfList; h && result; h = h->m_next) {
        Outcome o = O_OK;
        if (h->m_init) {
            try {
                if (!h->m_init()) o = O_ERROR;
            } catch (...) {
                o = O_EXCEPTION;
            }
        }
        if (o == O_OK) h->m_state = AIE_Initialized;
        else result = false;
        if (traceLevelAtLeast(o == O_OK ? 1 : 0))
            trace([h, o](VSYST_DumpStream& s) {
                s << "\tInitializing \"" << h->dscr() << "\" (Priority=" << static_cast<long>(h->m_priority)
                  << outcomeText(o);
            });
    }

    if (traceLevelAtLeast(0))
        trace([](VSYST_DumpStream& s) { s << "Ending ZANDrel-FT initialization : part 1\n\n"; });
    return result;
}

void VSYST_ApplInitExit::doExit()
{
    trace([](VSYST_DumpStream& s) { s << "\nVSYST_ApplInitExit::doExit s_initCounter==" << (s_initCounter - 1); });
    if (s_initCounter <= 0 || --s_initCounter != 0) return;

    if (traceLevelAtLeast(0))
        trace([](VSYST_DumpStream& s) { s << "\nStarting ZANDrel-FT termination : part 1\n"; });
    reverseList();
    for (VSYST_ApplInitExit* h = s_startOfList; h; h = h->m_next) {
        if (h->m_state != AIE_Initialized) continue;
        if (h->m_exit) {
            Outcome o = O_OK;
            try {
                h->m_exit();
            } catch (...) {
                o = O_EXCEPTION;
            }
            if (traceLevelAtLeast(o == O_OK ? 1 : 0))
                trace([h, o](VSYST_DumpStream& s) {
                    s << "\tTerminating \"" << h->dscr() << "\" (Priority=" << static_cast<long>(h->m_priority)
                      << outcomeText(o);
                });
        }
        h->m_state = AIE_Terminated;
    }
    if (traceLevelAtLeast(0))
        trace([](VSYST_DumpStream& s) { s << "Ending ZANDrel-FT termination : part 1\n\n"; });
    // Back to priority order, so that later registrations and a second
    // initialisation in this process see the list as the first one did.
    reverseList();
    trace([](VSYST_DumpStream&) { VSYST_DumpStream::closeStdStream(); });
}

int VSYST_ApplInitExit::getState() { return s_initCounter; }

void VSYST_ApplInitExit::dump(VSYST_DumpStream& stream)
{
    stream << "\nStarting ZANDrel-FT init/exit handler dump\n";
    for (const VSYST_ApplInitExit* h = s_startOfList; h; h = h->m_next)
        stream << "\tHandler for \"" << h->dscr() << "\" (Priority=" << static_cast<long>(h->m_priority) << ")\n";
    stream << "Ending ZANDrel-FT init/exit handler dump\n\n";
}
