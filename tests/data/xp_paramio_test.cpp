// XP_ParamIO: access paths, streams and files, compare, extract and erase.
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

namespace {

typedef std::vector<std::string> Names;

Names split(const char* access)
{
    Names out{"stale"};
    XP_ParamIO::parseAccess(access, out);
    return out;
}

void load(XP_ParamIO& io, const std::string& text)
{
    std::istringstream in(text);
    io.readStream(in);
}

std::string text(const XP_ParamIO& io)
{
    std::ostringstream out;
    io.writeStream(out);
    return out.str();
}

const char* const kBase =
    "<Cfg><unit>mm</unit><scale>2</scale>"
    "<View><zoom>1</zoom><Pane><w>5</w></Pane></View><Pen><width>3</width></Pen></Cfg>";

}  // namespace

TEST(XmlParamIO, ParseAccess)
{
    EXPECT_EQ(Names{}, split(nullptr));
    EXPECT_EQ(Names{}, split(""));
    EXPECT_EQ(Names{"Root"}, split("Root"));
    EXPECT_EQ((Names{"A", "B", "C"}), split("A:B:C"));
    EXPECT_EQ((Names{"", "A"}), split(":A"));
    EXPECT_EQ((Names{"A", "", "B"}), split("A::B"));
    EXPECT_EQ((Names{"A", "B"}), split("A:B:"));
    EXPECT_EQ((Names{"A", ""}), split("A::"));
    EXPECT_EQ((Names{""}), split(":"));
    EXPECT_EQ((Names{" a ", "b c"}), split(" a :b c"));
}

TEST(XmlParamIO, StreamsReplaceTheTree)
{
    XP_ParamIO io;
    EXPECT_EQ("", io.getTree().getRoot().getName());
    EXPECT_FALSE(io.getStream().hasNotify());
    load(io, kBase);
    EXPECT_EQ(&io.getTree(), io.getStream().getNotify());
    EXPECT_EQ("Cfg", io.getTree().getRoot().getName());
    EXPECT_EQ(2u, io.getTree().getRoot().nodeCount());

    // A read replaces everything, attributes included.
    load(io, "<Other a=\"1\"><k>v</k></Other>");
    EXPECT_EQ("Other", io.getTree().getRoot().getName());
    EXPECT_EQ("a=\"1\"", io.getTree().getRoot().getAttributes());
    EXPECT_EQ(0u, io.getTree().getRoot().nodeCount());

    load(io, "");
    EXPECT_EQ("", io.getTree().getRoot().getName());
    EXPECT_EQ(0u, io.getTree().getRoot().elementCount());
    EXPECT_EQ("<>\n</>\n", text(io));

    load(io, kBase);
    io.clear();
    EXPECT_EQ("", io.getTree().getRoot().getName());
    EXPECT_EQ(0u, io.getTree().getRoot().nodeCount());
}

TEST(XmlParamIO, Files)
{
    xmltest::TempDir dir;
    XP_ParamIO io;
    load(io, kBase);
    const std::string path = dir.file("params.xml");
    io.writeFile(path.c_str());
    const std::string bytes = xmltest::readBytes(path);
    EXPECT_NE(std::string::npos, bytes.find("<Cfg>"));
    EXPECT_NE(std::string::npos, bytes.find("\t\t<Pane>"));

    XP_ParamIO back;
    back.readFile(path.c_str());
    EXPECT_EQ(text(io), text(back));
    EXPECT_TRUE(back.compare(io, ""));

    // Rewriting truncates.
    XP_ParamIO small;
    load(small, "<S><k>1</k></S>");
    small.writeFile(path.c_str());
    back.readFile(path.c_str());
    EXPECT_EQ("S", back.getTree().getRoot().getName());
    EXPECT_EQ(0u, back.getTree().getRoot().nodeCount());

    // A file that does not open leaves the tree as it was, silently.
    back.readFile(dir.file("missing.xml").c_str());
    EXPECT_EQ("S", back.getTree().getRoot().getName());
    back.writeFile(dir.file("no-such-folder/out.xml").c_str());
    back.readFile(dir.file("no-such-folder/out.xml").c_str());
    EXPECT_EQ("S", back.getTree().getRoot().getName());

    // An empty file gives an empty tree.
    xmltest::writeBytes(dir.file("empty.xml"), "");
    back.readFile(dir.file("empty.xml").c_str());
    EXPECT_EQ("", back.getTree().getRoot().getName());
    EXPECT_EQ(0u, back.getTree().getRoot().elementCount());
}

TEST(XmlParamIO, TreesDifferingInOneValue)
{
    XP_ParamIO a, b;
    load(a, kBase);
    load(b, kBase);
    XP_XML_Param_Notify::Path pane{"Cfg", "View", "Pane"};
    b.getTree().getNode(pane)->addElement("w", "6", "");

    EXPECT_FALSE(a.compare(b, ""));
    EXPECT_FALSE(a.compare(b, "Cfg:View"));
    EXPECT_FALSE(a.compare(b, "Cfg:View:Pane:w"));   // the value form
    EXPECT_TRUE(a.compare(b, "Cfg:View:zoom"));
    EXPECT_TRUE(a.compare(b, "Cfg:Pen"));

    XP_ParamIO pa, pb;
    ASSERT_TRUE(a.extract("Cfg:View:Pane", pa));
    ASSERT_TRUE(b.extract("Cfg:View:Pane", pb));
    EXPECT_EQ("5", pa.getTree().getRoot().findElement("w")->value);
    EXPECT_EQ("6", pb.getTree().getRoot().findElement("w")->value);
    EXPECT_FALSE(pa.compare(pb, ""));

    EXPECT_TRUE(a.erase("Cfg:View:Pane:w"));
    EXPECT_TRUE(b.erase("Cfg:View:Pane:w"));
    EXPECT_TRUE(a.compare(b, ""));
    EXPECT_FALSE(a.erase("Cfg:View:Pane:w"));
}

TEST(XmlParamIO, TreesDifferingInOneChild)
{
    XP_ParamIO a, b;
    load(a, kBase);
    load(b, kBase);
    XP_XML_Param_Notify::Path view{"Cfg", "View"};
    b.getTree().getNode(view)->addNode("Grid", "")->addElement("on", "1", "");

    EXPECT_FALSE(a.compare(b, ""));
    EXPECT_FALSE(b.compare(a, ""));
    EXPECT_FALSE(a.compare(b, "Cfg:View"));
    EXPECT_TRUE(a.compare(b, "Cfg:View:Pane"));
    EXPECT_TRUE(a.compare(b, "Cfg:View:zoom"));
    // Here a has no node Grid: its value form finds no "Grid" value in either.
    EXPECT_TRUE(a.compare(b, "Cfg:View:Grid"));
    EXPECT_FALSE(b.compare(a, "Cfg:View:Grid"));

    XP_ParamIO grid;
    EXPECT_FALSE(a.extract("Cfg:View:Grid", grid));
    EXPECT_EQ("", grid.getTree().getRoot().getName());
    ASSERT_TRUE(b.extract("Cfg:View:Grid", grid));
    EXPECT_EQ("Grid", grid.getTree().getRoot().getName());
    EXPECT_EQ(nullptr, grid.getTree().getRoot().getParent());
    EXPECT_EQ("1", grid.getTree().getRoot().findElement("on")->value);

    EXPECT_FALSE(a.erase("Cfg:View:Grid"));
    EXPECT_TRUE(b.erase("Cfg:View:Grid"));
    EXPECT_TRUE(a.compare(b, ""));
}

TEST(XmlParamIO, TreesDifferingInNamesOnly)
{
    XP_ParamIO a, b;
    load(a, kBase);
    std::string renamed = kBase;
    renamed.replace(renamed.find("<Cfg>"), 5, "<Config>");
    renamed.replace(renamed.find("</Cfg>"), 6, "</Config>");
    load(b, renamed);

    // The roots' own names do not count; paths through them must match.
    EXPECT_TRUE(a.compare(b, ""));
    EXPECT_FALSE(a.compare(b, "Cfg"));
    EXPECT_FALSE(a.compare(b, "Cfg:View"));
    XP_ParamIO va, vb;
    EXPECT_TRUE(a.extract("Cfg:View", va));
    EXPECT_FALSE(b.extract("Cfg:View", vb));
    EXPECT_TRUE(b.extract("Config:View", vb));
    EXPECT_TRUE(va.compare(vb, "View"));
    EXPECT_FALSE(b.erase("Cfg:unit"));
    EXPECT_TRUE(b.erase("Config:unit"));

    // A renamed child is a different child.
    XP_ParamIO c;
    std::string child = kBase;
    child.replace(child.find("<Pen>"), 5, "<Brush>");
    child.replace(child.find("</Pen>"), 6, "</Brush>");
    load(c, child);
    EXPECT_FALSE(a.compare(c, ""));
    EXPECT_TRUE(a.compare(c, "Cfg:View"));
    EXPECT_TRUE(c.erase("Cfg:Brush"));
    EXPECT_TRUE(a.erase("Cfg:Pen"));
    EXPECT_TRUE(a.compare(c, ""));
}

TEST(XmlParamIO, TreesDifferingInOrderOnly)
{
    XP_ParamIO a, b;
    load(a, kBase);
    load(b,
         "<Cfg><Pen><width>3</width></Pen><scale>2</scale>"
         "<View><Pane><w>5</w></Pane><zoom>1</zoom></View><unit>mm</unit></Cfg>");
    EXPECT_NE(text(a), text(b));
    EXPECT_TRUE(a.compare(b, ""));
    EXPECT_TRUE(b.compare(a, "Cfg"));
    EXPECT_TRUE(a.compare(b, "Cfg:View"));

    XP_ParamIO va, vb;
    ASSERT_TRUE(a.extract("Cfg:View", va));
    ASSERT_TRUE(b.extract("Cfg:View", vb));
    EXPECT_TRUE(va.compare(vb, ""));

    EXPECT_TRUE(a.erase("Cfg:scale"));
    EXPECT_FALSE(a.compare(b, ""));
    EXPECT_TRUE(b.erase("Cfg:scale"));
    EXPECT_TRUE(a.compare(b, ""));
}

TEST(XmlParamIO, CompareMatchesChildrenWithTheFirstOfTheirName)
{
    XP_ParamIO a, b;
    load(a, "<R><C><k>1</k></C><C><k>2</k></C></R>");
    load(b, "<R><C><k>1</k></C><C><k>1</k></C></R>");
    // Both of a's C are compared with b's first C: the second differs.
    EXPECT_FALSE(a.compare(b, ""));
    // Every C of b equals a's first C.
    EXPECT_TRUE(b.compare(a, ""));
    // Attribute texts never count.
    XP_ParamIO c, d;
    load(c, "<R x=\"1\"><k u=\"1\">v</k><C y=\"2\"><q>1</q></C></R>");
    load(d, "<R><k>v</k><C><q>1</q></C></R>");
    EXPECT_TRUE(c.compare(d, ""));
    EXPECT_TRUE(c.compare(d, "R:k"));
    // Different numbers of elements or children.
    load(d, "<R><k>v</k><k2>w</k2><C><q>1</q></C></R>");
    EXPECT_FALSE(c.compare(d, ""));
    load(d, "<R><k>v</k><C><q>1</q></C><C><q>1</q></C></R>");
    EXPECT_FALSE(c.compare(d, ""));
}

TEST(XmlParamIO, CompareValues)
{
    XP_ParamIO a, b;
    load(a, "<R><k>1</k><C><x>y</x></C></R>");
    load(b, "<R><k>2</k><j>3</j><C><x>y</x></C></R>");
    EXPECT_FALSE(a.compare(b, "R:k"));
    EXPECT_FALSE(a.compare(b, "R:j"));   // present in one only
    EXPECT_FALSE(b.compare(a, "R:j"));
    EXPECT_TRUE(a.compare(b, "R:none"));   // missing in both
    EXPECT_TRUE(a.compare(b, "R:C:x"));
    EXPECT_TRUE(a.compare(b, "Q:k"));    // the holder missing in both
    XP_ParamIO empty;
    EXPECT_FALSE(empty.compare(a, "R:k"));   // the holder missing in one
    EXPECT_FALSE(a.compare(empty, "R:C"));   // a node here, none there
    EXPECT_FALSE(a.compare(empty, ""));
    EXPECT_TRUE(empty.compare(XP_ParamIO(), ""));
    // One name: a value of the root.
    EXPECT_FALSE(a.compare(b, "k"));
    EXPECT_TRUE(a.compare(b, "nothing"));
}

TEST(XmlParamIO, Extract)
{
    XP_ParamIO a, out;
    load(a, kBase);
    ASSERT_TRUE(a.extract("Cfg", out));
    EXPECT_EQ(text(a), text(out));

    // The empty access leaves out alone; a path finding nothing empties it.
    EXPECT_FALSE(a.extract("", out));
    EXPECT_FALSE(a.extract(nullptr, out));
    EXPECT_EQ(text(a), text(out));
    EXPECT_FALSE(a.extract("Cfg:Nothing", out));
    EXPECT_EQ("", out.getTree().getRoot().getName());
    EXPECT_EQ(0u, out.getTree().getRoot().nodeCount());
    EXPECT_FALSE(a.extract("Cfg:unit", out));   // a value is not a node

    // The copy is independent of its source.
    ASSERT_TRUE(a.extract("Cfg:View", out));
    a.erase("Cfg:View");
    EXPECT_EQ("View", out.getTree().getRoot().getName());
    EXPECT_EQ("5", out.getTree().getRoot().findNode("Pane")->findElement("w")->value);

    // Extracting into itself clears the tree first.
    XP_ParamIO self;
    load(self, kBase);
    EXPECT_FALSE(self.extract("Cfg", self));
    EXPECT_EQ("", self.getTree().getRoot().getName());
}

TEST(XmlParamIO, Erase)
{
    XP_ParamIO a;
    load(a, "<R><x>1</x><x2>2</x2><C><k>1</k></C><x><inner>1</inner></x></R>");
    EXPECT_FALSE(a.erase(""));
    EXPECT_FALSE(a.erase("R"));   // the root is never erased
    EXPECT_FALSE(a.erase("Q:x"));
    EXPECT_FALSE(a.erase("R:nothing"));

    // The value goes first, then the child of the same name.
    EXPECT_TRUE(a.erase("R:x"));
    const XP_XML_Node& r = a.getTree().getRoot();
    EXPECT_EQ(nullptr, r.findElement("x"));
    EXPECT_NE(nullptr, r.findNode("x"));
    EXPECT_TRUE(a.erase("R:x"));
    EXPECT_EQ(nullptr, r.findNode("x"));
    EXPECT_FALSE(a.erase("R:x"));

    EXPECT_TRUE(a.erase("R:C"));
    EXPECT_EQ(0u, r.nodeCount());
    EXPECT_EQ(1u, r.elementCount());
    // One name: a value or child of the root.
    EXPECT_TRUE(a.erase("x2"));
    EXPECT_EQ(0u, r.elementCount());
    EXPECT_EQ("R", r.getName());
}
