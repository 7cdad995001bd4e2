// Packed symbols and interned symbols: packing, order, hash, interning, table growth.
#include "VSYST_DumpStream.h"
#include "VSYST_Symbol.h"
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

TEST(Symbol12, PacksDecodesValidatesAndOrders)
{
    // Words worked out by hand: 'A' = 12, 'B' = 13, '$' = 1, weights 39^5 .. 1.
    const struct { const char* name; unsigned long high, low; const char* decoded; bool valid; } cases[] = {
        {"abc", 1113595587ul, 0, "ABC", true},
        {"$", 90224199ul, 0, "$", true},
        {"ABCDEFGHIJKL", 1113619043ul, 1669210163ul, "ABCDEFGHIJKL", true},
        {"ABCDEFGHIJKLMN", 1113619043ul, 1669210163ul, "ABCDEFGHIJKL", true},
        {"A-B", 1083461535ul, 0, "A", false},   // 12 * 39^5 + 0 + 13 * 39^3
        {"", 0, 0, "", true},
        {nullptr, 0, 0, "", true},
    };
    for (const auto& c : cases) {
        const VSYST_Symbol12 s(c.name);
        EXPECT_EQ(std::make_pair(c.high, c.low), std::make_pair(s.high(), s.low())) << c.decoded;
        EXPECT_STREQ(c.decoded, s.getName().data());
        EXPECT_EQ(c.valid, VSYST_Symbol12::isValid(c.name)) << c.decoded;
    }
    EXPECT_STREQ("__UNICODE__", VSYST_Symbol12(L"anything").getName().data());
    for (char c : std::string("$09AZaz_")) EXPECT_TRUE(VSYST_Symbol12::isValid(c)) << c;
    for (char c : std::string("-. @[`{\x80", 9)) EXPECT_FALSE(VSYST_Symbol12::isValid(c)) << c;

    // Bytes C3 1E 60 42 00: "C3 1E 60 42" hashed as sign-extended text.
    EXPECT_EQ(4177931133ul, V_HashValue(VSYST_Symbol12("ABC")).value());
    std::ostringstream os;
    os << VSYST_Symbol12("x_1") << '|' << VSYST_Symbol12("");
    EXPECT_EQ("X_1|", os.str());
    EXPECT_EQ("$DOLLAR", orvtest::written([](VSYST_DumpStream& s) { s << VSYST_Symbol12("$dollar"); }));

    // Like the alphabet, case-insensitively: each name sorts before the next one.
    const char* const ascending[] = {"", "$", "0", "9", "A", "AB", "abc", "ABC_", "B", "Z", "_", "__"};
    for (size_t i = 0; i + 1 < sizeof ascending / sizeof *ascending; ++i) {
        const VSYST_Symbol12 a(ascending[i]), b(ascending[i + 1]);
        EXPECT_TRUE(a < b && a <= b && b > a && b >= a && a != b && !(b < a)) << ascending[i];
        EXPECT_EQ(std::make_pair(-1, 1), std::make_pair(a.compare(b), b.compare(a))) << ascending[i];
    }
    const VSYST_Symbol12 x("Mixed"), y("MIXED");
    EXPECT_TRUE(x.compare(y) == 0 && x == y && x <= y && x >= y && !(x != y) && !(x < y) && !(x > y));
    // Only the low word tells these apart.
    EXPECT_EQ(-1, VSYST_Symbol12("ABCDEFGHIJKA").compare(VSYST_Symbol12("ABCDEFGHIJKB")));
}

// Before each threshold: exactly half full stays, one more grows at the next call.
// The wide table is the same template over other characters. At the last size
// the table is full at 235,925 entries and the next call ends the process.
ORV_TEST_CHILD(symbolGrowth)
{
    auto narrowName = [](int i) { return VSYST_SymbolA(("g" + std::to_string(i)).c_str()); };
    VSYST_DumpStream::openStdStream();
    int serial = 0;
    for (unsigned long slots : {4093ul, 16381ul, 65521ul}) {
        while (VSYST_SymbolA::tableInfo().entries < slots / 2) narrowName(serial++);
        narrowName(0);
        std::printf("%lu>", VSYST_SymbolA::tableInfo().slots);
        narrowName(serial++);
        std::printf("%lu>", VSYST_SymbolA::tableInfo().slots);
        narrowName(0);   // already present: the check comes first all the same
        std::printf("%lu/%lu ", VSYST_SymbolA::tableInfo().slots, VSYST_SymbolA::tableInfo().sizeStep);
    }
    while (VSYST_SymbolA::tableInfo().entries < 235925) narrowName(serial++);
    std::printf("%lu/%lu\n", VSYST_SymbolA::tableInfo().entries, VSYST_SymbolA::tableInfo().slots);
    std::fflush(stdout);
    narrowName(0);
    return std::printf("still running\n");
}

TEST(SymbolA, InternsEachTextOnceAlsoFromEightThreadsAndTheTableGrowsAtHalfUntilFull)
{
    const int kNames = 40000;   // enough for the table to grow three times meanwhile
    std::vector<std::vector<const char*>> seen(8, std::vector<const char*>(kNames));
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&seen, t, kNames] {
            for (int k = 0; k < kNames; ++k) {
                const int i = (k * 7 + t * 401) % kNames;   // each thread in its own order
                seen[t][i] = VSYST_SymbolA(("mt-" + std::to_string(i)).c_str());
            }
        });
    for (auto& th : threads) th.join();
    for (int i = 0; i < kNames; ++i) {
        EXPECT_EQ("mt-" + std::to_string(i), seen[0][i]);
        for (int t = 1; t < 8; ++t) ASSERT_EQ(seen[0][i], seen[t][i]) << i;
    }
    const VSYST_SymbolA lower("mt-1"), upper("MT-1");
    EXPECT_TRUE(lower == VSYST_SymbolA(std::string("mt-1").c_str()) && !(lower != VSYST_SymbolA("mt-1")));
    EXPECT_TRUE(lower != upper && (lower < upper) != (upper < lower));
    EXPECT_STREQ("MT-1", upper);
    EXPECT_EQ(nullptr, static_cast<const char*>(VSYST_SymbolA(nullptr)));
    EXPECT_NE(nullptr, static_cast<const char*>(VSYST_SymbolA("")));
    // VSYST_SymbolT shares the 8-bit table.
    EXPECT_EQ(seen[0][1], static_cast<const char*>(VSYST_SymbolT("mt-1")));
    EXPECT_EQ(1, VSYST_SymbolT("t") == VSYST_SymbolT("t"));
    const VSYST_SymbolW w(L"abc"), w2(std::wstring(L"abc").c_str());
    EXPECT_TRUE(w == w2 && w != VSYST_SymbolW(L"ABC"));
    EXPECT_STREQ(L"abc", w);

    orvtest::TempDir dir;
    const auto run = orvtest::runChild("symbolGrowth", {}, {"ORV_DIR_LOGFILES=" + dir.path(), "ORV_STDLOGFILE=1"});
    EXPECT_EQ(3u, run.exitCode);   // abort()
    EXPECT_EQ("4093>4093>16381/1 16381>16381>65521/2 65521>65521>262139/3 235925/262139\n", run.out);
    std::string log;
    for (const std::string& name : dir.list()) log += orvtest::readFile(dir.file(name));
    EXPECT_NE(std::string::npos, log.find("!ASSERT VIOLATION")) << log;
}
