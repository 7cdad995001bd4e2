// The node tree, the listener that builds it, the writer, and what a write
// followed by a read keeps.
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <streambuf>

namespace {

std::vector<std::string> keysOf(const XP_XML_Node& n)
{
    std::vector<std::string> keys;
    for (auto e = n.beginElements(); e != n.endElements(); ++e) keys.push_back(e->first);
    return keys;
}

std::string written(const XP_XML_Node& n)
{
    std::ostringstream out;
    XP_XmlStream::writeNode(n, out);
    return out.str();
}

// Writes root, reads the text back into a fresh tree.
XP_XML_Node roundTrip(const XP_XML_Node& root)
{
    XP_ParamIO io;
    io.getTree().getRoot() = root;
    std::ostringstream out;
    io.writeStream(out);
    XP_ParamIO back;
    std::istringstream in(out.str());
    back.readStream(in);
    return back.getTree().getRoot();
}

}  // namespace

TEST(XmlNode, ElementsKeepFirstInsertionOrderAndReplaceInPlace)
{
    XP_XML_Node n("n", "", nullptr);
    n.addElement("a", "1", "");
    n.addElement("b", "2", "p");
    n.addElement("c", "3", "");
    n.addElement("b", "20", "q");
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), keysOf(n));
    ASSERT_NE(nullptr, n.findElement("b"));
    EXPECT_EQ("20", n.findElement("b")->value);
    EXPECT_EQ("q", n.findElement("b")->attributes);
    EXPECT_EQ(nullptr, n.findElement("B"));   // keys compare exactly

    EXPECT_TRUE(n.removeElement("a"));
    EXPECT_FALSE(n.removeElement("a"));
    EXPECT_EQ((std::vector<std::string>{"b", "c"}), keysOf(n));
}

TEST(XmlNode, ChildrenSetAndClear)
{
    XP_XML_Node root;
    EXPECT_EQ("", root.getName());
    EXPECT_EQ(nullptr, root.getParent());
    XP_XML_Node* a = root.addNode("a", "x=1");
    EXPECT_EQ(a, root.endNodes() - 1);
    EXPECT_EQ(&root, a->getParent());
    EXPECT_EQ("x=1", a->getAttributes());
    a->addElement("k", "v", "");
    root.addNode("a", "");
    EXPECT_EQ(2u, root.nodeCount());
    EXPECT_EQ(root.beginNodes(), root.findNode("a"));   // the first of the name

    // set renames and re-parents but keeps the contents.
    XP_XML_Node other;
    XP_XML_Node* first = root.beginNodes();
    first->set("b", "", &other);
    EXPECT_EQ("b", first->getName());
    EXPECT_EQ(&other, first->getParent());
    EXPECT_NE(nullptr, first->findElement("k"));

    EXPECT_TRUE(root.removeNode("a"));
    EXPECT_EQ(1u, root.nodeCount());
    EXPECT_FALSE(root.removeNode("a"));

    root.set("r", "attr", &other);
    root.addElement("e", "1", "");
    root.clear();
    EXPECT_EQ("", root.getName());
    EXPECT_EQ("", root.getAttributes());
    EXPECT_EQ(nullptr, root.getParent());
    EXPECT_EQ(0u, root.elementCount());
    EXPECT_EQ(0u, root.nodeCount());
}

TEST(XmlNode, CopiesAreDeepAndParentPointersStayValid)
{
    XP_XML_Node holder("h", "", nullptr);
    XP_XML_Node* original = holder.addNode("o", "at");
    original->addElement("k", "v", "");
    XP_XML_Node* child = original->addNode("c", "");
    child->addNode("g", "")->addElement("x", "1", "");

    XP_XML_Node copy(*original);
    EXPECT_EQ(&holder, copy.getParent());   // the copy keeps the original's parent
    EXPECT_EQ("at", copy.getAttributes());
    ASSERT_EQ(1u, copy.nodeCount());
    EXPECT_EQ(&copy, copy.beginNodes()->getParent());   // its children point to it
    EXPECT_EQ(copy.beginNodes(), copy.beginNodes()->beginNodes()->getParent());
    copy.beginNodes()->beginNodes()->addElement("x", "changed", "");
    EXPECT_EQ("1", original->beginNodes()->beginNodes()->findElement("x")->value);

    // Assigning a node's own descendant to it.
    XP_XML_Node tree = *original;
    tree = *tree.beginNodes();
    EXPECT_EQ("c", tree.getName());
    ASSERT_EQ(1u, tree.nodeCount());
    EXPECT_EQ(&tree, tree.beginNodes()->getParent());
    XP_XML_Node& self = tree;
    tree = self;
    EXPECT_EQ("c", tree.getName());

    // Children move when their parent's sequence grows; their own children
    // follow them.
    XP_XML_Node wide;
    for (int i = 0; i < 1000; ++i) wide.addNode("n", "")->addNode("g", "");
    for (auto c = wide.beginNodes(); c != wide.endNodes(); ++c) {
        ASSERT_EQ(&wide, c->getParent());
        ASSERT_EQ(&*c, c->beginNodes()->getParent());
    }
}

TEST(XmlNode, DeepTreesCopyCompareAndGoAway)
{
    XP_ParamIO io;
    XP_XML_Node* n = &io.getTree().getRoot();
    n->set("r", "", nullptr);
    for (int i = 0; i < 200000; ++i) n = n->addNode("d", "");
    n->addElement("k", "v", "");
    XP_ParamIO out;
    ASSERT_TRUE(io.extract("r", out));
    EXPECT_TRUE(io.compare(out, ""));
    n->addElement("k", "w", "");
    EXPECT_FALSE(io.compare(out, ""));
}

TEST(XmlTreeBuilder, BuildsFromReportsAndFindsByPath)
{
    XP_XML_Param_Notify t;
    EXPECT_EQ(nullptr, t.getCurrent());
    t.startNode("R", "ra");
    t.element("k", "1", "");
    t.startNode("C", "");
    t.element("x", "y", "xa");
    t.endNode("C", "");
    t.startNode("C", "");
    t.element("x", "second", "");
    t.endNode("ignored", "");   // end names are not compared
    t.element("k", "2", "");    // same key: replaced in place
    t.endNode("R", "ra");
    EXPECT_EQ(nullptr, t.getCurrent());

    const XP_XML_Node& root = t.getRoot();
    EXPECT_EQ("R", root.getName());
    EXPECT_EQ("ra", root.getAttributes());
    EXPECT_EQ(1u, root.elementCount());
    EXPECT_EQ("2", root.findElement("k")->value);
    ASSERT_EQ(2u, root.nodeCount());

    XP_XML_Param_Notify::Path path;
    EXPECT_EQ(&t.getRoot(), t.getNode(path));
    path = {"R"};
    EXPECT_EQ(&t.getRoot(), t.getNode(path));
    path = {"C"};
    EXPECT_EQ(nullptr, t.getNode(path));   // the first name is the root's
    path = {"R", "C"};
    XP_XML_Node::NodeIterator c = t.getNode(path);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(t.getRoot().beginNodes(), c);   // only the first C is reachable
    EXPECT_EQ("y", c->findElement("x")->value);
    EXPECT_EQ((XP_XML_Param_Notify::Path{"R", "C"}), path);   // not modified
    path = {"R", "C", "x"};
    EXPECT_EQ(nullptr, t.getNode(path));   // values are not nodes
    const XP_XML_Param_Notify& ct = t;
    path = {"R", "C"};
    EXPECT_EQ(c, ct.getNode(path));

    // A second top-level node renames the root and adds to it.
    t.startNode("S", "sa");
    t.element("z", "3", "");
    t.endNode("S", "sa");
    EXPECT_EQ("S", t.getRoot().getName());
    EXPECT_EQ("sa", t.getRoot().getAttributes());
    EXPECT_EQ((std::vector<std::string>{"k", "z"}), keysOf(t.getRoot()));
    EXPECT_EQ(2u, t.getRoot().nodeCount());

    // A value with no node open names the root and leaves its contents.
    t.element("V", "dropped", "va");
    EXPECT_EQ("V", t.getRoot().getName());
    EXPECT_EQ("va", t.getRoot().getAttributes());
    EXPECT_EQ(2u, t.getRoot().elementCount());
    EXPECT_EQ(nullptr, t.getRoot().findElement("V"));
}

TEST(XmlTreeBuilder, ManyValuesInOneNodeStayUniqueAndOrdered)
{
    std::string text = "<r>";
    for (int i = 0; i < 3000; ++i) text += "<k" + std::to_string(i % 1000) + ">" + std::to_string(i) + "</k" + std::to_string(i % 1000) + ">";
    text += "</r>";
    XP_ParamIO io;
    std::istringstream in(text);
    io.readStream(in);
    const XP_XML_Node& r = io.getTree().getRoot();
    ASSERT_EQ(1000u, r.elementCount());
    int i = 0;
    for (auto e = r.beginElements(); e != r.endElements(); ++e, ++i) {
        ASSERT_EQ("k" + std::to_string(i), e->first);
        ASSERT_EQ(std::to_string(2000 + i), e->second.value);
    }
}

TEST(XmlWriter, WritesOneTagOrValuePerLineIndentedWithTabs)
{
    XP_XML_Node r("R", "ignored=\"1\"", nullptr);
    r.addElement("k", "v", "also ignored");
    r.addNode("P", "")->addElement("x", "y", "");
    const std::string expected = "<R>\n\t<k>v</k>\n\t<P>\n\t\t<x>y</x>\n\t</P>\n</R>\n";
    EXPECT_EQ(expected, written(r));
    EXPECT_EQ(expected, written(r));   // the depth is back at its start

    // Nothing is escaped or checked; an empty name is written as it is.
    XP_XML_Node odd;
    odd.addElement("a b", "<&>\"", "");
    EXPECT_EQ("<>\n\t<a b><&>\"</a b>\n</>\n", written(odd));

    // A failing stream takes nothing and leaves the depth as it was.
    std::ostringstream bad;
    bad.setstate(std::ios::badbit);
    XP_XmlStream::writeNode(r, bad);
    EXPECT_EQ("", bad.str());
    EXPECT_EQ(expected, written(r));

    // A stream that throws midway still leaves the depth at its start.
    struct FullAfterFew : std::streambuf {
        int room = 12;
        int_type overflow(int_type c) override
        {
            if (room-- == 0) throw std::runtime_error("full");
            return c;
        }
    } buffer;
    std::ostream throwing(&buffer);
    throwing.exceptions(std::ios::badbit);
    EXPECT_ANY_THROW(XP_XmlStream::writeNode(r, throwing));
    EXPECT_EQ(expected, written(r));
}

TEST(XmlRoundTrip, NamesKeysValuesAndOrderSurvive)
{
    XP_XML_Node r("Root", "", nullptr);
    r.addElement("z", "last letter", "");
    r.addElement("a", "x > y", "");
    XP_XML_Node* c1 = r.addNode("Second", "");
    c1->addElement("k", "1", "");
    XP_XML_Node* c2 = r.addNode("First", "");
    c2->addElement("k", "2", "");
    c2->addNode("Deep", "")->addElement("q", "\tindented value ", "");
    r.addNode("Second", "")->addElement("k", "3", "");

    const XP_XML_Node back = roundTrip(r);
    EXPECT_EQ("Root", back.getName());
    EXPECT_EQ((std::vector<std::string>{"z", "a"}), keysOf(back));
    EXPECT_EQ("x > y", back.findElement("a")->value);
    ASSERT_EQ(3u, back.nodeCount());
    const XP_XML_Node* c = back.beginNodes();
    EXPECT_EQ("Second", c[0].getName());
    EXPECT_EQ("First", c[1].getName());
    EXPECT_EQ("Second", c[2].getName());
    EXPECT_EQ("3", c[2].findElement("k")->value);
    EXPECT_EQ("\tindented value ", c[1].beginNodes()->findElement("q")->value);
    EXPECT_EQ(written(r), written(back));
}

TEST(XmlRoundTrip, EmptyChildBecomesAValue)
{
    XP_XML_Node r("R", "", nullptr);
    r.addElement("k", "v", "");
    r.addNode("Mid", "")->addNode("Empty", "");
    const XP_XML_Node back = roundTrip(r);
    const XP_XML_Node* mid = back.findNode("Mid");
    ASSERT_NE(nullptr, mid);
    EXPECT_EQ(0u, mid->nodeCount());
    ASSERT_NE(nullptr, mid->findElement("Empty"));
    // A line break and the indentation of the end tag, two tabs deep.
    EXPECT_EQ("\n\t\t", mid->findElement("Empty")->value);
}

TEST(XmlRoundTrip, EmptyValueStaysEmpty)
{
    XP_XML_Node r("R", "", nullptr);
    r.addElement("empty", "", "");
    r.addElement("next", "1", "");
    const XP_XML_Node back = roundTrip(r);
    ASSERT_EQ(2u, back.elementCount());
    EXPECT_EQ("", back.findElement("empty")->value);
    EXPECT_EQ("1", back.findElement("next")->value);
}

TEST(XmlRoundTrip, GreaterThanInAValueSurvives)
{
    XP_XML_Node r("R", "", nullptr);
    r.addElement("cmp", "a > b >> c>", "");
    const XP_XML_Node back = roundTrip(r);
    ASSERT_NE(nullptr, back.findElement("cmp"));
    EXPECT_EQ("a > b >> c>", back.findElement("cmp")->value);
}

TEST(XmlRoundTrip, LessThanTurnsAValueIntoANode)
{
    XP_XML_Node r("R", "", nullptr);
    r.addElement("expr", "a <b>1</b> c", "");
    r.addElement("after", "2", "");
    const XP_XML_Node back = roundTrip(r);
    EXPECT_EQ(nullptr, back.findElement("expr"));
    const XP_XML_Node* expr = back.findNode("expr");
    ASSERT_NE(nullptr, expr);
    ASSERT_NE(nullptr, expr->findElement("b"));
    EXPECT_EQ("1", expr->findElement("b")->value);
    EXPECT_EQ("2", back.findElement("after")->value);
}

TEST(XmlRoundTrip, AttributeTextIsLost)
{
    XP_XML_Node r("R", "version=\"2\"", nullptr);
    r.addElement("k", "v", "unit=\"mm\"");
    r.addNode("C", "id=\"7\"")->addElement("x", "y", "");
    const XP_XML_Node back = roundTrip(r);
    EXPECT_EQ("", back.getAttributes());
    EXPECT_EQ("", back.findElement("k")->attributes);
    EXPECT_EQ("v", back.findElement("k")->value);
    ASSERT_NE(nullptr, back.findNode("C"));
    EXPECT_EQ("", back.findNode("C")->getAttributes());
}

TEST(XmlRoundTrip, RootWithNameOnlyKeepsItsName)
{
    XP_XML_Node r("Lonely", "", nullptr);
    const XP_XML_Node back = roundTrip(r);
    EXPECT_EQ("Lonely", back.getName());
    EXPECT_EQ(0u, back.elementCount());
    EXPECT_EQ(0u, back.nodeCount());
}
