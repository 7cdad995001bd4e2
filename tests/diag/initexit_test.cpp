// VSYST_ApplInitExit: order, failures, nesting, late handlers and the exact
// trace in the standard log. Each test case runs in a process of its own, so
// the once-per-process state (counter, trace level) starts fresh.
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include "VSYST_ApplInitExit.h"
#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using orvtest::crlf;

namespace {

std::vector<std::string> g_calls;

#define ORV_HANDLER_FNS(tag)                                               \
    bool init_##tag() { g_calls.push_back("init " #tag); return true; }   \
    void exit_##tag() { g_calls.push_back("exit " #tag); }

ORV_HANDLER_FNS(h10)
ORV_HANDLER_FNS(h20)
ORV_HANDLER_FNS(h30a)
ORV_HANDLER_FNS(h30b)
ORV_HANDLER_FNS(a)
ORV_HANDLER_FNS(c)
ORV_HANDLER_FNS(late)
ORV_HANDLER_FNS(neg)

bool init_false() { g_calls.push_back("init false"); return false; }
bool init_throws() { g_calls.push_back("init throws"); throw 42; }
void exit_throws() { g_calls.push_back("exit throws"); throw 7; }
void exit_b() { g_calls.push_back("exit b"); }

std::vector<std::string> expect(std::initializer_list<const char*> list) { return {list.begin(), list.end()}; }

std::string initLine(const char* d, int prio, const char* state)
{
    return "\tInitializing \"" + std::string(d) + "\" (Priority=" + std::to_string(prio) + ",State=" + state + ")\n";
}
std::string exitLine(const char* d, int prio, const char* state)
{
    return "\tTerminating \"" + std::string(d) + "\" (Priority=" + std::to_string(prio) + ",State=" + state + ")\n";
}

const char* const kNoDscr = "<no description>";

// The library's own handlers: three of 32700, then the DLL list's 32000.
std::string libraryInitLines()
{
    return initLine(kNoDscr, 32700, "OK") + initLine(kNoDscr, 32700, "OK") + initLine(kNoDscr, 32700, "OK") +
           initLine(kNoDscr, 32000, "OK");
}
// Only the DLL list (32000) and the registry (first 32700) have exit functions.
std::string libraryExitLines() { return exitLine(kNoDscr, 32000, "OK") + exitLine(kNoDscr, 32700, "OK"); }

const char* const kInitStart = "\nStarting ZANDrel-FT initialization : part 1\n";
const char* const kInitEnd = "Ending ZANDrel-FT initialization : part 1\n\n";
const char* const kExitStart = "\nStarting ZANDrel-FT termination : part 1\n";
const char* const kExitEnd = "Ending ZANDrel-FT termination : part 1\n\n";

std::vector<std::string> systemInfos()
{
    std::vector<std::string> names;
    for (VSYST_DICursor c; c.validG(); c.nextG()) {
        if (std::string(c.getG()) != "System") continue;
        for (; c.validD(); c.nextD()) names.push_back(c.getD());
    }
    return names;
}

}  // namespace

TEST(ApplInitExit, PrioritiesRunDownwardsAndTerminateInExactReverse)
{
    orvtest::LogFolderCapture log;
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", "1");
    VSYST_ApplInitExit h10("h10", 10, init_h10, exit_h10);
    VSYST_ApplInitExit h30a("h30a", 30, init_h30a, exit_h30a);
    VSYST_ApplInitExit h20("h20", 20, init_h20, exit_h20);
    VSYST_ApplInitExit h30b("h30b", 30, init_h30b, exit_h30b);

    // The library's handlers were registered at its load, before this module's.
    {
        orvtest::CaptureStream cap;
        VSYST_ApplInitExit::dump(cap.stream());
        std::string hd = "\tHandler for \"<no description>\" (Priority=32700)\n";
        EXPECT_EQ(crlf("\nStarting ZANDrel-FT init/exit handler dump\n" + hd + hd + hd +
                       "\tHandler for \"<no description>\" (Priority=32000)\n"
                       "\tHandler for \"h30a\" (Priority=30)\n"
                       "\tHandler for \"h30b\" (Priority=30)\n"
                       "\tHandler for \"h20\" (Priority=20)\n"
                       "\tHandler for \"h10\" (Priority=10)\n"
                       "Ending ZANDrel-FT init/exit handler dump\n\n"),
                  cap.text());
    }
    EXPECT_EQ(0, VSYST_ApplInitExit::getState());
    EXPECT_EQ(VSYST_ApplInitExit::AIE_Registered, h10.handlerState());

    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    EXPECT_EQ(1, VSYST_ApplInitExit::getState());
    EXPECT_EQ(expect({"init h30a", "init h30b", "init h20", "init h10"}), g_calls);
    for (const VSYST_ApplInitExit* h : {&h10, &h20, &h30a, &h30b}) EXPECT_EQ(VSYST_ApplInitExit::AIE_Initialized, h->handlerState());

    g_calls.clear();
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(0, VSYST_ApplInitExit::getState());
    EXPECT_EQ(expect({"exit h10", "exit h20", "exit h30b", "exit h30a"}), g_calls);
    for (const VSYST_ApplInitExit* h : {&h10, &h20, &h30a, &h30b}) EXPECT_EQ(VSYST_ApplInitExit::AIE_Terminated, h->handlerState());

    // The counter line of doInit goes out before the log file is opened.
    EXPECT_EQ(orvtest::openingBanner() +
                  crlf(kInitStart + libraryInitLines() + initLine("h30a", 30, "OK") + initLine("h30b", 30, "OK") +
                       initLine("h20", 20, "OK") + initLine("h10", 10, "OK") + kInitEnd +
                       "\nVSYST_ApplInitExit::doExit s_initCounter==0" + kExitStart + exitLine("h10", 10, "OK") +
                       exitLine("h20", 20, "OK") + exitLine("h30b", 30, "OK") + exitLine("h30a", 30, "OK") +
                       libraryExitLines() + kExitEnd) +
                  orvtest::closingBanner(),
              log.text());
}

TEST(ApplInitExit, SecondCycleRunsInTheSameOrder)
{
    VSYST_ApplInitExit h20("h20", 20, init_h20, exit_h20);
    VSYST_ApplInitExit h10("h10", 10, init_h10, exit_h10);
    for (int cycle = 0; cycle < 2; ++cycle) {
        g_calls.clear();
        ASSERT_TRUE(VSYST_ApplInitExit::doInit());
        VSYST_ApplInitExit::doExit();
        EXPECT_EQ(expect({"init h20", "init h10", "exit h10", "exit h20"}), g_calls) << "cycle " << cycle;
    }
    // A handler registered after a complete termination still finds its place.
    VSYST_ApplInitExit h30("h30a", 30, init_h30a, exit_h30a);
    g_calls.clear();
    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(expect({"init h30a", "init h20", "init h10", "exit h10", "exit h20", "exit h30a"}), g_calls);
}

TEST(ApplInitExit, PrioritiesCompareAsSigned16BitAndDestroyedHandlersLeave)
{
    VSYST_ApplInitExit neg("neg", -5, init_neg, exit_neg);
    VSYST_ApplInitExit h10("h10", 10, init_h10, exit_h10);
    {
        VSYST_ApplInitExit gone("gone", 20, init_h20, exit_h20);
    }
    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(expect({"init h10", "init neg", "exit neg", "exit h10"}), g_calls);
}

TEST(ApplInitExit, FailingInitStopsTheWalkAndLimitsTermination)
{
    orvtest::LogFolderCapture log;
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", "1");
    VSYST_ApplInitExit a("a", 30, init_a, exit_a);
    VSYST_ApplInitExit b("b", 20, init_false, exit_b);
    VSYST_ApplInitExit c("c", 10, init_c, exit_c);

    EXPECT_FALSE(VSYST_ApplInitExit::doInit());
    EXPECT_EQ(expect({"init a", "init false"}), g_calls);
    EXPECT_EQ(VSYST_ApplInitExit::AIE_Initialized, a.handlerState());
    EXPECT_EQ(VSYST_ApplInitExit::AIE_Registered, b.handlerState());
    EXPECT_EQ(VSYST_ApplInitExit::AIE_Registered, c.handlerState());
    EXPECT_EQ(1, VSYST_ApplInitExit::getState());
    EXPECT_EQ(1, VSYST_DumpStream::getOpenCount());   // the log stays open

    g_calls.clear();
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(expect({"exit a"}), g_calls);
    EXPECT_EQ(VSYST_ApplInitExit::AIE_Registered, b.handlerState());

    EXPECT_EQ(orvtest::openingBanner() +
                  crlf(kInitStart + libraryInitLines() + initLine("a", 30, "OK") + initLine("b", 20, "ERROR") + kInitEnd +
                       "\nVSYST_ApplInitExit::doExit s_initCounter==0" + kExitStart + exitLine("a", 30, "OK") +
                       libraryExitLines() + kExitEnd) +
                  orvtest::closingBanner(),
              log.text());
}

TEST(ApplInitExit, ExceptionsFromInitAndExitAreCaughtAndTraced)
{
    orvtest::LogFolderCapture log;
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", "1");
    VSYST_ApplInitExit c("c", 10, init_c, exit_c);
    VSYST_ApplInitExit t("t", 5, init_throws, nullptr);
    VSYST_ApplInitExit x(20, nullptr, exit_throws);   // no description
    VSYST_ApplInitExit a("a", 30, init_a, exit_a);

    EXPECT_FALSE(VSYST_ApplInitExit::doInit());
    EXPECT_EQ(expect({"init a", "init c", "init throws"}), g_calls);
    EXPECT_EQ(VSYST_ApplInitExit::AIE_Registered, t.handlerState());

    g_calls.clear();
    VSYST_ApplInitExit::doExit();
    // The throwing exit function does not end the termination.
    EXPECT_EQ(expect({"exit c", "exit throws", "exit a"}), g_calls);
    EXPECT_EQ(VSYST_ApplInitExit::AIE_Terminated, x.handlerState());

    EXPECT_EQ(orvtest::openingBanner() +
                  crlf(kInitStart + libraryInitLines() + initLine("a", 30, "OK") + initLine(kNoDscr, 20, "OK") +
                       initLine("c", 10, "OK") + initLine("t", 5, "EXCEPTION") + kInitEnd +
                       "\nVSYST_ApplInitExit::doExit s_initCounter==0" + kExitStart + exitLine("c", 10, "OK") +
                       exitLine(kNoDscr, 20, "EXCEPTION") + exitLine("a", 30, "OK") + libraryExitLines() + kExitEnd) +
                  orvtest::closingBanner(),
              log.text());
}

TEST(ApplInitExit, WithoutTraceSwitchOnlyCounterLinesAreWritten)
{
    orvtest::LogFolderCapture log;
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", nullptr);
    VSYST_ApplInitExit a("a", 30, init_a, exit_a);
    VSYST_ApplInitExit b("b", 20, init_false, exit_b);
    // File output before doInit, so that the counter line lands in the file too.
    VSYST_DumpStream::getStdStream().setMode(4);

    EXPECT_FALSE(VSYST_ApplInitExit::doInit());   // the failure is not traced at this level
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(expect({"init a", "init false", "exit a"}), g_calls);
    EXPECT_EQ(crlf("\nVSYST_ApplInitExit::doInit s_initCounter==1") + orvtest::openingBanner() +
                  crlf("\nVSYST_ApplInitExit::doExit s_initCounter==0") + orvtest::closingBanner(),
              log.text());
}

TEST(ApplInitExit, NestedCallsOnlyCount)
{
    orvtest::LogFolderCapture log;
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", "1");
    VSYST_ApplInitExit a("a", 30, init_a, exit_a);
    VSYST_DumpStream::getStdStream().setMode(4);

    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    EXPECT_EQ(2, VSYST_ApplInitExit::getState());
    EXPECT_EQ(expect({"init a"}), g_calls);

    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(expect({"init a"}), g_calls);   // no exit function yet
    EXPECT_EQ(1, VSYST_ApplInitExit::getState());
    EXPECT_EQ(1, VSYST_DumpStream::getOpenCount());

    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(expect({"init a", "exit a"}), g_calls);
    EXPECT_EQ(0, VSYST_ApplInitExit::getState());
    EXPECT_EQ(0, VSYST_DumpStream::getOpenCount());

    // Unmatched: only the counter line (to the debugger now), nothing runs.
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(0, VSYST_ApplInitExit::getState());
    EXPECT_EQ(2u, g_calls.size());

    EXPECT_EQ(crlf("\nVSYST_ApplInitExit::doInit s_initCounter==1") + orvtest::openingBanner() +
                  crlf(kInitStart + libraryInitLines() + initLine("a", 30, "OK") + kInitEnd +
                       "\nVSYST_ApplInitExit::doInit s_initCounter==2"
                       "\nVSYST_ApplInitExit::doExit s_initCounter==1"
                       "\nVSYST_ApplInitExit::doExit s_initCounter==0" +
                       kExitStart + exitLine("a", 30, "OK") + libraryExitLines() + kExitEnd) +
                  orvtest::closingBanner(),
              log.text());
}

TEST(ApplInitExit, LateHandlersRunAtOnceAndExitFromTheirDestructor)
{
    orvtest::LogFolderCapture log;
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", nullptr);
    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    std::string messages;
    auto calling = [](const char* d) {
        return "ERROR in VSYST_ApplInitExit::~VSYST_ApplInitExit\n\tCalling exit-function for \"" + std::string(d) + "\"\n\n";
    };
    auto outOfOrder = [](const char* d) {
        return "ERROR in\tVSYST_ApplInitExit::add\n\tOut of order calling init-function for \"" + std::string(d) + "\" fails!\n\n";
    };

    {
        VSYST_ApplInitExit late("late100", 100, init_late, exit_late);
        EXPECT_EQ(expect({"init late"}), g_calls);
        EXPECT_EQ(VSYST_ApplInitExit::AIE_LateOK, late.handlerState());
    }
    EXPECT_EQ(expect({"init late", "exit late"}), g_calls);
    messages += calling("late100");

    g_calls.clear();
    {
        VSYST_ApplInitExit late("late32700", 32700, init_late, exit_late);
    }
    EXPECT_EQ(expect({"init late", "exit late"}), g_calls);

    // The limit of the destructor's warning: 32000 warns, 32001 does not.
    g_calls.clear();
    {
        VSYST_ApplInitExit at("at32000", 32000, init_late, exit_late);
        VSYST_ApplInitExit above("above32000", 32001, init_late, exit_late);
    }
    EXPECT_EQ(expect({"init late", "init late", "exit late", "exit late"}), g_calls);
    messages += calling("at32000");

    // A failing late init: reported at once, and its exit function never runs.
    g_calls.clear();
    {
        VSYST_ApplInitExit late("lateFail", 100, init_false, exit_late);
        EXPECT_EQ(VSYST_ApplInitExit::AIE_LateFailed, late.handlerState());
        messages += outOfOrder("lateFail");
    }
    messages += calling("lateFail");
    {
        VSYST_ApplInitExit late(32700, init_throws, exit_late);
        EXPECT_EQ(VSYST_ApplInitExit::AIE_LateFailed, late.handlerState());
        messages += outOfOrder(kNoDscr);
    }
    EXPECT_EQ(expect({"init false", "init throws"}), g_calls);

    // Without an init function it counts as initialised and gets its exit.
    g_calls.clear();
    {
        VSYST_ApplInitExit late(100, nullptr, exit_late);
        EXPECT_EQ(VSYST_ApplInitExit::AIE_Late, late.handlerState());
    }
    messages += calling(kNoDscr);
    EXPECT_EQ(expect({"exit late"}), g_calls);

    // Late handlers are not in the list: doExit leaves them to their destructor.
    g_calls.clear();
    {
        VSYST_ApplInitExit late("late", 32700, init_late, exit_late);
        {
            orvtest::CaptureStream cap;
            VSYST_ApplInitExit::dump(cap.stream());
            EXPECT_EQ(std::string::npos, cap.text().find("\"late\""));
        }
        VSYST_ApplInitExit::doExit();
        EXPECT_EQ(expect({"init late"}), g_calls);
    }
    EXPECT_EQ(expect({"init late", "exit late"}), g_calls);

    EXPECT_EQ(orvtest::openingBanner() + crlf(messages + "\nVSYST_ApplInitExit::doExit s_initCounter==0") +
                  orvtest::closingBanner(),
              log.text());
}

namespace {

std::vector<std::string> g_seenAbove, g_seenEqual, g_seenAboveAtExit, g_seenEqualAtExit;
bool init_above() { g_seenAbove = systemInfos(); return true; }
bool init_equal() { g_seenEqual = systemInfos(); return true; }
void exit_above() { g_seenAboveAtExit = systemInfos(); }
void exit_equal() { g_seenEqualAtExit = systemInfos(); }

}  // namespace

TEST(ApplInitExit, LibraryHandlersRegisterTheSystemEntriesInTheirPlace)
{
    VSYST_ApplInitExit above("above", 32701, init_above, exit_above);
    VSYST_ApplInitExit equal("equal", 32700, init_equal, exit_equal);
    EXPECT_EQ(expect({"Dump string pool data"}), systemInfos());   // from the global instance at load

    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    // Above the library: only what the guard and doInit itself registered.
    EXPECT_EQ(expect({"Dump registrated initialization handlers", "Dump string pool data"}), g_seenAbove);
    // Equal priority runs after all three of the library's 32700 handlers.
    std::vector<std::string> all = expect({"Dump all registrated Debug-Info Callbacks", "Dump all registrated Static-Data Instances",
                                           "Dump current feature set", "Dump registrated initialization handlers",
                                           "Dump string pool data"});
    EXPECT_EQ(all, g_seenEqual);
    EXPECT_EQ(all, systemInfos());

    // The registry's entry dumps the handler list through the registry.
    {
        orvtest::CaptureStream cap;
        VSYST_DIManager::call("System", "Dump registrated initialization handlers", nullptr, cap.stream());
        std::string hd = "\tHandler for \"<no description>\" (Priority=32700)\n";
        EXPECT_EQ(crlf("\nStarting ZANDrel-FT init/exit handler dump\n"
                       "\tHandler for \"above\" (Priority=32701)\n" +
                       hd + hd + hd + "\tHandler for \"equal\" (Priority=32700)\n"
                                      "\tHandler for \"<no description>\" (Priority=32000)\n"
                                      "Ending ZANDrel-FT init/exit handler dump\n\n"),
                  cap.text());
    }
    // The feature set, still without features, dumps its empty frame.
    {
        orvtest::CaptureStream cap;
        VSYST_DIManager::call("System", "Dump current feature set", nullptr, cap.stream());
        EXPECT_EQ(crlf("\nVSYST_FeatureSet : start of dump of all available features\n"
                       "VSYST_FeatureSet : end of dump of all available features\n\n"),
                  cap.text());
    }

    VSYST_ApplInitExit::doExit();
    // The handler of equal priority terminates before the registry is emptied,
    // the one above the library after it.
    EXPECT_EQ(all, g_seenEqualAtExit);
    EXPECT_TRUE(g_seenAboveAtExit.empty());
    EXPECT_EQ(nullptr, VSYST_DIManager::firstGroup());
}

// What a debugger sees of a child run of this test executable: the texts of
// its OutputDebugString calls, joined.
namespace {

std::string debuggerText(const char* child)
{
    std::string cmd = "\"" + orvtest::exePath() + "\" --orv-child " + child;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si, &pi))
        return "<CreateProcess failed>";
    std::string text;
    DEBUG_EVENT ev;
    bool done = false;
    while (!done && WaitForDebugEvent(&ev, 60000)) {
        DWORD cont = DBG_CONTINUE;
        switch (ev.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT: {
            const OUTPUT_DEBUG_STRING_INFO& o = ev.u.DebugString;
            std::string piece(o.nDebugStringLength, '\0');
            SIZE_T got = 0;
            if (!o.fUnicode && ReadProcessMemory(pi.hProcess, o.lpDebugStringData, &piece[0], piece.size(), &got))
                text += piece.substr(0, piece.find('\0'));
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) cont = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            if (ev.u.ExitProcess.dwExitCode != 0) text += "<exit code " + std::to_string(ev.u.ExitProcess.dwExitCode) + ">";
            done = true;
            break;
        default:
            break;
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, cont);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return done ? text : text + "<no exit>";
}

}  // namespace

ORV_TEST_CHILD(initexit_debugger)
{
    VSYST_ApplInitExit h("h", 10, nullptr, nullptr);
    VSYST_ApplInitExit::doInit();
    VSYST_ApplInitExit::doExit();
    return 0;
}

TEST(ApplInitExit, WithoutLogFileEverythingReachesTheDebugger)
{
    orvtest::ScopedEnv noFile("ORV_STDLOGFILE", nullptr);
    {
        orvtest::ScopedEnv noTrace("ORVFT_TRACE_APPLINITEXIT", nullptr);
        std::string text = debuggerText("initexit_debugger");
        EXPECT_NE(std::string::npos, text.find("\r\nVSYST_ApplInitExit::doInit s_initCounter==1\r\nVSYST_ApplInitExit::doExit s_initCounter==0"))
            << text;
        EXPECT_EQ(std::string::npos, text.find("ZANDrel-FT")) << text;
        EXPECT_EQ(std::string::npos, text.find("<")) << text;
    }
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", "1");
    std::string text = debuggerText("initexit_debugger");
    EXPECT_NE(std::string::npos,
              text.find(crlf("\nVSYST_ApplInitExit::doInit s_initCounter==1" + std::string(kInitStart) + libraryInitLines() +
                             initLine("h", 10, "OK") + kInitEnd + "\nVSYST_ApplInitExit::doExit s_initCounter==0" + kExitStart +
                             libraryExitLines() + kExitEnd)))
        << text;
}
