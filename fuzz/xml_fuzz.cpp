// Fuzz target of the XML reader: any bytes are read (reports and trees
// checked against the plain reading of the rules in the tests), the tree is
// written and read back, written again, read a second time into an object
// that already holds a tree (with a node left open in it), and the path
// operations run on the result.
//
//   xml_fuzz fuzz/corpus-work fuzz/corpus/xml -max_total_time=660
#include "XP_Param.h"
#include "XmlTestSupport.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1 << 16) return 0;   // the plain reading is quadratic
    const std::string text(reinterpret_cast<const char*>(data), size);

    // The library's reader reports exactly what the plain reading does.
    const std::vector<xmltest::Event> events = xmltest::reference::readEvents(text);
    if (xmltest::readEvents(text) != events) std::abort();

    // Trees read straight from the text are the trees built from those
    // reports: read afresh, and added to a tree that holds something.
    XP_XML_Param_Notify expected;
    xmltest::feed(expected, events);
    XP_ParamIO first;
    std::istringstream in(text);
    first.readStream(in);
    if (!xmltest::sameTree(expected.getRoot(), first.getTree().getRoot())) std::abort();
    XP_XML_Param_Notify held, heldExpected;
    held.getRoot().set("h", "", nullptr);
    held.getRoot().addNode("c", "")->addElement("k", "0", "");
    heldExpected = held;
    xmltest::readInto(held, text);
    xmltest::feed(heldExpected, events);
    if (!xmltest::sameTree(heldExpected.getRoot(), held.getRoot())) std::abort();
    std::ostringstream written;
    first.writeStream(written);

    XP_ParamIO second;
    std::istringstream back(written.str());
    second.readStream(back);
    std::ostringstream rewritten;
    second.writeStream(rewritten);

    // A second read into one object gives what a fresh read gives.
    std::istringstream again(written.str());
    first.getTree().startNode("open", "");
    first.readStream(again);
    if (!xmltest::sameTree(second.getTree().getRoot(), first.getTree().getRoot())) std::abort();

    // Path operations on whatever shape came out; they must simply hold up.
    XP_ParamIO part;
    const std::string& rootName = second.getTree().getRoot().getName();
    first.compare(second, rootName.c_str());
    second.extract(rootName.c_str(), part);
    part.erase((rootName + ":" + text.substr(0, 8)).c_str());
    return 0;
}
