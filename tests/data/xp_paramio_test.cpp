// XP_ParamIO: access paths, streams and files, compare, extract and erase.
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>

namespace {

using xmltest::load;
using xmltest::written;

const XP_XML_Node& root(const XP_ParamIO& io) { return io.getTree().getRoot(); }

const char* const kBase =
    "<Cfg><unit>mm</unit><scale>2</scale>"
    "<View><zoom>1</zoom><Pane><w>5</w></Pane></View><Pen><width>3</width></Pen></Cfg>";

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
    load(io, "");   // a read replaces everything but the text last scanned, as an empty one is not
    EXPECT_EQ("<>\n</>\n" "<Other a=\"1\"><k>v</k></Other>", written(root(io)) + io.getStream());
    io.getTree().startNode("R", "");   // left open by a caller: the read starts afresh all the same
    io.getTree().startNode("C", "");
    load(io, "<S><k>1</k></S>");
    EXPECT_EQ("<S>\n\t<k>1</k>\n</S>\n", written(root(io)));
    std::istringstream started("<a><k>1</k></a><b><k>2</k></b>");
    started.ignore(15);   // reading goes on where the stream stands
    io.readStream(started);
    EXPECT_EQ("<b>\n\t<k>2</k>\n</b>\n", written(root(io)));

    namespace fs = std::filesystem;
    fs::path dir;   // a fresh folder below the system's temporary folder, removed at the end
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    while (!fs::create_directory(dir = fs::temp_directory_path() / ("orv-xml-" + std::to_string(stamp++)))) {}
    const std::shared_ptr<void> removal(nullptr, [&](void*) { std::error_code ignored; fs::remove_all(dir, ignored); });
    const std::string path = (dir / "params.xml").string();
    load(io, kBase);
    io.writeFile(path.c_str());
    load(io, "<S><k>1</k></S>");
    io.writeFile(path.c_str());   // truncates, in text mode
    std::ifstream raw(path, std::ios::binary);
#ifdef _WIN32
    EXPECT_EQ("<S>\r\n\t<k>1</k>\r\n</S>\r\n", std::string(std::istreambuf_iterator<char>(raw), {}));
#else
    EXPECT_EQ("<S>\n\t<k>1</k>\n</S>\n", std::string(std::istreambuf_iterator<char>(raw), {}));
#endif
    XP_ParamIO back;
    back.readFile(path.c_str());
    // Files that do not open change nothing and say nothing: back holds what was read.
    back.readFile((dir / "missing.xml").string().c_str());
    back.writeFile((dir / "no-folder" / "out.xml").string().c_str());
    EXPECT_EQ(written(root(io)), written(root(back)));
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
        EXPECT_FALSE(a.compare(b, last.c_str()));
    }
}

TEST(XmlParamIO, CompareExtractAndEraseRules)
{
    const auto bits = [](std::initializer_list<bool> results) {   // results of several calls as "1" and "0"
        std::string r;
        for (bool b : results) r += b ? '1' : '0';
        return r;
    };
    XP_ParamIO a, b, more, twice, empty;
    // Attribute texts never count; counts of elements and children do.
    load(a, "<R x=\"1\"><k u=\"1\">v</k><C y=\"2\"><q>1</q></C></R>");
    load(b, "<R><k>v</k><C><q>1</q></C></R>");
    load(more, "<R><k>v</k><k2>w</k2><C><q>1</q></C></R>");
    load(twice, "<R><k>v</k><C><q>1</q></C><C><q>1</q></C></R>");
    EXPECT_EQ("1100", bits({a.compare(b, ""), a.compare(b, "R:k"), a.compare(more, ""), a.compare(twice, "")}));
    // Nor do the roots' own names or the order of values and children; paths through the roots must match.
    load(b, "<Q><C><q>1</q></C><k>v</k></Q>");
    EXPECT_EQ("100", bits({a.compare(b, ""), a.compare(b, "R"), b.compare(a, "Q:C")}));

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
    EXPECT_FALSE(a.extract("", out) || a.extract(nullptr, out));   // out left alone
    EXPECT_EQ(written(root(a)), written(root(out)));
    EXPECT_FALSE(a.extract("Cfg:unit", out));   // a value is no node: out emptied
    EXPECT_EQ("<>\n</>\n", written(root(out)));
    ASSERT_TRUE(a.extract("Cfg:View", out));
    a.erase("Cfg:View");   // the copy does not depend on its source
    EXPECT_EQ(nullptr, root(out).getParent());
    EXPECT_EQ("5", root(out).findNode("Pane")->findElement("w")->value);
    EXPECT_FALSE(a.extract("Cfg", a));   // into itself: cleared first
    EXPECT_EQ("<>\n</>\n", written(root(a)));

    // The root is never erased; a value goes first, then the child; one name
    // is the root's value or child.
    load(a, "<R><x>1</x><x2>2</x2><C><k>1</k></C><x><inner>1</inner></x></R>");
    EXPECT_EQ("0000", bits({a.erase(""), a.erase("R"), a.erase("Q:x"), a.erase("R:nothing")}));
    EXPECT_TRUE(a.erase("R:x"));
    EXPECT_TRUE(!root(a).findElement("x") && root(a).findNode("x"));
    EXPECT_EQ("1011", bits({a.erase("R:x"), a.erase("R:x"), a.erase("x2"), a.erase("C")}));
    EXPECT_EQ("<R>\n</R>\n", written(root(a)));
}
