// The reader: what XP_XmlStream::parse reports, for a few rules against
// expected reports, for all against a plain reading of the rules.
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

TEST(XmlReader, ParseNeedsText)
{
    xmltest::Recorder r;
    XP_XmlStream s;
    s.setNotify(&r);
    EXPECT_FALSE(s.parse(nullptr, 5) || s.parse("<a>1</a>", 0) || s.parse("<a>1</a>", -1));
    EXPECT_TRUE(r.events.empty() && s.empty());
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

TEST(XmlReader, ReadingRules)
{
    const struct {
        std::string text, reports;
    } cases[] = {
        // Text outside tags is ignored; a tag without tags inside is a value.
        {"junk<r> a <k>v</k> b <c><x>y</x></c> c </r>tail", "<r>|k=v|<c>|x=y|</c>|</r>"},
        // A comment ends at its first ">".
        {"<r><!-- <k>0</k> --><k>1</k></r>", "<r>|</r>"},
        // Attribute text: all past the blank, if that is two characters or more.
        {"<a >v</a>", "a=v"},
        {"<a  >v</a>", "a=v{ }"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.reports, xmltest::brief(xmltest::readEvents(c.text))) << c.text;
}

// Random texts, of loose pieces and of paired tags: the reports are those of
// the plain reading, and the tree XP_ParamIO builds from the text itself is
// the one built from those reports.
TEST(XmlReader, AgreesWithThePlainReadingOfTheRules)
{
    xmltest::TextMaker maker(20240607u);
    for (int i = 0; i < 24000; ++i) {
        const bool pairs = i % 6 == 0;
        const std::string text = pairs ? maker.makeNested(1 + static_cast<int>(maker.next() % 30))
                                       : maker.make(1 + static_cast<int>(maker.next() % 40));
        const std::vector<xmltest::Event> events = xmltest::reference::readEvents(text), read = xmltest::readEvents(text);
        ASSERT_TRUE(events == read) << "text: " << text << "\nexpected: " << xmltest::brief(events)
                                    << "\nread: " << xmltest::brief(read);
        XP_XML_Param_Notify expected;
        xmltest::feed(expected, events);
        XP_ParamIO io;
        xmltest::load(io, text);
        ASSERT_TRUE(xmltest::sameTree(expected.getRoot(), io.getTree().getRoot())) << "text: " << text;
    }
}

// Deep texts are read, copied, compared and freed without running out of stack.
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

    XP_ParamIO io, copy;
    xmltest::load(io, deep);
    XP_XML_Node* n = &io.getTree().getRoot();
    int levels = 1;
    for (; n->nodeCount() == 1; ++levels) n = n->beginNodes();
    EXPECT_EQ(depth, levels);
    EXPECT_EQ("v", xmltest::valueOf(*n, "k"));
    ASSERT_TRUE(io.extract("n0", copy));
    EXPECT_TRUE(io.compare(copy, ""));
    n->addElement("k", "w", "");
    EXPECT_FALSE(io.compare(copy, ""));
}
