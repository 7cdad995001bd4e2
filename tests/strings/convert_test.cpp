// V_STRING::convert reads numbers as the C run-time that formats them does,
// not as mingw's own scanner would.
#include "V_String.h"

#include <gtest/gtest.h>

TEST(VStringConvert, ScansLikeTheClassicRunTime)
{
    // The text, then what "%ld", "%lu" and "%lf" give (-99 and 99.5 stand for failure, read as 0).
    const struct { const char* text; long l; unsigned long u; double d; } rows[] = {
        {"0x10", 0, 0ul, 0.0},                 // no hexadecimal numbers: the 0 is all
        {"nan", -99, 99ul, 99.5}, {"inf", -99, 99ul, 99.5}, {"-infinity", -99, 99ul, 99.5},
        {"4294967296", 0, 0ul, 4294967296.0},  // longs wrap instead of saturating
        {"2147483648", -2147483647L - 1, 2147483648ul, 2147483648.0},
        {"abc", -99, 99ul, 99.5},
    };
    for (const auto& r : rows) {
        const V_STRING s(r.text);
        long l = 5;
        unsigned long u = 5;
        double d = 5.0;
        EXPECT_EQ(r.l != -99, s.convert(l)) << r.text;
        EXPECT_EQ(r.l == -99 ? 0 : r.l, l) << r.text;
        EXPECT_EQ(r.u != 99ul, s.convert(u)) << r.text;
        EXPECT_EQ(r.u == 99ul ? 0ul : r.u, u) << r.text;
        EXPECT_EQ(r.d != 99.5, s.convert(d)) << r.text;
        EXPECT_EQ(r.d == 99.5 ? 0.0 : r.d, d) << r.text;
    }
}
