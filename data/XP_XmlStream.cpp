// XP_XmlStream.cpp - the reader (scan of a text, reported to an XP_XmlNotify)
// and the writer of parameter files.
#include "XP_Param.h"
#include "XP_XmlCursor.h"
#include "XP_XmlTreeBuild.h"

#include <cstring>
#include <ostream>
#include <string_view>
#include <typeinfo>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Builds an XP_XML_Param_Notify tree straight from the text, for as long as
// it lives.
struct _xp_TreeSink {
    XP_XML_Param_Notify* tree;
    explicit _xp_TreeSink(XP_XML_Param_Notify* t) : tree(t) { tree->m_build->reading = true; }
    ~_xp_TreeSink()
    {
        tree->m_build->reading = false;
        tree->m_build->rootKept = false;
    }
    _xp_TreeSink(const _xp_TreeSink&) = delete;
    _xp_TreeSink& operator=(const _xp_TreeSink&) = delete;
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

    // The same for tags without attribute text.
    void startNode(std::string_view name) { tree->openNode(name, std::string_view()); }
    void element(std::string_view name, std::string_view value) { tree->addValue(name, value, std::string_view()); }
    void endNode(std::string_view) { tree->closeNode(); }

    // True when all a read adds can be taken back by clearing the root: it
    // is empty and no node is open.
    bool fresh() const
    {
        const XP_XML_Node& root = tree->m_root;
        return !tree->m_current && root.getName().empty() && root.getAttributes().empty() && !root.getParent() &&
               root.elementCount() == 0 && root.nodeCount() == 0;
    }
    void takeBack()
    {
        tree->m_root.clear();
        tree->m_current = nullptr;
        tree->m_build->open.clear();
        tree->m_build->rootKept = false;
    }
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

    void startNode(std::string_view n)
    {
        name.assign(n.data(), n.size());
        attributes.clear();
        notify->startNode(name, attributes);
    }
    void element(std::string_view n, std::string_view v)
    {
        name.assign(n.data(), n.size());
        value.assign(v.data(), v.size());
        attributes.clear();
        notify->element(name, value, attributes);
    }
    void endNode(std::string_view n)
    {
        name.assign(n.data(), n.size());
        attributes.clear();
        notify->endNode(name, attributes);
    }
};

// Without a listener the text is scanned all the same.
struct NoSink {
    void startNode(const XP_XmlCursor&) {}
    void element(const XP_XmlCursor&) {}
    void endNode(const XP_XmlCursor&) {}
    void startNode(std::string_view) {}
    void element(std::string_view, std::string_view) {}
    void endNode(std::string_view) {}
};

// First c in [p, end), or null. The gaps between tags are mostly short, so
// a few blocks are compared inline before memchr is called.
inline const char* nextOf(const char* p, const char* end, char c)
{
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi8(c);
    for (int blocks = 0; end - p >= 16 && blocks < 4; ++blocks, p += 16) {
        const unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), needle)));
        if (mask) return p + __builtin_ctz(mask);
    }
#endif
    if (end - p > 16) return static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)));
    for (; p < end; ++p)
        if (*p == c) return p;
    return nullptr;
}

inline const char* nextLt(const char* p, const char* end) { return nextOf(p, end, '<'); }

inline bool sameName(const char* a, const char* b, std::size_t n)
{
    if (n > 16) return std::memcmp(a, b, n) == 0;
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// Characters that end a plain tag name: ">" ends it, "<", "/" and the blank
// make the tag one the bracket reading does not take.
struct NameStops {
    bool stop[256];
    NameStops() : stop()
    {
        stop[static_cast<unsigned char>('>')] = stop[static_cast<unsigned char>('<')] = true;
        stop[static_cast<unsigned char>('/')] = stop[static_cast<unsigned char>(' ')] = true;
    }
};
const NameStops kNameStops;

inline bool hasPrefix(const char* s, std::size_t n, const char* prefix, std::size_t prefixLength)
{
    return n >= prefixLength && std::memcmp(s, prefix, prefixLength) == 0;
}

// "?xml..." and "!--...": read over, never reported.
inline bool skippedName(const char* s, std::size_t n)
{
    return hasPrefix(s, n, "?xml", 4) || hasPrefix(s, n, "!--", 3);
}

// Texts as the writer writes them read in one pass. Take a text in which
// every "<" begins a plain tag, "<name>" or "</name>" with a name that holds
// no blank, "/", "<" or ">", or a declaration or comment with no "<" before
// its ">", and in which the start and end tags pair up like brackets. There
// the end tag of every start tag is its bracket partner (the exact start tags
// of its name in between claim the end tags of their own), and a start tag
// whose next "<" begins its own end tag is a value. So a stack of the open
// names reads the text exactly as the general scan does. Returns false at the
// first thing outside that shape; what was reported until then must be taken
// back by the caller, or the run was a dry one (NoSink).
struct OpenName {
    std::int32_t start, length;
};

template <class Sink>
bool scanBrackets(const char* text, std::int32_t length, Sink& sink)
{
    std::vector<OpenName> open;
    const char* const end = text + length;
    const char* p = text;
    for (;;) {
        const char* lt = nextLt(p, end);
        if (!lt) return open.empty();
        const char* name = lt + 1;
        if (name < end && *name == '/') {
            // Only the end tag of the open node may stand here.
            if (open.empty()) return false;
            const OpenName top = open.back();
            const std::size_t n = static_cast<std::size_t>(top.length);
            ++name;
            if (static_cast<std::size_t>(end - name) <= n || name[n] != '>' || !sameName(name, text + top.start, n))
                return false;
            sink.endNode(std::string_view(text + top.start, n));
            open.pop_back();
            p = name + n + 1;
            continue;
        }
        const char* gt = name;
        while (gt < end && !kNameStops.stop[static_cast<unsigned char>(*gt)]) ++gt;
        if (gt == end) return false;
        if (*gt != '>' || gt == name) {
            // A declaration or a comment, or a tag this reading does not take.
            const char* close = nextLt(gt, end);
            gt = nextOf(gt, end, '>');
            if (!gt || (close && close < gt) || !skippedName(name, static_cast<std::size_t>(gt - name)))
                return false;
            p = gt + 1;
            continue;
        }
        const std::size_t n = static_cast<std::size_t>(gt - name);
        if (skippedName(name, n)) {
            p = gt + 1;
            continue;
        }
        const char* next = nextLt(gt + 1, end);
        if (!next) return false;   // no end tag
        if (static_cast<std::size_t>(end - next) > n + 2 && next[1] == '/' && next[n + 2] == '>' &&
            sameName(next + 2, name, n)) {
            sink.element(std::string_view(name, n), std::string_view(gt + 1, static_cast<std::size_t>(next - gt - 1)));
            p = next + n + 3;
        } else {
            sink.startNode(std::string_view(name, n));
            open.push_back(OpenName{static_cast<std::int32_t>(name - text), static_cast<std::int32_t>(n)});
            p = next;
        }
    }
}

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
    const char* t = data();
    NoSink none;
    if (!notify) {
        if (!scanBrackets(t, length, none)) scan(t, length, none);
    } else if (typeid(*notify) == typeid(XP_XML_Param_Notify)) {
        // Exactly the tree builder (not a class that overrides it).
        _xp_TreeSink sink(static_cast<XP_XML_Param_Notify*>(notify));
        if (sink.fresh()) {
            // Built at once; a text of another shape takes its tree back.
            if (scanBrackets(t, length, sink)) return true;
            sink.takeBack();
        } else if (scanBrackets(t, length, none)) {
            scanBrackets(t, length, sink);
            return true;
        }
        scan(t, length, sink);
    } else {
        // A listener cannot be asked to forget: a dry run decides the way.
        NotifySink sink{notify, {}, {}, {}};
        if (scanBrackets(t, length, none))
            scanBrackets(t, length, sink);
        else
            scan(t, length, sink);
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
