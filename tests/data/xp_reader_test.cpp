// The reader: what XP_XmlStream::parse reports for each reading rule, checked
// against expected reports and against a plain reading of the rules.
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

using xmltest::readBrief;

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
    // The stream keeps a copy of exactly the bytes scanned; nothing past them is read.
    const std::string text("<a>1</a><b>2</b>\0", 17);
    EXPECT_TRUE(s.parse(text.data(), 15));
    EXPECT_EQ(text.substr(0, 15), static_cast<const std::string&>(s));
    EXPECT_EQ("a=1", xmltest::brief(r.events));
    s.clearText();
    EXPECT_TRUE(s.empty());
    XP_XmlStream quiet;   // no listener: scanned and kept all the same
    EXPECT_TRUE(quiet.parse(text.data(), 17));
    EXPECT_EQ(17u, quiet.size());
}

TEST(XmlReader, ValuesNodesAndTextOutsideTags)
{
    EXPECT_EQ("<r>|k=v|<c>|x=y|</c>|</r>", readBrief("junk<r> a <k>v</k> b <c><x>y</x></c> c </r>tail"));
    EXPECT_EQ("a=|b=x > y\n\t", readBrief("<a></a><b>x > y\n\t</b>"));
    EXPECT_EQ("", readBrief("no tags > here"));
    EXPECT_EQ("", readBrief(""));
}

TEST(XmlReader, DeclarationsAndCommentsAreSkipped)
{
    EXPECT_EQ("<r>|k=1|</r>", readBrief("<?xml version=\"1.0\"?>\n<!-- c --><r><!-- note --><?xml-x?><k>1</k></r>"));
    // A comment ends at its first ">": the rest reads as a stray "</k>".
    EXPECT_EQ("k=2", readBrief("<!-- a > b --><k>2</k>"));
    EXPECT_EQ("<r>|</r>", readBrief("<r><!-- <k>0</k> --><k>1</k></r>"));
    EXPECT_EQ("", readBrief("<!--x>v</!--x><k>1</k>"));   // no end tag of its own
    // Other declarations have no end tag: the rest of their level is lost.
    EXPECT_EQ("a=1", readBrief("<a>1</a><!DOCTYPE x><b>2</b>"));
    EXPECT_EQ("<r>|a=1|</r>|c=3", readBrief("<r><a>1</a><!DOCTYPE x><b>2</b></r><c>3</c>"));
}

TEST(XmlReader, AttributeText)
{
    EXPECT_EQ("a=v{x=\"1\"}", readBrief("<a x=\"1\">v</a>"));
    EXPECT_EQ("a=v{ x}", readBrief("<a  x>v</a>"));
    EXPECT_EQ("a=v{b}", readBrief("<a b>v</a>"));
    // Fewer than two characters between name and ">": no attribute text.
    EXPECT_EQ("a=v", readBrief("<a >v</a>"));
    EXPECT_EQ("a=v{ }", readBrief("<a  >v</a>"));
    EXPECT_EQ("<n p='1' q = \"2\" / z>|k=v|</n p='1' q = \"2\" / z>", readBrief("<n p='1' q = \"2\" / z><k>v</k></n>"));
    // The second word is attribute text; the end tag is the first word's.
    EXPECT_EQ("", readBrief("<a b>1</a b>"));
    EXPECT_EQ("<a b>|</a b>", readBrief("<a b>1</a b><a b>2</a>"));
}

TEST(XmlReader, SelfClosingTagsAndNames)
{
    EXPECT_EQ("<r>|a=|b={x=\"1\"}|c=|</r>", readBrief("<r><a/><b x=\"1\"/><c /></r>"));
    EXPECT_EQ("k=1", readBrief("</><k>1</k>"));   // "</>" closes itself, unnamed
    EXPECT_EQ("a=|/a=", readBrief("<a/></a/>"));
    // Only the blank ends a name.
    EXPECT_EQ("a\tb=1|a\nb=2", readBrief("<a\tb>1</a\tb><a\nb>2</a\nb>"));
    EXPECT_EQ("k=1", readBrief("< a>x</><k>1</k>"));   // empty name: read, not reported
}

TEST(XmlReader, NestingAndMissingEndTags)
{
    EXPECT_EQ("<a>|<a>|b=1|</a>|</a>", readBrief("<a><a><b>1</b></a></a>"));
    EXPECT_EQ("<a>|<a>|a=x|</a>|a=y|</a>", readBrief("<a><a><a>x</a></a><a>y</a></a>"));
    // "<a x>" is no exact "<a>": the outer a ends at the first "</a>".
    EXPECT_EQ("<a>|</a>", readBrief("<a><a x>1</a></a><z>9</z>"));
    // b lacks its end inside r: b and the rest of r are lost.
    EXPECT_EQ("<r>|a=1|</r>|d=4", readBrief("<r><a>1</a><b>2<c>3</c></r><d>4</d>"));
    EXPECT_EQ("<a>|</a>", readBrief("<a><b>x</a></b>"));   // no end tag beyond the window
    EXPECT_EQ("a=1", readBrief("<a>1</a><b>2</b"));
    EXPECT_EQ("", readBrief("<a>1</b>"));
    EXPECT_EQ("k=1", readBrief("<k>1</k></a><m>2</m>"));   // a stray end tag ends the level
}

TEST(XmlReader, NulBytesAreOrdinaryCharacters)
{
    const std::string text("<r><k>a\0b</k><\0>z</\0></r>", 25);
    EXPECT_EQ(std::string("<r>|k=a\0b|\0=z|</r>", 18), readBrief(text));
}

TEST(XmlReader, AgreesWithThePlainReadingOfTheRules)
{
    xmltest::TextMaker maker(20240607u);
    int nested = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string text = maker.make(1 + static_cast<int>(maker.next() % 40));
        const std::vector<xmltest::Event> expected = xmltest::reference::readEvents(text);
        ASSERT_TRUE(expected == xmltest::readEvents(text)) << "text: " << text << "\nexpected: " << xmltest::brief(expected)
                                                           << "\nread: " << xmltest::readBrief(text);
        if (xmltest::brief(expected).find("</") != std::string::npos) ++nested;
    }
    EXPECT_GT(nested, 1000);   // the texts must nest, not just be noise
}

TEST(XmlReader, DeepTextsReadCompletely)
{
    const int depth = 100000;
    std::string deep, same;
    for (int i = 0; i < depth; ++i) deep += "<n" + std::to_string(i % 7) + ">", same += "<a>";
    deep += "<k>v</k>", same += "x";
    for (int i = depth; i-- > 0;) deep += "</n" + std::to_string(i % 7) + ">", same += "</a>";
    // The same name nested: every start claims its own end tag.
    const std::vector<xmltest::Event> ev = xmltest::readEvents(same);
    ASSERT_EQ(static_cast<size_t>(2 * depth - 1), ev.size());
    EXPECT_EQ("a=x", xmltest::brief({ev[depth - 1]}));

    XP_ParamIO io;
    std::istringstream in(deep);
    io.readStream(in);
    const XP_XML_Node* n = &io.getTree().getRoot();
    int levels = 1;
    for (; n->nodeCount() == 1; ++levels) n = n->beginNodes();
    EXPECT_EQ(depth, levels);
    ASSERT_NE(nullptr, n->findElement("k"));
    EXPECT_EQ("v", n->findElement("k")->value);
}
