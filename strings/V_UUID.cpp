// V_UUID: GUID value with generation, text form and archive record.
#include "V_UUID.h"
#include "V_ASArchive.h"

#include <windows.h>
#include <objbase.h>
#include <rpc.h>

#include <atomic>
#include <cstring>

namespace {

// Data3 of the clock-and-computer UUIDs made when CoCreateGuid fails.
std::atomic<unsigned short> s_fallbackCounter(0);

GUID parse(const char* text)
{
    GUID g = {};
    if (!text || UuidFromStringA(reinterpret_cast<RPC_CSTR>(const_cast<char*>(text)), &g) != RPC_S_OK)
        g = GUID{};
    return g;
}

}  // namespace

V_UUID::V_UUID() { std::memset(&m_guid, 0, sizeof m_guid); }

V_UUID::V_UUID(unsigned long) { std::memset(&m_guid, 0, sizeof m_guid); }

V_UUID::V_UUID(long d1, short d2, short d3, char b0, char b1, char b2, char b3, char b4, char b5, char b6, char b7)
{
    m_guid.Data1 = static_cast<unsigned long>(d1);
    m_guid.Data2 = static_cast<unsigned short>(d2);
    m_guid.Data3 = static_cast<unsigned short>(d3);
    const char b[8] = {b0, b1, b2, b3, b4, b5, b6, b7};
    std::memcpy(m_guid.Data4, b, 8);
}

V_UUID::V_UUID(const GUID& g) : m_guid(g) {}

V_UUID::V_UUID(const V_UUID& u) : m_guid(u.m_guid) {}

V_UUID::V_UUID(const char* text) : m_guid(parse(text)) {}

V_UUID::V_UUID(const V_STRING& text) : m_guid(parse(text.data())) {}

V_UUID& V_UUID::operator=(const V_UUID& u) { return *this = u.m_guid; }

V_UUID& V_UUID::operator=(const GUID& g)
{
    if (std::memcmp(&m_guid, &g, sizeof m_guid) != 0) std::memcpy(&m_guid, &g, sizeof m_guid);
    return *this;
}

bool V_UUID::operator==(const V_UUID& u) const { return std::memcmp(&m_guid, &u.m_guid, sizeof m_guid) == 0; }

bool V_UUID::operator<(const V_UUID& u) const { return std::memcmp(&m_guid, &u.m_guid, sizeof m_guid) < 0; }

V_UUID& V_UUID::generate()
{
    if (SUCCEEDED(CoCreateGuid(&m_guid))) return *this;

    SYSTEMTIME t;
    GetLocalTime(&t);
    unsigned long d1 = static_cast<unsigned long>(t.wYear - 11);
    d1 = (d1 << 4) | t.wMonth;
    d1 = (d1 << 5) | t.wDay;
    d1 = (d1 << 5) | t.wHour;
    d1 = (d1 << 6) | t.wMinute;
    d1 = (d1 << 6) | t.wSecond;
    m_guid.Data1 = d1 & 0xFFFFFFFFul;
    m_guid.Data2 = t.wMilliseconds;
    m_guid.Data3 = static_cast<unsigned short>(s_fallbackCounter.fetch_add(1) + 1);

    char name[16] = {0};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) std::memset(name, 0, sizeof name);
    std::memcpy(m_guid.Data4, name, 8);
    return *this;
}

V_STRING V_UUID::asString() const
{
    RPC_CSTR text = nullptr;
    GUID g = m_guid;
    if (UuidToStringA(&g, &text) != RPC_S_OK || !text) return V_STRING();
    V_STRING r(reinterpret_cast<const char*>(text));
    RpcStringFreeA(&text);
    return r;
}

bool V_UUID::isValid() const { return !(*this == s_null); }

const V_UUID& V_UUID::null() { return s_null; }

void V_UUID::serializeAsMember(V_ASArchiveOut& ar) const
{
    if (ar.remaining() < 16) throw VSYST_XRange();
    ar.writeUInt32(m_guid.Data1);
    ar.writeUInt16(m_guid.Data2);
    ar.writeUInt16(m_guid.Data3);
    ar.write(m_guid.Data4, 8);
}

void V_UUID::deserializeAsMember(V_ASArchiveIn& ar)
{
    if (ar.remaining() < 16) throw VSYST_XRange();
    m_guid.Data1 = ar.readUInt32();
    m_guid.Data2 = ar.readUInt16();
    m_guid.Data3 = ar.readUInt16();
    ar.read(m_guid.Data4, 8);
}
