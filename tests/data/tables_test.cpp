// The category, colour and pen tables, and the feature set.
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include "OrvCore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

TEST(CategoryTable, TheWholeTreeDepthFirst)
{
    VSYST_CategoryTable& t = VSYST_CategoryTable::instance();
    EXPECT_EQ(&t, &VSYST_CategoryTable::instance());
    EXPECT_EQ("0-0", std::string(t.getCategoryIDAsString(0).data()));
    EXPECT_EQ("0-0-0", std::string(t.getCategoryIDAsString(1).data()));
    EXPECT_EQ("0-1", std::string(t.getCategoryIDAsString(73).data()));
    EXPECT_EQ("0-5-3-3-2", std::string(t.getCategoryIDAsString(437).data()));

    // Every identifier is a node of the tree, each comes after the one before
    // in depth-first order (for one-digit levels, the order of the texts), and
    // 438 is the number of the tree's nodes: so all of them are there.
    const int fourth[4] = {2, 4, 4, 3};
    int nodes = 0;
    for (int a = 0; a < 6; ++a, ++nodes)
        for (int b = 0; b < 4; ++b, ++nodes)
            for (int c = 0; c < 4; ++c, ++nodes) nodes += fourth[c];
    EXPECT_EQ(438, nodes);
    std::string before;
    for (unsigned long i = 0; i < 438; ++i) {
        const std::string id = t.getCategoryIDAsString(i).data();
        std::vector<int> d;
        for (size_t p = 0; p < id.size(); p += 2) d.push_back(id[p] - '0');
        const bool node = id.size() % 2 == 1 && d.size() >= 2 && d.size() <= 5 && d[0] == 0 && d[1] < 6 &&
                          (d.size() < 3 || d[2] < 4) && (d.size() < 4 || d[3] < 4) &&
                          (d.size() < 5 || d[4] < fourth[d[3]]);
        EXPECT_TRUE(node && std::count(id.begin(), id.end(), '-') == static_cast<long>(d.size()) - 1) << i << ": " << id;
        EXPECT_LT(before, id) << i;
        before = id;
    }
}

TEST(ColorTable, ShadesValuesAndPens)
{
    VSYST_ColorTable& t = VSYST_ColorTable::instance();
    EXPECT_EQ(&t, &VSYST_ColorTable::instance());
    EXPECT_EQ(266ul, t.getMaxColorIndex());
    struct { VSYST_ColorName name; long shade; unsigned long index; } shades[] = {
        {VCN_Yellow, 1, 40},  {VCN_Yellow, -1, 39}, {VCN_Yellow, 20, 47}, {VCN_Yellow, 0, 2},
        {VCN_Yellow, -8, 32}, {VCN_Yellow, -9, 32}, {VCN_Black, 1, 16},   {VCN_Black, 8, 23},
        {VCN_White, -8, 22},  {VCN_White, -1, 29},  {VCN_Violet, 8, 255}, {VCN_Violet, 0, 15},
        {VCN_Red, -8, 96},    {VCN_Orange, 1, 136}};
    for (const auto& s : shades)
        EXPECT_EQ(s.index, t.getSystemColorIndex(s.name, s.shade)) << s.name << " " << s.shade;

    // A few entries exactly, then all of them through two sums over the table.
    struct { unsigned long index; int rgb[3]; } colors[] = {
        {4, {0, 255, 0}}, {16, {31, 31, 31}}, {99, {159, 0, 0}}, {256, {255, 128, 0}}, {266, {0, 0, 128}}};
    for (const auto& c : colors) {
        double r = -1, g = -1, b = -1;
        t.getSystemColor(c.index, r, g, b);
        EXPECT_EQ(c.rgb[0] / 255.0, r) << c.index;
        EXPECT_EQ(c.rgb[1] / 255.0, g) << c.index;
        EXPECT_EQ(c.rgb[2] / 255.0, b) << c.index;
    }
    long sum = 0, weighted = 0;
    for (unsigned long i = 0; i <= 266; ++i) {
        double r, g, b;
        t.getSystemColor(i, r, g, b);
        const long rgb[3] = {std::lround(r * 255), std::lround(g * 255), std::lround(b * 255)};
        sum += rgb[0] + rgb[1] + rgb[2];
        weighted += static_cast<long>(i) * (rgb[0] + 3 * rgb[1] + 7 * rgb[2]);
    }
    EXPECT_EQ(111309, sum);
    EXPECT_EQ(48134737, weighted);

    const double widths[15] = {0.0, 0.13, 0.18, 0.25, 0.35, 0.5, 0.7, 1.0, 1.4, 2.0, 2.1, 2.2, 2.3, 2.4, 2.5};
    for (unsigned long p = 0; p < 15; ++p) EXPECT_EQ(widths[p], VSYST_PenTable::instance().getPenWidth(p)) << p;
}

TEST(FeatureSet, StatesByExactNameAndTheDumpInPointerOrder)
{
    if (!orvtest::aloneInProcess()) return;
    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    EXPECT_EQ(0, VSYST_FeatureSet::getState("Asked"));
    VSYST_FeatureSet::setState("A", 5);
    VSYST_FeatureSet::setState("Min", -2147483647L - 1);
    VSYST_FeatureSet::setState("Min", -2147483647L - 1);
    EXPECT_EQ(5, VSYST_FeatureSet::getState("A"));
    EXPECT_EQ(0, VSYST_FeatureSet::getState("a"));
    EXPECT_EQ(-2147483647L - 1, VSYST_FeatureSet::getState("Min"));
    EXPECT_EQ(0, VSYST_FeatureSet::getState(nullptr));
    VSYST_FeatureSet::setState(nullptr, 1);

    std::vector<std::pair<VSYST_SymbolA, std::string>> lines = {
        {"Asked", "0"}, {"A", "5"}, {"a", "0"}, {"Min", "-2147483648"}};
    std::sort(lines.begin(), lines.end());
    std::string expected = "\nVSYST_FeatureSet : start of dump of all available features\n";
    for (const auto& l : lines)
        expected += "\tFeature \"" + std::string(l.first) + "\" state == " + l.second + "\n";
    expected += "VSYST_FeatureSet : end of dump of all available features\n\n";
    EXPECT_EQ(orvtest::crlf(expected), orvtest::diCall("System", "Dump current feature set"));
    VSYST_ApplInitExit::doExit();
}

TEST(FeatureSet, OrvtoolListsAndSets)
{
    struct { std::vector<std::string> args; unsigned long status; std::string out, err; } cases[] = {
        {{"features", "Shaded", "-7"}, 0, "Shaded: state -7\n\nVSYST_FeatureSet : start of dump of all available "
         "features\n\tFeature \"Shaded\" state == -7\nVSYST_FeatureSet : end of dump of all available features\n\n", ""},
        {{"features"}, 0, "\nVSYST_FeatureSet : start of dump of all available features\n"
         "VSYST_FeatureSet : end of dump of all available features\n\n", ""},
        {{"features", "X", "2147483648"}, 2, "", "orvtool: STATE must be a whole number from -2147483648 to "
         "2147483647, not '2147483648'\nusage: orvtool features [NAME [STATE]]\n"},
        {{"features", "--all"}, 2, "", "orvtool: unknown option '--all'\nusage: orvtool features [NAME [STATE]]\n"},
    };
    for (const auto& c : cases) {
        const orvtest::ChildResult r = orvtest::runOrvtool(c.args, {"ORVFT_TRACE_APPLINITEXIT=", "ORV_STDLOGFILE="});
        EXPECT_EQ(c.status, r.exitCode) << c.args.back();
        EXPECT_EQ(c.out, r.out) << c.args.back();
        std::string err = r.err;
        err.erase(std::remove(err.begin(), err.end(), '\r'), err.end());
        EXPECT_EQ(c.err, err) << c.args.back();
    }
    const orvtest::ChildResult help = orvtest::runOrvtool({"features", "--help"});
    EXPECT_EQ(0u, help.exitCode);
    EXPECT_NE(std::string::npos, help.out.find("example: orvtool features "));
}
