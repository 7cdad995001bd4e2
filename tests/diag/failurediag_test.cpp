// Failure diagnostics without the registry: V_DIAG_DUMP, HRESULT reports and
// the thread's COM error information, the event log, requests, indentation
// and the thread-local storage manager.
#include "VDIAG_FailureDiagnostics.h"
#include "VSYST_DumpStream.h"
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

namespace {

// The thread's error information description (taking it), or "(none)".
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

std::string systemText(DWORD code)
{
    char buf[1024] = {0};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buf, sizeof buf, nullptr);
    std::string s = buf;
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
    return s;
}

}  // namespace

TEST(DiagDump, FormatsWritesAndCuts)
{
    StdLogCapture log;
    size_t start = log.size();
    VSYST_DumpStream* std = &VSYST_DumpStream::getStdStream();
    EXPECT_EQ(std, &V_DIAG_DUMP("%s=%d", "a", 5));
    EXPECT_EQ(std, &V_DIAG_DUMP(nullptr));
    V_DIAG_DUMP(nullptr) << "tail\n";
    VDIAG_C::V_DIAG_DUMP("%04x|", 255);
    VDIAG_C::V_DIAG_DUMP(nullptr);
    const std::string x4095(4095, 'x');
    V_DIAG_DUMP("%s", x4095.c_str());
    V_DIAG_DUMP("%s", (x4095 + "yz").c_str());
    VDIAG_C::V_DIAG_DUMP("%s%s", x4095.c_str(), "!");
    EXPECT_EQ("a=5\r\ntail\r\n00ff|\r\n" + x4095 + "\r\n" + x4095 + "\r\n" + x4095 + "\r\n", log.since(start));
}

TEST(Hresult, ReportsAndLeavesErrorInfoForFailures)
{
    const std::string plain = "A module message for the test.";
    const struct {
        unsigned long hr;
        const char* module;
        std::string description;   // "(none)": no error information
    } cases[] = {
        {0x80040201, "diag_messages.dll", plain},
        {0x80040202, "diag_messages.dll", "No line break at the end."},
        {0x80040203, "diag_messages.dll", "Two lines,\r\nand breaks after them."},
        {0x80070005, "diag_messages.dll", systemText(0x80070005)},
        {0x80070005, "no_such_module.dll", systemText(0x80070005)},
        {0x80070005, nullptr, systemText(0x80070005)},
        {0x8FFF0F0F, "diag_messages.dll", ""},
        {0x00040205, "diag_messages.dll", "(none)"},
        {0, nullptr, "(none)"},
    };
    ASSERT_FALSE(plain.empty() || cases[3].description.empty());
    StdLogCapture log;
    std::string expected;
    for (const auto& c : cases) {
        SetErrorInfo(0, nullptr);
        const long hr = static_cast<long>(c.hr);
        EXPECT_EQ(hr, Diag::hresult(hr, c.module));
        EXPECT_EQ(c.description, takeErrorInfo()) << std::hex << c.hr;
        EXPECT_EQ(nullptr, GetModuleHandleA("diag_messages.dll")) << "the module stays loaded";
        char line[64];
        std::snprintf(line, sizeof line, "Return code: HRESULT = 0x%08lx\r\n", c.hr);
        expected += line;
    }
    // A text with an insert and no arguments: a defined answer either way, never a crash.
    SetErrorInfo(0, nullptr);
    Diag::hresult(static_cast<long>(0x80040204), "diag_messages.dll");
    std::string insert = takeErrorInfo();
    EXPECT_TRUE(insert == "" || insert.find("is missing.") != std::string::npos) << insert;
    expected += "Return code: HRESULT = 0x80040204\r\n";

    EXPECT_EQ(static_cast<long>(0x80040201), Diag::hresultLevelBased(true, static_cast<long>(0x80040201), "diag_messages.dll"));
    EXPECT_EQ("(none)", takeErrorInfo());
    Diag::hresultLevelBased(false, static_cast<long>(0x80040201), "diag_messages.dll");
    EXPECT_EQ(plain, takeErrorInfo());
    expected += "Return code: HRESULT = 0x80040201\r\n";
    EXPECT_EQ(expected, log.since(log.text().find("Return code")));
}

namespace {

// Failing stand-ins for the event-log calls, remembering what they were given.
std::string s_source, s_text;
WORD s_type;
DWORD s_eventId;
HANDLE WINAPI failRegister(LPCSTR, LPCSTR source) { s_source = source ? source : "(null)"; SetLastError(5); return nullptr; }
BOOL WINAPI failReport(HANDLE, WORD type, WORD, DWORD id, PSID, WORD n, DWORD, LPCSTR* strings, LPVOID)
{
    s_type = type;
    s_eventId = id;
    s_text = n == 1 ? strings[0] : "(count)";
    return FALSE;
}
BOOL WINAPI failDeregister(HANDLE) { return FALSE; }

}  // namespace

TEST(EventLog, ResultsAndEachFailingStep)
{
    EXPECT_TRUE(Diag::logMessage(17, "an event", EVENTLOG_WARNING_TYPE, nullptr));
    EXPECT_TRUE(Diag::logMessage(18, nullptr, EVENTLOG_INFORMATION_TYPE, "ignored", "Orv Source"));
    {
        orvtest::IatHook hook("OrvCore_Rudaru20.dll", "advapi32.dll", "RegisterEventSourceA", reinterpret_cast<void*>(&failRegister));
        EXPECT_FALSE(Diag::logMessage(1, "x", EVENTLOG_ERROR_TYPE, nullptr));
        EXPECT_EQ("ZIZ Oziraz", s_source);
        EXPECT_FALSE(Diag::logMessage(1, "x", EVENTLOG_ERROR_TYPE, "ignored", "Orv Source"));
        EXPECT_EQ("Orv Source", s_source);
    }
    {
        orvtest::IatHook hook("OrvCore_Rudaru20.dll", "advapi32.dll", "ReportEventA", reinterpret_cast<void*>(&failReport));
        EXPECT_FALSE(Diag::logMessage(4711, "report text", EVENTLOG_ERROR_TYPE, nullptr));
        EXPECT_EQ(EVENTLOG_ERROR_TYPE, s_type);
        EXPECT_EQ(4711u, s_eventId);
        EXPECT_EQ("report text", s_text);
        Diag::logMessage(1, nullptr, EVENTLOG_ERROR_TYPE, nullptr);
        EXPECT_EQ("", s_text);
    }
    orvtest::IatHook hook("OrvCore_Rudaru20.dll", "advapi32.dll", "DeregisterEventSource", reinterpret_cast<void*>(&failDeregister));
    EXPECT_FALSE(Diag::logMessage(1, "x", EVENTLOG_ERROR_TYPE, nullptr));
}

// Run by ctest with Wine's eventlog channel on: Wine keeps no event log, but
// prints the text of error events (see tests/diag/CMakeLists.txt).
ORV_TEST_CHILD(eventText)
{
    return Diag::logMessage(77, "event text from the child", EVENTLOG_ERROR_TYPE, nullptr) ? 0 : 1;
}

namespace {
BOOL WINAPI win9xVersion(LPOSVERSIONINFOA info) { info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS; return TRUE; }
BOOL WINAPI failVersion(LPOSVERSIONINFOA) { return FALSE; }
}  // namespace

ORV_TEST_CHILD(win9x)
{
    orvtest::IatHook hook("OrvCore_Rudaru20.dll", "kernel32.dll", "GetVersionExA",
                          reinterpret_cast<void*>(argv[0][0] == 'f' ? &failVersion : &win9xVersion));
    VSYST_DumpStream::getStdStream().setMode(VSYST_DumpStream::DSM_Console);
    V_DIAG_DUMP("logMessage %d", Diag::logMessage(1, "x", EVENTLOG_ERROR_TYPE, nullptr) ? 1 : 0);
    char descriptor[SECURITY_DESCRIPTOR_MIN_LENGTH];
    InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION);
    Diag::dumpSecurityDescriptor(descriptor);
    Diag::dumpProcessUserIdentityString();
    Diag::dumpThreadUserIdentityString();
    return 0;
}

TEST(Win9x, NoEventLogAndNoSecurity)
{
    for (const char* how : {"platform", "failing"}) {
        orvtest::ChildResult r = orvtest::runChild("win9x", {how});
        EXPECT_EQ(0u, r.exitCode);
        EXPECT_EQ("logMessage 0\r\n"
                  "dumpSecurityDescriptor - Security not supported on Win9x platform\r\n"
                  "dumpProcessUserIdentityString - Security not supported on Win9x platform\r\n"
                  "dumpThreadUserIdentityString - Security not supported on Win9x platform\r\n",
                  r.out) << how;
    }
}

TEST(Requests, UniqueAcrossThreadsAndWrapAfter999)
{
    const int kThreads = 8, kEach = 100;
    std::vector<std::vector<unsigned long>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&seen, t] {
            for (int i = 0; i < kEach; ++i) {
                Diag::createRequest();
                seen[t].push_back(Diag::getRequestId());
                Diag::removeRequest();
                if (Diag::getRequestId() != 0) seen[t].push_back(0);
            }
        });
    for (std::thread& t : threads) t.join();
    std::set<unsigned long> all;
    for (const auto& v : seen) all.insert(v.begin(), v.end());
    EXPECT_EQ(static_cast<size_t>(kThreads * kEach), all.size());
    EXPECT_GE(*all.begin(), 1u);
    EXPECT_LE(*all.rbegin(), 999u);

    unsigned long id = 0, steps = 0;
    for (; id != 999 && steps < 1000; ++steps) {
        Diag::createRequest();
        id = Diag::getRequestId();
        Diag::removeRequest();
    }
    EXPECT_EQ(999u, id);
    Diag::createRequest();
    EXPECT_EQ(1u, Diag::getRequestId());
    Diag::removeRequest();
}

TEST(Requests, NestingContextsAndIndentation)
{
    StdLogCapture log;
    size_t start = log.size();
    Diag::removeRequest();   // none open: nothing happens
    EXPECT_EQ(0u, Diag::getRequestId());
    const long processIndent = Diag::getIndent();
    {
        VDIAG_DiagnosticIndent outside;
        EXPECT_EQ(processIndent + 4, Diag::getIndent());
    }
    {
        VDIAG_DiagnosticContext outer;
        const unsigned long id = Diag::getRequestId();
        EXPECT_NE(0u, id);
        EXPECT_FALSE(outer.hiddenRqHeader());
        EXPECT_EQ(0, Diag::getIndent());
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
        EXPECT_EQ(1, Diag::getRequestNesting());
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
    ASSERT_NE(0xFFFFFFFFul, d.index);
    ASSERT_GE(d.used, sizeof(void*));   // the request pointer
    // This thread loaded the library: its block exists and points to the template.
    unsigned char* mine = VDIAG_TlsMan::getThreadData();
    EXPECT_EQ(mine, TlsGetValue(d.index));
    auto blockOf = [](unsigned char* data) { return reinterpret_cast<VDIAG_TlsMan::Block*>(data - 2 * sizeof(void*)); };
    EXPECT_EQ(&d.templ, blockOf(mine)->first);

    const unsigned long used = d.used;
    const unsigned value = 0x11223344;
    EXPECT_EQ(static_cast<long>(used), VDIAG_TlsMan::allocSlot(sizeof value, &value));
    VDIAG_TlsMan::Block* head = d.templ.next;
    unsigned char* other = nullptr;
    std::thread([&other] { other = VDIAG_TlsMan::getThreadData(); }).join();
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(0, std::memcmp(other + used, &value, sizeof value));
    EXPECT_EQ(blockOf(other), d.templ.next);
    EXPECT_EQ(head, blockOf(other)->next);

    const unsigned long left = VDIAG_TlsMan::DataSize - d.used;
    EXPECT_EQ(-1, VDIAG_TlsMan::allocSlot(left + 1, nullptr));
    EXPECT_EQ(static_cast<long>(VDIAG_TlsMan::DataSize - left), VDIAG_TlsMan::allocSlot(left, nullptr));
    EXPECT_EQ(-1, VDIAG_TlsMan::allocSlot(1, nullptr));
    EXPECT_EQ(static_cast<unsigned long>(VDIAG_TlsMan::DataSize), d.used);
}
