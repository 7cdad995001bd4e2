// Reading when memory runs out part-way: this executable's allocation can be
// told to fail at its n-th call (native builds, where the library's
// allocations are this executable's).
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

static long g_failIn = -1;   // allocations until one fails; -1: none fails

void* operator new(std::size_t size)
{
    if (g_failIn >= 0 && g_failIn-- == 0) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

// Each allocation of a read fails once in turn. The interrupted read leaves a
// tree that can be written, and the next read into the same object (or the
// next parse into the same builder) gives exactly the tree it should.
TEST(XmlReadAfterFailure, EveryAllocationOfASmallRead)
{
    const auto failsAt = [](long n, auto read) {
        g_failIn = n;
        bool failed = false;
        try {
            read();
        } catch (const std::bad_alloc&) {
            failed = true;
        }
        g_failIn = -1;
        return failed;
    };
    const std::string bracketed = "<R><k>1</k><C><x>2</x><C><y>3</y></C></C><j>4</j></R>";
    const std::string next = "<S><k>1</k><D><z>2</z></D></S>";
    const std::string expected = "<S>\n\t<k>1</k>\n\t<D>\n\t\t<z>2</z>\n\t</D>\n</S>\n";
    for (const std::string& text : {bracketed, bracketed + "</stray>", std::string(80, 'x') + bracketed}) {
        long failures = 0;
        for (long n = 0;; ++n) {
            XP_ParamIO io;
            XP_XML_Param_Notify tree;
            std::istringstream in(text), again(next);
            const bool readFailed = failsAt(n, [&] { io.readStream(in); });
            const bool parseFailed = failsAt(n, [&] { xmltest::readInto(tree, text); });
            xmltest::written(io.getTree().getRoot());
            io.readStream(again);
            ASSERT_EQ(expected, xmltest::written(io.getTree().getRoot())) << text << ", allocation " << n;
            tree.clear();
            xmltest::readInto(tree, next);
            ASSERT_TRUE(xmltest::sameTree(io.getTree().getRoot(), tree.getRoot())) << text << ", allocation " << n;
            if (!readFailed && !parseFailed) break;
            ++failures;
        }
        EXPECT_GT(failures, 10) << text;   // the reads allocate, so failures were met on the way
    }
}
