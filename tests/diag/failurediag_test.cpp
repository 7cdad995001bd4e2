// Failure diagnostics without the registry: V_DIAG_DUMP, HRESULT reports with
// the thread's COM error information, the event log, requests, indentation, TLS.
#include "VDIAG_FailureDiagnostics.h"
#include "VSYST_DumpStream.h"
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

using Diag = VDIAG_FailureDiagnostics;
using orvtest::StdLogCapture;
using orvtest::systemText;

namespace {

// The description of the thread's error information (taken), or "(none)".
std::string takeErrorInfo()
{
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return "(none)";
    BSTR text = nullptr;
    info->GetDescription(&text);
    info->Release();
    char buf[2048] = {0};
    WideCharToMultiByte(CP_ACP, 0, text ? text : L"", -1, buf, sizeof buf, nullptr, nullptr);
    SysFreeString(text);
    return buf;
}

}  // namespace

TEST(DiagDump, FormatsWritesAndCuts)
{
    StdLogCapture log;
    size_t start = log.size();
    EXPECT_EQ(&VSYST_DumpStream::getStdStream(), &V_DIAG_DUMP("%s=%d", "a", 5));
    V_DIAG_DUMP(nullptr) << "tail\n";
    VDIAG_C::V_DIAG_DUMP("%04x|", 255);
    VDIAG_C::V_DIAG_DUMP(nullptr);
    const std::string x(4095, 'x');
    V_DIAG_DUMP("%s", x.c_str());
    V_DIAG_DUMP("%s", (x + "yz").c_str());
    VDIAG_C::V_DIAG_DUMP("%s%s", x.c_str(), "!");
    EXPECT_EQ("a=5\r\ntail\r\n00ff|\r\n" + x + "\r\n" + x + "\r\n" + x + "\r\n", log.since(start));
}

TEST(Hresult, ReportsAndLeavesErrorInfoForFailures)
{
    const char* mine = "diag_messages.dll";
    const struct { unsigned long hr; const char* module; std::string description; } cases[] = {
        {0x80040201, mine, "A module message for the test."},
        {0x80040202, mine, "No line break at the end."},
        {0x80040203, mine, "Two lines,\r\nand breaks after them."},
        {0x80040204, mine, "Value %1 is missing."},
        {0x80070005, mine, systemText(0x80070005)},
        {0x80070005, nullptr, systemText(0x80070005)},
        {0x8FFF0F0F, mine, ""},
        {0x00040205, mine, "(none)"},   // success codes: no error information
        {0, nullptr, "(none)"},
    };
    ASSERT_NE("", cases[4].description);   // the system knows "access denied"
    StdLogCapture log;
    size_t start = log.size();
    std::string expected;
    for (const auto& c : cases) {
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(static_cast<long>(c.hr), Diag::hresult(static_cast<long>(c.hr), c.module));
        EXPECT_EQ(c.description, takeErrorInfo()) << std::hex << c.hr;
        EXPECT_EQ(nullptr, GetModuleHandleA(mine)) << "the module stays loaded";
        char line[64];
        std::snprintf(line, sizeof line, "Return code: HRESULT = 0x%08lx\r\n", c.hr);
        expected += line;
    }
    const long hr = static_cast<long>(0x80040201);
    EXPECT_EQ(hr, Diag::hresultLevelBased(true, hr, mine));
    EXPECT_EQ("(none)", takeErrorInfo());
    EXPECT_EQ(hr, Diag::hresultLevelBased(false, hr, mine));
    EXPECT_EQ(cases[0].description, takeErrorInfo());
    EXPECT_EQ(expected + "Return code: HRESULT = 0x80040201\r\n", log.since(start));
}

namespace {

// Failing stand-ins for the event-log calls; they remember what they were given.
std::string s_given;
HANDLE WINAPI failRegister(LPCSTR, LPCSTR source) { s_given = source; return nullptr; }
BOOL WINAPI failReport(HANDLE, WORD type, WORD category, DWORD id, PSID, WORD n, DWORD, LPCSTR* strings, LPVOID)
{
    s_given = std::to_string(type) + "/" + std::to_string(category) + "/" + std::to_string(id) + "/" + std::to_string(n) +
              "/" + strings[0];
    return FALSE;
}
BOOL WINAPI failDeregister(HANDLE) { return FALSE; }

}  // namespace

TEST(EventLog, ResultsAndEachFailingStep)
{
    // Wine keeps no event log; its calls succeed.
    EXPECT_TRUE(Diag::logMessage(17, "an event", EVENTLOG_WARNING_TYPE, nullptr));
    EXPECT_TRUE(Diag::logMessage(18, nullptr, EVENTLOG_INFORMATION_TYPE, "ignored", "Orv Source"));
    const struct { const char* function; void* hook; const char* source; const char* text; std::string given; } cases[] = {
        {"RegisterEventSourceA", reinterpret_cast<void*>(&failRegister), nullptr, "x", "ZIZ Oziraz"},
        {"RegisterEventSourceA", reinterpret_cast<void*>(&failRegister), "Orv Source", "x", "Orv Source"},
        {"ReportEventA", reinterpret_cast<void*>(&failReport), nullptr, "report text", "1/0/4711/1/report text"},
        {"ReportEventA", reinterpret_cast<void*>(&failReport), nullptr, nullptr, "1/0/4711/1/"},
        {"DeregisterEventSource", reinterpret_cast<void*>(&failDeregister), nullptr, "x", ""},
    };
    for (const auto& c : cases) {
        s_given.clear();
        orvtest::IatHook hook("OrvCore_Rudaru20.dll", "advapi32.dll", c.function, c.hook);
        EXPECT_FALSE(Diag::logMessage(4711, c.text, EVENTLOG_ERROR_TYPE, "ignored", c.source)) << c.function;
        EXPECT_EQ(c.given, s_given) << c.function;
    }
}

// Run by ctest with Wine's eventlog channel on, which prints the text of error
// events (tests/diag/CMakeLists.txt).
ORV_TEST_CHILD(eventText)
{
    return Diag::logMessage(77, "event text from the child", EVENTLOG_ERROR_TYPE, nullptr) ? 0 : 1;
}

namespace {
BOOL WINAPI win9xVersion(LPOSVERSIONINFOA info) { info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS; return TRUE; }
BOOL WINAPI failVersion(LPOSVERSIONINFOA) { return FALSE; }
}  // namespace

// The platform answer is asked once per process: each kind in a child of its own.
ORV_TEST_CHILD(win9x)
{
    orvtest::IatHook hook("OrvCore_Rudaru20.dll", "kernel32.dll", "GetVersionExA",
                          reinterpret_cast<void*>(argv[0][0] == 'f' ? &failVersion : &win9xVersion));
    VSYST_DumpStream::getStdStream().setMode(VSYST_DumpStream::DSM_Console);
    V_DIAG_DUMP("logMessage %d", Diag::logMessage(1, "x", EVENTLOG_ERROR_TYPE, nullptr) ? 1 : 0);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    Diag::dumpSecurityDescriptor(&descriptor);
    Diag::dumpProcessUserIdentityString();
    Diag::dumpThreadUserIdentityString();
    return 0;
}

TEST(Win9x, NoEventLogAndNoSecurity)
{
    for (const char* how : {"platform", "failing"})
        EXPECT_EQ("logMessage 0\r\ndumpSecurityDescriptor - Security not supported on Win9x platform\r\n"
                  "dumpProcessUserIdentityString - Security not supported on Win9x platform\r\n"
                  "dumpThreadUserIdentityString - Security not supported on Win9x platform\r\n",
                  orvtest::runChild("win9x", {how}).out)
            << how;
}

TEST(Requests, UniqueAcrossThreadsAndWrapAfter999)
{
    std::vector<std::vector<unsigned long>> seen(8);
    std::vector<std::thread> threads;
    for (auto& ids : seen)
        threads.emplace_back([&ids] {
            for (int i = 0; i < 100; ++i) {
                Diag::createRequest();
                ids.push_back(Diag::getRequestId());
                Diag::removeRequest();
                ids.push_back(Diag::getRequestId() + 1000);   // 1000: closed again
            }
        });
    for (std::thread& t : threads) t.join();
    std::set<unsigned long> numbers;
    for (const auto& ids : seen)
        for (unsigned long id : ids)
            if (id != 1000) numbers.insert(id);
    ASSERT_EQ(800u, numbers.size());
    EXPECT_GE(*numbers.begin(), 1u);
    EXPECT_LE(*numbers.rbegin(), 999u);

    unsigned long id = 0;
    for (int step = 0; id != 999 && step < 1000; ++step) {
        Diag::createRequest();
        id = Diag::getRequestId();
        Diag::removeRequest();
    }
    ASSERT_EQ(999u, id);
    Diag::createRequest();
    EXPECT_EQ(1u, Diag::getRequestId());
}

TEST(Requests, NestingContextsAndIndentation)
{
    StdLogCapture log;
    size_t start = log.size();
    Diag::removeRequest();   // none open: nothing happens
    const long processIndent = Diag::getIndent();
    {
        VDIAG_DiagnosticIndent outside;
        EXPECT_EQ(processIndent + 4, Diag::getIndent());
    }
    {
        SetLastError(1234);   // a caller's error survives the thread data's first use
        VDIAG_DiagnosticContext outer;
        EXPECT_EQ(1234u, GetLastError());
        const unsigned long id = Diag::getRequestId();
        EXPECT_NE(0u, id);
        EXPECT_FALSE(outer.hiddenRqHeader());
        VDIAG_DiagnosticIndent two(2, "end");
        {
            VDIAG_DiagnosticContext inner;
            EXPECT_EQ(id, Diag::getRequestId());
            EXPECT_EQ(2, Diag::getRequestNesting());
            EXPECT_TRUE(inner.hiddenRqHeader());
            VDIAG_DiagnosticIndent three(3, ""), one(1, nullptr);
            EXPECT_EQ(6, Diag::getIndent());
            long elsewhere = -1;
            std::thread([&elsewhere] { elsewhere = Diag::getIndent(); }).join();
            EXPECT_EQ(processIndent, elsewhere);
        }
        EXPECT_EQ(2, Diag::getIndent());
        EXPECT_FALSE(outer.hiddenRqHeader());
    }
    EXPECT_EQ(0u, Diag::getRequestId());
    EXPECT_EQ(processIndent, Diag::getIndent());
    EXPECT_EQ("}\r\nend\r\n", log.since(start));
}

TEST(TlsMan, TemplateBlocksAndSlots)
{
    VDIAG_TlsMan::Data& d = VDIAG_TlsMan::getData();
    EXPECT_EQ(&d, &VDIAG_TlsMan::s_rData);
    ASSERT_GE(d.used, sizeof(void*));   // the request pointer
    // This thread loaded the library: its block exists already and points to the template.
    unsigned char* mine = static_cast<unsigned char*>(TlsGetValue(d.index));
    EXPECT_EQ(mine, VDIAG_TlsMan::getThreadData());
    EXPECT_EQ(&d.templ, reinterpret_cast<VDIAG_TlsMan::Block*>(mine - 2 * sizeof(void*))->first);

    // A slot's initial value reaches the blocks made afterwards; a new block heads the list.
    const unsigned long used = d.used;
    const unsigned value = 0x11223344;
    EXPECT_EQ(static_cast<long>(used), VDIAG_TlsMan::allocSlot(sizeof value, &value));
    unsigned char* other = nullptr;
    std::thread([&other] { other = VDIAG_TlsMan::getThreadData(); }).join();
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(0, std::memcmp(other + used, &value, sizeof value));
    EXPECT_EQ(other, d.templ.next->data);

    const unsigned long next = d.used, left = VDIAG_TlsMan::DataSize - next;
    EXPECT_EQ(-1, VDIAG_TlsMan::allocSlot(left + 1, nullptr));
    EXPECT_EQ(static_cast<long>(next), VDIAG_TlsMan::allocSlot(left, nullptr));
    EXPECT_EQ(-1, VDIAG_TlsMan::allocSlot(1, nullptr));
}
