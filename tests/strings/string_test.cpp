// V_STRING: buffer rule, comparisons, substrings, formatting, archive records, hashing.
#include "V_String.h"
#include "V_ASArchive.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

std::string bytes(const V_STRING& s) { return std::string(s.data(), s.length()); }

// The text and the buffer size: "text/size".
std::string state(const V_STRING& s) { return bytes(s) + "/" + std::to_string(s.size()); }

Bytes serialize(V_STRING s)
{
    Bytes buf(64 + s.length(), 0xCC);
    V_ASArchiveOut ar(buf.data(), static_cast<unsigned long>(buf.size()));
    s.serializeAsMember(ar);
    buf.resize(ar.position());
    return buf;
}

}  // namespace

TEST(VString, ConstructorsAndCapacities)
{
    V_STRING empty;
    EXPECT_EQ(V_STRING::s_null, empty.data());
    EXPECT_STREQ("", empty.data());
    EXPECT_EQ("/0", state(empty));
    EXPECT_EQ("", bytes(V_STRING(empty)));

    // A new string's buffer is its length plus the NUL; numbers get fixed buffers.
    const V_STRING src("hello world");
    const struct {
        V_STRING s;   // built in place: a copy would have a buffer of its own size
        std::string expected;
    } cases[] = {
        {V_STRING('x', 3), "xxx/4"},
        {V_STRING('\0', 5), "/6"},
        {V_STRING("abcdef", 2), "ab/3"},
        {V_STRING("abc", 100), "abc/4"},
        {V_STRING(static_cast<const char*>(nullptr)), "/1"},
        {V_STRING(src, 6), "world/6"},
        {V_STRING(src, 3, 2), "lo/3"},
        {V_STRING(src, 11), "/1"},
        {V_STRING(-5L), "-5/17"},
        {V_STRING(static_cast<long>(0x80000000u)), "-2147483648/17"},
        {V_STRING(0xFFFFFFFFul), "4294967295/17"},
        {V_STRING(1.5), "+1.500000e+000/21"},
        {V_STRING(-2.5e-10), "-2.500000e-010/21"},
        {V_STRING(1e100), "+1.000000e+100/21"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, state(c.s));
    EXPECT_THROW(V_STRING('a', 0xFFFFFFFFu), VSYST_XLength);
    EXPECT_THROW(V_STRING(src, 12), VSYST_XRange);
}

static void* refuseMemory(size_t, const std::nothrow_t&) noexcept { return nullptr; }

TEST(VString, RefusedMemoryThrowsAndKeepsTheText)
{
    V_STRING s("kept");
    orvtest::IatHook hook{"OrvCore_Rudaru20.dll", "libstdc++-6.dll",
                          sizeof(void*) == 8 ? "_ZnayRKSt9nothrow_t" : "_ZnajRKSt9nothrow_t",
                          reinterpret_cast<void*>(&refuseMemory)};
    EXPECT_THROW(s.append('x', 100), VSYST_XMemory);
    EXPECT_THROW(V_STRING("new text"), VSYST_XMemory);
    EXPECT_EQ("kept", bytes(s));
}

TEST(VString, BufferRuleGrowsByDoublingAndShrinksOnAssign)
{
    V_STRING s('a', 9);
    EXPECT_EQ("aaaaaaaaabb/20", state(s.append('b', 2)));   // needs 12: doubled
    V_STRING t('a', 9);
    EXPECT_EQ(25u, t.append('b', 15).size());   // needs 25, beyond the double: exactly that

    V_STRING big('z', 99);
    EXPECT_EQ("ab/3", state(big = "ab"));
    EXPECT_EQ("q/2", state(big = 'q'));
    EXPECT_EQ("/2", state(big = '\0'));

    V_STRING r("abcdefgh");
    EXPECT_EQ("abfgh/9", state(r.remove(2, 3)));   // removing never shrinks
    EXPECT_EQ("abf/9", state(r.remove(3)));
    EXPECT_THROW(r.remove(4), VSYST_XRange);
    EXPECT_EQ("abf", bytes(r));
}

TEST(VString, AppendAndConcatenation)
{
    V_STRING s("ab");
    s += 'c';
    s += '\0';
    s += "de";
    s += static_cast<const char*>(nullptr);
    s += V_STRING("f");
    EXPECT_EQ("abcdef", bytes(s));
    s.append("xyz", 2).append('!', 2).append(V_STRING("12345"), 1, 2);
    EXPECT_EQ("abcdefxy!!23", bytes(s));
    EXPECT_THROW(s.append(V_STRING("ab"), 3), VSYST_XRange);

    EXPECT_EQ("ab12", bytes(V_STRING("ab") + V_STRING("12")));
    EXPECT_EQ("abcd", bytes(V_STRING("ab") + "cd"));
    EXPECT_EQ("abz", bytes(V_STRING("ab") + 'z'));
    EXPECT_EQ("ab", bytes(V_STRING("ab") + '\0'));
}

TEST(VString, TextFromItsOwnBufferIsCopiedSafely)
{
    V_STRING s("0123456789");
    s.append(s);
    EXPECT_EQ("01234567890123456789", bytes(s));
    V_STRING t('a', 3);
    t.append(t.data(), 3);   // the full buffer must grow under its source
    EXPECT_EQ("aaaaaa", bytes(t));
    V_STRING u("hello world");
    u.assign(u.data() + 6);   // a shrinking assign may release its source
    EXPECT_EQ("world", bytes(u));
    V_STRING v("abcdef");
    v.assign(v, 2, 3);
    EXPECT_EQ("cde", bytes(v));
    v.assign(v, 0, V_STRING::all);
    EXPECT_EQ("cde", bytes(v));
}

TEST(VString, IndexingChecksTheLength)
{
    V_STRING s("abc");
    EXPECT_EQ('b', s[1]);
    s[1] = '\0';
    EXPECT_THROW(s[3], VSYST_XRange);
    const V_STRING& c = s;
    EXPECT_THROW(c[3], VSYST_XRange);
    EXPECT_EQ(std::string("a\0c", 3), bytes(V_STRING(s)));   // an embedded NUL is text
    EXPECT_EQ('\0', V_STRING(s).data()[3]);
}

TEST(VString, ComparisonsUseSignedBytes)
{
    EXPECT_EQ(0, V_STRING("abd").compare("abc", 0, 2));
    EXPECT_EQ(-1, V_STRING("ab").compare("abc"));
    EXPECT_EQ(1, V_STRING("abc").compare("ab"));
    EXPECT_EQ(1, V_STRING("b").compare("abc"));
    EXPECT_EQ(0, V_STRING("xabc").compare("abc", 1));
    EXPECT_EQ(1, V_STRING("x").compare(static_cast<const char*>(nullptr)));
    EXPECT_THROW(V_STRING("ab").compare("a", 3), VSYST_XRange);

    V_STRING aaa("aaa");
    EXPECT_EQ(1, aaa.compare('a', 0, 2));
    EXPECT_EQ(0, aaa.compare('a', 0, 3));
    EXPECT_EQ(-1, aaa.compare('a', 0, 4));
    EXPECT_EQ(-1, aaa.compare('b', 0, 1));
    EXPECT_EQ(1, aaa.compare('A', 1, 1));

    EXPECT_EQ(-1, V_STRING("\xE9").compare("A"));   // 0xE9 is negative as a signed byte
    EXPECT_TRUE(V_STRING("\xE9") < V_STRING("A"));
    EXPECT_TRUE(V_STRING("abc") == V_STRING("abc"));
    EXPECT_FALSE(V_STRING("abc") == V_STRING("abcd"));
    EXPECT_EQ(-1, V_STRING("abc").compare(V_STRING("abd")));
    EXPECT_EQ(0, V_STRING("abcX").compare(V_STRING("abcY"), 0, 3));

    EXPECT_EQ(0, V_STRING("Hello").compareNoCase("hELLO"));
    EXPECT_LT(V_STRING("apple").compareNoCase(V_STRING("BANANA")), 0);
    EXPECT_EQ(6, V_STRING("hello world").find("world"));
    EXPECT_EQ(-1, V_STRING("hello").find("xyz"));
    EXPECT_EQ(0, V_STRING("hello").find(""));
    EXPECT_EQ(2, V_STRING("hello").find(V_STRING("ll")));
}

TEST(VString, MidLeftRightAndConvert)
{
    const V_STRING s("abcdef"), abc("abc");
    EXPECT_EQ("abc", bytes(s.mid(-2, 5)));
    EXPECT_EQ("", bytes(s.mid(6, 1)));
    EXPECT_THROW(s.mid(7, 1), VSYST_XRange);
    EXPECT_EQ("", bytes(s.mid(7, 0)));
    EXPECT_EQ("cd", bytes(s.mid(2, 2)));
    EXPECT_EQ("ef", bytes(s.mid(4, 100)));
    EXPECT_EQ("abc", bytes(abc.left(10)));
    EXPECT_EQ("abc", bytes(abc.right(10)));
    EXPECT_EQ("", bytes(abc.right(0)));
    EXPECT_EQ("bc", bytes(abc.right(2)));
    EXPECT_EQ("", bytes(abc.left(-1)));
    EXPECT_EQ("bcd", bytes(s.substr(1, 3)));

    // A failed conversion sets the target to 0 and never throws.
    long l = 99;
    EXPECT_TRUE(V_STRING("12abc").convert(l));
    EXPECT_EQ(12, l);
    EXPECT_FALSE(V_STRING("abc").convert(l));
    EXPECT_EQ(0, l);
    unsigned long u = 5;
    EXPECT_TRUE(V_STRING("  4000000000").convert(u));
    EXPECT_EQ(4000000000ul, u);
    EXPECT_FALSE(V_STRING("").convert(u));
    EXPECT_EQ(0ul, u);
    double d = 1;
    EXPECT_TRUE(V_STRING("2.5e3").convert(d));
    EXPECT_DOUBLE_EQ(2500.0, d);
    EXPECT_FALSE(V_STRING("x").convert(d));
    EXPECT_EQ(0.0, d);
}

TEST(VString, FormatAndCompose)
{
    EXPECT_EQ("7-x-+1.500000e+000", bytes(V_STRING::formatted("%d-%s-%+e", 7, "x", 1.5)));
    EXPECT_EQ("-9000000000", bytes(V_STRING::formatted("%I64d", -9000000000LL)));
    V_STRING s("old");
    s.format("%05lu", 42ul);
    EXPECT_EQ("00042", bytes(s));
    // Longer output is cut at the working buffer, never overflows it.
    EXPECT_EQ(std::string(4095, 'q'), bytes(V_STRING::formatted("%s", std::string(5000, 'q').c_str())));

    EXPECT_EQ("a- % x 100%", bytes(V_STRING("%1-%2 %% %x 100%").compose("a", nullptr)));
    EXPECT_EQ("0 nine:nine", bytes(V_STRING("%0 %9:%9").compose(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                                 nullptr, nullptr, "nine")));
    EXPECT_EQ("", bytes(V_STRING().compose("a")));
    EXPECT_EQ("ba", bytes(V_STRING("%2%1").compose("a", "b")));
    const std::string huge(3000, 'h');
    EXPECT_EQ((huge + huge).substr(0, 4099), bytes(V_STRING("%1%1").compose(huge.c_str())));
}

TEST(VString, ArchiveRecordsBothWays)
{
    EXPECT_EQ((Bytes{3, 0, 0, 0x80, 'a', 'b', 'c', 0, 7, 0, 0, 0, 0, 0, 0, 0}), serialize(V_STRING("abc")));
    EXPECT_EQ((Bytes{0, 0, 0, 0x80, 0, 2, 0, 0}), serialize(V_STRING()));
    // Length word, text, NUL, count byte p (1..8), p zeros: always a multiple of 8.
    for (unsigned len = 0; len < 40; ++len) {
        const unsigned p = 8 - (len + 6) % 8;
        Bytes expected{static_cast<unsigned char>(len), 0, 0, 0x80};
        expected.insert(expected.end(), len, 'k');
        expected.push_back(0);
        expected.push_back(static_cast<unsigned char>(p));
        expected.insert(expected.end(), p, 0);
        EXPECT_EQ(expected, serialize(V_STRING('k', len))) << len;
    }

    unsigned char buf[256];
    V_ASArchiveOut out(buf, sizeof buf);
    V_STRING a("first"), b, c("withXnul");
    c[4] = '\0';
    a.serializeAsMember(out);
    b.serializeAsMember(out);
    c.serializeAsMember(out);
    V_ASArchiveIn in(buf, out.position());
    V_STRING ra("junk"), rb("junk"), rc;
    ra.deserializeAsMember(in);
    rb.deserializeAsMember(in);
    rc.deserializeAsMember(in);
    EXPECT_EQ(out.position(), in.position());
    EXPECT_EQ("first", bytes(ra));
    EXPECT_EQ("", bytes(rb));
    EXPECT_EQ(std::string("with\0nul", 8), bytes(rc));

    // The old wide form: unit count, units 0x41 0x263A and NUL, count byte, padding.
    const unsigned char wide[] = {2, 0, 0, 0, 0x41, 0, 0x3A, 0x26, 0, 0, 3, 0, 0, 0, 0xEE};
    V_ASArchiveIn win(wide, sizeof wide);
    V_STRING w;
    w.deserializeAsMember(win);
    EXPECT_EQ("A@", bytes(w));
    EXPECT_EQ(14u, win.position());
}

TEST(VString, ShortOrHostileRecordsReadNothingOutside)
{
    const Bytes records[] = {
        {0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'},   // claims far more text than there is
        {0xFF, 0xFF, 0xFF, 0x7F, 0x41, 0},    // the same in the wide form
        {1, 0, 0, 0x80, 'x', 0, 5, 0},        // padding cut short
    };
    for (const Bytes& record : records) {
        V_ASArchiveIn in(record.data(), static_cast<unsigned long>(record.size()));
        V_STRING s("keep");
        EXPECT_THROW(s.deserializeAsMember(in), VSYST_XRange);
        EXPECT_EQ("keep", bytes(s));
        EXPECT_EQ(0u, in.position());
    }
    unsigned char small[10];
    V_ASArchiveOut out(small, sizeof small);
    V_STRING longer("abcdef");
    EXPECT_THROW(longer.serializeAsMember(out), VSYST_XRange);
    EXPECT_EQ(0u, out.position());
}

TEST(VString, Hashing)
{
    EXPECT_EQ(97ul, VSYST_StringHashValue("a"));
    EXPECT_EQ(6363201ul, VSYST_StringHashValue("ab"));
    EXPECT_EQ(807794786ul, VSYST_StringHashValue("abc"));
    EXPECT_EQ(0ul, VSYST_StringHashValue(static_cast<const char*>(nullptr)));
    EXPECT_EQ(0ul, VSYST_StringHashValue(""));
    EXPECT_EQ(0ul, VSYST_StringHashValueMax("abc", 0));
    EXPECT_EQ(97ul, VSYST_StringHashValueMax("abc", 1));
    EXPECT_EQ(807794786ul, VSYST_StringHashValue(L"abc"));
    EXPECT_EQ(0ul, VSYST_StringHashValue(static_cast<const wchar_t*>(nullptr)));
    // Bytes are sign-extended, wide units are not.
    EXPECT_EQ(0xFFFFFFE4ul, VSYST_StringHashValue("\xE4"));
    EXPECT_EQ(0xE4ul, VSYST_StringHashValue(L"\x00E4"));
    // Only the first 32 characters count.
    const std::string p(32, 'p');
    EXPECT_EQ(VSYST_StringHashValue((p + "one").c_str()), VSYST_StringHashValue((p + "two").c_str()));
    EXPECT_NE(VSYST_StringHashValue((p.substr(1) + "1").c_str()), VSYST_StringHashValue((p.substr(1) + "2").c_str()));

    EXPECT_EQ(807794786ul, static_cast<V_HashValue>(V_STRING("abc")).value());
    V_STRING withNul("abXcd");
    withNul[2] = '\0';
    EXPECT_EQ(VSYST_StringHashValue("ab"), static_cast<V_HashValue>(withNul).value());
}

TEST(VString, BstrAndStreamsKeepEveryByte)
{
    V_STRING s("a\xE4z");
    s += 'x';
    BSTR b = s.AllocSysString();
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(4u, SysStringLen(b));
    EXPECT_EQ(L'a', b[0]);
    EXPECT_EQ(L'x', b[3]);
    SysFreeString(b);
    V_STRING nul("x-y");
    nul[1] = '\0';
    b = nul.AllocSysString();
    EXPECT_EQ(std::wstring(L"x\0y", 3), std::wstring(b, SysStringLen(b)));
    SysFreeString(b);
    b = V_STRING().AllocSysString();
    EXPECT_EQ(0u, SysStringLen(b));
    SysFreeString(b);

    std::ostringstream os;
    os << "[" << nul << "]";
    EXPECT_EQ(std::string("[x\0y]", 5), os.str());
}
