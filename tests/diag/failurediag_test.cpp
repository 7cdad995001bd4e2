// Failure diagnostics without the registry: V_DIAG_DUMP, HRESULT reports with
// the thread's COM error information, the event log, requests, indentation, TLS,
// and the security dumps on the real process and thread tokens and on security
// descriptors built with the system's calls.
#include "VDIAG_FailureDiagnostics.h"
#include "VSYST_DumpStream.h"
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <sddl.h>

#include <cstring>
#include <string>
#include <thread>

using Diag = VDIAG_FailureDiagnostics;
using orvtest::StdLogCapture;

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
BOOL WINAPI win9xVersion(LPOSVERSIONINFOA info) { info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS; return TRUE; }
BOOL WINAPI failVersion(LPOSVERSIONINFOA) { return FALSE; }

BOOL WINAPI failOpenProcessToken(HANDLE, DWORD, PHANDLE) { SetLastError(5); return FALSE; }
BOOL WINAPI failTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD) { SetLastError(87); return 0; }
BOOL WINAPI invalidSid(PSID) { return FALSE; }
BOOL WINAPI failLookup(LPCSTR, PSID, LPSTR, LPDWORD, LPSTR, LPDWORD, PSID_NAME_USE) { SetLastError(1332); return FALSE; }
BOOL WINAPI failGroup(PSECURITY_DESCRIPTOR, PSID*, LPBOOL) { return FALSE; }

}  // namespace

TEST(Hresult, ReportsAndLeavesErrorInfoForFailuresAndEventLogResultsFailingStepsAndWin9x)
{
    const char* mine = "diag_messages.dll";
    const struct { unsigned long hr; const char* module; std::string description; } cases[] = {
        {0x80040201, mine, "A module message for the test."},
        {0x80040202, mine, "No line break at the end."},
        {0x80040203, mine, "Two lines,\r\nand breaks after them."},
        {0x80040204, mine, "Value %1 is missing."},
        {0x80070005, mine, orvtest::systemText(0x80070005)},
        {0x80070005, nullptr, orvtest::systemText(0x80070005)},
        {0x8FFF0F0F, mine, ""},
        {0x00040205, mine, "(none)"},   // success codes: no error information
        {0, nullptr, "(none)"},
    };
    StdLogCapture log;
    size_t start = log.size();
    for (const auto& c : cases) {
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(static_cast<long>(c.hr), Diag::hresult(static_cast<long>(c.hr), c.module));
        EXPECT_EQ(c.description, takeErrorInfo()) << std::hex << c.hr;
        EXPECT_EQ(nullptr, GetModuleHandleA(mine)) << "the module stays loaded";
    }
    const long hr = static_cast<long>(0x80040201);
    EXPECT_EQ(hr, Diag::hresultLevelBased(true, hr, mine));
    const std::string quiet = takeErrorInfo();
    EXPECT_EQ(hr, Diag::hresultLevelBased(false, hr, mine));
    EXPECT_EQ("(none)|" + cases[0].description, quiet + "|" + takeErrorInfo());
    EXPECT_EQ("Return code: HRESULT = 0x80040201\r\nReturn code: HRESULT = 0x80040202\r\n"
              "Return code: HRESULT = 0x80040203\r\nReturn code: HRESULT = 0x80040204\r\n"
              "Return code: HRESULT = 0x80070005\r\nReturn code: HRESULT = 0x80070005\r\n"
              "Return code: HRESULT = 0x8fff0f0f\r\nReturn code: HRESULT = 0x00040205\r\n"
              "Return code: HRESULT = 0x00000000\r\nReturn code: HRESULT = 0x80040201\r\n",
              log.since(start));

    const struct { const char* function; void* hook; const char* source; const char* text; std::string given; } steps[] = {
        {"RegisterEventSourceA", reinterpret_cast<void*>(&failRegister), nullptr, "x", "ZIZ Oziraz"},
        {"RegisterEventSourceA", reinterpret_cast<void*>(&failRegister), "Orv Source", "x", "Orv Source"},
        {"ReportEventA", reinterpret_cast<void*>(&failReport), nullptr, "report text", "1/0/4711/1/report text"},
        {"ReportEventA", reinterpret_cast<void*>(&failReport), nullptr, nullptr, "1/0/4711/1/"},
        {"DeregisterEventSource", reinterpret_cast<void*>(&failDeregister), nullptr, "x", ""},
    };
    for (const auto& c : steps) {
        s_given.clear();
        orvtest::IatHook hook("OrvCore_Rudaru20.dll", "advapi32.dll", c.function, c.hook);
        EXPECT_FALSE(Diag::logMessage(4711, c.text, EVENTLOG_ERROR_TYPE, "ignored", c.source)) << c.function;
        EXPECT_EQ(c.given, s_given) << c.function;
    }
    // On Win9x, or when the platform cannot be told, neither event log nor security.
    for (const char* how : {"platform", "failing"})
        EXPECT_EQ("logMessage 0\r\ndumpSecurityDescriptor - Security not supported on Win9x platform\r\n"
                  "dumpProcessUserIdentityString - Security not supported on Win9x platform\r\n"
                  "dumpThreadUserIdentityString - Security not supported on Win9x platform\r\n",
                  orvtest::runChild("win9x", {how}).out)
            << how;
}

// The platform answer is asked once per process: each kind in a child of its own.
ORV_TEST_CHILD(win9x)
{
    orvtest::IatHook hook("OrvCore_Rudaru20.dll", "kernel32.dll", "GetVersionExA",
                          reinterpret_cast<void*>(argv[0][0] == 'f' ? &failVersion : &win9xVersion));
    VSYST_DumpStream::getStdStream().setMode(VSYST_DumpStream::DSM_Console);
    V_DIAG_DUMP("logMessage %d", Diag::logMessage(1, "x", EVENTLOG_ERROR_TYPE, nullptr) ? 1 : 0);
    Diag::dumpSecurityDescriptor(nullptr);
    Diag::dumpProcessUserIdentityString();
    Diag::dumpThreadUserIdentityString();
    return 0;
}

// V_DIAG_DUMP lines, cut to fit, then the closing texts of nested indentations.
TEST(DiagDump, LinesCutRequestsNestAndWrapAfter999OnTlsBlocksAndSlots)
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
        EXPECT_TRUE(id != 0 && !outer.hiddenRqHeader());
        VDIAG_DiagnosticIndent two(2, "end");
        {
            VDIAG_DiagnosticContext inner;
            VDIAG_DiagnosticIndent three(3, ""), one(1, nullptr);
            long elsewhere = -1;
            std::thread([&elsewhere] { elsewhere = Diag::getIndent(); }).join();
            EXPECT_EQ(std::to_string(id) + " 2 1 6 " + std::to_string(processIndent),
                      std::to_string(Diag::getRequestId()) + " " + std::to_string(Diag::getRequestNesting()) + " " +
                          std::to_string(inner.hiddenRqHeader()) + " " + std::to_string(Diag::getIndent()) + " " +
                          std::to_string(elsewhere));
        }
    }
    EXPECT_TRUE(Diag::getRequestId() == 0 && Diag::getIndent() == processIndent);
    EXPECT_EQ("a=5\r\ntail\r\n00ff|\r\n" + x + "\r\n" + x + "\r\n}\r\nend\r\n", log.since(start));

    // Numbers run from 1 to 999 and start again.
    unsigned long id = 0;
    for (int step = 0; id != 999 && step < 1000; ++step) {
        Diag::createRequest();
        id = Diag::getRequestId();
        Diag::removeRequest();
    }
    ASSERT_EQ(999u, id);
    Diag::createRequest();
    EXPECT_EQ(1u, Diag::getRequestId());
    Diag::removeRequest();

    // The thread data behind requests: a template, one block a thread, slots.
    VDIAG_TlsMan::Data& d = VDIAG_TlsMan::getData();
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
    ASSERT_TRUE(other && other == d.templ.next->data);
    EXPECT_EQ(0, std::memcmp(other + used, &value, sizeof value));

    // Room for exactly what is left, not a byte more.
    const unsigned long next = d.used, left = VDIAG_TlsMan::DataSize - next;
    EXPECT_EQ(-1, VDIAG_TlsMan::allocSlot(left + 1, nullptr));
    EXPECT_EQ(static_cast<long>(next), VDIAG_TlsMan::allocSlot(left, nullptr));
    EXPECT_EQ(-1, VDIAG_TlsMan::allocSlot(1, nullptr));
}

TEST(SecurityDump, IdentitiesDescriptorsEdgesAndFailures)
{
    // The process's user, looked up here by name.
    char name[256] = {0}, domain[256] = {0};
    BYTE sidBytes[256];
    DWORD nn = sizeof name, dn = sizeof domain, sidSize = sizeof sidBytes;
    SID_NAME_USE use;
    ASSERT_TRUE(GetUserNameA(name, &nn) && LookupAccountNameA(nullptr, name, sidBytes, &sidSize, domain, &dn, &use));
    const std::string user = std::string("AccountName:") + name + ", Ref domain:" + domain + ", Use name:SidTypeUser";
    StdLogCapture log;
    size_t start = log.size();
    Diag::dumpProcessUserIdentityString();
    Diag::dumpThreadUserIdentityString();
    ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
    Diag::dumpThreadUserIdentityString();
    RevertToSelf();
    EXPECT_EQ("Process user identity is:\r\n{\r\n" + user + "\r\n}\r\nError OpenThreadToken - error:1008\r\n"
                  "Thread user identity is:\r\n{\r\n" + user + "\r\n}\r\n",
              log.since(start));

    const std::string open = "Process user identity is:\r\n{\r\n", fail = "Error calling dumpUserIdentityString\r\n}\r\n";
    const struct { const char* function; void* replacement; std::string text; } cases[] = {
        {"OpenProcessToken", reinterpret_cast<void*>(&failOpenProcessToken), "Error OpenProcessToken - error:5\r\n"},
        {"GetTokenInformation", reinterpret_cast<void*>(&failTokenInformation), open + "Error GetTokenInformation - error:87\r\n" + fail},
        {"IsValidSid", reinterpret_cast<void*>(&invalidSid), open + "Error INVALID_SID\r\n" + fail},
        {"LookupAccountSidA", reinterpret_cast<void*>(&failLookup), open + "Error LookupAccountSid - error:1332\r\n" + fail},
    };
    for (const auto& c : cases) {
        start = log.size();
        orvtest::IatHook hook("OrvCore_Rudaru20.dll", "advapi32.dll", c.function, c.replacement);
        Diag::dumpProcessUserIdentityString();
        EXPECT_EQ(c.text, log.since(start)) << c.function;
    }

    // A DACL with both supported kinds of entry, assorted rights and flags, and
    // an audit entry, in a self-relative descriptor.
    PSECURITY_DESCRIPTOR read = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "G:BAD:(A;OICI;0x801f01ff;;;WD)(D;CINPIO;0x70050003;;;AN)(A;OICINPIOID;0x001a0000;;;BA)(AU;SA;0x10;;;WD)",
        SDDL_REVISION_1, &read, nullptr));
    auto dump = [&log](void* descriptor) {
        const size_t at = log.size();
        Diag::dumpSecurityDescriptor(descriptor);
        return log.since(at);
    };
    EXPECT_EQ("Security descriptor dump\r\nGroup SID is : S-1-5-32-544\r\nDACL is:\r\n{\r\n"
                  "AclRevision:2, Sbz1:0, AclSize:92, AceCount:4, Sbz2:0\r\n"
                  "ACE #0\r\n{\r\nACE type : ACCESS_ALLOWED_ACE_TYPE, access mask: 801F01FFh\r\nSpecific rights : 000001FFh\r\n"
                  "Standard rights:\r\nSTANDARD_RIGHTS_ALL\r\nGENERIC_READ\r\n"
                  "ACE AceFlags: OBJECT_INHERIT_ACE CONTAINER_INHERIT_ACE\r\nACE SID : S-1-1-0\r\n}\r\n"
                  "ACE #1\r\n{\r\nACE type : ACCESS_DENIED_ACE_TYPE, access mask: 70050003h\r\nSpecific rights : 00000003h\r\n"
                  "Standard rights:\r\nDELETE\r\nWRITE_DAC\r\nGENERIC_WRITE\r\nGENERIC_EXECUTE\r\nGENERIC_ALL\r\n"
                  "ACE AceFlags: CONTAINER_INHERIT_ACE NO_PROPAGATE_INHERIT_ACE INHERIT_ONLY_ACE\r\nACE SID : S-1-5-7\r\n}\r\n"
                  "ACE #2\r\n{\r\nACE type : ACCESS_ALLOWED_ACE_TYPE, access mask: 001A0000h\r\nSpecific rights : 00000000h\r\n"
                  "Standard rights:\r\nREAD_CONTROL\r\nWRITE_OWNER\r\nSYNCHRONIZE\r\nACE AceFlags: OBJECT_INHERIT_ACE "
                  "CONTAINER_INHERIT_ACE NO_PROPAGATE_INHERIT_ACE INHERIT_ONLY_ACE INHERITED_ACE VALID_INHERIT_FLAGS\r\n"
                  "ACE SID : S-1-5-32-544\r\n}\r\n"
                  "ACE #3\r\n{\r\nACE type SYSTEM_AUDIT_ACE_TYPE - formating not implemented\r\n}\r\n}\r\n",
              dump(read));
    LocalFree(read);

    const std::string title = "Security descriptor dump\r\n";
    EXPECT_EQ(" dumpSecurityDescriptor - NULL security descriptor passed as argument\r\n", dump(nullptr));

    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    EXPECT_EQ(title + "Group SID is : NULL\r\nDACL is NULL\r\n", dump(&sd));
    SID_IDENTIFIER_AUTHORITY wide = {{1, 2, 3, 4, 5, 6}};
    PSID big = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&wide, 2, 7, 0xFFFFFFFF, 0, 0, 0, 0, 0, 0, &big));
    SetSecurityDescriptorGroup(&sd, big, FALSE);
    SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
    EXPECT_EQ(title + "Group SID is : S-1-0x010203040506-7-4294967295\r\nDACL is NULL\r\n", dump(&sd));
    {
        orvtest::IatHook hook("OrvCore_Rudaru20.dll", "advapi32.dll", "GetSecurityDescriptorGroup", reinterpret_cast<void*>(&failGroup));
        EXPECT_EQ(title + "Error calling GetSecurityDescriptorGroup\r\n", dump(&sd));
    }
    FreeSid(big);
    alignas(8) unsigned char zero[64] = {0};   // revision 0: the group reads, the DACL does not
    EXPECT_EQ(title + "Group SID is : NULL\r\nError calling GetSecurityDescriptorDacl\r\n", dump(zero));

    // An ACL whose entries do not fit it: a count beyond its size, then a SID beyond its entry.
    PSID everyone = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-1-0", &everyone));
    const DWORD sidLength = GetLengthSid(everyone);
    alignas(8) unsigned char bytes[64] = {0};
    PACL acl = reinterpret_cast<PACL>(bytes);
    const DWORD size = sizeof(ACL) + 8 + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sidLength;
    ASSERT_TRUE(InitializeAcl(acl, size, ACL_REVISION));
    unsigned char label[8] = {0x11, 0, 8, 0};
    ASSERT_TRUE(AddAce(acl, ACL_REVISION, MAXDWORD, label, sizeof label));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, everyone));
    LocalFree(everyone);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    SetSecurityDescriptorGroup(&sd, nullptr, FALSE);
    const std::string aclHead = title + "Group SID is : NULL\r\nDACL is:\r\n{\r\nAclRevision:2, Sbz1:0, AclSize:36, AceCount:";
    const std::string first = ", Sbz2:0\r\nACE #0\r\n{\r\nACE type 17 - formating not implemented\r\n}\r\n";
    acl->AceCount = 3;
    EXPECT_EQ(aclHead + "3" + first + "ACE #1\r\n{\r\nACE type : ACCESS_ALLOWED_ACE_TYPE, access mask: 10000000h\r\n"
                  "Specific rights : 00000000h\r\nStandard rights:\r\nGENERIC_ALL\r\nACE AceFlags:\r\nACE SID : S-1-1-0\r\n}\r\n"
                  "Error obtaining ACE. Number of ACEs:3, current index:2\r\n}\r\n",
              dump(&sd));
    acl->AceCount = 2;
    bytes[size - sidLength + 1] = 5;   // the SID's sub-authority count
    EXPECT_EQ(aclHead + "2" + first + "Error obtaining ACE. Number of ACEs:2, current index:1\r\n}\r\n", dump(&sd));
}
