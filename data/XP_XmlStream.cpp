// XP_XmlStream.cpp - the reader (scan of a text, reported to an XP_XmlNotify)
// and the writer of parameter files.
#include "XP_Param.h"
#include "XP_XmlCursor.h"

#include <ostream>

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

// Scans the text level by level. Each open node keeps its cursor on a stack
// instead of the call stack, so nesting depth costs heap, not stack.
void scan(const char* text, std::int32_t length, XP_XmlNotify* notify)
{
    _xp_EndTagIndex index(text, length);
    std::vector<XP_XmlCursor> levels(1);
    levels[0].data = text;
    levels[0].length = length;
    levels[0].position = 0;
    std::string name, value, attributes;

    while (!levels.empty()) {
        XP_XmlCursor& cursor = levels.back();
        if (!cursor.data || cursor.length <= 0 || !cursor.findNextTag(index, text)) {
            levels.pop_back();
            if (levels.empty()) break;
            // The level was a node's content: the node ends, its parent goes on.
            XP_XmlCursor& parent = levels.back();
            if (notify && parent.nameLength() > 0) {
                parent.take(parent.nameStart, parent.nameEnd, name);
                parent.take(parent.attrStart, parent.attrEnd, attributes);
                notify->endNode(name, attributes);
            }
            parent.moveOn();
            continue;
        }
        if (cursor.isSkipped()) {
            cursor.moveOn();
            continue;
        }
        const bool named = cursor.nameLength() > 0;
        if (notify && named) {
            cursor.take(cursor.nameStart, cursor.nameEnd, name);
            cursor.take(cursor.attrStart, cursor.attrEnd, attributes);
        }
        if (!cursor.contentHasTag()) {
            if (notify && named) {
                cursor.take(cursor.contentStart, cursor.contentEnd, value);
                notify->element(name, value, attributes);
            }
            cursor.moveOn();
            continue;
        }
        if (notify && named) notify->startNode(name, attributes);
        XP_XmlCursor content;
        content.data = cursor.data + cursor.contentStart;
        content.length = XP_XmlCursor::rangeLength(cursor.contentStart, cursor.contentEnd);
        levels.push_back(content);   // cursor is not used past this point
    }
}

}  // namespace

bool XP_XmlStream::parse(const char* text, std::int32_t length)
{
    if (!text || length <= 0) return false;
    assign(text, static_cast<std::size_t>(length));
    scan(data(), length, notify);
    return true;
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
