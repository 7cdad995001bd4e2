// The exception tree: byte-exact reports written once at construction, catch
// reports, the environment switches, HRESULTs, assertions and the system-error box.
#include "V_Exception.h"
#include "VSYST_DumpStream.h"
#include "V_MsgBox.h"
#include "diag/orv_fake_mfc42.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

using orvtest::StdLogCapture;

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
    Assertion(const char* c, const char* f, int l) : VSYST_AssertionFailed(c, f, l) {}
    Assertion(const char* i, const char* c, const char* f, int l) : VSYST_AssertionFailed(i, c, f, l) {}
};

std::string systemText(DWORD code)
{
    char buf[300] = {0};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf, 260, nullptr);
    return n >= 2 ? std::string(buf, n - 2) : std::string();
}

}  // namespace

TEST(Exceptions, ReportsAreByteExact)
{
    StdLogCapture log;
    size_t at = log.size();
    VSYST_BadValue bad("file.cpp", 12);
    EXPECT_EQ(head("VSYST_BadValue") + "!E      at location file.cpp[12]\r\n\r\n", log.since(at));

    at = log.size();
    VSYST_OutOfMemory oom;
    VSYST_OutOfMemory oomAt("m.cpp", 1);
    EXPECT_EQ(head("VSYST_OutOfMemory") + "\r\n" + head("VSYST_OutOfMemory") + "!E      at location m.cpp[1]\r\n\r\n",
              log.since(at));

    at = log.size();
    VSYST_OutOfBounds oob(70000.5, "short", "b.cpp", 3);
    EXPECT_EQ(head("VSYST_OutOfBounds") +
                  "!E      at location b.cpp[3]\r\n!E      value 70000.5 out of bounds for type short\r\n\r\n",
              log.since(at));

    at = log.size();
    VSYST_WrongDataType wrong("long", "char*", nullptr, 4);   // no file: no location line
    EXPECT_EQ(head("VSYST_WrongDataType") + "!E      Wrong data type: long required ! Not char* !\r\n\r\n", log.since(at));

    at = log.size();
    VSYST_BadValue plain;
    VSYST_WrongDataType plainWrong;
    VSYST_OutOfBounds plainOob;
    EXPECT_EQ(head("VSYST_BadValue") + "\r\n" + head("VSYST_WrongDataType") + "\r\n" + head("VSYST_OutOfBounds") + "\r\n",
              log.since(at));

    at = log.size();
    int calls = 0;
    ClientError client(&calls);
    EXPECT_EQ(head("VSYST_BadValue") + "!E      at location client.cpp[9]\r\n\r\n", log.since(at))
        << "the report names the class whose constructor writes it";
}

TEST(Exceptions, ProhibitedMethods)
{
    StdLogCapture log;
    size_t at = log.size();
    EXPECT_THROW(VSYST_CallProhibitedMethod::throwCC("V_UUID"), VSYST_CallProhibitedMethod);
    EXPECT_EQ(head("VSYST_CallProhibitedMethod") + "!E      call of prohibited method copy constructor in class V_UUID\r\n\r\n",
              log.since(at));
    at = log.size();
    EXPECT_THROW(VSYST_CallProhibitedMethod::throwDC("A"), VSYST_Exception);
    EXPECT_THROW(VSYST_CallProhibitedMethod::throwAS(nullptr), V_Exception);
    std::string text = log.since(at);
    EXPECT_NE(std::string::npos, text.find("method default constructor in class A\r\n"));
    EXPECT_NE(std::string::npos, text.find("method assignment in class (NULL)\r\n"));
}

TEST(Exceptions, ReportWrittenOnceNotByCopiesOrThrows)
{
    StdLogCapture log;
    size_t at = log.size();
    try {
        throw VSYST_BadValue("once.cpp", 1);
    } catch (const VSYST_BadValue& e) {
        VSYST_BadValue copy(e);
        VSYST_BadValue assigned;
        size_t mid = log.size();
        assigned = copy;
        EXPECT_EQ(mid, log.size());
    }
    std::string text = log.since(at);
    size_t first = text.find("once.cpp");
    ASSERT_NE(std::string::npos, first);
    EXPECT_EQ(std::string::npos, text.find("once.cpp", first + 1));
}

TEST(Exceptions, InfoStringsAreOwnedPerObject)
{
    VSYST_BadValue a;
    EXPECT_EQ(0u, a.getInfoString().length());
    a.addInfoString(V_STRING("x"));
    a.addInfoString(V_STRING("y"));
    EXPECT_STREQ("xy", a.getInfoString().data());

    VSYST_BadValue copy(a);
    copy.addInfoString(V_STRING("z"));
    EXPECT_STREQ("xy", a.getInfoString().data());
    EXPECT_STREQ("xyz", copy.getInfoString().data());

    VSYST_BadValue b;
    b = copy;
    EXPECT_STREQ("xyz", b.getInfoString().data());
    b = VSYST_BadValue();   // assigning an exception without info clears it
    EXPECT_EQ(0u, b.getInfoString().length());
    b = b;
    EXPECT_EQ(0u, b.getInfoString().length());
}

TEST(Exceptions, HresultMapping)
{
    VSYST_BadValue e;
    EXPECT_EQ(static_cast<long>(0x80004005), e.mapToHRESULT());
    EXPECT_EQ(static_cast<long>(0x80004005), V_Exception::mapToDefaultHRESULT());
    OrvDumpFileException f(32, false);
    const V_Exception& base = f;
    EXPECT_EQ(static_cast<long>(0x80070020), base.mapToHRESULT());
    OrvDumpFileException copy(f);
    EXPECT_EQ(32ul, copy.getErrorCode());
}

TEST(Exceptions, QuietCatchStillCallsOnCatch)
{
    orvtest::ScopedEnv quiet("ORV_VerboseException", nullptr);
    StdLogCapture log;
    int calls = 0;
    ClientError e(&calls);
    size_t at = log.size();
    e._OnCatch("c.cpp", 5);
    e._OnCatch();
    V_Exception::_OnDefaultCatch("d.cpp", 6);
    EXPECT_EQ(2, calls);
    EXPECT_EQ(at, log.size());
}

ORV_TEST_CHILD(verboseCatch)
{
    StdLogCapture log;
    int calls = 0;
    ClientError e(&calls);
    e.addInfoString(V_STRING("why"));
    size_t at = log.size();
    e._OnCatch("c.cpp", 5);
    V_Exception::_OnDefaultCatch("d.cpp", 6);
    V_Exception::_OnDefaultCatch(nullptr, 0);
    std::printf("%d|%s", calls, log.since(at).c_str());
    return 0;
}

TEST(Exceptions, VerboseCatchReports)
{
    orvtest::ChildResult r = orvtest::runChild("verboseCatch", {}, {"ORV_VerboseException=1"});
    ASSERT_EQ(0u, r.exitCode) << r.err;
    // A catch report names the dynamic class of the caught object.
    EXPECT_EQ("1|!E  CATCH EXCEPTION class ClientError\r\n!E      at location c.cpp[5]\r\n"
              "        Additional info:\r\nwhy\r\n\r\n"
              "!E  CATCH NON V_Exception DERIVED EXCEPTION\r\n!E      at location d.cpp[6]\r\n\r\n"
              "!E  CATCH NON V_Exception DERIVED EXCEPTION\r\n\r\n",
              r.out);
}

namespace {
int s_breaks = 0;
LONG CALLBACK countBreaks(EXCEPTION_POINTERS* e)
{
    if (e->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT) return EXCEPTION_CONTINUE_SEARCH;
    ++s_breaks;
#ifdef _WIN64
    e->ContextRecord->Rip++;   // step over the int3
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}
}  // namespace

ORV_TEST_CHILD(breakCount)
{
    AddVectoredExceptionHandler(1, countBreaks);
    VSYST_BadValue a;
    VSYST_BadValue copy(a);
    copy = a;
    try { throw VSYST_OutOfMemory(); } catch (const V_Exception&) {}
    std::printf("%d", s_breaks);
    return 0;
}

TEST(Exceptions, BreakSwitchBreaksAtEveryConstructionButNotCopies)
{
    orvtest::ChildResult on = orvtest::runChild("breakCount", {}, {"ORV_BreakOnException=1"});
    ASSERT_EQ(0u, on.exitCode) << on.err;
    EXPECT_EQ("2", on.out);
    orvtest::ChildResult off = orvtest::runChild("breakCount", {}, {"ORV_BreakOnException="});
    EXPECT_EQ("0", off.out);
}

ORV_TEST_CHILD(switchesReadOnce)
{
    VSYST_BadValue first;   // reads the switches: verbose is off
    SetEnvironmentVariableA("ORV_VerboseException", "1");
    _putenv("ORV_VerboseException=1");
    StdLogCapture log;
    size_t at = log.size();
    first._OnCatch("x.cpp", 1);
    std::printf("%zu", log.size() - at);
    return 0;
}

TEST(Exceptions, SwitchesAreReadOncePerProcess)
{
    orvtest::ChildResult r = orvtest::runChild("switchesReadOnce", {}, {"ORV_VerboseException="});
    EXPECT_EQ("0", r.out);
}

TEST(Exceptions, MsgBoxWithoutPermissionLogsAndBeeps)
{
    StdLogCapture log;
    V_Exception::setCanUseMsgBoxes(false);
    EXPECT_FALSE(V_CanUseMsgBoxes());
    size_t at = log.size();
    V_Exception::MsgBox("m");
    EXPECT_EQ("(!MSGBOX!)m\r\n", log.since(at));
    V_SetCanUseMsgBoxes(true);
    EXPECT_TRUE(V_CanUseMsgBoxes());
}

TEST(Exceptions, LastErrorTexts)
{
    char buf[300];
    SetLastError(ERROR_ACCESS_DENIED);
    _vsyst_GetLastErrorMsg(buf);
    EXPECT_EQ(systemText(ERROR_ACCESS_DENIED), buf);
    EXPECT_FALSE(std::string(buf).empty());
    SetLastError(0x2000ABCD);
    _vsyst_GetLastErrorMsg(buf);
    EXPECT_STREQ("ERROR #536914893", buf);
    _vsyst_GetLastErrorMsg(nullptr);

    StdLogCapture log;
    size_t at = log.size();
    SetLastError(ERROR_FILE_NOT_FOUND);
    struct Probe : VSYST_Exception { static void show() { displayGetLastError(); } };
    Probe::show();
    EXPECT_EQ("        GetLastError() returns error \"" + systemText(ERROR_FILE_NOT_FOUND) + "\"\r\n", log.since(at));
}

TEST(Exceptions, SystemErrorBoxGoesThroughOrvMessageBox)
{
    orvtest::TempDir dir;
    std::string rec = dir.file("calls.txt");
    orvtest::ScopedEnv log("ORV_FAKE_MFC42_LOG", rec.c_str());
    HMODULE mfc = loadFakeMfc42();
    ASSERT_NE(nullptr, mfc);

    SetLastError(0);
    _vsyst_VerifyAPI();
    _vsyst_VerifyAPI("f.cpp", 3);
    EXPECT_TRUE(fakeMfc42Calls(rec).empty()) << "no box without an error";

    SetLastError(ERROR_FILE_NOT_FOUND);
    _vsyst_VerifyAPI();
    SetLastError(ERROR_ACCESS_DENIED);
    _vsyst_VerifyAPI("where.cpp", 77);   // the fake answers OK, so the process goes on
    std::vector<std::string> calls = fakeMfc42Calls(rec);
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("1200|16|0|" + systemText(ERROR_FILE_NOT_FOUND), calls[0]);
    EXPECT_EQ("1200|17|0|" + systemText(ERROR_ACCESS_DENIED) + "\\n\\nLocation : where.cpp[77]", calls[1]);
    FreeLibrary(mfc);
}

ORV_TEST_CHILD(verifyCancel)
{
    StdLogCapture log;
    if (!loadFakeMfc42()) return 90;
    SetLastError(ERROR_ACCESS_DENIED);
    _vsyst_VerifyAPI("cancel.cpp", 8);
    return 91;   // not reached: Cancel ends the process
}

TEST(Exceptions, SystemErrorBoxCancelEndsTheProcess)
{
    orvtest::TempDir dir;
    std::string rec = dir.file("calls.txt");
    orvtest::ChildResult r = orvtest::runChild(
        "verifyCancel", {},
        {"ORV_FAKE_MFC42_LOG=" + rec, "ORV_FAKE_MFC42_ANSWER=2", "ORV_FAKE_MFC42_EXIT=41", "ORV_DIR_LOGFILES=" + dir.path()});
    EXPECT_EQ(41u, r.exitCode);
    std::vector<std::string> calls = fakeMfc42Calls(rec);
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(0u, calls[0].find("1200|17|0|"));
    EXPECT_EQ("1100", calls[1]);
}

TEST(Assertions, ReportForms)
{
    StdLogCapture log;
    std::string pt = orvtest::processThreadText();
    size_t at = log.size();
    Assertion full("x > 0", "a.cpp", 5);
    EXPECT_EQ("!ASSERT VIOLATION\r\n!ASSERT    " + pt + "\r\n!ASSERT    at location a.cpp[5]\r\n!ASSERT    condition \"x > 0\" is FALSE\r\n\r\n",
              log.since(at));
    at = log.size();
    Assertion conditionOnly("ok");
    EXPECT_EQ("!ASSERT VIOLATION\r\n!ASSERT    " + pt + "\r\n!ASSERT    condition \"ok\" is FALSE\r\n\r\n", log.since(at));
    at = log.size();
    Assertion shortForm;
    EXPECT_EQ("!ASSERT VIOLATION\r\n!ASSERT    " + pt + "\r\n\r\n", log.since(at));
    at = log.size();
    Assertion withInfo("the info", "p != 0", nullptr, 1);
    EXPECT_EQ("!ASSERT VIOLATION\r\n!ASSERT    " + pt + "\r\n!ASSERT    condition \"p != 0\" is FALSE\r\n"
              "        Additional info:\r\nthe info\r\n\r\n",
              log.since(at));
}

ORV_TEST_CHILD(assertAbort)
{
    VSYST_DumpStream::openStdStream();
    VSYST_AssertionFailed::doThrowDebug("x > 0", "abort.cpp", 5);
    return 92;   // not reached
}

TEST(Assertions, WithoutMfc42TheProcessAborts)
{
    orvtest::TempDir dir;
    orvtest::ChildResult r = orvtest::runChild("assertAbort", {}, {"ORV_DIR_LOGFILES=" + dir.path(), "ORV_STDLOGFILE=1"});
    EXPECT_EQ(3u, r.exitCode) << "abort() ends with status 3";
    ASSERT_EQ(1u, dir.list().size());
    std::string text = orvtest::readFile(dir.file(dir.list()[0]));
    EXPECT_NE(std::string::npos, text.find("!ASSERT    at location abort.cpp[5]\r\n!ASSERT    condition \"x > 0\" is FALSE\r\n\r\n"))
        << text;
}

ORV_TEST_CHILD(assertViaMfc42)
{
    VSYST_DumpStream::openStdStream();
    if (!loadFakeMfc42()) return 90;
    const char* form = argc > 0 ? argv[0] : "";
    if (!std::strcmp(form, "plain")) VSYST_AssertionFailed::doThrowDebug("c1", "m.cpp", 1);
    else if (!std::strcmp(form, "narrow")) VSYST_AssertionFailed::doThrowDebugEx("info8", "c2", "m.cpp", 2);
    else if (!std::strcmp(form, "wide")) VSYST_AssertionFailed::doThrowDebugEx(L"info16", "c3", "m.cpp", 3);
    else if (!std::strcmp(form, "string")) VSYST_AssertionFailed::doThrowDebugEx(V_STRING("infoV"), "c4", "m.cpp", 4);
    else if (!std::strcmp(form, "final")) VSYST_AssertionFailed::doThrowFinal();
    std::printf("returned");
    return 0;
}

TEST(Assertions, Mfc42OrdinalEndsTheProcessOrReturns)
{
    struct Case { const char* form; const char* expect; };
    const Case cases[] = {
        {"plain", "!ASSERT    at location m.cpp[1]\r\n!ASSERT    condition \"c1\" is FALSE\r\n\r\n"},
        {"narrow", "condition \"c2\" is FALSE\r\n        Additional info:\r\ninfo8\r\n\r\n"},
        {"wide", "condition \"c3\" is FALSE\r\n        Additional info:\r\ninfo16\r\n\r\n"},
        {"string", "condition \"c4\" is FALSE\r\n        Additional info:\r\ninfoV\r\n\r\n"},
        {"final", "!ASSERT VIOLATION\r\n!ASSERT    [ Process: "},
    };
    for (const Case& c : cases) {
        orvtest::TempDir dir;
        std::string rec = dir.file("calls.txt");
        std::vector<std::string> env = {"ORV_FAKE_MFC42_LOG=" + rec, "ORV_DIR_LOGFILES=" + dir.path(), "ORV_STDLOGFILE=1",
                                        "ORV_FAKE_MFC42_EXIT=44"};
        orvtest::ChildResult ended = orvtest::runChild("assertViaMfc42", {c.form}, env);
        EXPECT_EQ(44u, ended.exitCode) << c.form;
        EXPECT_EQ(std::vector<std::string>{"1100"}, fakeMfc42Calls(rec)) << c.form;
        std::string log;
        for (const std::string& f : dir.list())
            if (f != "calls.txt") log += orvtest::readFile(dir.file(f));
        EXPECT_NE(std::string::npos, log.find(c.expect)) << c.form << "\n" << log;

        // Should ordinal 1100 return, the assertion returns to its caller.
        env.back() = "ORV_FAKE_MFC42_EXIT=";
        orvtest::ChildResult returned = orvtest::runChild("assertViaMfc42", {c.form}, env);
        EXPECT_EQ(0u, returned.exitCode) << c.form;
        EXPECT_EQ("returned", returned.out) << c.form;
    }
}
