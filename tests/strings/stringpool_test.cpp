// What the global instance owns: the string pools, the counting of _vsyst_GI,
// and the static instance table. Each test needs the pools and the table as a
// fresh process has them, so it runs in a process of its own.
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"
#include "strings/orv_pool_internal.h"
#include "strings/orv_si_internal.h"

#include "VSYST_ApplInitExit.h"
#include "VSYST_DIManager.h"
#include "V_SIManager.h"
#include "V_StringPool.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

template <class Pool>
class StringPool : public ::testing::Test {
protected:
    typedef typename std::remove_const<typename std::remove_pointer<decltype(Pool::allocCopy(nullptr))>::type>::type Ch;
    static std::basic_string<Ch> text(size_t n, char c) { return std::basic_string<Ch>(n, static_cast<Ch>(c)); }
    static const Ch* copy(size_t n, char c) { return Pool::allocCopy(text(n, c).c_str()); }
    static const Pool& pool() { return *_vsyst_PoolView::instance<Pool>(); }
    static decltype(auto) block(unsigned long i) { return _vsyst_PoolView::blocks(pool())[i]; }
    // "blocks/table size"
    static std::string sizes()
    {
        return std::to_string(_vsyst_PoolView::count(pool())) + "/" + std::to_string(_vsyst_PoolView::capacity(pool()));
    }
};

typedef ::testing::Types<V_StringPool_CHAR, V_StringPool_WCHAR> PoolTypes;
TYPED_TEST_SUITE(StringPool, PoolTypes);

// Names of equal length, so that byte order is the order of k.
V_SIInfo* record(unsigned k) { return V_SIFind(("rec" + std::to_string(10000 + k)).c_str()); }

}  // namespace

TYPED_TEST(StringPool, TextsFollowEachOtherLongTextsGetBlocksOfTheirOwnAndTheTableGrows)
{
    if (!orvtest::aloneInProcess()) return;
    EXPECT_EQ(nullptr, _vsyst_PoolView::instance<TypeParam>());
    // Each text right behind the one before and its terminator; null is stored as "".
    auto* first = this->copy(5, 'h');
    EXPECT_EQ("1/64/32694", this->sizes() + "/" + std::to_string(this->block(0).remaining));
    auto* second = this->copy(3, 'a');
    auto* none = TypeParam::allocCopy(nullptr);
    auto* empty = this->copy(0, 'x');
    EXPECT_TRUE(second == first + 6 && none == second + 4 && empty == none + 1);

    // 40,000 characters get a block of exactly 40,001 and no room; the next text
    // sorts the table by room and goes to the block with the most.
    auto* big = this->copy(40000, 'x');
    EXPECT_TRUE(big == this->block(1).base && big + 40001 == this->block(1).next && !this->block(1).remaining);
    auto* next = this->copy(2, 'n');
    EXPECT_EQ(empty + 1, next);
    EXPECT_TRUE(big == this->block(0).base && this->block(1).remaining == 32685);

    // A second exitPool does nothing; the next text starts a fresh pool.
    TypeParam::exitPool();
    EXPECT_EQ(nullptr, _vsyst_PoolView::instance<TypeParam>());
    TypeParam::exitPool();
    EXPECT_TRUE(this->copy(9, 'c') == this->block(0).base && this->sizes() == "1/64");

    // Texts that fill a block exactly: the 65th block grows the table, texts stay put.
    std::vector<const typename TestFixture::Ch*> where;
    for (int i = 1; i < 65; ++i) {
        if (i == 64) { EXPECT_EQ("64/64", this->sizes()); }
        where.push_back(this->copy(32699, static_cast<char>('!' + i)));
    }
    EXPECT_EQ("65/128", this->sizes());
    for (int i = 1; i < 65; ++i) EXPECT_EQ(this->text(32699, static_cast<char>('!' + i)), where[i - 1]) << i;
    // The newest block takes a text that fills it exactly, though another has more room.
    this->copy(31689, 'a');
    auto* newest = this->copy(31999, 'b');
    EXPECT_EQ(newest + 32000, this->copy(699, 'c'));
}

TEST(GlobalInstance, PoolFillAndAGuardThenTheStaticInstanceTableInByteOrderListedAndDoubled)
{
    if (!orvtest::aloneInProcess()) return;
    const char* hello = V_StringPool_CHAR::allocCopy("hello");
    V_StringPool_CHAR::allocCopy(std::string(40000, 'x').c_str());
    auto entry = [](const char* alt) { return orvtest::diCall("System", "Dump string pool data", alt); };
    EXPECT_EQ("", entry("char based strings") + entry("wchar_t based strings") + entry("start tracing") +
                      entry("stop tracing") + orvtest::written(V_StringPool_CHAR::dump) +
                      orvtest::written(V_StringPool_WCHAR::dump));

    // A guard that is not the first sets nothing up again.
    auto poolEntry = [] {
        VSYST_DICursor c;
        while (c.validG() && std::string(c.getG()) != "System") c.nextG();
        return c.tdD();
    };
    ASSERT_STREQ("Dump string pool data", poolEntry().name());
    poolEntry().setExpanded(1);   // an entry registered anew would start unexpanded
    { _vsyst_GI guard; }
    EXPECT_EQ(1, poolEntry().isExpanded());

    V_SIInfo* b = V_SIFind("b");
    EXPECT_EQ(1024ul, V_SICapacity());
    EXPECT_EQ(hello + 6, b->name);   // a copy in the pool, behind the text before it
    b->value1 = -1;
    b->value2 = 4294967295ul;

    // Case-sensitive, unsigned bytes: 'B' before 'a', 0xE4 after 'z'.
    for (const char* n : {"a", "c", "b", "B", "\xE4", "z", "ab", ""}) V_SIFind(n);
    V_SIFind("a")->value2 = 7;
    orvtest::StdLogCapture log;
    const size_t start = log.size();
    V_SITrace();
    const std::string listing = orvtest::crlf("\nSTART TRACING STATIC INSTANCE MANAGER DATA\n\t\"\",0,0\n\t\"B\",0,0\n"
                                              "\t\"a\",0,7\n\t\"ab\",0,0\n\t\"b\",-1,4294967295\n\t\"c\",0,0\n"
                                              "\t\"z\",0,0\n\t\"\xE4\",0,0\nEND TRACING STATIC INSTANCE MANAGER DATA\n\n");
    EXPECT_EQ(listing, log.since(start));
    ASSERT_TRUE(VSYST_ApplInitExit::doInit());   // the library's handler registers the entry
    EXPECT_EQ(listing, orvtest::diCall("System", "Dump all registrated Static-Data Instances"));
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(nullptr, V_SIFind(nullptr));
    EXPECT_EQ(nullptr, V_SIAt(8));

    // The table doubles and keeps order and values. The "rec" names go behind
    // "c"; a scrambled order of insertion takes every path of the search.
    for (unsigned i = 0; i < 1025; ++i) {
        if (i == 1016) { EXPECT_EQ(1024ul, V_SICapacity()); }
        const unsigned k = (i * 617) % 1025;
        record(k)->value1 = -static_cast<long>(k);
    }
    EXPECT_EQ(2048ul, V_SICapacity());
    for (unsigned k = 0; k < 1025; ++k) {
        EXPECT_EQ(V_SIAt(6 + k), record(k)) << k;   // found, and in its place
        EXPECT_EQ(-static_cast<long>(k), V_SIAt(6 + k)->value1) << k;
    }
    for (unsigned k = 1025; k < 2041; ++k) record(k);   // the 2049th record
    EXPECT_EQ(4096ul, V_SICapacity());
    EXPECT_EQ(-1024, record(1024)->value1);
}
