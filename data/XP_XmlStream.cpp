// XP_XmlStream.cpp - the reader (scan of a text, reported to an XP_XmlNotify)
// and the writer of parameter files.
#include "XP_Param.h"
#include "XP_XmlCursor.h"

#include <ostream>
#include <string_view>
#include <typeinfo>

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

// Builds an XP_XML_Param_Notify tree straight from the text.
struct _xp_TreeSink {
    XP_XML_Param_Notify* tree;
    static std::string_view range(const XP_XmlCursor& c, std::int32_t start, std::int32_t end)
    {
        const std::int32_t n = XP_XmlCursor::rangeLength(start, end);
        return n ? std::string_view(c.data + start, static_cast<std::size_t>(n)) : std::string_view();
    }
    void startNode(const XP_XmlCursor& c)
    {
        tree->openNode(range(c, c.nameStart, c.nameEnd), range(c, c.attrStart, c.attrEnd));
    }
    void element(const XP_XmlCursor& c)
    {
        tree->addValue(range(c, c.nameStart, c.nameEnd), range(c, c.contentStart, c.contentEnd),
                       range(c, c.attrStart, c.attrEnd));
    }
    void endNode(const XP_XmlCursor&) { tree->closeNode(); }
};

namespace {

// Reports to any listener through its interface.
struct NotifySink {
    XP_XmlNotify* notify;
    std::string name, value, attributes;
    void startNode(const XP_XmlCursor& c)
    {
        c.take(c.nameStart, c.nameEnd, name);
        c.take(c.attrStart, c.attrEnd, attributes);
        notify->startNode(name, attributes);
    }
    void element(const XP_XmlCursor& c)
    {
        c.take(c.nameStart, c.nameEnd, name);
        c.take(c.contentStart, c.contentEnd, value);
        c.take(c.attrStart, c.attrEnd, attributes);
        notify->element(name, value, attributes);
    }
    void endNode(const XP_XmlCursor& c)
    {
        c.take(c.nameStart, c.nameEnd, name);
        c.take(c.attrStart, c.attrEnd, attributes);
        notify->endNode(name, attributes);
    }
};

// Without a listener the text is scanned all the same.
struct NoSink {
    void startNode(const XP_XmlCursor&) {}
    void element(const XP_XmlCursor&) {}
    void endNode(const XP_XmlCursor&) {}
};

// Scans the text level by level. Each open node keeps its cursor on a stack
// instead of the call stack, so nesting depth costs heap, not stack.
template <class Sink>
void scan(const char* text, std::int32_t length, Sink& sink)
{
    _xp_EndTagIndex index(text, length);
    std::vector<XP_XmlCursor> levels(1);
    levels[0].data = text;
    levels[0].length = length;
    levels[0].position = 0;

    while (!levels.empty()) {
        XP_XmlCursor& cursor = levels.back();
        if (!cursor.data || cursor.length <= 0 || !cursor.findNextTag(index, text)) {
            levels.pop_back();
            if (levels.empty()) break;
            // The level was a node's content: the node ends, its parent goes on.
            XP_XmlCursor& parent = levels.back();
            if (parent.nameLength() > 0) sink.endNode(parent);
            parent.moveOn();
            continue;
        }
        if (cursor.isSkipped()) {
            cursor.moveOn();
            continue;
        }
        const bool named = cursor.nameLength() > 0;
        if (!cursor.contentHasTag()) {
            if (named) sink.element(cursor);
            cursor.moveOn();
            continue;
        }
        if (named) sink.startNode(cursor);
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
    // Text already held here (readStream reads into it) needs no copy.
    if (text != data() || static_cast<std::size_t>(length) != size()) assign(text, static_cast<std::size_t>(length));
    if (!notify) {
        NoSink sink;
        scan(data(), length, sink);
    } else if (typeid(*notify) == typeid(XP_XML_Param_Notify)) {
        // Exactly the tree builder (not a class that overrides it).
        _xp_TreeSink sink{static_cast<XP_XML_Param_Notify*>(notify)};
        scan(data(), length, sink);
    } else {
        NotifySink sink{notify, {}, {}, {}};
        scan(data(), length, sink);
    }
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
