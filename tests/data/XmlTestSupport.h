// Helpers of the XML parameter tests, usable in the Windows and the native
// build: a listener that records what the reader reports, and a plain,
// recursive reading of the format's rules to check the library's reader against.
#ifndef XML_TEST_SUPPORT_H
#define XML_TEST_SUPPORT_H

#include "XP_Param.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xmltest {

using namespace std::string_literals;

// One report of the reader: 'S' startNode, 'V' element, 'E' endNode.
struct Event {
    char kind;
    std::string name, value, attributes;
    bool operator==(const Event& o) const
    {
        return kind == o.kind && name == o.name && value == o.value && attributes == o.attributes;
    }
};

struct Recorder : XP_XmlNotify {
    void startNode(const std::string& n, const std::string& a) override { events.push_back({'S', n, "", a}); }
    void element(const std::string& n, const std::string& v, const std::string& a) override { events.push_back({'V', n, v, a}); }
    void endNode(const std::string& n, const std::string& a) override { events.push_back({'E', n, "", a}); }
    std::vector<Event> events;
};

inline void load(XP_ParamIO& io, const std::string& text)
{
    std::istringstream in(text);
    io.readStream(in);
}

inline std::string written(const XP_XML_Node& node)
{
    std::ostringstream out;
    XP_XmlStream::writeNode(node, out);
    return out.str();
}

inline std::string valueOf(const XP_XML_Node& n, const std::string& key)
{
    const XP_Element* e = n.findElement(key);
    return e ? e->value : "(none)";
}

// Reads text with listener; a tree builder adds to what it holds, unlike XP_ParamIO.
inline void readInto(XP_XmlNotify& listener, const std::string& text)
{
    XP_XmlStream s;
    s.setNotify(&listener);
    s.parse(text.data(), static_cast<std::int32_t>(text.size()));
}

inline std::vector<Event> readEvents(const std::string& text)
{
    Recorder r;
    readInto(r, text);
    return r.events;
}

// Reports in short: "<name attrs>" a start, "key=value{attrs}" a value,
// "</name>" an end, separated by "|".
inline std::string brief(const std::vector<Event>& events)
{
    std::string out;
    for (const Event& e : events) {
        if (!out.empty()) out += "|";
        const std::string attrs = e.attributes.empty() ? "" : (e.kind == 'V' ? "{" + e.attributes + "}" : " " + e.attributes);
        if (e.kind == 'S') out += "<" + e.name + attrs + ">";
        if (e.kind == 'V') out += e.name + "=" + e.value + attrs;
        if (e.kind == 'E') out += "</" + e.name + attrs + ">";
    }
    return out;
}

// Gives reports to a tree builder through its listener interface.
inline void feed(XP_XML_Param_Notify& tree, const std::vector<Event>& events)
{
    for (const Event& e : events) {
        if (e.kind == 'S') tree.startNode(e.name, e.attributes);
        if (e.kind == 'V') tree.element(e.name, e.value, e.attributes);
        if (e.kind == 'E') tree.endNode(e.name, e.attributes);
    }
}

// Same names, attribute texts, elements (in order, attribute texts included)
// and children, and every child of a points to its holder. A work list, not
// recursion: read trees may be deep.
inline bool sameTree(const XP_XML_Node& a, const XP_XML_Node& b)
{
    std::vector<std::pair<const XP_XML_Node*, const XP_XML_Node*>> work{{&a, &b}};
    while (!work.empty()) {
        const XP_XML_Node* x = work.back().first;
        const XP_XML_Node* y = work.back().second;
        work.pop_back();
        if (x->getName() != y->getName() || x->getAttributes() != y->getAttributes() ||
            x->elementCount() != y->elementCount() || x->nodeCount() != y->nodeCount())
            return false;
        for (auto e = x->beginElements(), f = y->beginElements(); e != x->endElements(); ++e, ++f)
            if (e->first != f->first || e->second.value != f->second.value ||
                e->second.attributes != f->second.attributes)
                return false;
        for (auto c = x->beginNodes(), d = y->beginNodes(); c != x->endNodes(); ++c, ++d) {
            if (c->getParent() != x) return false;
            work.emplace_back(c, d);
        }
    }
    return true;
}

// The rules read plainly: fresh searches at every level, recursion.
namespace reference {

inline std::vector<Event> readEvents(std::string_view d, std::vector<Event> out = {})
{
    constexpr size_t npos = std::string_view::npos;
    for (;;) {
        const size_t lt = d.find('<');
        const size_t gt = lt == npos ? npos : d.find('>', lt);
        if (gt == npos) return out;
        const bool slash = d[gt - 1] == '/';
        const std::string_view tag = d.substr(lt + 1, gt - lt - (slash ? 2 : 1));
        const std::string name(tag.substr(0, tag.find(' ')));
        // Attribute text needs a name and one more character beyond its blank.
        const std::string attrs(!name.empty() && tag.size() >= name.size() + 2 ? tag.substr(name.size() + 1) : "");
        const bool skipped = name.compare(0, 4, "?xml") == 0 || name.compare(0, 3, "!--") == 0;
        size_t position = gt + 1;
        std::string_view content;
        if (!slash && !skipped) {
            const std::string endTag = "</" + name + ">", startTag = "<" + name + ">";
            // Each start tag of the same name inside claims the next end tag.
            size_t close = d.find(endTag, gt);
            for (size_t open = gt; close != npos; ++open, close = d.find(endTag, close + 1)) {
                open = d.substr(0, close).find(startTag, open);
                if (open == npos) break;
            }
            if (close == npos) return out;
            content = d.substr(gt + 1, close - gt - 1);
            position = close + endTag.size();
        }
        if (!skipped && content.find('<') == npos) {
            if (!name.empty()) out.push_back({'V', name, std::string(content), attrs});
        } else if (!skipped) {
            if (!name.empty()) out.push_back({'S', name, "", attrs});
            out = readEvents(content, std::move(out));
            if (!name.empty()) out.push_back({'E', name, "", attrs});
        }
        d.remove_prefix(position);
    }
}

}  // namespace reference

// Random texts made of tag-like pieces, so that names repeat, nest, and
// lose or find their end tags often.
class TextMaker {
public:
    explicit TextMaker(std::uint32_t seed) : m_random(seed) {}
    std::string make(int pieces)
    {
        static const std::string kPieces[] = {
            "<a>", "</a>", "<b>", "</b>", "<a>", "</a>", "<a x>", "<a  y>", "<a/>", "<b z/>", "<>", "</>",
            "<!--", "-->", "<?xml?>", "<!DOCTYPE>", "<", ">", "/", " ", "x", "\n", "\t", "<a b", "</a b>",
            "<//a>", "</a", "<a<b>", "</a<b>", "<\0>"s, "</\0>"s, "<\0>v"s, "<ab>", "</ab>", "<b a>",
        };
        std::string text;
        for (int i = 0; i < pieces; ++i) text += kPieces[next() % std::size(kPieces)];
        return text;
    }
    std::uint32_t next() { return static_cast<std::uint32_t>(m_random()); }

    // Tags paired like brackets, as the writer writes them (with comments,
    // declarations and text between), in one case of three spoilt by one
    // piece of make() or cut short.
    std::string makeNested(int tags)
    {
        static const std::string kNames[] = {"a", "b", "ab", "a\tb", "\0"s, "?x", "!-", "k"};
        static const std::string kFill[] = {"\n\t", " x > y ", "<!-- c -->", "<?xml v?>", "<!--z>", "<?xmlq>", ""};
        static const std::string kValues[] = {"", "1", " > ", "\n\t\t", "v w", "\0"s, "<!-"};
        std::string text;
        std::vector<std::string> open;
        for (int i = 0; i < tags; ++i) {
            const std::string& name = kNames[next() % std::size(kNames)];
            switch (next() % 5) {
            case 0:
            case 1: text += "<" + name + ">"; open.push_back(name); break;
            case 2:
                if (!open.empty()) text += "</" + open.back() + ">", open.pop_back();
                break;
            case 3: text += "<" + name + ">" + kValues[next() % std::size(kValues)] + "</" + name + ">"; break;
            default: text += kFill[next() % std::size(kFill)];
            }
        }
        while (!open.empty()) text += "</" + open.back() + ">", open.pop_back();
        switch (next() % 6) {
        case 0: return text.substr(0, next() % (text.size() + 1));
        case 1: return text.insert(next() % (text.size() + 1), make(1));
        default: return text;
        }
    }

private:
    std::minstd_rand m_random;   // the same sequence on every platform
};

}  // namespace xmltest

#endif
