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
#include <vector>

using orvtest::crlf;

namespace {

std::vector<std::string> names()
{
    std::vector<std::string> r;
    for (unsigned long i = 0; i < V_SICount(); ++i) r.push_back(V_SIAt(i)->name);
    return r;
}

bool inPool(const char* p)
{
    const V_StringPool_CHAR* pool = V_StringPool_CHAR::instance();
    for (unsigned long i = 0; pool && i < pool->count(); ++i)
        if (p >= pool->blocks()[i].base && p < pool->blocks()[i].next) return true;
    return false;
}

}  // namespace

TEST(SIManager, RecordsAreFoundOrInsertedInByteOrder)
{
    ASSERT_EQ(0ul, V_SICount());   // nobody in this process registered a record before
    char name[] = "b";
    V_SIInfo* b = V_SIFind(name);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(1ul, V_SICount());
    EXPECT_EQ(1024ul, V_SICapacity());
    EXPECT_STREQ("b", b->name);
    EXPECT_NE(name, b->name);   // a copy, held in the string pool
    EXPECT_TRUE(inPool(b->name));
    EXPECT_EQ(0, b->value1);
    EXPECT_EQ(0ul, b->value2);
    b->value1 = 5;

    V_SIFind("a");
    V_SIFind("c");
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), names());
    V_SIInfo* again = V_SIFind("b");
    EXPECT_EQ(3ul, V_SICount());
    EXPECT_STREQ("b", again->name);
    EXPECT_EQ(5, again->value1);

    // Case-sensitive, unsigned bytes: 'B' before 'a', 0xE4 after 'z'.
    V_SIFind("B");
    V_SIFind("\xE4");
    V_SIFind("z");
    V_SIFind("ab");
    V_SIFind("");
    EXPECT_EQ((std::vector<std::string>{"", "B", "a", "ab", "b", "c", "z", "\xE4"}), names());
    EXPECT_EQ(nullptr, V_SIFind(nullptr));
    EXPECT_EQ(8ul, V_SICount());
    EXPECT_EQ(nullptr, V_SIAt(8));
}

TEST(SIManager, TheTableDoublesAndKeepsOrderAndValues)
{
    // Insert in a scrambled order so that every search path is used.
    char name[16];
    for (unsigned i = 0; i < 1025; ++i) {
        unsigned k = (i * 617) % 1025;
        std::snprintf(name, sizeof name, "rec%04u", k);
        V_SIInfo* r = V_SIFind(name);
        r->value1 = -static_cast<long>(k);
        r->value2 = k * 3;
        if (i == 1023) {
            EXPECT_EQ(1024ul, V_SICapacity());
        }
    }
    EXPECT_EQ(1025ul, V_SICount());
    EXPECT_EQ(2048ul, V_SICapacity());
    for (unsigned k = 0; k < 1025; ++k) {
        std::snprintf(name, sizeof name, "rec%04u", k);
        const V_SIInfo* r = V_SIAt(k);
        ASSERT_STREQ(name, r->name);
        EXPECT_EQ(-static_cast<long>(k), r->value1);
        EXPECT_EQ(k * 3ul, r->value2);
        EXPECT_EQ(r, V_SIFind(name));
    }
    EXPECT_EQ(1025ul, V_SICount());
    // Growth doubles each time: the 2049th record gets a table of 4096.
    for (unsigned k = 1025; k < 2049; ++k) {
        std::snprintf(name, sizeof name, "rec%04u", k);
        V_SIFind(name);
    }
    EXPECT_EQ(2049ul, V_SICount());
    EXPECT_EQ(4096ul, V_SICapacity());
    EXPECT_EQ(-1024, V_SIFind("rec1024")->value1);
}

TEST(SIManager, ListingGoesToTheStandardStreamAndThroughTheRegistry)
{
    orvtest::LogFolderCapture log;
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", nullptr);
    V_SIInfo* a = V_SIFind("a");
    a->value1 = -1;
    a->value2 = 7;
    V_SIFind("b");
    V_SIFind("max")->value2 = 4294967295ul;
    const std::string listing = crlf("\nSTART TRACING STATIC INSTANCE MANAGER DATA\n"
                                     "\t\"a\",-1,7\n"
                                     "\t\"b\",0,0\n"
                                     "\t\"max\",0,4294967295\n"
                                     "END TRACING STATIC INSTANCE MANAGER DATA\n\n");

    ASSERT_TRUE(VSYST_ApplInitExit::doInit());   // the library's handler registers the entry
    {
        orvtest::CaptureStream cap;
        VSYST_DIManager::call("System", "Dump all registrated Static-Data Instances", nullptr, cap.stream());
        EXPECT_EQ(listing, cap.text());
    }
    V_SITrace();
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(orvtest::openingBanner() + listing + crlf("\nVSYST_ApplInitExit::doExit s_initCounter==0") +
                  orvtest::closingBanner(),
              log.text());
}
