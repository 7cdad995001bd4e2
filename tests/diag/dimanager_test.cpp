// VSYST_DIManager, its cursor and TREEDATA handles, the registry dump, and
// V_DebugSettings.
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"
#include "V_Exception.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using orvtest::crlf;

namespace {

struct Call {
    std::string who;
    unsigned long index;
};
std::vector<Call> g_calls;

void cbFirst(VSYST_DumpStream& s, unsigned long i) { g_calls.push_back({"first", i}); s << "first"; }
void cbSecond(VSYST_DumpStream& s, unsigned long i) { g_calls.push_back({"second", i}); s << "second"; }

// "name:index" of every alternative of group/info, in list order.
std::vector<std::string> alternatives(const char* group, const char* info)
{
    std::vector<std::string> r;
    for (_vsyst_DINodeG* g = VSYST_DIManager::firstGroup(); g; g = g->nextGroup()) {
        if (std::string(g->name()) != group) continue;
        for (_vsyst_DINodeD* d = g->firstInfo(); d; d = d->nextInfo()) {
            if (std::string(d->name()) != info) continue;
            for (_vsyst_DINodeA* a = d->firstAlternative(); a; a = a->nextAlternative())
                r.push_back(std::string(a->name()) + ":" + std::to_string(a->index()));
        }
    }
    return r;
}

// "group/info" of every info the cursor visits.
std::vector<std::string> walk()
{
    std::vector<std::string> r;
    for (VSYST_DICursor c; c.validG(); c.nextG())
        for (; c.validD(); c.nextD()) r.push_back(std::string(c.getG()) + "/" + c.getD());
    return r;
}

std::vector<std::string> groups()
{
    std::vector<std::string> r;
    for (_vsyst_DINodeG* g = VSYST_DIManager::firstGroup(); g; g = g->nextGroup()) r.push_back(g->name());
    return r;
}

unsigned long callIndex(const char* group, const char* info, const char* alternative)
{
    g_calls.clear();
    orvtest::CaptureStream cap;
    VSYST_DIManager::call(group, info, alternative, cap.stream());
    return g_calls.size() == 1 ? g_calls[0].index : 0xDEADul;
}

}  // namespace

TEST(DIManager, ListsStayInUnsignedByteOrderAndAddReplaces)
{
    VSYST_DIManager::add("Grp", "B", nullptr, cbFirst);
    VSYST_DIManager::add("Grp", "A", "one\ntwo", cbFirst);
    VSYST_DIManager::add("Grp", "a", nullptr, cbFirst);      // upper case sorts first
    VSYST_DIManager::add("Grp", "\xE4x", nullptr, cbFirst);  // 0xE4 is above every ASCII byte
    VSYST_DIManager::add("Grp", "z", nullptr, cbFirst);
    VSYST_DIManager::add("\x80high", "i", nullptr, cbFirst);
    VSYST_DIManager::add("Abc", "i", nullptr, cbFirst);
    EXPECT_EQ((std::vector<std::string>{"Abc", "Grp", "System", "\x80high"}), groups());
    EXPECT_EQ((std::vector<std::string>{"Abc/i", "Grp/A", "Grp/B", "Grp/a", "Grp/z", "Grp/\xE4x", "System/Dump string pool data",
                                        "\x80high/i"}),
              walk());

    // Registering A again replaces its callback and its alternatives.
    VSYST_DIManager::add("Grp", "A", "three", cbSecond);
    EXPECT_EQ((std::vector<std::string>{"three:0"}), alternatives("Grp", "A"));
    EXPECT_EQ(0ul, callIndex("Grp", "A", "three"));
    ASSERT_EQ(1u, g_calls.size());
    EXPECT_EQ("second", g_calls[0].who);
    EXPECT_EQ(8u, walk().size());

    // Null arguments register nothing.
    VSYST_DIManager::add(nullptr, "x", nullptr, cbFirst);
    VSYST_DIManager::add("Grp", nullptr, nullptr, cbFirst);
    VSYST_DIManager::add("Grp", "nocb", nullptr, nullptr);
    EXPECT_EQ(8u, walk().size());
}

TEST(DIManager, AlternativesAreSplitSortedAndIndexedByPosition)
{
    // The library's own entry, registered by the global instance at load.
    EXPECT_EQ((std::vector<std::string>{"char based strings:0", "start tracing:2", "stop tracing:3", "wchar_t based strings:1"}),
              alternatives("System", "Dump string pool data"));

    VSYST_DIManager::add("T", "pool", "char based strings\nwchar_t based strings\nstart tracing\nstop tracing", cbFirst);
    EXPECT_EQ(3ul, callIndex("T", "pool", "stop tracing"));
    EXPECT_EQ(1ul, callIndex("T", "pool", "wchar_t based strings"));
    EXPECT_EQ(0ul, callIndex("T", "pool", nullptr));
    EXPECT_EQ(0ul, callIndex("T", "pool", "no such alternative"));
    EXPECT_EQ(0ul, callIndex("T", "pool", "Stop tracing"));   // names are case-sensitive

    // Empty pieces are skipped and do not take an index.
    VSYST_DIManager::add("T", "gaps", "\n\nx\n\ny\n", cbFirst);
    EXPECT_EQ((std::vector<std::string>{"x:0", "y:1"}), alternatives("T", "gaps"));
    VSYST_DIManager::add("T", "blank", "\n\n", cbFirst);
    EXPECT_TRUE(alternatives("T", "blank").empty());

    // Unknown group or info: the callback is not called.
    EXPECT_EQ(0xDEADul, callIndex("T", "unknown", nullptr));
    EXPECT_EQ(0xDEADul, callIndex("unknown", "pool", nullptr));
    EXPECT_EQ(0xDEADul, callIndex(nullptr, "pool", nullptr));
}

TEST(DIManager, LongAlternativesTextsAreCutAt1023Characters)
{
    // 1023 characters are kept whole.
    std::string exact = "a\n" + std::string(1021, 'b');
    VSYST_DIManager::add("T", "exact", exact.c_str(), cbFirst);
    EXPECT_EQ((std::vector<std::string>{"a:0", std::string(1021, 'b') + ":1"}), alternatives("T", "exact"));

    // Beyond that the text is cut, also in the middle of a piece.
    std::string longText = "a\n" + std::string(3000, 'b') + "\nzzz";
    VSYST_DIManager::add("T", "long", longText.c_str(), cbFirst);
    EXPECT_EQ((std::vector<std::string>{"a:0", std::string(1021, 'b') + ":1"}), alternatives("T", "long"));

    // A cut that falls on a line feed leaves no empty alternative.
    std::string onBreak = std::string(1022, 'c') + "\nd";
    VSYST_DIManager::add("T", "break", onBreak.c_str(), cbFirst);
    EXPECT_EQ((std::vector<std::string>{std::string(1022, 'c') + ":0"}), alternatives("T", "break"));
}

TEST(DIManager, RemoveKeepsTheGroupButCursorAndDumpSkipIt)
{
    VSYST_DIManager::add("Empty", "only", nullptr, cbFirst);
    VSYST_DIManager::add("Keep", "k1", "alt b\nalt a", cbFirst);
    VSYST_DIManager::add("Keep", "k2", nullptr, cbSecond);
    VSYST_DIManager::remove("Empty", "only");
    VSYST_DIManager::remove("Empty", "only");     // again: nothing
    VSYST_DIManager::remove("Nowhere", "only");   // unknown group
    VSYST_DIManager::remove("Keep", "absent");
    VSYST_DIManager::remove(nullptr, nullptr);
    EXPECT_EQ((std::vector<std::string>{"Empty", "Keep", "System"}), groups());
    EXPECT_EQ((std::vector<std::string>{"Keep/k1", "Keep/k2", "System/Dump string pool data"}), walk());
    EXPECT_EQ(0xDEADul, callIndex("Empty", "only", nullptr));

    orvtest::CaptureStream cap;
    VSYST_DIManager::dumpRegistry(cap.stream(), 0);
    EXPECT_EQ(crlf("\nSTART OF DUMPING THE DEBUG INFO CALLBACK FUNCTION REGISTRY :\n"
                   "\tGROUP : \"Keep\"\n"
                   "\t\tINFO : \"k1\"\n\t\t\t--> \"alt a\"\n\t\t\t--> \"alt b\"\n"
                   "\t\tINFO : \"k2\" [no alternatives]\n"
                   "\tGROUP : \"System\"\n"
                   "\t\tINFO : \"Dump string pool data\"\n\t\t\t--> \"char based strings\"\n\t\t\t--> \"start tracing\""
                   "\n\t\t\t--> \"stop tracing\"\n\t\t\t--> \"wchar_t based strings\"\n"
                   "END OF DUMPING THE DEBUG INFO CALLBACK FUNCTION REGISTRY :\n"),
              cap.text());

    // Teardown empties the root list; the registry still takes new entries.
    VSYST_DIManager::removeAll();
    EXPECT_EQ(nullptr, VSYST_DIManager::firstGroup());
    VSYST_DICursor none;
    EXPECT_FALSE(none.validG());
    EXPECT_FALSE(none.validD());
    EXPECT_FALSE(none.validA());
    EXPECT_EQ(nullptr, none.getG());
    VSYST_DIManager::add("After", "i", nullptr, cbFirst);
    EXPECT_EQ((std::vector<std::string>{"After/i"}), walk());
}

TEST(DIManager, CursorWalksAlternativesAndTreeDataHandlesRoundTrip)
{
    VSYST_DIManager::removeAll();
    VSYST_DIManager::add("G1", "d1", "y\nx", cbFirst);
    VSYST_DIManager::add("G1", "d2", nullptr, cbFirst);
    VSYST_DIManager::add("G0", "gone", nullptr, cbFirst);
    VSYST_DIManager::remove("G0", "gone");   // the first group has no info: skipped
    VSYST_DIManager::add("G2", "d3", "z", cbFirst);

    VSYST_DICursor c;
    ASSERT_TRUE(c.validG());
    EXPECT_STREQ("G1", c.getG());
    EXPECT_STREQ("d1", c.getD());
    EXPECT_TRUE(c.withA());
    EXPECT_STREQ("x", c.getA());
    VSYST_DICursor::TREEDATA alt = c.tdA();
    c.nextA();
    EXPECT_STREQ("y", c.getA());
    c.nextA();
    EXPECT_FALSE(c.validA());
    c.nextA();   // past the end stays there
    EXPECT_FALSE(c.validA());
    c.nextD();
    EXPECT_STREQ("d2", c.getD());
    EXPECT_FALSE(c.withA());
    EXPECT_FALSE(c.validA());
    VSYST_DICursor::TREEDATA info = c.tdD();
    c.nextD();
    EXPECT_FALSE(c.validD());
    EXPECT_TRUE(c.validG());
    VSYST_DICursor::TREEDATA group = c.tdG();
    c.nextG();
    EXPECT_STREQ("G2", c.getG());
    EXPECT_STREQ("d3", c.getD());
    EXPECT_STREQ("z", c.getA());
    c.nextG();
    EXPECT_FALSE(c.validG());
    EXPECT_FALSE(c.validD());
    EXPECT_FALSE(c.validA());
    c.nextG();
    c.nextD();
    EXPECT_FALSE(c.validG());

    // A handle travels through the integer a tree item carries and back.
    LONG_PTR raw = info;
    VSYST_DICursor::TREEDATA back(raw);
    EXPECT_TRUE(back.isValid());
    EXPECT_STREQ("d2", back.name());
    EXPECT_STREQ("G1", group.name());
    EXPECT_STREQ("x", alt.name());
    EXPECT_EQ(0, back.isExpanded());
    back.setExpanded(5);
    EXPECT_EQ(1, info.isExpanded());   // the flag lives in the node
    VSYST_DICursor::TREEDATA copy;
    copy = back;
    copy.setExpanded(0);
    EXPECT_EQ(0, info.isExpanded());

    VSYST_DICursor::TREEDATA invalid;
    EXPECT_FALSE(invalid.isValid());
    EXPECT_EQ(nullptr, invalid.name());
    EXPECT_EQ(0, invalid.isExpanded());
    invalid.setExpanded(1);
    EXPECT_EQ(0, static_cast<LONG_PTR>(invalid));
}

TEST(DIManager, CallWritesToTheGivenStream)
{
    VSYST_DIManager::add("Alpha", "info", nullptr, cbFirst);
    orvtest::CaptureStream cap;
    VSYST_DIManager::call("Alpha", "info", nullptr, cap.stream());
    EXPECT_EQ("first", cap.text());
}

// ---- V_DebugSettings ---------------------------------------------------------

TEST(DebugSettings, EnvironmentFillsItsThreeEntriesOnFirstUse)
{
    orvtest::ScopedEnv level("CM_DEBUG_VERBOSITYLEVEL", "3");
    orvtest::ScopedEnv update("CM_DEBUG_UPDATE_TASKLIST", "0");   // existence counts, not the value
    orvtest::ScopedEnv readOnly("CM_DEBUG_READONLY_TASKLIST", nullptr);
    EXPECT_EQ(3, V_DebugSettings::getValue(V_DebugSettings::VFCKE_VerbosityLevel));
    EXPECT_EQ(1, V_DebugSettings::getValue(V_DebugSettings::VFCKE_UpdateTaskList));
    EXPECT_EQ(0, V_DebugSettings::getValue(V_DebugSettings::VFCKE_ReadOnlyTaskList));
    for (int i = 1; i < 20; ++i)
        if (i != 6) {
            EXPECT_EQ(0, V_DebugSettings::getValue(static_cast<V_DebugSettings::VFCKE_value>(i))) << i;
        }

    // Read once per process: later changes of the environment do not count.
    orvtest::ScopedEnv later("CM_DEBUG_READONLY_TASKLIST", "1");
    EXPECT_EQ(0, V_DebugSettings::getValue(V_DebugSettings::VFCKE_ReadOnlyTaskList));
}

TEST(DebugSettings, ValuesSetByClientsStay)
{
    orvtest::ScopedEnv level("CM_DEBUG_VERBOSITYLEVEL", "7");
    orvtest::ScopedEnv update("CM_DEBUG_UPDATE_TASKLIST", nullptr);
    orvtest::ScopedEnv readOnly("CM_DEBUG_READONLY_TASKLIST", "yes");
    // The environment is read before the first write, so the write wins.
    V_DebugSettings::setValue(V_DebugSettings::VFCKE_VerbosityLevel, 9);
    V_DebugSettings::setValue(static_cast<V_DebugSettings::VFCKE_value>(19), -4);
    EXPECT_EQ(9, V_DebugSettings::getValue(V_DebugSettings::VFCKE_VerbosityLevel));
    EXPECT_EQ(-4, V_DebugSettings::getValue(static_cast<V_DebugSettings::VFCKE_value>(19)));
    EXPECT_EQ(0, V_DebugSettings::getValue(V_DebugSettings::VFCKE_UpdateTaskList));
    EXPECT_EQ(1, V_DebugSettings::getValue(V_DebugSettings::VFCKE_ReadOnlyTaskList));
}

TEST(DebugSettings, NonNumericLevelIsZeroAndBadIndicesThrow)
{
    orvtest::ScopedEnv level("CM_DEBUG_VERBOSITYLEVEL", "abc");
    EXPECT_EQ(0, V_DebugSettings::getValue(V_DebugSettings::VFCKE_VerbosityLevel));
    EXPECT_THROW(V_DebugSettings::getValue(V_DebugSettings::VFCKE_NumValues), VSYST_OutOfBounds);
    EXPECT_THROW(V_DebugSettings::setValue(static_cast<V_DebugSettings::VFCKE_value>(-1), 1), VSYST_OutOfBounds);
    EXPECT_EQ(0, V_DebugSettings::getValue(V_DebugSettings::VFCKE_VerbosityLevel));
}

TEST(DebugSettings, UnsetEnvironmentLeavesZeros)
{
    orvtest::ScopedEnv level("CM_DEBUG_VERBOSITYLEVEL", nullptr);
    orvtest::ScopedEnv update("CM_DEBUG_UPDATE_TASKLIST", nullptr);
    orvtest::ScopedEnv readOnly("CM_DEBUG_READONLY_TASKLIST", nullptr);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(0, V_DebugSettings::getValue(static_cast<V_DebugSettings::VFCKE_value>(i))) << i;
}
