// V_StringPool_CHAR / V_StringPool_WCHAR block rules and addresses, the pool's
// debug-info entry, and the counting of _vsyst_GI.
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include "VSYST_DIManager.h"
#include "V_StringPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

using orvtest::crlf;

namespace {

// Pool-generic access, so that both pools run the same checks.
template <class Pool>
struct PoolTraits;
template <>
struct PoolTraits<V_StringPool_CHAR> {
    typedef char Ch;
    typedef std::string Str;
    static Str text(size_t n, char c) { return Str(n, c); }
};
template <>
struct PoolTraits<V_StringPool_WCHAR> {
    typedef wchar_t Ch;
    typedef std::wstring Str;
    static Str text(size_t n, char c) { return Str(n, static_cast<wchar_t>(c)); }
};

template <class Pool>
class StringPool : public ::testing::Test {
protected:
    typedef typename PoolTraits<Pool>::Ch Ch;
    typedef typename PoolTraits<Pool>::Str Str;
    // Nothing else in a test process holds pool texts, so each case starts from scratch.
    void SetUp() override { Pool::exitPool(); }
    void TearDown() override { Pool::exitPool(); }
    static const Ch* copy(const Str& s) { return Pool::allocCopy(s.c_str()); }
    static Str text(size_t n, char c) { return PoolTraits<Pool>::text(n, c); }
    static const Pool& pool() { return *Pool::instance(); }
    static size_t used(size_t i) { return static_cast<size_t>(pool().blocks()[i].next - pool().blocks()[i].base); }
};

typedef ::testing::Types<V_StringPool_CHAR, V_StringPool_WCHAR> PoolTypes;
TYPED_TEST_SUITE(StringPool, PoolTypes);

}  // namespace

TYPED_TEST(StringPool, TextsFollowEachOtherInTheFirstBlock)
{
    EXPECT_EQ(nullptr, TypeParam::instance());
    auto* first = this->copy(this->text(5, 'h'));
    ASSERT_NE(nullptr, TypeParam::instance());
    EXPECT_EQ(1ul, this->pool().count());
    EXPECT_EQ(64ul, this->pool().capacity());
    EXPECT_EQ(first, this->pool().blocks()[0].base);
    EXPECT_EQ(32694ul, this->pool().blocks()[0].remaining);

    auto* second = this->copy(this->text(3, 'a'));
    EXPECT_EQ(first + 6, second);   // right behind the first text and its terminator
    EXPECT_EQ(this->text(5, 'h'), first);
    EXPECT_EQ(this->text(3, 'a'), second);
    EXPECT_EQ(32690ul, this->pool().blocks()[0].remaining);

    // A null text is stored as an empty one; an empty text still takes its terminator.
    auto* none = TypeParam::allocCopy(nullptr);
    EXPECT_EQ(second + 4, none);
    EXPECT_EQ(0, none[0]);
    auto* empty = this->copy(this->text(0, 'x'));
    EXPECT_EQ(none + 1, empty);
    EXPECT_EQ(32688ul, this->pool().blocks()[0].remaining);
}

TYPED_TEST(StringPool, ALongTextGetsABlockOfItsOwnAndTheSortFindsRoom)
{
    auto* first = this->copy(this->text(5, 'h'));
    auto* big = this->copy(this->text(40000, 'x'));
    ASSERT_EQ(2ul, this->pool().count());
    EXPECT_EQ(big, this->pool().blocks()[1].base);
    EXPECT_EQ(40001u, this->used(1));
    EXPECT_EQ(0ul, this->pool().blocks()[1].remaining);
    EXPECT_EQ(this->text(40000, 'x'), big);

    // The last block is full: the table is sorted by room and the text goes
    // to the block with the most room, behind the first text.
    auto* next = this->copy(this->text(2, 'n'));
    EXPECT_EQ(first + 6, next);
    EXPECT_EQ(2ul, this->pool().count());
    EXPECT_EQ(first, this->pool().blocks()[1].base);
    EXPECT_EQ(big, this->pool().blocks()[0].base);

    // A text that fills a new block exactly leaves it with no room.
    auto* exact = this->copy(this->text(32699, 'e'));
    ASSERT_EQ(3ul, this->pool().count());
    EXPECT_EQ(exact, this->pool().blocks()[2].base);
    EXPECT_EQ(0ul, this->pool().blocks()[2].remaining);
    EXPECT_EQ(this->text(32699, 'e'), exact);
    EXPECT_EQ(this->text(5, 'h'), first);
    EXPECT_EQ(this->text(2, 'n'), next);
}

TYPED_TEST(StringPool, TheSixtyFifthBlockGrowsTheTableAndTextsStayPut)
{
    typedef typename TestFixture::Str Str;
    std::vector<Str> texts;
    std::vector<const typename TestFixture::Ch*> where;
    for (int i = 0; i < 65; ++i) {
        Str t = this->text(32699, static_cast<char>('A' + i % 26));   // fills a block exactly
        t[0] = static_cast<typename TestFixture::Ch>('0' + i / 10);
        t[1] = static_cast<typename TestFixture::Ch>('0' + i % 10);
        texts.push_back(t);
        where.push_back(this->copy(t));
        if (i == 63) {
            EXPECT_EQ(64ul, this->pool().count());
            EXPECT_EQ(64ul, this->pool().capacity());
        }
    }
    EXPECT_EQ(65ul, this->pool().count());
    EXPECT_EQ(128ul, this->pool().capacity());
    for (int i = 0; i < 65; ++i) EXPECT_EQ(texts[i], where[i]) << "text " << i;
    // Every text still has a block of its own.
    std::vector<const typename TestFixture::Ch*> bases;
    for (unsigned long i = 0; i < this->pool().count(); ++i) bases.push_back(this->pool().blocks()[i].base);
    for (int i = 0; i < 65; ++i) EXPECT_NE(bases.end(), std::find(bases.begin(), bases.end(), where[i])) << i;
}

TYPED_TEST(StringPool, ExitPoolStartsAFreshPool)
{
    this->copy(this->text(100, 'a'));
    this->copy(this->text(40000, 'b'));
    ASSERT_EQ(2ul, this->pool().count());
    TypeParam::exitPool();
    EXPECT_EQ(nullptr, TypeParam::instance());
    TypeParam::exitPool();   // again: nothing to do
    auto* p = this->copy(this->text(9, 'c'));
    ASSERT_NE(nullptr, TypeParam::instance());
    EXPECT_EQ(1ul, this->pool().count());
    EXPECT_EQ(p, this->pool().blocks()[0].base);
    EXPECT_EQ(32690ul, this->pool().blocks()[0].remaining);
}

TYPED_TEST(StringPool, AssignmentIsAShallowCopy)
{
    this->copy(this->text(5, 'h'));
    TypeParam copy;
    EXPECT_EQ(0ul, copy.count());
    copy = this->pool();
    EXPECT_EQ(this->pool().blocks(), copy.blocks());
    EXPECT_EQ(this->pool().capacity(), copy.capacity());
    EXPECT_EQ(this->pool().count(), copy.count());
    copy = TypeParam();   // hand the blocks back before the copy is destroyed
    EXPECT_EQ(nullptr, copy.blocks());
}

TEST(StringPoolEntry, DumpsThePoolsFillForItsFirstTwoAlternatives)
{
    V_StringPool_CHAR::exitPool();
    V_StringPool_WCHAR::exitPool();
    V_StringPool_CHAR::allocCopy("hello");
    V_StringPool_CHAR::allocCopy(std::string(40000, 'x').c_str());
    auto text = [](const char* alternative) {
        orvtest::CaptureStream cap;
        VSYST_DIManager::call("System", "Dump string pool data", alternative, cap.stream());
        return cap.text();
    };
    EXPECT_EQ(crlf("\nString pool of char based strings : 2 blocks (table of 64), 40007 characters used, 32694 free\n"),
              text("char based strings"));
    EXPECT_EQ(text("char based strings"), text(nullptr));
    EXPECT_EQ(crlf("\nString pool of wchar_t based strings : empty\n"), text("wchar_t based strings"));
    EXPECT_EQ("", text("start tracing"));
    EXPECT_EQ("", text("stop tracing"));

    orvtest::CaptureStream cap;
    V_StringPool_CHAR::dump(cap.stream());
    V_StringPool_WCHAR::dump(cap.stream());
    EXPECT_EQ("", cap.text());
    V_StringPool_CHAR::exitPool();
}

TEST(GlobalInstance, OnlyTheFirstSetsUpAndOnlyTheLastTakesDown)
{
    // The library holds four guards of its own.
    EXPECT_EQ(4ul, _vsyst_GI::s_count);
    auto poolEntry = [] {
        VSYST_DICursor c;
        while (c.validG() && std::strcmp(c.getG(), "System") != 0) c.nextG();
        return c.tdD();
    };
    ASSERT_STREQ("Dump string pool data", poolEntry().name());
    // A node registered anew would start unexpanded.
    poolEntry().setExpanded(1);
    const char* text = V_StringPool_CHAR::allocCopy("kept");
    const V_StringPool_CHAR* pool = V_StringPool_CHAR::instance();
    {
        _vsyst_GI one, two;
        EXPECT_EQ(6ul, _vsyst_GI::s_count);
        one = two;   // assignment changes nothing
        EXPECT_EQ(6ul, _vsyst_GI::s_count);
        EXPECT_EQ(1, poolEntry().isExpanded());
    }
    EXPECT_EQ(4ul, _vsyst_GI::s_count);
    // The entry was not registered again and the pool lives on.
    EXPECT_EQ(1, poolEntry().isExpanded());
    EXPECT_EQ(pool, V_StringPool_CHAR::instance());
    EXPECT_STREQ("kept", text);
}
