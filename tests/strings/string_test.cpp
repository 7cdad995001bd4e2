// V_STRING: buffer rule, comparisons, substrings, formatting, archive records, hashing.
#include "V_String.h"
#include "V_ASArchive.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string bytes(const V_STRING& s) { return std::string(s.data(), s.length()); }

std::vector<unsigned char> serialize(V_STRING s)
{
    std::vector<unsigned char> buf(64 + s.length(), 0xCC);
    V_ASArchiveOut ar(buf.data(), static_cast<unsigned long>(buf.size()));
    s.serializeAsMember(ar);
    buf.resize(ar.position());
    return buf;
}

}  // namespace

TEST(VString, EmptyStringOwnsNothing)
{
    V_STRING s;
    EXPECT_EQ(s.data(), V_STRING::s_null);
    EXPECT_STREQ("", s.data());
    EXPECT_EQ(0u, s.length());
    EXPECT_EQ(0u, s.size());
    V_STRING copy(s);
    EXPECT_EQ(0u, copy.length());
}

TEST(VString, ConstructorsAndCapacities)
{
    V_STRING x('x', 3);
    EXPECT_EQ("xxx", bytes(x));
    EXPECT_EQ(4u, x.size());
    V_STRING nul('\0', 5);
    EXPECT_EQ(0u, nul.length());
    EXPECT_EQ(6u, nul.size());
    EXPECT_THROW(V_STRING('a', 0xFFFFFFFFu), VSYST_XLength);

    EXPECT_EQ("ab", bytes(V_STRING("abcdef", 2)));
    EXPECT_EQ("abc", bytes(V_STRING("abc", 100)));
    EXPECT_EQ(0u, V_STRING(static_cast<const char*>(nullptr)).length());

    V_STRING src("hello world");
    EXPECT_EQ("world", bytes(V_STRING(src, 6)));
    EXPECT_EQ("lo", bytes(V_STRING(src, 3, 2)));
    EXPECT_EQ("", bytes(V_STRING(src, 11)));
    EXPECT_THROW(V_STRING(src, 12), VSYST_XRange);

    EXPECT_EQ("-5", bytes(V_STRING(-5L)));
    EXPECT_EQ("-2147483648", bytes(V_STRING(static_cast<long>(0x80000000u))));
    EXPECT_EQ("4294967295", bytes(V_STRING(0xFFFFFFFFul)));
    EXPECT_EQ(17u, V_STRING(7L).size());
    EXPECT_EQ("+1.500000e+000", bytes(V_STRING(1.5)));
    EXPECT_EQ("-2.500000e-010", bytes(V_STRING(-2.5e-10)));
    EXPECT_EQ("+1.000000e+100", bytes(V_STRING(1e100)));
    EXPECT_EQ(21u, V_STRING(1.5).size());
}

TEST(VString, BufferRuleGrowsByDoublingAndShrinksOnAssign)
{
    V_STRING s('a', 9);   // capacity 10
    ASSERT_EQ(10u, s.size());
    s.append('b', 2);     // needs 12 -> doubled to 20
    EXPECT_EQ(20u, s.size());
    V_STRING t('a', 9);
    t.append('b', 15);    // needs 25, beyond the double -> exactly 25
    EXPECT_EQ(25u, t.size());

    V_STRING big('z', 99);
    ASSERT_EQ(100u, big.size());
    big = "ab";
    EXPECT_EQ(3u, big.size());
    big = 'q';
    EXPECT_EQ(2u, big.size());
    EXPECT_EQ("q", bytes(big));
    big = '\0';
    EXPECT_EQ(0u, big.length());

    V_STRING r("abcdefgh");
    unsigned cap = r.size();
    r.remove(2, 3);
    EXPECT_EQ("abfgh", bytes(r));
    EXPECT_EQ(cap, r.size());
    r.remove(3);
    EXPECT_EQ("abf", bytes(r));
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
    s.append(s);                          // self append
    EXPECT_EQ("01234567890123456789", bytes(s));
    V_STRING t('a', 3);                   // capacity 4, full
    t.append(t.data(), 3);                // source pointer into a buffer that must grow
    EXPECT_EQ("aaaaaa", bytes(t));
    V_STRING u("hello world");
    u.assign(u.data() + 6);               // pointer into own buffer, shrinking assign
    EXPECT_EQ("world", bytes(u));
    V_STRING v("abcdef");
    v.assign(v, 2, 3);                    // self substring cut in place
    EXPECT_EQ("cde", bytes(v));
    v.assign(v, 0, V_STRING::all);
    EXPECT_EQ("cde", bytes(v));
}

TEST(VString, IndexingChecksTheLength)
{
    V_STRING s("abc");
    EXPECT_EQ('b', s[1]);
    s[1] = '\0';                          // embedded NUL through the index
    EXPECT_EQ(3u, s.length());
    EXPECT_THROW(s[3], VSYST_XRange);
    const V_STRING& c = s;
    EXPECT_THROW(c[3], VSYST_XRange);
    V_STRING copy(s);
    EXPECT_EQ(3u, copy.length());
    EXPECT_EQ(0, std::memcmp("a\0c", copy.data(), 4));
}

TEST(VString, ComparisonsUseSignedBytes)
{
    EXPECT_EQ(0, V_STRING("abd").compare("abc", 0, 2));
    EXPECT_EQ(-1, V_STRING("ab").compare("abc"));
    EXPECT_EQ(1, V_STRING("abc").compare("ab"));
    EXPECT_EQ(1, V_STRING("b").compare("abc"));
    EXPECT_EQ(0, V_STRING("xabc").compare("abc", 1));
    EXPECT_EQ(-1, V_STRING("x").compare(static_cast<const char*>(nullptr)) * -1);
    EXPECT_THROW(V_STRING("ab").compare("a", 3), VSYST_XRange);

    V_STRING aaa("aaa");
    EXPECT_EQ(1, aaa.compare('a', 0, 2));
    EXPECT_EQ(0, aaa.compare('a', 0, 3));
    EXPECT_EQ(-1, aaa.compare('a', 0, 4));
    EXPECT_EQ(-1, aaa.compare('b', 0, 1));
    EXPECT_EQ(1, aaa.compare('A', 1, 1));

    EXPECT_EQ(-1, V_STRING("\xE9").compare("A"));        // 0xE9 is negative as a signed byte
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

TEST(VString, MidLeftRight)
{
    V_STRING s("abcdef");
    EXPECT_EQ("abc", bytes(s.mid(-2, 5)));
    EXPECT_EQ("", bytes(s.mid(6, 1)));
    EXPECT_THROW(s.mid(7, 1), VSYST_XRange);
    EXPECT_EQ("", bytes(s.mid(7, 0)));
    EXPECT_EQ("cd", bytes(s.mid(2, 2)));
    EXPECT_EQ("ef", bytes(s.mid(4, 100)));
    V_STRING abc("abc");
    EXPECT_EQ("abc", bytes(abc.left(10)));
    EXPECT_EQ("abc", bytes(abc.right(10)));
    EXPECT_EQ("", bytes(abc.right(0)));
    EXPECT_EQ("bc", bytes(abc.right(2)));
    EXPECT_EQ("", bytes(abc.left(-1)));
    EXPECT_EQ("bcd", bytes(s.substr(1, 3)));
}

TEST(VString, ConvertNeverThrows)
{
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

TEST(VString, FormattingUsesTheMicrosoftRuntimeRules)
{
    EXPECT_EQ("7-x-+1.500000e+000", bytes(V_STRING::formatted("%d-%s-%+e", 7, "x", 1.5)));
    EXPECT_EQ("-9000000000", bytes(V_STRING::formatted("%I64d", -9000000000LL)));
    V_STRING s("old");
    s.format("%05lu", 42ul);
    EXPECT_EQ("00042", bytes(s));
    // Longer output is cut at the working buffer, never overflows.
    std::string big(5000, 'q');
    V_STRING cut = V_STRING::formatted("%s", big.c_str());
    EXPECT_EQ(4095u, cut.length());
    EXPECT_EQ(std::string(4095, 'q'), bytes(cut));
}

TEST(VString, Compose)
{
    EXPECT_EQ("a- % x 100%", bytes(V_STRING("%1-%2 %% %x 100%").compose("a", nullptr)));
    EXPECT_EQ("0 nine:nine", bytes(V_STRING("%0 %9:%9").compose(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                                 nullptr, nullptr, "nine")));
    EXPECT_EQ("", bytes(V_STRING().compose("a")));
    EXPECT_EQ("ba", bytes(V_STRING("%2%1").compose("a", "b")));
    std::string huge(3000, 'h');
    V_STRING r = V_STRING("%1%1").compose(huge.c_str());
    EXPECT_EQ(4099u, r.length());
}

TEST(VString, ArchiveRecordLayout)
{
    std::vector<unsigned char> abc = serialize(V_STRING("abc"));
    const unsigned char expected[16] = {0x03, 0, 0, 0x80, 'a', 'b', 'c', 0, 7, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(16u, abc.size());
    EXPECT_EQ(0, std::memcmp(expected, abc.data(), 16));

    std::vector<unsigned char> empty = serialize(V_STRING());
    const unsigned char expEmpty[8] = {0, 0, 0, 0x80, 0, 2, 0, 0};
    ASSERT_EQ(8u, empty.size());
    EXPECT_EQ(0, std::memcmp(expEmpty, empty.data(), 8));

    std::vector<unsigned char> two = serialize(V_STRING("ab"));
    ASSERT_EQ(16u, two.size());
    EXPECT_EQ(8, two[7]);
    for (unsigned len = 0; len < 40; ++len) {
        std::vector<unsigned char> r = serialize(V_STRING('k', len));
        EXPECT_EQ(0u, r.size() % 8) << len;
        unsigned p = r[len + 5];
        EXPECT_GE(p, 1u);
        EXPECT_LE(p, 8u);
        EXPECT_EQ(len + 6 + p, r.size());
    }
}

TEST(VString, ArchiveRoundTripAndOldWideRecords)
{
    unsigned char buf[256];
    V_ASArchiveOut out(buf, sizeof buf);
    V_STRING a("first"), b, c("withXnul");
    c[4] = '\0';
    a.serializeAsMember(out);
    b.serializeAsMember(out);
    c.serializeAsMember(out);
    unsigned long written = out.position();

    V_ASArchiveIn in(buf, written);
    V_STRING ra("junk"), rb("junk"), rc;
    ra.deserializeAsMember(in);
    rb.deserializeAsMember(in);
    rc.deserializeAsMember(in);
    EXPECT_EQ(written, in.position());
    EXPECT_EQ("first", bytes(ra));
    EXPECT_EQ("", bytes(rb));
    EXPECT_EQ(std::string("with\0nul", 8), bytes(rc));

    // Old wide record: length 2, units 0x41 0x263A 0, count byte, padding.
    const unsigned char wide[] = {2, 0, 0, 0, 0x41, 0, 0x3A, 0x26, 0, 0, 3, 0, 0, 0, 0xEE};
    V_ASArchiveIn win(wide, sizeof wide);
    V_STRING w;
    w.deserializeAsMember(win);
    EXPECT_EQ("A@", bytes(w));
    EXPECT_EQ(14u, win.position());
}

TEST(VString, ShortOrHostileRecordsReadNothingOutside)
{
    // A header claiming far more text than the archive holds.
    const unsigned char lying[] = {0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'};
    V_ASArchiveIn in(lying, sizeof lying);
    V_STRING s("keep");
    EXPECT_THROW(s.deserializeAsMember(in), VSYST_XRange);
    EXPECT_EQ("keep", bytes(s));
    EXPECT_EQ(0u, in.position());

    const unsigned char wideLie[] = {0xFF, 0xFF, 0xFF, 0x7F, 0x41, 0};
    V_ASArchiveIn win(wideLie, sizeof wideLie);
    EXPECT_THROW(s.deserializeAsMember(win), VSYST_XRange);
    EXPECT_EQ("keep", bytes(s));

    const unsigned char noPadding[] = {1, 0, 0, 0x80, 'x', 0, 5, 0};
    V_ASArchiveIn pin(noPadding, sizeof noPadding);
    EXPECT_THROW(s.deserializeAsMember(pin), VSYST_XRange);
    EXPECT_EQ("keep", bytes(s));

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
    std::string p(32, 'p');
    EXPECT_EQ(VSYST_StringHashValue((p + "one").c_str()), VSYST_StringHashValue((p + "two").c_str()));
    EXPECT_NE(VSYST_StringHashValue((p.substr(1) + "1").c_str()), VSYST_StringHashValue((p.substr(1) + "2").c_str()));

    EXPECT_EQ(807794786ul, static_cast<V_HashValue>(V_STRING("abc")).value());
    V_STRING withNul("abXcd");
    withNul[2] = '\0';
    EXPECT_EQ(VSYST_StringHashValue("ab"), static_cast<V_HashValue>(withNul).value());
}

TEST(VString, BstrAndStreams)
{
    V_STRING s("a\xE4z");
    s += 'x';
    BSTR b = s.AllocSysString();
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(4u, SysStringLen(b));
    EXPECT_EQ(L'a', b[0]);
    EXPECT_EQ(L'x', b[3]);
    SysFreeString(b);
    V_STRING nul("ab");
    nul[1] = '\0';
    BSTR bn = nul.AllocSysString();
    EXPECT_EQ(2u, SysStringLen(bn));
    SysFreeString(bn);
    BSTR be = V_STRING().AllocSysString();
    EXPECT_EQ(0u, SysStringLen(be));
    SysFreeString(be);

    std::ostringstream os;
    V_STRING t("x-y");
    t[1] = '\0';
    os << "[" << t << "]";
    EXPECT_EQ(std::string("[x\0y]", 5), os.str());
}
