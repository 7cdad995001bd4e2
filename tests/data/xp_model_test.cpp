// The node tree, the listener that builds it, and the writer.
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

#include <streambuf>

using xmltest::valueOf;
using xmltest::written;

TEST(XmlNode, CopiesAreDeepAndParentPointersStayValid)
{
    XP_XML_Node holder("h", "", nullptr);
    XP_XML_Node* original = holder.addNode("o", "at");
    original->addNode("c", "")->addNode("g", "")->addElement("x", "1", "");

    XP_XML_Node copy(*original);
    EXPECT_EQ(&holder, copy.getParent());               // the copy keeps the parent
    EXPECT_EQ(&copy, copy.beginNodes()->getParent());   // its children point to it
    EXPECT_EQ(copy.beginNodes(), copy.beginNodes()->beginNodes()->getParent());
    copy.beginNodes()->beginNodes()->addElement("x", "changed", "");
    EXPECT_EQ("1", valueOf(*original->beginNodes()->beginNodes(), "x"));

    XP_XML_Node tree = *original;
    tree = *tree.beginNodes();   // a node's own descendant assigned to it
    EXPECT_EQ(&tree, tree.beginNodes()->getParent());
    EXPECT_EQ("<c>\n\t<g>\n\t\t<x>1</x>\n\t</g>\n</c>\n", written(tree));
}

// Nodes of a read tree may grow after the read, take long texts, leave the
// tree and outlive the object that read it; a node moved from is usable. (The
// sanitizer build sees memory used after it went, or never given back.)
TEST(XmlNode, NodesOfAReadTreeOutliveIt)
{
    XP_XML_Node kept, copied;
    {
        XP_ParamIO io;
        xmltest::load(io, "<R><C><k>1</k><D><x>2</x></D></C><C><k>3</k></C></R>");
        XP_XML_Node& c = *io.getTree().getRoot().beginNodes();
        c.addElement("k", std::string(40, 'w'), "");
        for (int i = 0; i < 200; ++i) c.addNode("E", "")->addElement("y", std::to_string(i), "");
        for (int i = 0; i < 200; ++i) c.addElement("n" + std::to_string(i), "v", "");
        kept = std::move(c);
        c.addNode("F", "")->addElement("after", "move", "");
        copied = io.getTree().getRoot();
    }
    EXPECT_EQ(std::string(40, 'w') + " 2 199 201", valueOf(kept, "k") + " " + valueOf(*kept.findNode("D"), "x") + " " +
                                                         valueOf(kept.endNodes()[-1], "y") + " " +
                                                         std::to_string(kept.elementCount()));
    EXPECT_EQ("<F>\n\t<after>move</after>\n</F>\n", written(*copied.beginNodes()->beginNodes()));
}

TEST(XmlTreeBuilder, BuildsFromReports)
{
    const auto head = [](const XP_XML_Node& n) {   // name, attribute text and keys
        std::string text = n.getName() + " " + n.getAttributes() + " ";
        for (auto e = n.beginElements(); e != n.endElements(); ++e) text += e->first + ";";
        return text;
    };
    XP_XML_Param_Notify t;
    t.startNode("R", "ra");
    t.element("k", "1", "ka");
    t.startNode("C", "");
    t.element("x", "y", "");
    t.endNode("C", "");
    t.startNode("C", "");
    t.endNode("ignored", "");   // end names are not compared
    t.element("k", "2", "kb");  // replaced in place
    for (int i = 0; i < 20; ++i) {   // names held by the very sequence that grows
        t.startNode(t.getRoot().beginNodes()->getName(), t.getRoot().beginNodes()->getAttributes());
        t.endNode("", "");
    }
    EXPECT_EQ("C", t.getRoot().endNodes()[-1].getName());
    t.endNode("R", "ra");
    EXPECT_EQ(nullptr, t.getCurrent());
    EXPECT_EQ("R ra k; 2 kb", head(t.getRoot()) + " " + valueOf(t.getRoot(), "k") + " " +
                                   t.getRoot().findElement("k")->attributes);

    // A second top-level node renames the root and adds to it.
    t.startNode("S", "sa");
    t.element("z", "3", "");
    t.endNode("S", "sa");
    EXPECT_EQ("S sa k;z; 22", head(t.getRoot()) + " " + std::to_string(t.getRoot().nodeCount()));
    // A value with no open node names the root and leaves its contents.
    t.element("V", "dropped", "va");
    EXPECT_EQ("V va k;z;", head(t.getRoot()));

    XP_XML_Param_Notify g;   // values held by the very sequence that grows
    g.startNode("G", "");
    g.element("k", "v", "");
    for (int i = 0; i < 20; ++i) g.element("k" + std::to_string(i), g.getRoot().beginElements()->second.value, "");
    EXPECT_EQ("v", g.getRoot().beginElements()[20].second.value);
}

// Keys stay unique however they come: read, added by hand or through the
// listener, after removals; in nodes below and above the size from which
// keys are found through an index.
TEST(XmlTreeBuilder, AKeyIsHeldOnceHoweverItCame)
{
    for (const int many : {3, 40, 1000}) {
        SCOPED_TRACE(many);
        std::string text = "<r>";
        for (int i = 0; i < 3 * many; ++i) {
            const std::string k = "k" + std::to_string(i % many);
            text += "<" + k + ">" + std::to_string(i) + "</" + k + ">";
        }
        XP_ParamIO io;
        xmltest::load(io, text + "</r>");
        XP_XML_Param_Notify& t = io.getTree();
        XP_XML_Node& r = t.getRoot();
        ASSERT_EQ(static_cast<std::size_t>(many), r.elementCount());
        int i = 0;   // in order of first insertion, with the last value read
        for (auto e = r.beginElements(); e != r.endElements(); ++e, ++i)
            ASSERT_EQ("k" + std::to_string(i) + "=" + std::to_string(2 * many + i), e->first + "=" + e->second.value);

        t.startNode("r", "");   // the root, open again
        r.addElement("new", "hand", "");
        t.element("new", "listener", "");
        ASSERT_TRUE(r.removeElement("k0") && r.removeElement("k2"));
        r.addElement("k0", "back", "");
        r.addElement("k2", "back", "");
        t.element("k0", "listener", "");
        r.addElement("k2", "hand", "");
        EXPECT_EQ("listener listener hand", valueOf(r, "new") + " " + valueOf(r, "k0") + " " + valueOf(r, "k2"));
        EXPECT_EQ(static_cast<std::size_t>(many + 1), r.elementCount());
    }
}

TEST(XmlWriter, OneTagOrValuePerLineIndentedWithTabs)
{
    // Nothing escaped, the empty name as it is, no attribute texts.
    XP_XML_Node r("", "ignored=\"1\"", nullptr);
    r.addElement("a b", "<&>\"", "also ignored");
    r.addNode("P", "")->addElement("x", "y", "");
    const std::string expected = "<>\n\t<a b><&>\"</a b>\n\t<P>\n\t\t<x>y</x>\n\t</P>\n</>\n";
    EXPECT_EQ(expected, written(r));

    // A stream that throws midway leaves the depth at its start.
    struct FullAfterFew : std::streambuf {   // the base's overflow fails
        char room[12];
        FullAfterFew() { setp(room, room + sizeof room); }
    } buffer;
    std::ostream throwing(&buffer);
    throwing.exceptions(std::ios::badbit);
    EXPECT_ANY_THROW(XP_XmlStream::writeNode(r, throwing));
    EXPECT_EQ(expected, written(r));
}
