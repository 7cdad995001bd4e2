// The reader: what XP_XmlStream::parse reports for each reading rule, checked
// against expected reports and against a plain reading of the rules.
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

using xmltest::Event;
using xmltest::readEvents;

namespace {

Event S(const std::string& n, const std::string& a = "") { return {'S', n, "", a}; }
Event V(const std::string& n, const std::string& v, const std::string& a = "") { return {'V', n, v, a}; }
Event E(const std::string& n, const std::string& a = "") { return {'E', n, "", a}; }

}  // namespace

TEST(XmlReader, ParseNeedsText)
{
    xmltest::Recorder r;
    XP_XmlStream s;
    s.setNotify(&r);
    EXPECT_FALSE(s.parse(nullptr, 5));
    EXPECT_FALSE(s.parse("<a>1</a>", 0));
    EXPECT_FALSE(s.parse("<a>1</a>", -1));
    EXPECT_TRUE(r.events.empty());
    EXPECT_TRUE(s.empty());

    // The stream keeps a copy of exactly the bytes scanned, NULs included.
    const std::string text("<a>1</a>\0tail", 13);
    EXPECT_TRUE(s.parse(text.data(), 8));
    EXPECT_EQ(std::string("<a>1</a>"), static_cast<const std::string&>(s));
    EXPECT_TRUE(s.parse(text.data(), 13));
    EXPECT_EQ(text, static_cast<const std::string&>(s));
    s.clearText();
    EXPECT_TRUE(s.empty());

    // Without a listener the text is scanned and kept, nothing is reported.
    XP_XmlStream quiet;
    EXPECT_FALSE(quiet.hasNotify());
    EXPECT_TRUE(quiet.parse("<a><b>1</b></a>", 15));
    EXPECT_EQ(15u, quiet.size());
}

TEST(XmlReader, ValuesNodesAndTextOutsideTags)
{
    EXPECT_EQ((std::vector<Event>{S("r"), V("k", "v"), S("c"), V("x", "y"), E("c"), E("r")}),
              readEvents("junk<r> a <k>v</k> b <c><x>y</x></c> c </r>tail"));
    // Empty content and content without "<" are values; ">" is plain text.
    EXPECT_EQ((std::vector<Event>{V("a", ""), V("b", "x > y\n\t")}), readEvents("<a></a><b>x > y\n\t</b>"));
    EXPECT_TRUE(readEvents("no tags at all > here").empty());
    EXPECT_TRUE(readEvents("").empty());
}

TEST(XmlReader, DeclarationsAndCommentsAreSkipped)
{
    EXPECT_EQ((std::vector<Event>{S("r"), V("k", "1"), E("r")}),
              readEvents("<?xml version=\"1.0\"?>\n<!-- c --><r><!-- note --><?xml-x?><k>1</k></r>"));
    // A comment ends at its first ">", whatever it says: here the rest of
    // the comment reads as a stray tag "</k>" that ends r's content.
    EXPECT_EQ((std::vector<Event>{V("k", "2")}), readEvents("<!-- a > b --><k>2</k>"));
    EXPECT_EQ((std::vector<Event>{S("r"), E("r")}), readEvents("<r><!-- <k>0</k> --><k>1</k></r>"));
    // Any other declaration has no end tag: the rest of its level is lost.
    EXPECT_EQ((std::vector<Event>{V("a", "1")}), readEvents("<a>1</a><!DOCTYPE x><b>2</b>"));
    EXPECT_EQ((std::vector<Event>{S("r"), V("a", "1"), E("r"), V("c", "3")}),
              readEvents("<r><a>1</a><!DOCTYPE x><b>2</b></r><c>3</c>"));
}

TEST(XmlReader, AttributeText)
{
    EXPECT_EQ((std::vector<Event>{V("a", "v", "x=\"1\"")}), readEvents("<a x=\"1\">v</a>"));
    EXPECT_EQ((std::vector<Event>{V("a", "v", " x")}), readEvents("<a  x>v</a>"));
    EXPECT_EQ((std::vector<Event>{V("a", "v", "b")}), readEvents("<a b>v</a>"));
    // Fewer than two characters between name and ">" carry no attribute text.
    EXPECT_EQ((std::vector<Event>{V("a", "v", "")}), readEvents("<a >v</a>"));
    EXPECT_EQ((std::vector<Event>{V("a", "v", " ")}), readEvents("<a  >v</a>"));
    // The text is raw: quotes, blanks, slashes and all, never split up.
    EXPECT_EQ((std::vector<Event>{S("n", "p='1' q = \"2\" / z"), V("k", "v"), E("n", "p='1' q = \"2\" / z")}),
              readEvents("<n p='1' q = \"2\" / z><k>v</k></n>"));
    // The second word of a tag is attribute text; the end tag is the first word's.
    EXPECT_EQ((std::vector<Event>{V("a", "1", "b")}), readEvents("<a b>1</a>"));
    EXPECT_EQ((std::vector<Event>{}), readEvents("<a b>1</a b>"));
    EXPECT_EQ((std::vector<Event>{S("a", "b"), E("a", "b")}), readEvents("<a b>1</a b><a b>2</a>"));
}

TEST(XmlReader, SelfClosingTags)
{
    EXPECT_EQ((std::vector<Event>{S("r"), V("a", ""), V("b", "", "x=\"1\""), V("c", "", ""), E("r")}),
              readEvents("<r><a/><b x=\"1\"/><c /></r>"));
    // "</>" closes itself and has no name: nothing to report.
    EXPECT_EQ((std::vector<Event>{V("k", "1")}), readEvents("</><k>1</k>"));
}

TEST(XmlReader, NamesEndOnlyAtABlank)
{
    EXPECT_EQ((std::vector<Event>{V("a\tb", "1"), V(std::string("n\0m", 3), "2")}),
              readEvents(std::string("<a\tb>1</a\tb><n\0m>2</n\0m>", 24)));
    EXPECT_EQ((std::vector<Event>{V("a\nb", "1")}), readEvents("<a\nb>1</a\nb>"));
    // A tag that starts with a blank has an empty name: it is read over unreported.
    EXPECT_EQ((std::vector<Event>{V("k", "1")}), readEvents("< a>x</><k>1</k>"));
}

TEST(XmlReader, NestedTagsOfTheSameName)
{
    EXPECT_EQ((std::vector<Event>{S("a"), S("a"), V("b", "1"), E("a"), E("a")}), readEvents("<a><a><b>1</b></a></a>"));
    EXPECT_EQ((std::vector<Event>{S("a"), S("a"), S("a"), V("a", "x"), E("a"), V("a", "y"), E("a"), E("a")}),
              readEvents("<a><a><a><a>x</a></a><a>y</a></a></a>"));
    // Only an exact "<a>" nests: "<a x>" claims no end tag, so the outer a
    // ends at the first "</a>", where the inner one lacks its end; the
    // second "</a>" is then a stray tag that ends the top level.
    EXPECT_EQ((std::vector<Event>{S("a"), E("a")}), readEvents("<a><a x>1</a></a><z>9</z>"));
}

TEST(XmlReader, WhatLacksAnEndTagIsIgnored)
{
    // b lacks its end tag inside r: b and the rest of r's content are lost.
    EXPECT_EQ((std::vector<Event>{S("r"), V("a", "1"), E("r"), V("d", "4")}),
              readEvents("<r><a>1</a><b>2<c>3</c></r><d>4</d>"));
    // An end tag beyond the enclosing node's end does not count.
    EXPECT_EQ((std::vector<Event>{S("a"), E("a")}), readEvents("<a><b>x</a></b>"));
    // A missing ">" or end tag at the top ends the reading.
    EXPECT_EQ((std::vector<Event>{V("a", "1")}), readEvents("<a>1</a><b>2</b"));
    EXPECT_EQ((std::vector<Event>{V("a", "1")}), readEvents("<a>1</a><b"));
    EXPECT_EQ((std::vector<Event>{}), readEvents("<a>1</b>"));
    // A stray end tag is a start tag named "/a" that finds no "<//a>".
    EXPECT_EQ((std::vector<Event>{V("k", "1")}), readEvents("<k>1</k></a><m>2</m>"));
}

TEST(XmlReader, NulBytesAreOrdinaryCharacters)
{
    const std::string text("<r><k>a\0b</k><\0>z</\0></r>", 25);
    EXPECT_EQ((std::vector<Event>{S("r"), V("k", std::string("a\0b", 3)), V(std::string(1, '\0'), "z"), E("r")}),
              readEvents(text));
    // Nothing past the given length is looked at.
    const std::string cut = "<a>1</a><b>2</b>";
    xmltest::Recorder r;
    XP_XmlStream s;
    s.setNotify(&r);
    s.parse(cut.data(), 15);
    EXPECT_EQ((std::vector<Event>{V("a", "1")}), r.events);
}

TEST(XmlReader, AgreesWithThePlainReadingOfTheRules)
{
    xmltest::TextMaker maker(20240607u);
    int nonTrivial = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string text = maker.make(1 + static_cast<int>(maker.next() % 40));
        const std::vector<Event> expected = xmltest::reference::readEvents(text);
        ASSERT_EQ(expected, readEvents(text)) << "text: " << text;
        if (expected.size() >= 3) ++nonTrivial;
    }
    // The generator must actually exercise nesting, not just produce noise.
    EXPECT_GT(nonTrivial, 1000);
}

TEST(XmlReader, DeepAndWideTextsReadCompletely)
{
    const int depth = 100000;
    std::string deep;
    for (int i = 0; i < depth; ++i) deep += "<n" + std::to_string(i % 7) + ">";
    deep += "<k>v</k>";
    for (int i = depth; i-- > 0;) deep += "</n" + std::to_string(i % 7) + ">";
    std::vector<Event> ev = readEvents(deep);
    ASSERT_EQ(static_cast<size_t>(2 * depth + 1), ev.size());
    EXPECT_EQ(V("k", "v"), ev[depth]);
    EXPECT_EQ(E("n0"), ev.back());

    // The same name nested: every start claims its own end tag.
    std::string same;
    for (int i = 0; i < depth; ++i) same += "<a>";
    same += "x";
    for (int i = 0; i < depth; ++i) same += "</a>";
    ev = readEvents(same);
    ASSERT_EQ(static_cast<size_t>(2 * depth - 1), ev.size());
    EXPECT_EQ(V("a", "x"), ev[depth - 1]);

    // The built tree can be that deep as well, and goes away again.
    XP_ParamIO io;
    std::istringstream in(deep);
    io.readStream(in);
    const XP_XML_Node* n = &io.getTree().getRoot();
    int levels = 1;
    while (n->nodeCount() == 1) {
        n = n->beginNodes();
        ++levels;
    }
    EXPECT_EQ(depth, levels);
    ASSERT_NE(nullptr, n->findElement("k"));
    EXPECT_EQ("v", n->findElement("k")->value);
}
