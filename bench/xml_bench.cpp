// xml_bench - reading speed of parameter files against pugixml, and how
// reading time grows with the shape of the text.
//
//   xml_bench [repetitions]
//
// Prints best-of-N times. The ratio rows say how many times slower than
// pugixml (parsing the same bytes into its DOM) our reader is; the scaling
// rows give the time per item at two sizes, whose ratio stays near 1 when
// reading is linear.
#include "XP_Param.h"

#include <pugixml.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sstream>
#include <string>

namespace {

// Best time of run; prepare (e.g. freeing the previous result) is not timed.
double bestSeconds(int repetitions, const std::function<void()>& run,
                   const std::function<void()>& prepare = [] {})
{
    double best = 1e30;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        const auto t0 = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        if (d.count() < best) best = d.count();
    }
    return best;
}

// A parameter file of depth 6 as the writer writes it: about 200,000 nodes
// with five short values each.
std::string makeParameterFile()
{
    static const int branching[] = {12, 12, 12, 12, 9};
    unsigned serial = 0;
    XP_XML_Node root("Parameters", "", nullptr);
    std::function<void(XP_XML_Node&, int)> fill = [&](XP_XML_Node& node, int level) {
        for (int k = 0; k < 5; ++k)
            node.addElement(std::string(1, static_cast<char>('a' + k)), std::to_string((serial++ * 7919u) % 1000u), "");
        if (level == 5) return;
        for (int c = 0; c < branching[level]; ++c) fill(*node.addNode("n" + std::to_string(c), ""), level + 1);
    };
    fill(root, 0);
    std::ostringstream out;
    XP_XmlStream::writeNode(root, out);
    return out.str();
}

std::size_t countNodes(const XP_XML_Node& n, std::size_t& elements)
{
    std::size_t count = 1;
    elements += n.elementCount();
    for (auto c = n.beginNodes(); c != n.endNodes(); ++c) count += countNodes(*c, elements);
    return count;
}

double readSeconds(const std::string& text, int repetitions, XP_ParamIO& io)
{
    return bestSeconds(
        repetitions,
        [&] {
            io.getStream().setNotify(&io.getTree());
            io.getStream().parse(text.data(), static_cast<std::int32_t>(text.size()));
        },
        [&] { io.clear(); });
}

std::string wideNode(int elements)
{
    std::string t = "<r>\n";
    for (int i = 0; i < elements; ++i) t += "\t<k" + std::to_string(i) + ">v</k" + std::to_string(i) + ">\n";
    return t + "</r>\n";
}

std::string siblingNodes(int nodes)
{
    std::string t = "<r>\n";
    for (int i = 0; i < nodes; ++i) t += "\t<n>\n\t\t<k>v</k>\n\t</n>\n";
    return t + "</r>\n";
}

// Each top-level node reopens the root and adds a value of its own.
std::string topLevelNodes(int nodes)
{
    std::string t;
    for (int i = 0; i < nodes; ++i) t += "<r><k" + std::to_string(i) + ">v</k" + std::to_string(i) + "></r>\n";
    return t;
}

std::string deepNodes(int depth, bool sameName)
{
    std::string t;
    for (int i = 0; i < depth; ++i) t += sameName ? "<a>" : "<n" + std::to_string(i % 10) + ">";
    t += "<k>v</k>";
    for (int i = depth; i-- > 0;) t += sameName ? "</a>" : "</n" + std::to_string(i % 10) + ">";
    return t;
}

void scalingRow(const char* what, const std::function<std::string(int)>& make, int repetitions)
{
    XP_ParamIO io;
    const std::string small = make(10000), large = make(100000);
    const double ts = readSeconds(small, repetitions, io) / 10000;
    const double tl = readSeconds(large, repetitions, io) / 100000;
    std::printf("%-34s %10.1f %10.1f %8.2f\n", what, ts * 1e9, tl * 1e9, tl / ts);
}

// One row of the comparison with pugixml.
void compareRow(const char* condition, const std::string& text, int repetitions)
{
    XP_ParamIO io;
    const double ours = readSeconds(text, repetitions, io);
    std::istringstream in;
    const double viaStream = bestSeconds(
        repetitions, [&] { io.readStream(in); },
        [&] {
            io.clear();
            in.clear();
            in.str(text);
        });
    pugi::xml_document doc;
    const double pugi = bestSeconds(
        repetitions, [&] { doc.load_buffer(text.data(), text.size()); }, [&] { doc.reset(); });
    std::printf("%-26s %10.1f %12.1f %10.1f %7.2f\n", condition, ours * 1e3, viaStream * 1e3, pugi * 1e3,
                ours / pugi);
}

}  // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 5;

    const std::string text = makeParameterFile();
    std::size_t elements = 0, nodes = 0;
    {
        XP_ParamIO io;
        std::istringstream in(text);
        io.readStream(in);
        nodes = countNodes(io.getTree().getRoot(), elements);
    }
    std::printf("parameter file: %.1f MB, %zu nodes, %zu elements, best of %d\n\n", text.size() / 1e6, nodes,
                elements, repetitions);
    std::printf("%-26s %10s %12s %10s %7s\n", "reading into the tree, ms", "parse", "readStream", "pugixml",
                "ratio");
    compareRow("allocator defaults", text, repetitions);
#if defined(__GLIBC__)
    // With the defaults, every large block is mapped anew and faulted in on
    // each run, which costs pugixml (few, large blocks) far more than us.
    // Keeping freed memory shows both at their computing speed.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    compareRow("freed memory kept", text, repetitions);
#endif
    std::printf("(ratio = parse time / pugixml time; the target is at most 3)\n\n");

    std::printf("%-34s %10s %10s %8s\n", "scaling: ns per item", "10,000", "100,000", "ratio");
    scalingRow("elements in one node", wideNode, repetitions);
    scalingRow("sibling nodes", siblingNodes, repetitions);
    scalingRow("top-level nodes", topLevelNodes, repetitions);
    scalingRow("nesting depth, names n0..n9", [](int n) { return deepNodes(n, false); }, repetitions);
    scalingRow("nesting depth, one name", [](int n) { return deepNodes(n, true); }, repetitions);
    return 0;
}
