// V_STRING8, V_STRING16 and V_BSTR: conversions, order, dump text, stream and archive records.
#include "V_ASArchive.h"
#include "V_BSTR.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <vector>

#undef V_BSTR   // the class, not <oleauto.h>'s variant accessor

namespace {

typedef std::vector<unsigned char> Bytes;

V_BSTR units(std::initializer_list<wchar_t> u) { return V_BSTR(static_cast<int>(u.size()), u.begin()); }

std::wstring text(const V_BSTR& b) { return std::wstring(static_cast<wchar_t*>(b), b.length()); }

IStream* streamOf(const Bytes& b)
{
    IStream* s = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &s);
    s->Write(b.data(), static_cast<ULONG>(b.size()), nullptr);
    s->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    return s;
}

BSTR WINAPI refuseBstr(const OLECHAR*, UINT) { return nullptr; }

}  // namespace

TEST(VBstr, DumpTextAndOrderFollowTheMemoryBytesConversionsTheThreadCodePageUpToTheFirstNul)
{
    const struct { V_BSTR b; const char* dump; } dumps[] = {
        {V_BSTR(), "BSTR(NULL)"},
        {V_BSTR(L""), "BSTR(\"\")"},
        {V_BSTR("AB"), "BSTR(\"AB\")"},
        {units({0x41, 0}), "BSTR(0041.0000)"},
        {units({0xFF, 0x100}), "BSTR(00ff.0100)"},
        {units({0x41, 0xFF}), "BSTR(\"A\xFF\")"},
    };
    for (const auto& d : dumps) EXPECT_STREQ(d.dump, d.b.asDumpString().data());
    const struct { V_BSTR a, b; int result; } order[] = {
        {V_BSTR(L""), V_BSTR(), 0},   {V_BSTR(), V_BSTR(L"A"), -1}, {V_BSTR(L"A"), V_BSTR(), 1},
        {V_BSTR(L"AB"), V_BSTR(L"A"), 1}, {V_BSTR(L"A"), V_BSTR(L"AB"), -1}, {V_BSTR(L"AB"), V_BSTR(L"AB"), 0},
        {units({0x100}), units({0xFF}), -1},   // low byte first: 00 01 before FF 00
        {units({0x1FF}), units({0x2FE}), 1},
    };
    for (const auto& o : order)
        EXPECT_EQ(o.result, o.a.compare(o.b)) << o.a.asDumpString().data() << " " << o.b.asDumpString().data();

    V_STRING withNul("abcdefghij");
    withNul[5] = '\0';   // inside the first eight: the word-wise scan must stop there
    const V_STRING16 wide(withNul);
    EXPECT_EQ(std::wstring(L"abcde|abcde"), text(V_BSTR(withNul)) + L"|" + std::wstring(wide, wide.length()));
    const V_STRING8 whole(withNul.asCharPtr());
    EXPECT_EQ(std::string("abcde\0ghij", 11), std::string(whole, whole.length() + 1));
    // Null becomes empty text, or the null BSTR; a BSTR's text also ends at its first NUL.
    const V_STRING narrowed(units({L'a', L'b', L'c', L'd', L'e', 0, L'x', L'y', L'z'}));
    EXPECT_EQ("||abcde", std::string(V_STRING8(static_cast<const char*>(nullptr))) + "|" +
                             V_STRING(V_BSTR()).data() + "|" + std::string(narrowed.data(), narrowed.length()));
    EXPECT_STREQ(L"", V_STRING16(static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ(nullptr, static_cast<wchar_t*>(V_BSTR(static_cast<const char*>(nullptr))));

    // Byte C0 is a letter A with grave in code page 1252 and a Cyrillic A in 1251.
    const LCID before = GetThreadLocale();
    const struct { LCID locale; wchar_t unit; } pages[] = {{0x0409, 0x00C0}, {0x0419, 0x0410}};
    for (const auto& p : pages) {
        SetThreadLocale(p.locale);
        const V_BSTR b("x\xC0");
        EXPECT_EQ(std::wstring(L"x") + p.unit, text(b)) << p.locale;
        EXPECT_STREQ("x\xC0", V_STRING(b).data()) << p.locale;
    }
    SetThreadLocale(before);
}

TEST(VBstr, EditsCopiesAndOwnership)
{
    V_BSTR b(L"ab");
    b += V_BSTR(L"c");
    b += L"d";
    b += "e";
    b += V_STRING("f");
    b.appendBSTR(nullptr).append(L"gh", 1).append(b);
    b[0] = L'A';
    EXPECT_EQ(std::wstring(L"Abcdefgabcdefg"), text(b));
    const V_BSTR null, copyOfNull(null);
    EXPECT_TRUE(!!copyOfNull && copyOfNull.length() == 0);
    EXPECT_FALSE(!V_BSTR().append(L"", 0));   // an append always leaves a BSTR
    V_BSTR owner(L"xy");
    BSTR copy = owner.Copy();
    EXPECT_NE(static_cast<wchar_t*>(owner), copy);
    SysFreeString(owner.Detach());
    EXPECT_TRUE(!owner);
    owner = "narrow";
    EXPECT_EQ(std::wstring(L"narrow|xy"), text(owner) + L"|" + copy);
    SysFreeString(copy);
    owner.Empty();
    EXPECT_TRUE(!owner);
    EXPECT_EQ(std::wstring(L"7-wide-narrow"), text(V_BSTR().format(L"%d-%s-%hs", 7, L"wide", "narrow")));
    const std::wstring big(5000, L'z');
    EXPECT_EQ(4095u, V_BSTR().format(L"%s", big.c_str()).length());
    // Memory refused: the object keeps its text.
    orvtest::IatHook hook("OrvCore_Rudaru20.dll", "oleaut32.dll", "SysAllocStringLen",
                          reinterpret_cast<void*>(&refuseBstr));
    EXPECT_THROW(b.append(L"more"), VSYST_OutOfMemory);
    EXPECT_THROW(V_BSTR{b}, VSYST_OutOfMemory);
    EXPECT_EQ(std::wstring(L"Abcdefgabcdefg"), text(b));
}

TEST(VBstr, StreamAndArchiveRecords)
{
    // Stream record: byte count with terminator, text, terminator.
    const Bytes abStream = {6, 0, 0, 0, 'A', 0, 'B', 0, 0, 0};
    IStream* out = streamOf({});
    EXPECT_EQ(S_OK, V_BSTR().WriteToStream(out));
    EXPECT_EQ(S_OK, V_BSTR(L"AB").WriteToStream(out));
    unsigned char written[64];
    ULONG got = 0;
    out->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    out->Read(written, sizeof written, &got);
    EXPECT_EQ(Bytes({0, 0, 0, 0, 6, 0, 0, 0, 'A', 0, 'B', 0, 0, 0}), Bytes(written, written + got));
    out->Release();

    const HRESULT kShort = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), kBad = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    const struct { Bytes bytes; HRESULT result; const wchar_t* expect; bool refuseMemory; } reads[] = {
        {abStream, S_OK, L"AB", false},
        {{2, 0, 0, 0, 0, 0}, S_OK, L"", false},
        {{0, 0, 0, 0}, S_OK, L"old", false},
        {{6, 0, 0, 0, 'A', 0, 'B', 0}, kShort, L"old", false},
        {{6, 0}, kShort, L"old", false},
        {{5, 0, 0, 0, 'A', 0, 'B', 0, 0}, S_OK, L"A", false},   // 3 bytes of text: an odd-length BSTR
        {{1, 0, 0, 0, 0}, kBad, L"old", false},
        {abStream, E_OUTOFMEMORY, L"old", true},
    };
    for (const auto& r : reads) {
        IStream* in = streamOf(r.bytes);
        V_BSTR b(L"old");
        std::unique_ptr<orvtest::IatHook> refuse(r.refuseMemory ? new orvtest::IatHook("OrvCore_Rudaru20.dll",
            "oleaut32.dll", "SysAllocStringByteLen", reinterpret_cast<void*>(&refuseBstr)) : nullptr);
        EXPECT_EQ(r.result, b.ReadFromStream(in)) << r.bytes.size();
        EXPECT_EQ(std::wstring(r.expect), text(b));
        in->Release();
    }

    // Archive record: length in characters, then the units, no terminator.
    Bytes buf(8, 0xEE);
    V_ASArchiveOut ar(buf.data(), 8);
    V_BSTR(L"AB").serializeAsMember(ar);   // exactly full
    EXPECT_EQ(Bytes({2, 0, 0, 0, 'A', 0, 'B', 0}), buf);
    EXPECT_THROW(V_BSTR().serializeAsMember(ar), VSYST_XRange);
    V_ASArchiveOut full(buf.data(), 4);
    _serialize(full, nullptr);
    EXPECT_EQ(Bytes({0, 0, 0, 0}), Bytes(buf.begin(), buf.begin() + 4));
    EXPECT_THROW(V_BSTR(L"A").serializeAsMember(full), VSYST_XRange);
    EXPECT_EQ("8 4", std::to_string(ar.position()) + " " + std::to_string(full.position()));

    const Bytes twoRecords = {1, 0, 0, 0, 0x3A, 0x26, 0, 0, 0, 0, 3, 0, 0, 0, 'x', 0};
    V_ASArchiveIn in(twoRecords.data(), static_cast<unsigned long>(twoRecords.size()));
    V_BSTR first, second;
    first.deserializeAsMember(in);
    BSTR raw = SysAllocString(L"old");
    _deserialize(in, raw);
    EXPECT_EQ(std::wstring(L"\x263A"), text(first));
    EXPECT_TRUE(raw && !*raw);   // an empty BSTR, not a null one
    EXPECT_EQ(10ul, in.position());
    EXPECT_THROW(second.deserializeAsMember(in), VSYST_XRange);   // 3 characters promised, 1 there
    EXPECT_TRUE(in.position() == 10 && !second);
    SysFreeString(raw);
}
