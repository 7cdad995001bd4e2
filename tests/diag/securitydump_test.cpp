// The security dumps on the real process and thread tokens and on security
// descriptors read back from a registry key or built with the system's calls.
#include "VDIAG_FailureDiagnostics.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstring>
#include <string>

using Diag = VDIAG_FailureDiagnostics;
using orvtest::StdLogCapture;

namespace {

const char* const kUseNames[] = {"Unknown type", "SidTypeUser", "SidTypeGroup", "SidTypeDomain", "SidTypeAlias",
                                 "SidTypeWellKnownGroup", "SidTypeDeletedAccount", "SidTypeInvalid", "SidTypeUnknown"};

// The identity line of the process's user, looked up here with the system's calls.
std::string userLine()
{
    HANDLE token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    union { TOKEN_USER user; char bytes[512]; } info;
    DWORD n = 0;
    GetTokenInformation(token, TokenUser, &info, sizeof info, &n);
    CloseHandle(token);
    char name[256] = {0}, domain[256] = {0};
    DWORD nn = sizeof name, dn = sizeof domain;
    SID_NAME_USE u = SidTypeInvalid;
    EXPECT_TRUE(LookupAccountSidA(nullptr, info.user.User.Sid, name, &nn, domain, &dn, &u));
    return std::string("AccountName:") + name + ", Ref domain:" + domain + ", Use name:" + kUseNames[u < 9 ? u : 0];
}

BOOL WINAPI failOpenProcessToken(HANDLE, DWORD, PHANDLE) { SetLastError(5); return FALSE; }
BOOL WINAPI failTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD) { SetLastError(87); return 0; }
BOOL WINAPI invalidSid(PSID) { return FALSE; }
BOOL WINAPI failLookup(LPCSTR, PSID, LPSTR, LPDWORD, LPSTR, LPDWORD, PSID_NAME_USE) { SetLastError(1332); return FALSE; }
BOOL WINAPI failGroup(PSECURITY_DESCRIPTOR, PSID*, LPBOOL) { return FALSE; }

PSID sid(const char* text)
{
    PSID s = nullptr;
    ConvertStringSidToSidA(text, &s);   // freed with the process
    return s;
}

}  // namespace

TEST(SecurityDump, IdentitiesAndTheirFailures)
{
    StdLogCapture log;
    size_t start = log.size();
    const std::string user = userLine();
    Diag::dumpProcessUserIdentityString();
    HANDLE token;
    ASSERT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) << "the thread impersonates already";
    const std::string noToken = std::to_string(GetLastError());
    Diag::dumpThreadUserIdentityString();
    ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
    Diag::dumpThreadUserIdentityString();
    RevertToSelf();
    EXPECT_EQ("Process user identity is:\r\n{\r\n" + user + "\r\n}\r\nError OpenThreadToken - error:" + noToken +
                  "\r\nThread user identity is:\r\n{\r\n" + user + "\r\n}\r\n",
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
}

TEST(SecurityDump, DescriptorOfARegistryKey)
{
    // A DACL with both supported kinds of entry, assorted rights and flags, and
    // an audit entry, set on a key of ours and read back from it.
    const DWORD sidLength = GetLengthSid(sid("S-1-1-0"));
    unsigned char aclBytes[512];
    PACL acl = reinterpret_cast<PACL>(aclBytes);
    ASSERT_TRUE(InitializeAcl(acl, sizeof aclBytes, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, 0x801F01FF, sid("S-1-1-0")));
    ASSERT_TRUE(AddAccessDeniedAceEx(acl, ACL_REVISION, CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE | INHERIT_ONLY_ACE,
                                     0x70050003, sid("S-1-5-7")));
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, VALID_INHERIT_FLAGS, 0x001A0000, sid("S-1-5-32-544")));
    unsigned char audit[64] = {SYSTEM_AUDIT_ACE_TYPE, SUCCESSFUL_ACCESS_ACE_FLAG, static_cast<unsigned char>(8 + sidLength), 0, 0x10};
    std::memcpy(audit + 8, sid("S-1-1-0"), sidLength);
    ASSERT_TRUE(AddAce(acl, ACL_REVISION, MAXDWORD, audit, 8 + sidLength));
    SECURITY_DESCRIPTOR built;
    InitializeSecurityDescriptor(&built, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&built, TRUE, acl, FALSE);
    SetSecurityDescriptorGroup(&built, sid("S-1-5-32-544"), FALSE);

    orvtest::TestRegKey key("secdump");
    const SECURITY_INFORMATION what = GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key.handle(), what, &built));
    unsigned char read[1024];
    DWORD size = sizeof read;
    ASSERT_EQ(ERROR_SUCCESS, RegGetKeySecurity(key.handle(), what, read, &size));
    BOOL present, defaulted;
    PACL back = nullptr;
    GetSecurityDescriptorDacl(read, &present, &back, &defaulted);
    ASSERT_TRUE(back && back->AceCount == 4);

    StdLogCapture log;
    size_t start = log.size();
    Diag::dumpSecurityDescriptor(read);
    EXPECT_EQ("Security descriptor dump\r\nGroup SID is : S-1-5-32-544\r\nDACL is:\r\n{\r\nAclRevision:" +
                  std::to_string(back->AclRevision) + ", Sbz1:0, AclSize:" + std::to_string(back->AclSize) +
                  ", AceCount:4, Sbz2:0\r\n"
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
              log.since(start));
}

TEST(SecurityDump, DescriptorEdgesAndFailures)
{
    StdLogCapture log;
    auto dump = [&log](void* descriptor) {
        size_t start = log.size();
        Diag::dumpSecurityDescriptor(descriptor);
        return log.since(start);
    };
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

    // An ACL whose entries do not fit it: a count beyond its size, a SID beyond its entry.
    const DWORD sidLength = GetLengthSid(sid("S-1-1-0"));
    for (int broken = 0; broken < 2; ++broken) {
        alignas(8) unsigned char bytes[64] = {0};
        PACL acl = reinterpret_cast<PACL>(bytes);
        const DWORD size = sizeof(ACL) + 8 + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sidLength;
        ASSERT_TRUE(InitializeAcl(acl, size, ACL_REVISION));
        unsigned char label[8] = {0x11, 0, 8, 0};
        ASSERT_TRUE(AddAce(acl, ACL_REVISION, MAXDWORD, label, sizeof label));
        ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid("S-1-1-0")));
        if (broken) bytes[size - sidLength + 1] = 5;   // the SID's sub-authority count
        else acl->AceCount = 3;
        SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
        SetSecurityDescriptorGroup(&sd, nullptr, FALSE);
        std::string second = "ACE #1\r\n{\r\nACE type : ACCESS_ALLOWED_ACE_TYPE, access mask: 10000000h\r\n"
                             "Specific rights : 00000000h\r\nStandard rights:\r\nGENERIC_ALL\r\nACE AceFlags:\r\n"
                             "ACE SID : S-1-1-0\r\n}\r\n";
        EXPECT_EQ(title + "Group SID is : NULL\r\nDACL is:\r\n{\r\nAclRevision:2, Sbz1:0, AclSize:" + std::to_string(size) +
                      ", AceCount:" + (broken ? "2" : "3") + ", Sbz2:0\r\nACE #0\r\n{\r\nACE type 17 - formating not implemented\r\n}\r\n" +
                      (broken ? "" : second) + "Error obtaining ACE. Number of ACEs:" + (broken ? "2" : "3") +
                      ", current index:" + (broken ? "1" : "2") + "\r\n}\r\n",
                  dump(&sd))
            << broken;
    }
}
