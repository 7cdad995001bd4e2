// VSYST_ApplInitExit. Each test case runs in a process of its own, so the
// counter and the trace level start fresh.
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include "VSYST_ApplInitExit.h"
#include "VSYST_DumpStream.h"

#include <gtest/gtest.h>

#include <string>

using orvtest::crlf;
using orvtest::written;
typedef VSYST_ApplInitExit AIE;

namespace {

// "+tag " for each init call, "-tag " for each exit call.
std::string g_calls;

template <int Tag>
bool init() { g_calls += "+" + std::to_string(Tag) + " "; return true; }
template <int Tag>
void term() { g_calls += "-" + std::to_string(Tag) + " "; }
bool initFails() { g_calls += "+x "; return false; }
bool initThrows() { g_calls += "+x "; throw 42; }
void termThrows() { g_calls += "-throws "; throw 7; }

const char* const kNoDscr = "<no description>";
const std::string kInitCount1 = "\nVSYST_ApplInitExit::doInit s_initCounter==1";
const std::string kExitCount0 = "\nVSYST_ApplInitExit::doExit s_initCounter==0";

std::string line(const char* verb, const char* dscr, int priority, const char* state)
{
    return std::string("\t") + verb + " \"" + dscr + "\" (Priority=" + std::to_string(priority) + ",State=" + state +
           ")\n";
}
std::string initLine(const char* d, int prio, const char* state = "OK") { return line("Initializing", d, prio, state); }
std::string exitLine(const char* d, int prio, const char* state = "OK") { return line("Terminating", d, prio, state); }

// Level 1 trace of one cycle. The library's own handlers are three of 32700 and
// one of 32000; only that one and the first of 32700 have exits.
std::string cycleTrace(const std::string& hostInits, const std::string& hostExits,
                       const std::string& between = kExitCount0)
{
    return kInitCount1 + "\nStarting ZANDrel-FT initialization : part 1\n" + initLine(kNoDscr, 32700) +
           initLine(kNoDscr, 32700) + initLine(kNoDscr, 32700) + initLine(kNoDscr, 32000) + hostInits +
           "Ending ZANDrel-FT initialization : part 1\n\n" + between + "\nStarting ZANDrel-FT termination : part 1\n" +
           hostExits + exitLine(kNoDscr, 32000) + exitLine(kNoDscr, 32700) +
           "Ending ZANDrel-FT termination : part 1\n\n";
}

}  // namespace

// Handler states: 0 registered, 1 initialised, 2 terminated. Tag 31 is the
// second handler of priority 30.
TEST(ApplInitExit, PrioritiesRunDownwardsAndTerminateInExactReverse)
{
    if (!orvtest::aloneInProcess()) return;
    orvtest::TempDir logs;
    orvtest::ScopedEnv logDir("ORV_DIR_LOGFILES", logs.path().c_str());
    orvtest::ScopedEnv logFile("ORV_STDLOGFILE", "1");
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", "1");
    AIE h10("10", 10, init<10>, term<10>);
    AIE h30("30", 30, init<30>, term<30>);
    AIE h20("20", 20, init<20>, term<20>);
    AIE h31("31", 30, init<31>, term<31>);
    AIE negative("-5", -5, init<-5>, term<-5>);   // signed comparison
    {
        AIE gone("gone", 25, initFails, nullptr);
    }
    const AIE* const hosts[] = {&h10, &h30, &h20, &h31, &negative};

    DebugCapture debugger;
    ASSERT_TRUE(AIE::doInit());
    EXPECT_EQ(1, AIE::getState());
    AIE::doExit();
    for (const AIE* h : hosts) EXPECT_EQ(2, h->handlerState());
    const std::string calls = "+30 +31 +20 +10 +-5 --5 -10 -20 -31 -30 ";
    EXPECT_EQ(calls, g_calls);
    const std::string cycle = cycleTrace(initLine("30", 30) + initLine("31", 30) + initLine("20", 20) +
                                             initLine("10", 10) + initLine("-5", -5),
                                         exitLine("-5", -5) + exitLine("10", 10) + exitLine("20", 20) +
                                             exitLine("31", 30) + exitLine("30", 30));
    EXPECT_EQ(crlf(cycle), debugger.all());
    // The log file that doInit opens receives the rest.
    const std::string file = orvtest::readFile(logs.file(logs.list().at(0)));
    EXPECT_NE(std::string::npos, file.find(crlf(cycle.substr(kInitCount1.size()))));

    g_calls.clear();
    ASSERT_TRUE(AIE::doInit());
    AIE::doExit();
    EXPECT_EQ(calls, g_calls);
}

struct FailureCase {
    const char* name;
    bool (*init)();      // of the failing handler
    const char* state;   // in its trace line
    const char* trace;   // ORVFT_TRACE_APPLINITEXIT, null for unset
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
class ApplInitExitFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ApplInitExitFailure, StopsTheWalkAndLimitsTerminationAfterNestedCalls)
{
    if (!orvtest::aloneInProcess()) return;
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", GetParam().trace);
    AIE a("a", 30, init<30>, term<30>);
    AIE x(20, nullptr, termThrows);   // neither description nor init function
    AIE b("b", 10, GetParam().init, term<10>);
    AIE c("c", 5, init<5>, term<5>);

    DebugCapture debugger;
    EXPECT_FALSE(AIE::doInit());
    // Counted all the same: a nested pair runs nothing, the last doExit closes the
    // log, a throwing exit does not end the walk, an unmatched doExit only traces.
    ASSERT_TRUE(AIE::doInit());
    AIE::doExit();
    EXPECT_EQ(1, VSYST_DumpStream::getOpenCount());
    AIE::doExit();
    EXPECT_EQ(0, VSYST_DumpStream::getOpenCount());
    AIE::doExit();
    EXPECT_EQ(0, AIE::getState());
    EXPECT_EQ("+30 +x -throws -30 ", g_calls);
    const std::string nested =
        "\nVSYST_ApplInitExit::doInit s_initCounter==2\nVSYST_ApplInitExit::doExit s_initCounter==1";
    const std::string unmatched = "\nVSYST_ApplInitExit::doExit s_initCounter==-1";
    std::string expected = kInitCount1 + nested + kExitCount0 + unmatched;
    if (GetParam().trace)
        expected = cycleTrace(initLine("a", 30) + initLine(kNoDscr, 20) + initLine("b", 10, GetParam().state),
                              exitLine(kNoDscr, 20, "EXCEPTION") + exitLine("a", 30), nested + kExitCount0) +
                   unmatched;
    EXPECT_EQ(crlf(expected), debugger.all());
}

INSTANTIATE_TEST_SUITE_P(Init, ApplInitExitFailure,
                         ::testing::Values(FailureCase{"False", initFails, "ERROR", "1"},
                                           FailureCase{"Throws", initThrows, "EXCEPTION", "1"},
                                           FailureCase{"FalseUntraced", initFails, "ERROR", nullptr}));

namespace {

bool initAbove() { g_calls += "+above: " + orvtest::diWalk(); return true; }
bool initEqual() { g_calls += "+equal: " + orvtest::diWalk(); return true; }
void termAbove() { g_calls += "-above: " + orvtest::diWalk(); }
void termEqual() { g_calls += "-equal: " + orvtest::diWalk(); }

}  // namespace

TEST(ApplInitExit, LibraryHandlersRegisterTheSystemEntriesInTheirPlaceAndLateHandlersRunAtOnce)
{
    if (!orvtest::aloneInProcess()) return;
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", nullptr);   // late handlers report at any level
    AIE above("above", 32701, initAbove, termAbove);
    AIE equal("equal", 32700, initEqual, termEqual);
    const std::string pool =
        "Dump string pool data: char based strings start tracing stop tracing wchar_t based strings; ";
    EXPECT_EQ("[System] " + pool, orvtest::diWalk());   // from the first guard at load

    // Equal priority runs after the library's three handlers of 32700 and, at
    // doExit, before the one that empties the registry.
    ASSERT_TRUE(AIE::doInit());
    const std::string all = "[System] Dump all registrated Debug-Info Callbacks; Dump all registrated Static-Data "
                            "Instances; Dump current feature set; Dump registrated initialization handlers; " + pool;
    EXPECT_EQ("+above: [System] Dump registrated initialization handlers; " + pool + "+equal: " + all, g_calls);
    EXPECT_EQ(crlf("\nStarting ZANDrel-FT init/exit handler dump\n\tHandler for \"above\" (Priority=32701)\n"
                   "\tHandler for \"<no description>\" (Priority=32700)\n"
                   "\tHandler for \"<no description>\" (Priority=32700)\n"
                   "\tHandler for \"<no description>\" (Priority=32700)\n\tHandler for \"equal\" (Priority=32700)\n"
                   "\tHandler for \"<no description>\" (Priority=32000)\nEnding ZANDrel-FT init/exit handler dump\n\n"),
              orvtest::diCall("System", "Dump registrated initialization handlers"));

    // Late handlers run at once and exit from their destructor.
    {
        const std::string dump = written(AIE::dump);
        AIE late("late", 32700, init<1>, term<1>);
        EXPECT_EQ(dump, written(AIE::dump));   // not in the list
    }
    // State 0x1000 without init function, 0x1001 succeeded, 0x1002 failed.
    const struct { const char* dscr; short priority; bool (*init)(); int state; const char* calls; } late[] = {
        {"at32000", 32000, init<1>, 0x1001, "+1 -1 "},
        {"above32000", 32001, init<1>, 0x1001, "+1 -1 "},
        {"fails", 100, initFails, 0x1002, "+x "},
        {nullptr, 32700, initThrows, 0x1002, "+x "},
        {"noInit", 100, nullptr, 0x1000, "-1 "},
    };
    DebugCapture debugger;
    for (const auto& c : late) {
        g_calls.clear();
        {
            AIE handler(c.dscr, c.priority, c.init, term<1>);
            EXPECT_EQ(c.state, handler.handlerState()) << c.priority;
        }
        EXPECT_EQ(c.calls, g_calls) << c.priority;
    }
    g_calls.clear();
    AIE::doExit();
    EXPECT_EQ("-equal: " + all + "-above: ", g_calls);
    // Failed inits and exits up to priority 32000 are reported.
    const std::string exitReport = "ERROR in VSYST_ApplInitExit::~VSYST_ApplInitExit\n\tCalling exit-function for ";
    const std::string addReport = "ERROR in\tVSYST_ApplInitExit::add\n\tOut of order calling init-function for ";
    EXPECT_EQ(crlf(exitReport + "\"at32000\"\n\n" + addReport + "\"fails\" fails!\n\n" + exitReport + "\"fails\"\n\n" +
                   addReport + "\"<no description>\" fails!\n\n" + exitReport + "\"noInit\"\n\n" + kExitCount0),
              debugger.all());
}
