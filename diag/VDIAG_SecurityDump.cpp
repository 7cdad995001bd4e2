// Security dumps of the failure diagnostics: a security descriptor's group and
// DACL, and the user of the process or thread token.
#include "VDIAG_FailureDiagnostics.h"
#include "VSYST_DumpStream.h"
#include "diag/orv_diag_internal.h"
#include "strings/orv_numtext.h"

#include <windows.h>

#include <cstdarg>
#include <cstring>
#include <string>

namespace {

void say(const char* format, ...) ORV_MS_PRINTF(1, 2);

// Texts that end in a line feed are whole lines already; the others are
// V_DIAG_DUMP formats, which end the line.
void say(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    unsigned n = orv::crtFormatV(text, sizeof text, format, args);
    va_end(args);
    if (n && text[n - 1] == '\n') V_DIAG_DUMP(nullptr) << static_cast<const char*>(text);
    else V_DIAG_DUMP("%s", text);
}

int errorCode() { return static_cast<int>(GetLastError()); }

// The textual form of a valid SID: "S-<revision>-<authority>-<sub>...".
std::string sidText(PSID sid)
{
    char text[256];
    const SID* s = static_cast<const SID*>(sid);
    const BYTE* a = s->IdentifierAuthority.Value;
    unsigned n = orv::crtFormat(text, sizeof text, "S-%lu-", static_cast<unsigned long>(s->Revision));
    if (a[0] || a[1]) {
        n += orv::crtFormat(text + n, sizeof text - n, "0x%02hx%02hx%02hx%02hx%02hx%02hx",
                            static_cast<unsigned short>(a[0]), static_cast<unsigned short>(a[1]),
                            static_cast<unsigned short>(a[2]), static_cast<unsigned short>(a[3]),
                            static_cast<unsigned short>(a[4]), static_cast<unsigned short>(a[5]));
    } else {
        unsigned long value = static_cast<unsigned long>(a[5]) + (static_cast<unsigned long>(a[4]) << 8) +
                              (static_cast<unsigned long>(a[3]) << 16) + (static_cast<unsigned long>(a[2]) << 24);
        n += orv::crtFormat(text + n, sizeof text - n, "%lu", value);
    }
    for (BYTE i = 0; i < s->SubAuthorityCount; ++i)
        n += orv::crtFormat(text + n, sizeof text - n, "-%lu", static_cast<unsigned long>(s->SubAuthority[i]));
    return text;
}

const char* otherAceTypeName(BYTE type)
{
    switch (type) {
    case SYSTEM_AUDIT_ACE_TYPE: return "SYSTEM_AUDIT_ACE_TYPE";
    case SYSTEM_ALARM_ACE_TYPE: return "SYSTEM_ALARM_ACE_TYPE";
    case ACCESS_ALLOWED_COMPOUND_ACE_TYPE: return "ACCESS_ALLOWED_COMPOUND_ACE_TYPE";
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE: return "ACCESS_ALLOWED_OBJECT_ACE_TYPE";
    case ACCESS_DENIED_OBJECT_ACE_TYPE: return "ACCESS_DENIED_OBJECT_ACE_TYPE";
    case SYSTEM_AUDIT_OBJECT_ACE_TYPE: return "SYSTEM_AUDIT_OBJECT_ACE_TYPE";
    case SYSTEM_ALARM_OBJECT_ACE_TYPE: return "SYSTEM_ALARM_OBJECT_ACE_TYPE";
    default: return nullptr;
    }
}

void dumpAccessRights(ACCESS_MASK mask)
{
    say("Specific rights : %8.8lXh", static_cast<unsigned long>(mask & SPECIFIC_RIGHTS_ALL));
    say("Standard rights:\n");
    static const struct { ACCESS_MASK bit; const char* line; } kStandard[] = {
        {DELETE, "DELETE\n"}, {READ_CONTROL, "READ_CONTROL\n"}, {WRITE_DAC, "WRITE_DAC\n"},
        {WRITE_OWNER, "WRITE_OWNER\n"}, {SYNCHRONIZE, "SYNCHRONIZE\n"},
    };
    if ((mask & STANDARD_RIGHTS_ALL) == STANDARD_RIGHTS_ALL) {
        say("STANDARD_RIGHTS_ALL\n");
    } else {
        for (const auto& s : kStandard)
            if (mask & s.bit) say("%s", s.line);
    }
    static const struct { ACCESS_MASK bit; const char* line; } kGeneric[] = {
        {GENERIC_READ, "GENERIC_READ\n"}, {GENERIC_WRITE, "GENERIC_WRITE\n"},
        {GENERIC_EXECUTE, "GENERIC_EXECUTE\n"}, {GENERIC_ALL, "GENERIC_ALL\n"},
    };
    for (const auto& g : kGeneric)
        if (mask & g.bit) say("%s", g.line);
}

void dumpAceFlags(BYTE flags)
{
    static const struct { BYTE bits; const char* name; } kFlags[] = {
        {OBJECT_INHERIT_ACE, " OBJECT_INHERIT_ACE"}, {CONTAINER_INHERIT_ACE, " CONTAINER_INHERIT_ACE"},
        {NO_PROPAGATE_INHERIT_ACE, " NO_PROPAGATE_INHERIT_ACE"}, {INHERIT_ONLY_ACE, " INHERIT_ONLY_ACE"},
        {INHERITED_ACE, " INHERITED_ACE"}, {VALID_INHERIT_FLAGS, " VALID_INHERIT_FLAGS"},
    };
    std::string names;
    for (const auto& f : kFlags)
        if ((flags & f.bits) == f.bits) names += f.name;
    say("ACE AceFlags:%s", names.c_str());
}

// The ACE at index i if it, and for allowed and denied entries their SID,
// lies wholly inside the ACL.
const ACE_HEADER* aceAt(PACL acl, DWORD i)
{
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace) || !ace) return nullptr;
    const BYTE* begin = reinterpret_cast<const BYTE*>(acl);
    const BYTE* end = begin + acl->AclSize;
    const BYTE* p = static_cast<const BYTE*>(ace);
    if (p < begin + sizeof(ACL) || p + sizeof(ACE_HEADER) > end) return nullptr;
    const ACE_HEADER* h = static_cast<const ACE_HEADER*>(ace);
    if (h->AceSize < sizeof(ACE_HEADER) || p + h->AceSize > end) return nullptr;
    if (h->AceType != ACCESS_ALLOWED_ACE_TYPE && h->AceType != ACCESS_DENIED_ACE_TYPE) return h;
    const size_t sidOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
    const size_t sidHead = offsetof(SID, SubAuthority);
    if (h->AceSize < sidOffset + sidHead) return nullptr;
    const SID* sid = reinterpret_cast<const SID*>(p + sidOffset);
    if (sidOffset + sidHead + sid->SubAuthorityCount * sizeof(DWORD) > h->AceSize ||
        !IsValidSid(const_cast<SID*>(sid)))
        return nullptr;
    return h;
}

void dumpAce(const ACE_HEADER* h)
{
    if (h->AceType != ACCESS_ALLOWED_ACE_TYPE && h->AceType != ACCESS_DENIED_ACE_TYPE) {
        if (const char* name = otherAceTypeName(h->AceType)) say("ACE type %s - formating not implemented\n", name);
        else say("ACE type %u - formating not implemented\n", static_cast<unsigned>(h->AceType));
        return;
    }
    const ACCESS_ALLOWED_ACE* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(h);
    const unsigned long mask = ace->Mask;
    if (h->AceType == ACCESS_ALLOWED_ACE_TYPE) say("ACE type : ACCESS_ALLOWED_ACE_TYPE, access mask: %8.8lXh", mask);
    else say("ACE type : ACCESS_DENIED_ACE_TYPE, access mask: %8.8lXh", mask);
    dumpAccessRights(ace->Mask);
    dumpAceFlags(h->AceFlags);
    say("ACE SID : %s", sidText(const_cast<DWORD*>(&ace->SidStart)).c_str());
}

// Closes a token handle on every way out.
struct Token {
    HANDLE handle = nullptr;
    ~Token()
    {
        if (handle) CloseHandle(handle);
    }
};

const char* sidUseName(SID_NAME_USE use)
{
    switch (use) {
    case SidTypeUser: return "SidTypeUser";
    case SidTypeGroup: return "SidTypeGroup";
    case SidTypeDomain: return "SidTypeDomain";
    case SidTypeAlias: return "SidTypeAlias";
    case SidTypeWellKnownGroup: return "SidTypeWellKnownGroup";
    case SidTypeDeletedAccount: return "SidTypeDeletedAccount";
    case SidTypeInvalid: return "SidTypeInvalid";
    case SidTypeUnknown: return "SidTypeUnknown";
    default: return "Unknown type";
    }
}

bool dumpUserIdentityString(HANDLE token)
{
    union {
        TOKEN_USER user;
        unsigned char bytes[512];
    } info;
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, &info, sizeof info, &size)) {
        say("Error GetTokenInformation - error:%d", errorCode());
        return false;
    }
    PSID sid = info.user.User.Sid;
    if (!IsValidSid(sid)) {
        say("Error INVALID_SID");
        return false;
    }
    char name[256] = {0}, domain[256] = {0};
    DWORD nameSize = sizeof name, domainSize = sizeof domain;
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        say("Error LookupAccountSid - error:%d\n", errorCode());
        return false;
    }
    say("AccountName:%s, Ref domain:%s, Use name:%s", name, domain, sidUseName(use));
    return true;
}

void dumpIdentity(bool thread)
{
    if (orv::isWin9xPlatform()) {
        say(thread ? "dumpThreadUserIdentityString - Security not supported on Win9x platform\n"
                   : "dumpProcessUserIdentityString - Security not supported on Win9x platform\n");
        return;
    }
    const DWORD access = TOKEN_QUERY | TOKEN_QUERY_SOURCE;
    Token token;
    if (thread ? !OpenThreadToken(GetCurrentThread(), access, TRUE, &token.handle)
               : !OpenProcessToken(GetCurrentProcess(), access, &token.handle)) {
        token.handle = nullptr;
        say(thread ? "Error OpenThreadToken - error:%d" : "Error OpenProcessToken - error:%d", errorCode());
        return;
    }
    say(thread ? "Thread user identity is:" : "Process user identity is:");
    say("{");
    VDIAG_DiagnosticIndent block;
    if (!dumpUserIdentityString(token.handle)) say("Error calling dumpUserIdentityString");
}

}  // namespace

void VDIAG_FailureDiagnostics::dumpSecurityDescriptor(void* descriptor)
{
    if (orv::isWin9xPlatform()) {
        say("dumpSecurityDescriptor - Security not supported on Win9x platform\n");
        return;
    }
    if (!descriptor) {
        say(" dumpSecurityDescriptor - NULL security descriptor passed as argument\n");
        return;
    }
    say("Security descriptor dump\n");
    PSID group = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorGroup(descriptor, &group, &defaulted) || (group && !IsValidSid(group))) {
        say("Error calling GetSecurityDescriptorGroup\n");
        return;
    }
    say("Group SID is : %s", group ? sidText(group).c_str() : "NULL");
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        say("Error calling GetSecurityDescriptorDacl\n");
        return;
    }
    if (!present || !dacl) {
        say("DACL is NULL\n");
        return;
    }
    say("DACL is:");
    say("{");
    VDIAG_DiagnosticIndent block;
    say("AclRevision:%u, Sbz1:%u, AclSize:%u, AceCount:%u, Sbz2:%u", static_cast<unsigned>(dacl->AclRevision),
        static_cast<unsigned>(dacl->Sbz1), static_cast<unsigned>(dacl->AclSize), static_cast<unsigned>(dacl->AceCount),
        static_cast<unsigned>(dacl->Sbz2));
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        const ACE_HEADER* ace = aceAt(dacl, i);
        if (!ace) {
            say("Error obtaining ACE. Number of ACEs:%u, current index:%lu", static_cast<unsigned>(dacl->AceCount), i);
            return;
        }
        say("ACE #%lu", i);
        say("{");
        VDIAG_DiagnosticIndent aceBlock;
        dumpAce(ace);
    }
}

void VDIAG_FailureDiagnostics::dumpProcessUserIdentityString() { dumpIdentity(false); }

void VDIAG_FailureDiagnostics::dumpThreadUserIdentityString() { dumpIdentity(true); }
