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

// Texts joined by "|", to compare many results at once.
std::string join(std::initializer_list<V_STRING> texts)
{
    std::string r;
    for (const V_STRING& t : texts) r += (r.empty() ? "" : "|") + bytes(t);
    return r;
}

void* refuseMemory(size_t, const std::nothrow_t&) noexcept { return nullptr; }

}  // namespace

TEST(VString, ConstructorsAndTheBufferRule)
{
    V_STRING empty;
    EXPECT_EQ(V_STRING::s_null, empty.data());
    EXPECT_EQ("/0", state(empty));

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
        {V_STRING(0xFFFFFFFFul), "4294967295/17"},
        {V_STRING(-2.5e-10), "-2.500000e-010/21"},
        {V_STRING(1e100), "+1.000000e+100/21"},
        {V_STRING(-std::numeric_limits<double>::infinity()), "-1.#INF00e+000/21"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, state(c.s));
    EXPECT_THROW(V_STRING('a', 0xFFFFFFFFu), VSYST_XLength);
    EXPECT_THROW(V_STRING(src, 12), VSYST_XRange);

    // Growth doubles, or takes exactly what is needed beyond the double;
    // assigning shrinks to fit, removing never shrinks.
    V_STRING s('a', 9), t('a', 9), big('z', 99), r("abcdefgh");
    EXPECT_EQ("aaaaaaaaabb/20", state(s.append('b', 2)));
    EXPECT_EQ(25u, t.append('b', 15).size());
    EXPECT_EQ("ab/3", state(big = "ab"));
    EXPECT_EQ("q/2", state(big = 'q'));
    EXPECT_EQ("/2", state(big = '\0'));
    EXPECT_EQ("abfgh/9", state(r.remove(2, 3)));
    EXPECT_EQ("abf/9", state(r.remove(3)));
    EXPECT_THROW(r.remove(4), VSYST_XRange);

    // Refused memory throws; the text stays, as it did after the refused remove.
    orvtest::IatHook hook{"OrvCore_Rudaru20.dll", "libstdc++-6.dll",
                          sizeof(void*) == 8 ? "_ZnayRKSt9nothrow_t" : "_ZnajRKSt9nothrow_t",
                          reinterpret_cast<void*>(&refuseMemory)};
    EXPECT_THROW(r.append('x', 100), VSYST_XMemory);
    EXPECT_THROW(V_STRING("new text"), VSYST_XMemory);
    EXPECT_EQ("abf", bytes(r));
}

TEST(VString, AppendIndexTextFromItsOwnBufferAndEveryByteToBstrAndStream)
{
    V_STRING s("ab");
    s += 'c';
    s += '\0';
    s += "de";
    s += static_cast<const char*>(nullptr);
    s += V_STRING("f");
    s.append("xyz", 2).append('!', 2).append(V_STRING("12345"), 1, 2);
    EXPECT_EQ("abcdefxy!!23", bytes(s));
    EXPECT_THROW(s.append(V_STRING("ab"), 3), VSYST_XRange);

    V_STRING n("abc");
    EXPECT_EQ('b', n[1]);
    n[1] = '\0';
    EXPECT_THROW(n[3], VSYST_XRange);
    EXPECT_THROW(static_cast<const V_STRING&>(n)[3], VSYST_XRange);
    EXPECT_EQ(std::string("a\0c", 3), bytes(V_STRING(n)));   // an embedded NUL is text
    EXPECT_EQ('\0', V_STRING(n).data()[3]);
    BSTR b = n.AllocSysString();
    EXPECT_TRUE(SysStringLen(b) == 3 && b[0] == L'a' && b[1] == L'\0' && b[2] == L'c');
    SysFreeString(b);
    std::ostringstream os;
    os << "[" << n << "]";
    EXPECT_EQ(std::string("[a\0c]", 5), os.str());

    V_STRING d("0123456789"), t('a', 3), u("hello world"), v("abcdef");
    d.append(d);
    t.append(t.data(), 3);    // the full buffer must grow under its source
    u.assign(u.data() + 6);   // a shrinking assign may release its source
    v.assign(v, 2, 3);
    EXPECT_EQ("01234567890123456789|aaaaaa|world|cde", join({d, t, u, v}));
}

TEST(VString, ComparisonsAndHashesUseSignedBytesAndSubstringsClipToTheText)
{
    const V_STRING aaa("aaa");
    EXPECT_EQ((std::vector<int>{0, -1, 1, 1, 0, 1, 1, 0, -1, -1, 1, -1, -1, 0, 0, 6, -1, 0, 2}),
              (std::vector<int>{
                  V_STRING("abd").compare("abc", 0, 2), V_STRING("ab").compare("abc"), V_STRING("abc").compare("ab"),
                  V_STRING("b").compare("abc"), V_STRING("xabc").compare("abc", 1),
                  V_STRING("x").compare(static_cast<const char*>(nullptr)), aaa.compare('a', 0, 2),
                  aaa.compare('a', 0, 3), aaa.compare('a', 0, 4), aaa.compare('b', 0, 1), aaa.compare('A', 1, 1),
                  V_STRING("\xE9").compare("A"),   // 0xE9 is negative as a signed byte
                  V_STRING("abc").compare(V_STRING("abd")), V_STRING("abcX").compare(V_STRING("abcY"), 0, 3),
                  V_STRING("Hello").compareNoCase("hELLO"), V_STRING("hello world").find("world"),
                  V_STRING("hello").find("xyz"), V_STRING("hello").find(""), V_STRING("hello").find(V_STRING("ll"))}));
    EXPECT_THROW(V_STRING("ab").compare("a", 3), VSYST_XRange);
    EXPECT_TRUE(V_STRING("abc") == V_STRING("abc"));
    EXPECT_FALSE(V_STRING("abc") == V_STRING("abcd"));

    const V_STRING s("abcdef"), abc("abc");
    EXPECT_EQ("abc||cd|ef||abc|abc||bc||bcd", join({s.mid(-2, 5), s.mid(6, 1), s.mid(2, 2), s.mid(4, 100), s.mid(7, 0),
                                                     abc.left(10), abc.right(10), abc.right(0), abc.right(2),
                                                     abc.left(-1), s.substr(1, 3)}));
    EXPECT_EQ("", join({s.mid(-1, INT_MIN), abc.right(INT_MIN)}));   // counts that would overflow signed arithmetic
    EXPECT_THROW(s.mid(7, 1), VSYST_XRange);

    V_STRING withNul("abXcd");
    withNul[2] = '\0';
    EXPECT_EQ((std::vector<unsigned long>{97, 807794786, 0, 0, 97, 807794786, 0, 4294967268, 228, 807794786, 6363201}),
              (std::vector<unsigned long>{
                  VSYST_StringHashValue("a"), VSYST_StringHashValue("abc"),
                  VSYST_StringHashValue(static_cast<const char*>(nullptr)), VSYST_StringHashValueMax("abc", 0),
                  VSYST_StringHashValueMax("abc", 1), VSYST_StringHashValue(L"abc"),
                  VSYST_StringHashValue(static_cast<const wchar_t*>(nullptr)), VSYST_StringHashValue("\xE4"),
                  VSYST_StringHashValue(L"\x00E4"),   // bytes are sign-extended, units not
                  static_cast<V_HashValue>(V_STRING("abc")).value(), static_cast<V_HashValue>(withNul).value()}));
    // Only the first 32 characters count.
    const std::string p(32, 'p');
    EXPECT_EQ(VSYST_StringHashValue((p + "one").c_str()), VSYST_StringHashValue((p + "two").c_str()));
    EXPECT_NE(VSYST_StringHashValue((p.substr(1) + "1").c_str()), VSYST_StringHashValue((p.substr(1) + "2").c_str()));
}

TEST(VString, FormatComposeAndScanLikeTheClassicRunTime)
{
    V_STRING s("old");
    s.format("%05lu", 42ul);
    EXPECT_EQ("7-x-+1.500000e+000|-9000000000|00042",
              join({V_STRING::formatted("%d-%s-%+e", 7, "x", 1.5), V_STRING::formatted("%I64d", -9000000000LL), s}));
    // Longer output is cut at the working buffer, never overflows it.
    EXPECT_EQ(std::string(4095, 'q'), bytes(V_STRING::formatted("%s", std::string(5000, 'q').c_str())));

    EXPECT_EQ("a- % x 100%|0 nine:nine||ba",
              join({V_STRING("%1-%2 %% %x 100%").compose("a", nullptr),
                    V_STRING("%0 %9:%9").compose(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                 "nine"),
                    V_STRING().compose("a"), V_STRING("%2%1").compose("a", "b")}));
    const std::string huge(3000, 'h');
    EXPECT_EQ((huge + huge).substr(0, 4099), bytes(V_STRING("%1%1").compose(huge.c_str())));

    // Numbers read as the run-time that formats them reads them, not as mingw's
    // scanner would: no hexadecimal, nan or infinity; longs wrap; a failure ("!") reads 0.
    std::string scanned;
    for (const char* text : {"0x10", "nan", "inf", "-infinity", "4294967296", "2147483648", "abc"}) {
        long l = 5;
        unsigned long u = 5;
        double d = 5.0;
        const V_STRING t(text);
        const bool ok[] = {t.convert(l), t.convert(u), t.convert(d)};
        scanned += std::string(text) + (ok[0] ? " " : " !") + std::to_string(l) + (ok[1] ? " " : " !") +
                   std::to_string(u) + (ok[2] ? " " : " !") + std::to_string(d) + "|";
    }
    EXPECT_EQ("0x10 0 0 0.000000|nan !0 !0 !0.000000|inf !0 !0 !0.000000|-infinity !0 !0 !0.000000|4294967296 0 0 "
              "4294967296.000000|2147483648 -2147483648 2147483648 2147483648.000000|abc !0 !0 !0.000000|",
              scanned);
}

TEST(VString, ArchiveRecordsBothWaysToTheLastByteOrBeyond)
{
    // Length word with the top bit, text, NUL, count byte p (1..8), p zeros; read back to the archive's last byte.
    V_STRING texts[] = {V_STRING("k"), V_STRING(), V_STRING("kk"), V_STRING("kXk")}, back[] = {"", "junk", "junk", ""};
    texts[3][1] = '\0';
    unsigned char buf[64];
    V_ASArchiveOut out(buf, sizeof buf);
    for (V_STRING& t : texts) t.serializeAsMember(out);
    EXPECT_EQ((Bytes{1, 0, 0, 0x80, 'k', 0, 1, 0, 0, 0, 0, 0x80, 0, 2, 0, 0, 2, 0, 0, 0x80, 'k', 'k', 0, 8, 0, 0, 0, 0,
                     0, 0, 0, 0, 3, 0, 0, 0x80, 'k', 0, 'k', 0, 7, 0, 0, 0, 0, 0, 0, 0}),
              Bytes(buf, buf + out.position()));
    V_ASArchiveIn in(buf, out.position());
    for (V_STRING& b : back) b.deserializeAsMember(in);
    EXPECT_EQ(out.position(), in.position());
    EXPECT_EQ(std::string("k||kk|k\0k", 9), join({back[0], back[1], back[2], back[3]}));

    // The old wide form: unit count, units 0x41 0xFF 0x100 and NUL, count byte, padding.
    const unsigned char wide[] = {3, 0, 0, 0, 0x41, 0, 0xFF, 0, 0, 1, 0, 0, 3, 0, 0, 0, 0xEE};
    V_ASArchiveIn win(wide, sizeof wide);
    V_STRING w;
    w.deserializeAsMember(win);
    EXPECT_EQ("A\xFF@", bytes(w));
    EXPECT_EQ(16u, win.position());

    // A record of 16 bytes fills 16 exactly; into 15 it throws and leaves nothing of itself behind.
    Bytes exact(16, 0xCC), over(15, 0xCC);
    V_ASArchiveOut full(exact.data(), 16), tooSmall(over.data(), 15);
    texts[3].serializeAsMember(full);
    EXPECT_THROW(V_STRING().serializeAsMember(full), VSYST_XRange);
    EXPECT_THROW(texts[3].serializeAsMember(tooSmall), VSYST_XRange);
    EXPECT_EQ(Bytes(buf + 32, buf + 48), exact);
    EXPECT_EQ(Bytes(15, 0xCC), over);
    EXPECT_EQ("16 0", std::to_string(full.position()) + " " + std::to_string(tooSmall.position()));
    // Records that claim more than the archive holds read nothing outside it.
    const Bytes records[] = {
        {0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'},   // far more text than there is
        {0xFF, 0xFF, 0xFF, 0x7F, 0x41, 0},    // the same in the wide form
        {1, 0, 0, 0x80, 'x', 0, 5, 0},        // padding cut short
        {1, 0, 0, 0x80, 'x', 0, 2, 0},        // by one byte
    };
    for (const Bytes& record : records) {
        V_ASArchiveIn in(record.data(), static_cast<unsigned long>(record.size()));
        V_STRING s("keep");
        EXPECT_THROW(s.deserializeAsMember(in), VSYST_XRange);
        EXPECT_EQ("keep", bytes(s));
        EXPECT_EQ(0u, in.position());
    }
}
