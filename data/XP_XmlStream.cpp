// XP_XmlStream.cpp - the stream object and the writer of parameter files
// (its reading is in XP_XmlReader.cpp).
#include "XP_Param.h"

#include <ostream>
#include <vector>

int XP_XmlStream::s_writeDepth = 1;

XP_XmlStream::XP_XmlStream() : notify(nullptr) {}

XP_XmlStream::XP_XmlStream(const XP_XmlStream& other) : std::string(other), notify(other.notify) {}

XP_XmlStream& XP_XmlStream::operator=(const XP_XmlStream& other)
{
    std::string::operator=(other);
    notify = other.notify;
    return *this;
}

XP_XmlStream::~XP_XmlStream()
{
    clearText();
}

void XP_XmlStream::clearText()
{
    std::string().swap(*this);
}

namespace {

// Restores the process-wide depth even when the stream throws.
class DepthScope {
public:
    explicit DepthScope(int& depth) : m_depth(depth), m_saved(depth) {}
    ~DepthScope() { m_depth = m_saved; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;

private:
    int& m_depth;
    int m_saved;
};

void writeTabs(std::ostream& out, int count)
{
    static const char tabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    while (count > 0) {
        const int n = count < 16 ? count : 16;
        out.write(tabs, n);
        count -= n;
    }
}

}  // namespace

void XP_XmlStream::writeNode(const XP_XML_Node& node, std::ostream& out)
{
    DepthScope scope(s_writeDepth);
    int& d = s_writeDepth;
    struct Open {
        const XP_XML_Node* node;
        XP_XML_Node::ConstNodeIterator next;
    };
    std::vector<Open> open;   // iterative: trees may be as deep as any text read

    const XP_XML_Node* start = &node;
    for (;;) {
        if (start) {
            writeTabs(out, d - 1);
            out << '<' << start->getName() << '>' << std::endl;
            ++d;
            for (auto e = start->beginElements(); e != start->endElements(); ++e) {
                writeTabs(out, d - 1);
                out << '<' << e->first << '>' << e->second.value << "</" << e->first << '>' << std::endl;
            }
            open.push_back(Open{start, start->beginNodes()});
            start = nullptr;
        }
        Open& top = open.back();
        if (top.next != top.node->endNodes()) {
            start = &*top.next++;
            continue;
        }
        writeTabs(out, d - 2);
        out << "</" << top.node->getName() << '>' << std::endl;
        --d;
        open.pop_back();
        if (open.empty()) break;
    }
}
