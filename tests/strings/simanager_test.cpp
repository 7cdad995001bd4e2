// V_SIFind / V_SITrace: sorted insertion, growth, listing and its debug-info entry.
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include "VSYST_ApplInitExit.h"
#include "VSYST_DIManager.h"
#include "V_SIManager.h"
#include "V_StringPool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string names()
{
    std::string r;
    for (unsigned long i = 0; i < V_SICount(); ++i) r += std::string(V_SIAt(i)->name) + "|";
    return r;
}

}  // namespace

TEST(SIManager, RecordsAreFoundOrInsertedInByteOrder)
{
    char name[] = "b";
    V_SIInfo* b = V_SIFind(name);
    EXPECT_EQ(1024ul, V_SICapacity());
    EXPECT_EQ("b|", names());
    EXPECT_EQ(V_StringPool_CHAR::instance()->blocks()[0].base, b->name);   // a copy: the pool's first text
    EXPECT_EQ(0, b->value1);
    EXPECT_EQ(0ul, b->value2);
    b->value1 = 5;

    // Case-sensitive, unsigned bytes: 'B' before 'a', 0xE4 after 'z'.
    for (const char* n : {"a", "c", "b", "B", "\xE4", "z", "ab", ""}) V_SIFind(n);
    EXPECT_EQ("|B|a|ab|b|c|z|\xE4|", names());
    EXPECT_EQ(5, V_SIFind("b")->value1);
    EXPECT_EQ(nullptr, V_SIFind(nullptr));
    EXPECT_EQ(nullptr, V_SIAt(8));
}

TEST(SIManager, TheTableDoublesAndKeepsOrderAndValues)
{
    // A scrambled order of insertion takes every path of the search.
    char name[16];
    for (unsigned i = 0; i < 1025; ++i) {
        const unsigned k = (i * 617) % 1025;
        if (i == 1024) {
            EXPECT_EQ(1024ul, V_SICapacity());
        }
        std::snprintf(name, sizeof name, "rec%04u", k);
        V_SIFind(name)->value1 = -static_cast<long>(k);
    }
    EXPECT_EQ(2048ul, V_SICapacity());
    for (unsigned k = 0; k < 1025; ++k) {
        const V_SIInfo* r = V_SIAt(k);
        std::snprintf(name, sizeof name, "rec%04u", k);
        ASSERT_STREQ(name, r->name);
        EXPECT_EQ(-static_cast<long>(k), r->value1);
        EXPECT_EQ(r, V_SIFind(name));
    }
    EXPECT_EQ(1025ul, V_SICount());
    // Each growth doubles: the 2049th record gets a table of 4096.
    for (unsigned k = 1025; k < 2049; ++k) {
        std::snprintf(name, sizeof name, "rec%04u", k);
        V_SIFind(name);
    }
    EXPECT_EQ(4096ul, V_SICapacity());
    EXPECT_EQ(-1024, V_SIFind("rec1024")->value1);
}

TEST(SIManager, ListingGoesToTheStandardStreamAndThroughTheRegistry)
{
    orvtest::StdLogCapture log;
    V_SIInfo* a = V_SIFind("a");
    a->value1 = -1;
    a->value2 = 7;
    V_SIFind("b");
    V_SIFind("max")->value2 = 4294967295ul;
    const std::string listing = orvtest::crlf("\nSTART TRACING STATIC INSTANCE MANAGER DATA\n"
                                              "\t\"a\",-1,7\n"
                                              "\t\"b\",0,0\n"
                                              "\t\"max\",0,4294967295\n"
                                              "END TRACING STATIC INSTANCE MANAGER DATA\n\n");
    const size_t start = log.size();
    V_SITrace();
    EXPECT_EQ(listing, log.since(start));

    ASSERT_TRUE(VSYST_ApplInitExit::doInit());   // the library's handler registers the entry
    EXPECT_EQ(listing, orvtest::written([](VSYST_DumpStream& s) {
                  VSYST_DIManager::call("System", "Dump all registrated Static-Data Instances", nullptr, s);
              }));
    VSYST_ApplInitExit::doExit();
}
