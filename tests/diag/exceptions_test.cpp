// The exception tree: byte-exact reports written once at construction, catch
// reports, the environment switches, HRESULTs, assertions and the system-error box.
#include "V_Exception.h"
#include "VSYST_DumpStream.h"
#include "diag/LogCapture.h"
#include "diag/orv_fake_mfc42.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>

using orvtest::systemText;

// A system exception of the client's own, to see onCatch and the run-time name.
class ClientError : public VSYST_BadValue {
public:
    explicit ClientError(int* calls) : VSYST_BadValue("client.cpp", 9), m_calls(calls) {}
    void onCatch() const override { ++*m_calls; }
private:
    int* m_calls;
};

namespace {

std::string head(const char* cls)
{
    return std::string("!E  THROW EXCEPTION class ") + cls + "\r\n!E      " + orvtest::processThreadText() + "\r\n";
}

// Opens the protected assertion constructors to the tests.
class Assertion : public VSYST_AssertionFailed {
public:
    Assertion() {}
    explicit Assertion(const char* c) : VSYST_AssertionFailed(c) {}
};

int s_breaks = 0;
LONG CALLBACK countBreaks(EXCEPTION_POINTERS* e)
{
    if (e->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT) return EXCEPTION_CONTINUE_SEARCH;
    ++s_breaks;
    // The context points at the int3 on both architectures: step over it.
#ifdef _WIN64
    e->ContextRecord->Rip++;
#else
    e->ContextRecord->Eip++;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

struct BoxesRun : orvtest::ChildResult {
    std::string log, calls;
};

BoxesRun runBoxes(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
{
    orvtest::TempDir dir;
    const std::string rec = dir.file("calls.txt");
    std::vector<std::string> all = {"ORV_FAKE_MFC42_LOG=" + rec, "ORV_DIR_LOGFILES=" + dir.path(), "ORV_STDLOGFILE=1"};
    all.insert(all.end(), env.begin(), env.end());
    BoxesRun run{{orvtest::runChild("boxes", args, all)}, "", orvtest::readFile(rec)};
    for (const std::string& name : dir.list())
        if (name != "calls.txt") run.log += orvtest::readFile(dir.file(name));
    return run;
}

}  // namespace

TEST(Exceptions, ReportsInfoStringsSwitchesCatchReportsAndAssertionsEndingTheProcess)
{
    orvtest::StdLogCapture log;
    const std::string at = "!E      at location ", prohibited = "!E      call of prohibited method ";
    const std::string assertion = "!ASSERT VIOLATION\r\n!ASSERT    " + orvtest::processThreadText() + "\r\n";
    const struct { std::function<void()> make; std::string expected; } cases[] = {
        {[] { VSYST_BadValue e; }, head("VSYST_BadValue") + "\r\n"},
        {[] { VSYST_OutOfMemory e("m.cpp", 1); }, head("VSYST_OutOfMemory") + at + "m.cpp[1]\r\n\r\n"},
        {[] { VSYST_OutOfBounds e(70000.5, "short", "b.cpp", 3); },
         head("VSYST_OutOfBounds") + at + "b.cpp[3]\r\n!E      value 70000.5 out of bounds for type short\r\n\r\n"},
        {[] { VSYST_OutOfBounds e; }, head("VSYST_OutOfBounds") + "\r\n"},
        {[] { VSYST_WrongDataType e("long", "char*", nullptr, 4); },   // no file: no location line
         head("VSYST_WrongDataType") + "!E      Wrong data type: long required ! Not char* !\r\n\r\n"},
        {[] { VSYST_WrongDataType e; }, head("VSYST_WrongDataType") + "\r\n"},
        // The report names the class whose constructor writes it.
        {[] { ClientError e(nullptr); }, head("VSYST_BadValue") + at + "client.cpp[9]\r\n\r\n"},
        {[] { EXPECT_THROW(VSYST_CallProhibitedMethod::throwCC("V_UUID"), VSYST_CallProhibitedMethod); },
         head("VSYST_CallProhibitedMethod") + prohibited + "copy constructor in class V_UUID\r\n\r\n"},
        {[] { EXPECT_THROW(VSYST_CallProhibitedMethod::throwDC("A"), VSYST_Exception); },
         head("VSYST_CallProhibitedMethod") + prohibited + "default constructor in class A\r\n\r\n"},
        {[] { EXPECT_THROW(VSYST_CallProhibitedMethod::throwAS(nullptr), V_Exception); },
         head("VSYST_CallProhibitedMethod") + prohibited + "assignment in class (NULL)\r\n\r\n"},
        // Neither the thrown copy nor copies and assignments in the handler write again.
        {[] {
             try {
                 throw VSYST_BadValue("once.cpp", 1);
             } catch (const VSYST_BadValue& e) {
                 VSYST_BadValue copy(e);
                 copy = e;
             }
         },
         head("VSYST_BadValue") + at + "once.cpp[1]\r\n\r\n"},
        {[] { Assertion a("ok"); }, assertion + "!ASSERT    condition \"ok\" is FALSE\r\n\r\n"},
        {[] { Assertion a; }, assertion + "\r\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const size_t start = log.size();
        cases[i].make();
        EXPECT_EQ(cases[i].expected, log.since(start)) << "case " << i;
    }

    VSYST_BadValue a, b;
    const std::string none = a.getInfoString().data();
    a.addInfoString(V_STRING("x"));
    a.addInfoString(V_STRING("y"));
    VSYST_BadValue copy(a);
    copy.addInfoString(V_STRING("z"));
    b = copy;
    const std::string assigned = b.getInfoString().data();
    b = VSYST_BadValue();   // assigning an exception without info clears it
    EXPECT_EQ("|xy|xyz|xyz|", none + "|" + a.getInfoString().data() + "|" + copy.getInfoString().data() + "|" + assigned +
                                  "|" + b.getInfoString().data());
    EXPECT_EQ(static_cast<long>(0x80004005), V_Exception::mapToDefaultHRESULT());

    char buf[300];
    SetLastError(0x2000ABCD);
    _vsyst_GetLastErrorMsg(buf);
    EXPECT_STREQ("ERROR #536914893", buf);
    _vsyst_GetLastErrorMsg(nullptr);

    orvtest::ChildResult on = orvtest::runChild("switches", {}, {"ORV_BreakOnException=1", "ORV_VerboseException=1"});
    // A catch report names the dynamic class of the caught object.
    EXPECT_EQ("|2|2|!E  CATCH EXCEPTION class ClientError\r\n!E      at location c.cpp[5]\r\n"
              "        Additional info:\r\nwhy\r\n\r\n"
              "!E  CATCH NON V_Exception DERIVED EXCEPTION\r\n!E      at location d.cpp[6]\r\n\r\n"
              "!E  CATCH NON V_Exception DERIVED EXCEPTION\r\n\r\n",
              on.out) << on.err;
    orvtest::ChildResult off = orvtest::runChild("switches", {}, {"ORV_BreakOnException=", "ORV_VerboseException="});
    EXPECT_EQ("|0|2|", off.out) << off.err;

    const char* const texts[] = {
        "!ASSERT    at location m.cpp[1]\r\n!ASSERT    condition \"c1\" is FALSE\r\n\r\n",
        "condition \"c2\" is FALSE\r\n        Additional info:\r\ninfo8\r\n\r\n",
        "condition \"c3\" is FALSE\r\n        Additional info:\r\ninfo16\r\n\r\n",
        // doThrowFinal's report follows at once, without condition or place.
        "condition \"c4\" is FALSE\r\n        Additional info:\r\ninfoV\r\n\r\n"
        "!ASSERT VIOLATION\r\n!ASSERT    [ Process: ",
    };
    // Should ordinal 1100 return, each assertion returns to its caller.
    const std::string located = "1200|17|0|" + systemText(ERROR_ACCESS_DENIED) + "\\n\\nLocation : where.cpp[77]\n",
                      unnamed = "1200|17|0|" + systemText(ERROR_ACCESS_DENIED) + "\\n\\nLocation : (null)[0]\n";
    const BoxesRun returned = runBoxes({"ok"});
    EXPECT_EQ(0u, returned.exitCode);
    EXPECT_EQ("plain|narrow|wide|string|final|", returned.out);
    EXPECT_EQ("1200|16|0|" + systemText(ERROR_FILE_NOT_FOUND) + "\n" + located + unnamed +
                  "1100\n1100\n1100\n1100\n1100\n",
              returned.calls);
    for (const char* text : texts) EXPECT_NE(std::string::npos, returned.log.find(text)) << text;

    // Cancel in a box ends the process through 1100; without the module abort()
    // ends it, with status 3.
    const BoxesRun cancelled = runBoxes({"cancel"}, {"ORV_FAKE_MFC42_ANSWER=2", "ORV_FAKE_MFC42_EXIT=41"});
    EXPECT_EQ("41|" + located + "1100\n", std::to_string(cancelled.exitCode) + "|" + cancelled.calls);
    const BoxesRun aborted = runBoxes({});
    EXPECT_TRUE(aborted.exitCode == 3 && aborted.calls.empty() && aborted.out.empty());
    EXPECT_NE(std::string::npos, aborted.log.find(texts[0])) << aborted.log;
}

// Prints early report|breaks|onCatch calls|catch reports. The switches set
// after the first construction count for nothing.
ORV_TEST_CHILD(switches)
{
    AddVectoredExceptionHandler(1, countBreaks);
    orvtest::StdLogCapture log;
    const size_t first = log.size();
    V_Exception::_OnDefaultCatch("early.cpp", 1);   // before any exception: switches unread, no report
    const std::string early = log.since(first);
    int calls = 0;
    ClientError e(&calls);
    _putenv("ORV_VerboseException=1");
    _putenv("ORV_BreakOnException=1");
    e.addInfoString(V_STRING("why"));
    ClientError copy(e);
    copy = e;
    try {
        throw VSYST_OutOfMemory();
    } catch (const V_Exception&) {
    }
    const size_t at = log.size();
    e._OnCatch("c.cpp", 5);
    e._OnCatch();
    V_Exception::_OnDefaultCatch("d.cpp", 6);
    V_Exception::_OnDefaultCatch(nullptr, 0);
    std::printf("%s|%d|%d|%s", early.c_str(), s_breaks, calls, log.since(at).c_str());
    return 0;
}

// The system-error boxes through the "MFC42" stand-in (with an argument: "ok",
// or "cancel", which leaves out the box with OK only), then every assertion form.
ORV_TEST_CHILD(boxes)
{
    VSYST_DumpStream::openStdStream();
    if (argc > 0) {
        if (!loadFakeMfc42()) return 90;
        SetLastError(0);
        _vsyst_VerifyAPI();
        _vsyst_VerifyAPI("f.cpp", 3);
        SetLastError(ERROR_FILE_NOT_FOUND);
        if (std::strcmp(argv[0], "cancel")) _vsyst_VerifyAPI();
        SetLastError(ERROR_ACCESS_DENIED);
        _vsyst_VerifyAPI("where.cpp", 77);
        SetLastError(ERROR_ACCESS_DENIED);
        _vsyst_VerifyAPI(nullptr, 0);
    }
    VSYST_AssertionFailed::doThrowDebug("c1", "m.cpp", 1);
    std::printf("plain|");
    VSYST_AssertionFailed::doThrowDebugEx("info8", "c2", "m.cpp", 2);
    std::printf("narrow|");
    VSYST_AssertionFailed::doThrowDebugEx(L"info16", "c3", "m.cpp", 3);
    std::printf("wide|");
    VSYST_AssertionFailed::doThrowDebugEx(V_STRING("infoV"), "c4", "m.cpp", 4);
    std::printf("string|");
    VSYST_AssertionFailed::doThrowFinal();
    std::printf("final|");
    return 0;
}
