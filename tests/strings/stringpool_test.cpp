// V_StringPool_CHAR / V_StringPool_WCHAR block rules and addresses, the pool's
// debug-info entry, and the counting of _vsyst_GI.
#include "diag/LogCapture.h"

#include "VSYST_DIManager.h"
#include "V_StringPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// Both pools run the same checks; nothing else in a test process holds pool texts.
template <class Pool>
class StringPool : public ::testing::Test {
protected:
    typedef typename std::remove_pointer<decltype(Pool::Block::base)>::type Ch;
    static std::basic_string<Ch> text(size_t n, char c) { return std::basic_string<Ch>(n, static_cast<Ch>(c)); }
    static const Ch* copy(size_t n, char c) { return Pool::allocCopy(text(n, c).c_str()); }
    static const Pool& pool() { return *Pool::instance(); }
    static const typename Pool::Block& block(unsigned long i) { return pool().blocks()[i]; }
};

typedef ::testing::Types<V_StringPool_CHAR, V_StringPool_WCHAR> PoolTypes;
TYPED_TEST_SUITE(StringPool, PoolTypes);

}  // namespace

TYPED_TEST(StringPool, TextsFollowEachOtherAndALongTextGetsABlockOfItsOwn)
{
    EXPECT_EQ(nullptr, TypeParam::instance());
    auto* first = this->copy(5, 'h');
    EXPECT_EQ(1ul, this->pool().count());
    EXPECT_EQ(64ul, this->pool().capacity());
    EXPECT_EQ(first, this->block(0).base);
    EXPECT_EQ(32694ul, this->block(0).remaining);

    // The second text goes right behind the first and its terminator. A null
    // text is stored as an empty one; an empty text still takes its terminator.
    auto* second = this->copy(3, 'a');
    auto* none = TypeParam::allocCopy(nullptr);
    auto* empty = this->copy(0, 'x');
    EXPECT_EQ(first + 6, second);
    EXPECT_EQ(second + 4, none);
    EXPECT_EQ(none + 1, empty);
    EXPECT_EQ(this->text(0, 'x'), none);

    // 40,000 characters get a block of exactly 40,001. It has no room left, so
    // the next text sorts the table by room and goes to the block with the most.
    auto* big = this->copy(40000, 'x');
    ASSERT_EQ(2ul, this->pool().count());
    EXPECT_EQ(big, this->block(1).base);
    EXPECT_EQ(big + 40001, this->block(1).next);
    EXPECT_EQ(0ul, this->block(1).remaining);
    auto* next = this->copy(2, 'n');
    EXPECT_EQ(empty + 1, next);
    EXPECT_EQ(big, this->block(0).base);
    EXPECT_EQ(32685ul, this->block(1).remaining);

    // A text that fills a new block exactly leaves it no room.
    auto* exact = this->copy(32699, 'e');
    ASSERT_EQ(3ul, this->pool().count());
    EXPECT_EQ(exact, this->block(2).base);
    EXPECT_EQ(0ul, this->block(2).remaining);
    EXPECT_EQ(this->text(5, 'h'), first);
    EXPECT_EQ(this->text(40000, 'x'), big);
    EXPECT_EQ(this->text(32699, 'e'), exact);

    // Assignment copies the three fields and nothing else.
    TypeParam copy;
    copy = this->pool();
    EXPECT_EQ(this->pool().blocks(), copy.blocks());
    EXPECT_EQ(64ul, copy.capacity());
    EXPECT_EQ(3ul, copy.count());
    copy = TypeParam();   // hands the blocks back before the copy is destroyed

    // exitPool ends the pool (a second call does nothing); the next text starts a fresh one.
    TypeParam::exitPool();
    EXPECT_EQ(nullptr, TypeParam::instance());
    TypeParam::exitPool();
    auto* fresh = this->copy(9, 'c');
    EXPECT_EQ(fresh, this->block(0).base);
    EXPECT_EQ(1ul, this->pool().count());
}

TYPED_TEST(StringPool, TheSixtyFifthBlockGrowsTheTableAndTextsStayPut)
{
    std::vector<std::basic_string<typename TestFixture::Ch>> texts;
    std::vector<const typename TestFixture::Ch*> where;
    for (int i = 0; i < 65; ++i) {
        if (i == 64) {
            EXPECT_EQ(64ul, this->pool().capacity());
        }
        texts.push_back(this->text(32699, static_cast<char>('!' + i)));   // fills a block exactly
        where.push_back(TypeParam::allocCopy(texts.back().c_str()));
    }
    EXPECT_EQ(65ul, this->pool().count());
    EXPECT_EQ(128ul, this->pool().capacity());
    for (int i = 0; i < 65; ++i) EXPECT_EQ(texts[i], where[i]) << i;
    // Every text still has a block of its own.
    std::vector<const typename TestFixture::Ch*> bases;
    for (int i = 0; i < 65; ++i) bases.push_back(this->block(i).base);
    std::sort(bases.begin(), bases.end());
    std::sort(where.begin(), where.end());
    EXPECT_EQ(where, bases);
}

TEST(StringPoolEntry, DumpsThePoolsFillForItsFirstTwoAlternatives)
{
    V_StringPool_CHAR::allocCopy("hello");
    V_StringPool_CHAR::allocCopy(std::string(40000, 'x').c_str());
    auto entry = [](const char* alternative) {
        return orvtest::written(
            [&](VSYST_DumpStream& s) { VSYST_DIManager::call("System", "Dump string pool data", alternative, s); });
    };
    EXPECT_EQ(orvtest::crlf("\nString pool of char based strings : 2 blocks (table of 64), 40007 characters used, "
                            "32694 free\n"),
              entry("char based strings"));
    EXPECT_EQ(entry("char based strings"), entry(nullptr));
    EXPECT_EQ(orvtest::crlf("\nString pool of wchar_t based strings : empty\n"), entry("wchar_t based strings"));
    EXPECT_EQ("", entry("start tracing") + entry("stop tracing"));
    EXPECT_EQ("", orvtest::written(V_StringPool_CHAR::dump) + orvtest::written(V_StringPool_WCHAR::dump));
}

TEST(GlobalInstance, OnlyTheFirstSetsUpAndOnlyTheLastTakesDown)
{
    EXPECT_EQ(4ul, _vsyst_GI::s_count);   // the library's own guards
    auto poolEntry = [] {
        VSYST_DICursor c;
        while (c.validG() && std::string(c.getG()) != "System") c.nextG();
        return c.tdD();
    };
    ASSERT_STREQ("Dump string pool data", poolEntry().name());
    poolEntry().setExpanded(1);   // an entry registered anew would start unexpanded
    const char* text = V_StringPool_CHAR::allocCopy("kept");
    const V_StringPool_CHAR* pool = V_StringPool_CHAR::instance();
    {
        _vsyst_GI one, two;
        EXPECT_EQ(6ul, _vsyst_GI::s_count);
        one = two;   // changes nothing
        EXPECT_EQ(6ul, _vsyst_GI::s_count);
    }
    EXPECT_EQ(4ul, _vsyst_GI::s_count);
    EXPECT_EQ(1, poolEntry().isExpanded());
    EXPECT_EQ(pool, V_StringPool_CHAR::instance());
    EXPECT_STREQ("kept", text);
}
