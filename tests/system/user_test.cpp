// VSYST_User: the current user against the system's own answers, and records
// of other accounts.
#include "VSYST_User.h"
#include "V_ASArchive.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

namespace {

std::string text(const V_STRING& s) { return std::string(s.data(), s.length()); }

std::string sidBytes(const char* sid)
{
    PSID binary = nullptr;
    if (!ConvertStringSidToSidA(sid, &binary)) return "\x01\x02\x03";   // no SID at all
    std::string bytes(static_cast<char*>(binary), GetLengthSid(binary));
    LocalFree(binary);
    return bytes;
}

// A record as the platform writes it.
std::string record(unsigned long type, unsigned long reserved, unsigned long kind, const std::string& sid,
                   const char* name, const char* fullName, const char* computer = "PC", const char* domain = "DOM")
{
    unsigned char buffer[1024];
    V_ASArchiveOut out(buffer, sizeof buffer);
    for (unsigned long v : {type, reserved, kind, static_cast<unsigned long>(sid.size())}) out.writeUInt32(v);
    out.write(sid.data(), static_cast<unsigned long>(sid.size()));
    out.writeByte(0);
    for (const char* s : {name, fullName, computer, domain}) V_STRING(s).serializeAsMember(out);
    return std::string(reinterpret_cast<char*>(buffer), out.position());
}

VSYST_User readUser(const std::string& bytes)
{
    VSYST_User user;
    V_ASArchiveIn in(bytes.data(), static_cast<unsigned long>(bytes.size()));
    user.deserializeAsMember(in);
    return user;
}

// Serialising makes an object of the current user concrete.
std::string written(VSYST_User& user)
{
    unsigned char bytes[512];
    V_ASArchiveOut out(bytes, sizeof bytes);
    user.serializeAsMember(out);
    return std::string(reinterpret_cast<char*>(bytes), out.position());
}

const std::string kBobSid = sidBytes("S-1-5-21-1-2-3-1001");

}  // namespace

int s_userLookups;
BOOL WINAPI countedGetUserName(char* name, DWORD* size)
{
    ++s_userLookups;
    return GetUserNameA(name, size);
}

TEST(User, CurrentUserAsTheSystemKnowsItAndOtherAccounts)
{
    // The names as the system gives them, the SID and domain from the process token.
    char name[256] = "", computer[64] = "", account[256], domain[256];
    DWORD n = sizeof name, c = sizeof computer, an = sizeof account, dn = sizeof domain, size = 0;
    ASSERT_TRUE(GetUserNameA(name, &n) && GetComputerNameA(computer, &c));
    HANDLE token;
    unsigned char buffer[512];
    SID_NAME_USE use;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
    CloseHandle(token);
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    ASSERT_TRUE(LookupAccountSidA(nullptr, sid, account, &an, domain, &dn, &use));
    const std::string own(static_cast<char*>(sid), GetLengthSid(sid));
    const std::string ownRecord = record(SidTypeUser, 0, 1, own, name, name, computer, domain);
    VSYST_User a, b;
    {   // looked up once per process, also when a record is what first asks for it
        orvtest::IatHook hook("OrvCore_Rudaru20.dll", "advapi32.dll", "GetUserNameA",
                              reinterpret_cast<void*>(&countedGetUserName));
        EXPECT_TRUE(readUser(ownRecord) == a && a == b && !(a != b) && a.contains(b));
        EXPECT_TRUE(a.getName() == b.getName() && VSYST_User().getName() == a.getName() && s_userLookups <= 1);
    }
    EXPECT_EQ(std::string(name) + "|" + name + "|" + computer + "|" + domain + "|1",
              text(a.getName()) + "|" + text(a.getFullName()) + "|" + text(a.getComputerName()) + "|" +
              text(a.getDomainName()) + "|" + std::to_string(a.getType()));

    // The record holds the SID and the names.
    EXPECT_EQ(ownRecord, written(b));
    unsigned long sidSize = 0;
    const void* sidOfB = b.getUserSID(&sidSize);
    EXPECT_EQ(own, std::string(static_cast<const char*>(sidOfB), sidSize));
    EXPECT_TRUE(b == a && a == b && b.contains(a));
    // An archive one byte short receives nothing.
    unsigned char bytes[512];
    V_ASArchiveOut tight(bytes, static_cast<unsigned long>(ownRecord.size() - 1));
    EXPECT_THROW(b.serializeAsMember(tight), VSYST_XRange);
    EXPECT_EQ(0ul, tight.position());

    const VSYST_User bob = readUser(record(SidTypeUser, 5, 1, kBobSid, "bob", "Bob Builder\nsite B"));
    EXPECT_EQ("bob|Bob Builder|PC|DOM|1", text(bob.getName()) + "|" + text(bob.getFullName()) + "|" +
              text(bob.getComputerName()) + "|" + text(bob.getDomainName()) + "|" + std::to_string(bob.getType()));
    EXPECT_TRUE(bob != a && bob == bob && bob.contains(bob));
    VSYST_User copy(bob), assigned;
    assigned = copy;
    copy = a;   // back to the current user: the copied SID block goes
    EXPECT_TRUE(assigned == bob && copy == a && copy != bob);
    assigned = assigned;
    // Copies keep every field, the reserved word too.
    EXPECT_EQ(record(SidTypeUser, 5, 1, kBobSid, "bob", "Bob Builder\nsite B"), written(assigned));

    // A group compares equal to itself but contains nothing; another kind or a
    // SID that is not valid never compares equal.
    const VSYST_User group = readUser(record(SidTypeAlias, 0, 1, sidBytes("S-1-5-32-544"), "Administrators", ""));
    EXPECT_TRUE(group == group && !group.contains(group));
    const VSYST_User kind2 = readUser(record(SidTypeUser, 0, 2, kBobSid, "bob", ""));
    EXPECT_TRUE(kind2 != bob && kind2 == kind2);
    const VSYST_User junk = readUser(record(SidTypeUser, 0, 1, sidBytes("junk"), "junk", ""));
    EXPECT_TRUE(junk != junk && junk != a);

    // A short record changes nothing.
    const std::string cut = record(SidTypeUser, 0, 1, kBobSid, "x", "");
    VSYST_User kept(group);
    V_ASArchiveIn in(cut.data(), static_cast<unsigned long>(cut.size() - 1));
    EXPECT_THROW(kept.deserializeAsMember(in), VSYST_XRange);
    EXPECT_TRUE(kept == group && in.position() == 0);
}

