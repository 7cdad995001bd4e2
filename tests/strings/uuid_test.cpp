// V_UUID (text, order, records, the fallback generator) and V_BitSet.
#include "V_ASArchive.h"
#include "V_BitSet.h"
#include "V_UUID.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

HRESULT WINAPI failGuid(GUID*) { return E_FAIL; }
void WINAPI fixedTime(SYSTEMTIME* t) { *t = SYSTEMTIME{2024, 2, 4, 29, 13, 45, 59, 321}; }
const char* s_computerName = nullptr;
BOOL WINAPI fixedName(char* buffer, DWORD* size)
{
    if (!s_computerName) return FALSE;
    std::strcpy(buffer, s_computerName);
    *size = static_cast<DWORD>(std::strlen(s_computerName));
    return TRUE;
}

}  // namespace

TEST(VUuid, TextOrderRecordsAndTheFallbackGenerator)
{
    const V_UUID fields(0x12345678, 0x1A2B, static_cast<short>(0xC3D4), 1, 2, 3, 4, 5, 6, 7, static_cast<char>(0xF8));
    EXPECT_EQ("12345678-1a2b-c3d4-0102-0304050607f8", std::string(fields.asString().data()));
    const V_UUID fresh = V_UUID().generate();
    EXPECT_TRUE(fresh.isValid() && V_UUID(fresh.asString()) == fresh && V_UUID(fresh.asString().data()) == fresh);
    EXPECT_FALSE(V_UUID("not-a-uuid").isValid() || V_UUID(static_cast<const char*>(nullptr)).isValid());
    EXPECT_FALSE(V_UUID(0xDEADul).isValid() || V_UUID::null().isValid());

    // Memory order: Data1 0x100 is 00 01 00 00, 0xFF is FF 00 00 00.
    const V_UUID low(0x100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), high(0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(low < high && !(high < low) && low != high);
    V_UUID assigned;
    EXPECT_TRUE((assigned = fields.asUUID()) == fields && !(assigned < fields));

    const std::vector<unsigned char> record = {0x78, 0x56, 0x34, 0x12, 0x2B, 0x1A, 0xD4, 0xC3,
                                               1,    2,    3,    4,    5,    6,    7,    0xF8};
    // Exactly 16 bytes hold a record; 15 take none.
    std::vector<unsigned char> buf(16, 0xEE);
    V_ASArchiveOut out(buf.data(), 16), shortOut(buf.data(), 15);
    fields.serializeAsMember(out);
    EXPECT_THROW(fields.serializeAsMember(out), VSYST_XRange);
    EXPECT_THROW(low.serializeAsMember(shortOut), VSYST_XRange);
    EXPECT_EQ(record, buf);
    V_ASArchiveIn in(record.data(), 16), shortIn(record.data(), 15);
    V_UUID read;
    read.deserializeAsMember(in);
    EXPECT_TRUE(read == fields);
    EXPECT_THROW(read.deserializeAsMember(shortIn), VSYST_XRange);
    EXPECT_EQ("16 0", std::to_string(in.position()) + " " + std::to_string(shortIn.position()));

    // Without a system UUID: clock, counter and computer name.
    orvtest::IatHook guid("OrvCore_Rudaru20.dll", "ole32.dll", "CoCreateGuid", reinterpret_cast<void*>(&failGuid));
    orvtest::IatHook time("OrvCore_Rudaru20.dll", "kernel32.dll", "GetLocalTime", reinterpret_cast<void*>(&fixedTime));
    orvtest::IatHook name("OrvCore_Rudaru20.dll", "kernel32.dll", "GetComputerNameA",
                          reinterpret_cast<void*>(&fixedName));
    // 2024-02-29 13:45:59: (2013 & 63) = 29, so 29:2:29:13:45:59 in 6:4:5:5:6:6 bits.
    const struct { const char* computer; const char* data4; } cases[] = {
        {"WORKSTATION9", "WORKSTAT"}, {"PC", "PC\0\0\0\0\0\0"}, {nullptr, "\0\0\0\0\0\0\0\0"}};
    unsigned short previous = 0;
    for (const auto& c : cases) {
        s_computerName = c.computer;
        V_UUID u;
        const GUID& g = u.generate().asUUID();
        EXPECT_EQ(0x74BADB7Bul, g.Data1);
        EXPECT_EQ(321u, g.Data2);
        EXPECT_EQ(previous ? previous + 1 : g.Data3, g.Data3);
        previous = g.Data3;
        EXPECT_EQ(0, std::memcmp(g.Data4, c.data4, 8)) << (c.computer ? c.computer : "no name");
    }
}

TEST(VBitSet, WholeSetAndSingleBitOperations)
{
    V_BitSet b(33);
    EXPECT_TRUE(b.size() == 33 && b.none() && !b.any() && !b.all());
    b.set();
    EXPECT_TRUE(b.count() == 33 && b.all() && b.test(40));   // bit 40: second word, outside the set, set by set()
    b.reset(40).reset(0).toggle(1).set(2, false).set(3, true).set(64).toggle(100).reset(1000);   // 64 and up: ignored
    EXPECT_TRUE(b.count() == 30 && !b.all() && !b.test(64));
    b.reset().set(32);
    EXPECT_TRUE(b.any() && b.count() == 1);

    V_BitSet five(5);
    five.toggle().reset(1).toggle(3);
    std::ostringstream os;
    os << five;
    EXPECT_EQ("10101", os.str());
    V_BitSet copy(five), assigned(64);
    assigned.set();
    assigned = copy;
    five.set(1);
    EXPECT_TRUE(assigned.size() == 5 && assigned.test(0) && !assigned.test(1) && !copy.test(1));

    // Bits beyond the size never count; an empty set has no words at all.
    for (unsigned size : {0u, 1u, 31u, 32u, 64u, 65u}) {
        V_BitSet e(size);
        e.set().set(size).toggle(size + 31);
        EXPECT_TRUE(e.count() == size && e.all() && e.any() == (size > 0) && e.test(0) == (size > 0)) << size;
    }
}
