// VSYST_DIManager, its cursor, TREEDATA handles, and V_DebugSettings.
#include "diag/LogCapture.h"
#include "diag/orv_dimanager_internal.h"
#include "support/OrvTestSupport.h"

#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"
#include "V_Exception.h"

#include <gtest/gtest.h>

#include <string>

using orvtest::diCall;
using orvtest::diWalk;
typedef VSYST_DIManager DIM;

namespace {

void cbFirst(VSYST_DumpStream& s, unsigned long i) { s << "first " << i; }
void cbSecond(VSYST_DumpStream& s, unsigned long i) { s << "second " << i; }

}  // namespace

TEST(DIManager, RemoveDumpCursorsOrderReplacementAndAlternatives)
{
    if (!orvtest::aloneInProcess()) return;
    _vsyst_DIRemoveAll();   // the library's own entries
    DIM::add("Empty", "only", nullptr, cbFirst);
    DIM::add("Keep", "k1", "alt b\nalt a", cbFirst);
    DIM::add("Keep", "k2", nullptr, cbSecond);
    DIM::remove("Empty", "only");
    DIM::remove("Empty", "only");     // again: nothing
    DIM::remove("Nowhere", "only");   // unknown group
    DIM::remove("Keep", "absent");
    DIM::remove(nullptr, nullptr);
    EXPECT_EQ("[Keep] k1: alt a alt b; k2; ", diWalk());
    EXPECT_EQ(orvtest::crlf("\nSTART OF DUMPING THE DEBUG INFO CALLBACK FUNCTION REGISTRY :\n\tGROUP : \"Keep\"\n"
                            "\t\tINFO : \"k1\"\n\t\t\t--> \"alt a\"\n\t\t\t--> \"alt b\"\n"
                            "\t\tINFO : \"k2\" [no alternatives]\n"
                            "END OF DUMPING THE DEBUG INFO CALLBACK FUNCTION REGISTRY :\n"),
              orvtest::written([](VSYST_DumpStream& s) { _vsyst_DIDumpRegistry(s, 0); }));

    _vsyst_DIRemoveAll();

    // Cursor steps stop at the end; TREEDATA handles round trip.
    DIM::add("G1", "d1", "y\nx", cbFirst);
    DIM::add("G1", "d2", nullptr, cbFirst);
    EXPECT_EQ("[G1] d1: x y; d2; ", diWalk());   // the emptied registry takes new entries
    VSYST_DICursor c;
    VSYST_DICursor::TREEDATA alt = c.tdA();
    for (int i = 0; i < 3; ++i) c.nextA();
    EXPECT_FALSE(c.validA());
    c.nextD();
    VSYST_DICursor::TREEDATA info = c.tdD();
    for (int i = 0; i < 2; ++i) c.nextG();
    c.nextD();
    EXPECT_FALSE(c.validG() || c.validD() || c.validA());

    // Through the integer a tree item carries; the expanded flag lives in the node.
    VSYST_DICursor::TREEDATA back(static_cast<LONG_PTR>(info));
    EXPECT_EQ("d2 x", std::string(back.name()) + " " + alt.name());
    const int before = back.isExpanded();
    back.setExpanded(5);
    const int set = info.isExpanded();
    back.setExpanded(0);
    EXPECT_EQ("0 1 0", std::to_string(before) + " " + std::to_string(set) + " " + std::to_string(info.isExpanded()));
    VSYST_DICursor::TREEDATA invalid;
    invalid.setExpanded(1);
    EXPECT_TRUE(back.isValid() && !invalid.isValid() && !invalid.name() && !invalid.isExpanded());

    // On the emptied registry: order by unsigned bytes, replacement, alternatives.
    DIM::add("Grp", "B", nullptr, cbFirst);
    DIM::add("Grp", "A", "one\ntwo", cbFirst);
    DIM::add("Grp", "a", nullptr, cbFirst);
    DIM::add("Grp", "\xE4x", nullptr, cbFirst);   // 0xE4 is above every ASCII byte
    DIM::add("Grp", "z", nullptr, cbFirst);
    DIM::add("\x80high", "i", nullptr, cbFirst);
    DIM::add("Abc", "i", nullptr, cbFirst);
    // Adding A again replaces callback and alternatives; null arguments add nothing.
    DIM::add("Grp", "A", "three", cbSecond);
    DIM::add(nullptr, "x", nullptr, cbFirst);
    DIM::add("Grp", nullptr, nullptr, cbFirst);
    DIM::add("Grp", "nocb", nullptr, nullptr);
    EXPECT_EQ("[Abc] i; [G1] d1: x y; d2; [Grp] A: three; B; a; z; \xE4x; [\x80high] i; ", diWalk());
    EXPECT_EQ("second 0", diCall("Grp", "A", "three"));

    // Alternatives are split, sorted and indexed by position.
    DIM::add("T", "pool", "char based strings\nwchar_t based strings\nstart tracing\nstop tracing", cbFirst);
    // Names are case-sensitive: an unknown one calls with index 0, as none does.
    EXPECT_EQ("first 3|first 1|first 0|first 0", diCall("T", "pool", "stop tracing") + "|" +
                                                      diCall("T", "pool", "wchar_t based strings") + "|" +
                                                      diCall("T", "pool") + "|" + diCall("T", "pool", "Stop tracing"));
    EXPECT_EQ("", diCall("T", "unknown") + diCall("unknown", "pool") + diCall(nullptr, "pool"));

    // Empty pieces take no index; the text is cut after 1023 characters, a cut
    // on a line feed leaves no empty alternative.
    const std::string b1021(1021, 'b'), c1022(1022, 'c');
    const std::string splits[][2] = {
        {"\n\nx\n\ny\n", "x:0 y:1 "},
        {"a\n" + b1021, "a:0 " + b1021 + ":1 "},
        {"a\n" + b1021 + "bbb\nzzz", "a:0 " + b1021 + ":1 "},
        {c1022 + "\nd", c1022 + ":0 "},
    };
    for (const auto& s : splits) {
        DIM::add("A", "split", s[0].c_str(), cbFirst);   // the first group
        std::string got;   // "name:index " of every alternative, in list order
        for (_vsyst_DINodeA* a = _vsyst_DIFirstGroup()->firstInfo()->firstAlternative(); a; a = a->nextAlternative())
            got += std::string(a->name()) + ":" + std::to_string(a->index()) + " ";
        EXPECT_EQ(s[1], got) << s[0].size();
    }
}

struct SettingsCase {
    const char* level;      // CM_DEBUG_VERBOSITYLEVEL
    const char* update;     // CM_DEBUG_UPDATE_TASKLIST: its existence counts, not its value
    const char* readOnly;   // CM_DEBUG_READONLY_TASKLIST
    long expected[3];       // at the indices 0, 6 and 7
};
void PrintTo(const SettingsCase& c, std::ostream* os) { *os << (c.level ? c.level : "unset"); }
class DebugSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(DebugSettings, EnvironmentFillsItsThreeEntriesOnceAndClientValuesStay)
{
    if (!orvtest::aloneInProcess()) return;
    const SettingsCase& p = GetParam();
    orvtest::ScopedEnv level("CM_DEBUG_VERBOSITYLEVEL", p.level);
    orvtest::ScopedEnv update("CM_DEBUG_UPDATE_TASKLIST", p.update);
    orvtest::ScopedEnv readOnly("CM_DEBUG_READONLY_TASKLIST", p.readOnly);
    typedef V_DebugSettings::VFCKE_value Index;
    // The first use reads the environment, even a write.
    V_DebugSettings::setValue(static_cast<Index>(19), -4);
    for (int i = 0; i < 19; ++i) {
        const long expected = i == 0 ? p.expected[0] : (i == 6 ? p.expected[1] : (i == 7 ? p.expected[2] : 0));
        EXPECT_EQ(expected, V_DebugSettings::getValue(static_cast<Index>(i))) << i;
    }
    EXPECT_EQ(-4, V_DebugSettings::getValue(static_cast<Index>(19)));

    // Later environment changes do not count; client values do.
    orvtest::ScopedEnv later("CM_DEBUG_VERBOSITYLEVEL", "5");
    EXPECT_EQ(p.expected[0], V_DebugSettings::getValue(V_DebugSettings::VFCKE_VerbosityLevel));
    V_DebugSettings::setValue(V_DebugSettings::VFCKE_VerbosityLevel, 9);
    EXPECT_EQ(9, V_DebugSettings::getValue(V_DebugSettings::VFCKE_VerbosityLevel));
    EXPECT_THROW(V_DebugSettings::getValue(V_DebugSettings::VFCKE_NumValues), VSYST_OutOfBounds);
    EXPECT_THROW(V_DebugSettings::setValue(static_cast<Index>(-1), 1), VSYST_OutOfBounds);
}

INSTANTIATE_TEST_SUITE_P(Env, DebugSettings,
                         ::testing::Values(SettingsCase{"3", "0", nullptr, {3, 1, 0}},
                                           SettingsCase{"abc", nullptr, "1", {0, 0, 1}}));
