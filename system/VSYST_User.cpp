// VSYST_User: Windows accounts by SID, and the process's current user.
#include "VSYST_User.h"
#include "V_ASArchive.h"
#include "V_CapsulatedPointer.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

const DWORD kUserNameChars = 100;
const DWORD kComputerNameChars = 16;
const DWORD kSidBufferSize = 2048;

// The current user, looked up once (updateCurrent) under s_currentLock and
// never changed afterwards; the strings are deleted at library unload.
V_CapsulatedPointer<V_STRING> s_thisUserName;
V_CapsulatedPointer<V_STRING> s_thisUserFullName;
V_CapsulatedPointer<V_STRING> s_thisSystemName;
V_CapsulatedPointer<V_STRING> s_thisDomainName;
unsigned char s_thisSid[kSidBufferSize];
DWORD s_thisSidSize = 0;
SID_NAME_USE s_thisUserType = SidTypeUnknown;
SRWLOCK s_currentLock = SRWLOCK_INIT;

class CurrentLock {
public:
    CurrentLock() { AcquireSRWLockExclusive(&s_currentLock); }
    ~CurrentLock() { ReleaseSRWLockExclusive(&s_currentLock); }
    CurrentLock(const CurrentLock&) = delete;
    CurrentLock& operator=(const CurrentLock&) = delete;
};

unsigned char* copySid(const unsigned char* sid, unsigned long size)
{
    unsigned char* block = new unsigned char[size + 1];
    if (size) std::memcpy(block, sid, size);
    block[size] = 0;
    return block;
}

void forgetLookup()
{
    *s_thisUserFullName = V_STRING();
    *s_thisSystemName = V_STRING();
    *s_thisDomainName = V_STRING();
    s_thisSidSize = 0;
    s_thisUserType = SidTypeUnknown;
}

}  // namespace

// ---- the current user -------------------------------------------------------

void VSYST_User::updateCurrent()
{
    CurrentLock lock;
    if (s_thisUserName) return;
    s_thisUserFullName.reset(new V_STRING);
    s_thisSystemName.reset(new V_STRING);
    s_thisDomainName.reset(new V_STRING);
    s_thisUserName.reset(new V_STRING);

    char user[kUserNameChars + 1] = "";
    DWORD size = kUserNameChars;
    if (!GetUserNameA(user, &size)) return;
    *s_thisUserName = user;

    char computer[kComputerNameChars + 1] = "";
    size = kComputerNameChars;
    if (!GetComputerNameA(computer, &size)) {
        forgetLookup();
        return;
    }
    *s_thisSystemName = computer;

    DWORD sidSize = 0, domainChars = 0;
    SID_NAME_USE type = SidTypeUnknown;
    SetLastError(0);
    LookupAccountNameA(computer, user, nullptr, &sidSize, nullptr, &domainChars, &type);
    const DWORD error = GetLastError();
    if (error == 0 || error == ERROR_INSUFFICIENT_BUFFER) {
        std::vector<char> domain(domainChars + 2, '\0');
        DWORD domainSize = static_cast<DWORD>(domain.size());
        sidSize = sidSize > kSidBufferSize ? 0 : sidSize;
        if (!sidSize || !LookupAccountNameA(computer, user, s_thisSid, &sidSize, domain.data(), &domainSize, &type)) {
            forgetLookup();
            return;
        }
        s_thisSidSize = sidSize;
        s_thisUserType = type;
        *s_thisDomainName = domain.data();
    }
    *s_thisUserFullName = *s_thisUserName;
}

void VSYST_User::updateWithCurrent()
{
    if (m_sid) return;
    m_kind = 1;
    updateCurrent();
    m_name = *s_thisUserName;
    m_fullName = *s_thisUserFullName;
    m_computerName = *s_thisSystemName;
    m_domainName = *s_thisDomainName;
    m_type = s_thisUserType;
    m_sidSize = s_thisSidSize;
    m_sid = copySid(s_thisSid, s_thisSidSize);
}

// ---- objects ----------------------------------------------------------------

VSYST_User::VSYST_User() : m_type(SidTypeUnknown), m_reserved(0), m_kind(1), m_sidSize(0), m_sid(nullptr) {}

VSYST_User::VSYST_User(const VSYST_User& other)
    : m_type(other.m_type), m_reserved(other.m_reserved), m_kind(other.m_kind),
      m_sidSize(other.m_sid ? other.m_sidSize : 0), m_sid(other.m_sid ? copySid(other.m_sid, other.m_sidSize) : nullptr),
      m_name(other.m_name), m_fullName(other.m_fullName), m_computerName(other.m_computerName),
      m_domainName(other.m_domainName)
{
}

VSYST_User& VSYST_User::operator=(const VSYST_User& other)
{
    if (this == &other) return *this;
    unsigned char* block = other.m_sid ? copySid(other.m_sid, other.m_sidSize) : nullptr;
    try {
        m_name = other.m_name;
        m_fullName = other.m_fullName;
        m_computerName = other.m_computerName;
        m_domainName = other.m_domainName;
    } catch (...) {
        delete[] block;
        throw;
    }
    delete[] m_sid;
    m_sid = block;
    m_sidSize = block ? other.m_sidSize : 0;
    m_type = other.m_type;
    m_reserved = other.m_reserved;
    m_kind = other.m_kind;
    return *this;
}

VSYST_User::~VSYST_User()
{
    delete[] m_sid;
}

V_STRING VSYST_User::getName() const
{
    if (m_sid) return m_name;
    updateCurrent();
    return *s_thisUserName;
}

V_STRING VSYST_User::getFullName() const
{
    V_STRING full;
    if (m_sid) {
        full = m_fullName;
    } else {
        updateCurrent();
        full = *s_thisUserFullName;
    }
    const int lineFeed = full.find("\n");
    return lineFeed >= 0 ? full.left(lineFeed) : full;
}

V_STRING VSYST_User::getComputerName() const
{
    if (m_sid) return m_computerName;
    updateCurrent();
    return *s_thisSystemName;
}

V_STRING VSYST_User::getDomainName() const
{
    if (m_sid) return m_domainName;
    updateCurrent();
    return *s_thisDomainName;
}

int VSYST_User::getType() const
{
    if (m_sid) return m_type;
    updateCurrent();
    return s_thisUserType;
}

const void* VSYST_User::getUserSID(unsigned long* size)
{
    updateWithCurrent();
    if (size) *size = m_sidSize;
    return m_sid;
}

bool VSYST_User::operator==(const VSYST_User& other) const
{
    if (!m_sid && !other.m_sid) return true;
    if (m_kind != other.m_kind) return false;
    updateCurrent();
    PSID mine = m_sid ? static_cast<PSID>(m_sid) : static_cast<PSID>(s_thisSid);
    PSID theirs = other.m_sid ? static_cast<PSID>(other.m_sid) : static_cast<PSID>(s_thisSid);
    // A record's SID is checked against its stated size before the system reads it.
    const unsigned long mineSize = m_sid ? m_sidSize : s_thisSidSize;
    const unsigned long theirSize = other.m_sid ? other.m_sidSize : s_thisSidSize;
    if (mineSize < 8 || theirSize < 8 || !IsValidSid(mine) || !IsValidSid(theirs)) return false;
    if (GetLengthSid(mine) > mineSize || GetLengthSid(theirs) > theirSize) return false;
    return EqualSid(mine, theirs) != FALSE;
}

bool VSYST_User::contains(const VSYST_User& other) const
{
    return getType() == SidTypeUser && operator==(other);
}

// ---- archive ----------------------------------------------------------------

void VSYST_User::serializeAsMember(V_ASArchiveOut& ar)
{
    updateWithCurrent();
    // The record is built aside and written in one piece, so that an archive
    // too small for it receives nothing. A string record takes at most its
    // length + 14 bytes.
    V_STRING* texts[4] = {&m_name, &m_fullName, &m_computerName, &m_domainName};
    unsigned long bound = 17 + m_sidSize;
    for (V_STRING* t : texts) bound += t->length() + 14;
    std::vector<unsigned char> record(bound);
    V_ASArchiveOut out(record.data(), bound);
    out.writeUInt32(static_cast<unsigned long>(m_type));
    out.writeUInt32(m_reserved);
    out.writeUInt32(m_kind);
    out.writeUInt32(m_sidSize);
    out.write(m_sid, m_sidSize + 1);
    for (V_STRING* t : texts) t->serializeAsMember(out);
    ar.write(record.data(), out.position());
}

void VSYST_User::deserializeAsMember(V_ASArchiveIn& ar)
{
    // Read on a copy of the archive so that a short record changes nothing.
    V_ASArchiveIn in = ar;
    const unsigned long type = in.readUInt32();
    const unsigned long reserved = in.readUInt32();
    const unsigned long kind = in.readUInt32();
    const unsigned long sidSize = in.readUInt32();
    const unsigned char* sid = in.take(sidSize);
    in.skip(1);
    V_STRING texts[4];
    for (V_STRING& t : texts) t.deserializeAsMember(in);

    unsigned char* block = copySid(sid, sidSize);
    delete[] m_sid;
    m_sid = block;
    m_sidSize = sidSize;
    m_type = static_cast<int>(type);
    m_reserved = reserved;
    m_kind = kind;
    m_name = texts[0];
    m_fullName = texts[1];
    m_computerName = texts[2];
    m_domainName = texts[3];
    ar = in;
}
