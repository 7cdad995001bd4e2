// XP_ParamIO: access paths, streams and files, compare, extract and erase.
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <pthread.h>
#endif

namespace {

using xmltest::load;
using xmltest::written;

const XP_XML_Node& root(const XP_ParamIO& io) { return io.getTree().getRoot(); }

const char* const kBase =
    "<Cfg><unit>mm</unit><scale>2</scale>"
    "<View><zoom>1</zoom><Pane><w>5</w></Pane></View><Pen><width>3</width></Pen></Cfg>";

std::string edited(const std::string& from, const std::string& to)
{
    std::string t = kBase;
    return t.replace(t.find(from), from.size(), to);
}

}  // namespace

TEST(XmlParamIO, ParseAccess)
{
    std::string all;
    for (const char* access : {static_cast<const char*>(nullptr), "", "Root", "A:B:C", ":A", "A::B", "A:B:", "A::",
                               ":", " a :b c"}) {
        std::vector<std::string> out{"stale"};   // replaced, not added to
        XP_ParamIO::parseAccess(access, out);
        for (const std::string& name : out) all += "[" + name + "]";
        all += "|";
    }
    EXPECT_EQ("||[Root]|[A][B][C]|[][A]|[A][][B]|[A][B]|[A][]|[]|[ a ][b c]|", all);
}

TEST(XmlParamIO, StreamsAndFiles)
{
    XP_ParamIO io;
    load(io, "<Other a=\"1\"><k>v</k></Other>");
    EXPECT_EQ(&io.getTree(), io.getStream().getNotify());
    load(io, kBase);   // a read replaces everything
    EXPECT_EQ("Cfg", root(io).getName() + root(io).getAttributes());
    load(io, "");
    EXPECT_EQ("<>\n</>\n", written(io));
    io.getTree().startNode("R", "");   // left open by a caller: the read starts afresh all the same
    io.getTree().startNode("C", "");
    load(io, "<S><k>1</k></S>");
    EXPECT_EQ("<S>\n\t<k>1</k>\n</S>\n", written(io));
    EXPECT_EQ(nullptr, io.getTree().getCurrent());
    std::istringstream started("<a><k>1</k></a><b><k>2</k></b>");
    started.ignore(15);   // reading goes on where the stream stands
    io.readStream(started);
    EXPECT_EQ("<b>\n\t<k>2</k>\n</b>\n", written(io));

    xmltest::TempDir dir;
    load(io, kBase);
    const std::string path = dir.file("params.xml");
    io.writeFile(path.c_str());
    std::ifstream file(path);
    EXPECT_NE(std::string::npos, std::string(std::istreambuf_iterator<char>(file), {}).find("\t\t<Pane>"));
    XP_ParamIO back;
    back.readFile(path.c_str());
    EXPECT_EQ(written(io), written(back));

    load(io, "<S><k>1</k></S>");
    io.writeFile(path.c_str());   // truncates, in text mode
    std::ifstream raw(path, std::ios::binary);
#ifdef _WIN32
    EXPECT_EQ("<S>\r\n\t<k>1</k>\r\n</S>\r\n", std::string(std::istreambuf_iterator<char>(raw), {}));
#else
    EXPECT_EQ("<S>\n\t<k>1</k>\n</S>\n", std::string(std::istreambuf_iterator<char>(raw), {}));
#endif
    raw.close();
    back.readFile(path.c_str());
    EXPECT_EQ("1", root(back).findElement("k")->value);   // no carriage return kept
    EXPECT_EQ(written(io), written(back));
    // Files that do not open change nothing and say nothing.
    back.readFile(dir.file("missing.xml").c_str());
    back.writeFile(dir.file("no-folder/out.xml").c_str());
    back.readFile(dir.file("no-folder/out.xml").c_str());
    EXPECT_EQ(written(io), written(back));
    std::ofstream(dir.file("empty.xml")).close();
    back.readFile(dir.file("empty.xml").c_str());
    EXPECT_EQ("<>\n</>\n", written(back));
    io.clear();
    EXPECT_EQ("<>\n</>\n", written(io));
}

#ifndef _WIN32
// A host's worker thread may have a small stack: reading a file needs little
// of it. (Wine gives every thread 1 MiB at least, so this runs natively.)
TEST(XmlParamIO, ReadsOnASmallStack)
{
    struct Job {
        std::string out;
        static void* run(void* self)
        {
            XP_ParamIO io;
            load(io, kBase);
            static_cast<Job*>(self)->out = written(io);
            return nullptr;
        }
    } job;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    ASSERT_EQ(0, pthread_attr_setstacksize(&attributes, 32 * 1024));
    pthread_t thread;
    ASSERT_EQ(0, pthread_create(&thread, &attributes, &Job::run, &job));
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    XP_ParamIO io;
    load(io, kBase);
    EXPECT_EQ(written(io), job.out);
}
#endif

// b is kBase changed in one way: a.compare(b) holds at the accesses in `same`
// and fails at those in `differ`; erasing a place from a alone leaves them
// different, erasing one from b too makes them equal.
TEST(XmlParamIO, TreesDifferingInOneWay)
{
    std::string renamedRoot = edited("<Cfg>", "<Config>"), renamedChild = edited("<Pen>", "<Brush>");
    renamedRoot.replace(renamedRoot.find("</Cfg>"), 6, "</Config>");
    renamedChild.replace(renamedChild.find("</Pen>"), 6, "</Brush>");
    const std::string grid = edited("</View>", "<Grid><on>1</on></Grid></View>");
    const struct {
        std::string b;
        std::vector<const char*> same, differ;
        const char *eraseA, *eraseB;   // "": nothing to erase
    } variants[] = {
        {edited("<w>5", "<w>6"), {"Cfg:View:zoom", "Cfg:Pen"}, {"", "Cfg:View", "Cfg:View:Pane:w"}, "Cfg:View:Pane:w",
         "Cfg:View:Pane:w"},
        // a has no node Grid: the value form finds a "Grid" value in neither.
        {grid, {"Cfg:View:Pane", "Cfg:View:Grid"}, {"", "Cfg:View"}, "", "Cfg:View:Grid"},
        // The roots' own names do not count; paths through them must match.
        {renamedRoot, {""}, {"Cfg", "Cfg:View"}, "Cfg:unit", "Config:unit"},
        {renamedChild, {"Cfg:View"}, {""}, "Cfg:Pen", "Cfg:Brush"},
        {"<Cfg><Pen><width>3</width></Pen><scale>2</scale>"
         "<View><Pane><w>5</w></Pane><zoom>1</zoom></View><unit>mm</unit></Cfg>",
         {"", "Cfg"}, {}, "Cfg:scale", "Cfg:scale"},
    };
    XP_ParamIO a, b, pa, pb;
    for (const auto& v : variants) {
        SCOPED_TRACE(v.b);
        load(a, kBase);
        load(b, v.b);
        for (const char* access : v.same) EXPECT_TRUE(a.compare(b, access)) << access;
        for (const char* access : v.differ) EXPECT_FALSE(a.compare(b, access)) << access;
        EXPECT_EQ(*v.eraseA != 0, a.erase(v.eraseA));
        EXPECT_FALSE(a.compare(b, ""));
        EXPECT_TRUE(b.erase(v.eraseB));
        EXPECT_TRUE(a.compare(b, ""));
    }

    load(b, grid);
    ASSERT_TRUE(b.extract("Cfg:View:Grid", pb));
    EXPECT_EQ("<Grid>\n\t<on>1</on>\n</Grid>\n", written(pb));
    EXPECT_EQ(nullptr, root(pb).getParent());
    load(b, renamedRoot);   // the first name is the root's for extract and erase too
    EXPECT_FALSE(b.extract("Cfg:View", pb) || b.erase("Cfg:unit"));
    ASSERT_TRUE(b.extract("Config:View", pb) && a.extract("Cfg:View", pa));
    EXPECT_TRUE(pa.compare(pb, "View"));
}

// Nodes with few and with more values and children than are looked through
// one by one: n values k0.. and n children, c0.. twice over, each with a
// value v; the second c0 may differ, and so may the last value.
TEST(XmlParamIO, CompareExtractEraseInFewAndMany)
{
    for (const int n : {2, 20}) {
        const auto make = [n](const std::string& last, const std::string& secondC0, bool reversed) {
            std::string values, children;
            for (int i = 0; i < n; ++i) {
                const std::string k = "k" + std::to_string(i), c = "c" + std::to_string(i % (n / 2));
                const std::string value = "<" + k + ">" + (i == n - 1 ? last : std::to_string(i)) + "</" + k + ">";
                values = reversed ? value + values : values + value;
                children += "<" + c + "><v>" + (i == n / 2 ? secondC0 : "1") + "</v></" + c + ">";
            }
            return "<R>" + values + children + "</R>";
        };
        XP_ParamIO a, b, out;
        load(a, make("x", "1", false));
        const struct {
            std::string b;
            bool aToB, bToA;
        } cases[] = {
            {make("x", "1", true), true, true},     // order of values does not count
            {make("y", "1", false), false, false},  // the last value differs
            // A child is compared with the other's first child of its name.
            {make("x", "2", false), true, false},
        };
        for (const auto& c : cases) {
            load(b, c.b);
            EXPECT_EQ(c.aToB, a.compare(b, "")) << c.b;
            EXPECT_EQ(c.bToA, b.compare(a, "R")) << c.b;
        }
        load(a, make("x", "2", false));
        ASSERT_TRUE(a.extract("R:c0", out));
        EXPECT_EQ("1", root(out).findElement("v")->value);   // the first of the name
        const std::string last = "R:k" + std::to_string(n - 1);
        EXPECT_TRUE(a.erase("R:c0") && a.erase(last.c_str()));
        ASSERT_TRUE(a.extract("R:c0", out));
        EXPECT_EQ("2", root(out).findElement("v")->value);
        EXPECT_EQ(std::to_string(n - 1) + " " + std::to_string(n - 1),
                  std::to_string(root(a).elementCount()) + " " + std::to_string(root(a).nodeCount()));
        EXPECT_FALSE(a.compare(b, last.c_str()));
    }
}

// Results of several calls as "1" and "0".
static std::string bits(std::initializer_list<bool> results)
{
    std::string r;
    for (bool b : results) r += b ? '1' : '0';
    return r;
}

TEST(XmlParamIO, CompareExtractAndEraseRules)
{
    XP_ParamIO a, b, more, twice, empty;
    // Attribute texts never count; counts of elements and children do.
    load(a, "<R x=\"1\"><k u=\"1\">v</k><C y=\"2\"><q>1</q></C></R>");
    load(b, "<R><k>v</k><C><q>1</q></C></R>");
    load(more, "<R><k>v</k><k2>w</k2><C><q>1</q></C></R>");
    load(twice, "<R><k>v</k><C><q>1</q></C><C><q>1</q></C></R>");
    EXPECT_EQ("1100", bits({a.compare(b, ""), a.compare(b, "R:k"), a.compare(more, ""), a.compare(twice, "")}));

    // Values: different, missing in one, missing in both; holders on neither
    // side or on one; one name is a value of the root.
    load(a, "<R><k>1</k><C><x>y</x></C></R>");
    load(b, "<R><k>2</k><j>3</j><C><x>y</x></C></R>");
    EXPECT_EQ("0001100101", bits({a.compare(b, "R:k"), a.compare(b, "R:j"), b.compare(a, "R:j"), a.compare(b, "R:none"),
                                  a.compare(b, "Q:k"), empty.compare(a, "R:k"), a.compare(empty, "R:C"),
                                  empty.compare(XP_ParamIO(), ""), a.compare(b, "k"), a.compare(b, "nothing")}));

    XP_ParamIO out;
    load(a, kBase);
    ASSERT_TRUE(a.extract("Cfg", out));
    EXPECT_EQ(written(a), written(out));
    EXPECT_FALSE(a.extract("", out) || a.extract(nullptr, out));   // out left alone
    EXPECT_EQ(written(a), written(out));
    EXPECT_FALSE(a.extract("Cfg:unit", out));   // a value is no node: out emptied
    EXPECT_EQ("<>\n</>\n", written(out));
    ASSERT_TRUE(a.extract("Cfg:View", out));
    a.erase("Cfg:View");   // the copy does not depend on its source
    EXPECT_EQ("5", root(out).findNode("Pane")->findElement("w")->value);
    EXPECT_FALSE(a.extract("Cfg", a));   // into itself: cleared first
    EXPECT_EQ("<>\n</>\n", written(a));

    // The root is never erased; a value goes first, then the child; one name
    // is the root's value or child.
    load(a, "<R><x>1</x><x2>2</x2><C><k>1</k></C><x><inner>1</inner></x></R>");
    EXPECT_EQ("0000", bits({a.erase(""), a.erase("R"), a.erase("Q:x"), a.erase("R:nothing")}));
    EXPECT_TRUE(a.erase("R:x"));
    EXPECT_TRUE(!root(a).findElement("x") && root(a).findNode("x"));
    EXPECT_EQ("1011", bits({a.erase("R:x"), a.erase("R:x"), a.erase("x2"), a.erase("C")}));
    EXPECT_EQ("<R>\n</R>\n", written(a));
}
