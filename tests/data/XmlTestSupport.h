// Helpers of the XML parameter tests, usable in the Windows and the native
// build: a temporary folder, a listener that records what the reader reports,
// and a plain, recursive reading of the format's rules to check the library's
// reader against.
#ifndef XML_TEST_SUPPORT_H
#define XML_TEST_SUPPORT_H

#include "XP_Param.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace xmltest {

// A fresh folder below the system's temporary folder, removed on destruction.
class TempDir {
public:
    TempDir()
    {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        do m_path = std::filesystem::temp_directory_path() /
                    ("orv-xml-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        while (!std::filesystem::create_directory(m_path));
    }
    ~TempDir() { std::error_code ignored; std::filesystem::remove_all(m_path, ignored); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

inline std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// One report of the reader: 'S' startNode, 'V' element, 'E' endNode.
struct Event {
    char kind;
    std::string name, value, attributes;
    bool operator==(const Event& o) const
    {
        return kind == o.kind && name == o.name && value == o.value && attributes == o.attributes;
    }
};

class Recorder : public XP_XmlNotify {
public:
    void startNode(const std::string& n, const std::string& a) override { events.push_back({'S', n, "", a}); }
    void element(const std::string& n, const std::string& v, const std::string& a) override { events.push_back({'V', n, v, a}); }
    void endNode(const std::string& n, const std::string& a) override { events.push_back({'E', n, "", a}); }
    std::vector<Event> events;
};

inline std::vector<Event> readEvents(const std::string& text)
{
    Recorder r;
    XP_XmlStream s;
    s.setNotify(&r);
    s.parse(text.data(), static_cast<std::int32_t>(text.size()));
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

inline std::string readBrief(const std::string& text) { return brief(readEvents(text)); }

// Reads text into tree as XP_ParamIO does, but adding to what tree holds.
inline void readInto(XP_XML_Param_Notify& tree, const std::string& text)
{
    XP_XmlStream s;
    s.setNotify(&tree);
    s.parse(text.data(), static_cast<std::int32_t>(text.size()));
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

// --- The rules, read plainly: fresh searches at every level, recursion. ---
namespace reference {

// First c in [from, limit), or -1.
inline long long findChar(const char* d, long long from, long long limit, char c)
{
    for (long long i = from; i < limit; ++i)
        if (d[i] == c) return i;
    return -1;
}

// First occurrence of pat lying wholly inside [from, limit), or -1.
inline long long findText(const char* d, long long from, long long limit, const std::string& pat)
{
    const long long n = static_cast<long long>(pat.size());
    for (long long i = from; i + n <= limit; ++i)
        if (std::string(d + i, static_cast<size_t>(n)) == pat) return i;
    return -1;
}

inline void scan(const char* data, long long length, std::vector<Event>& out)
{
    for (;;) {
        if (!data || length <= 0) return;
        const long long lt = findChar(data, 0, length, '<');
        if (lt < 0) return;
        const long long gt = findChar(data, lt, length, '>');
        if (gt < 0) return;
        const bool slash = data[gt - 1] == '/';
        const long long ns = lt + 1;
        long long ne = slash ? gt - 2 : gt - 1;
        for (long long i = ns; i <= ne; ++i)
            if (data[i] == ' ') {
                ne = i - 1;
                break;
            }
        const std::string name = ne >= ns ? std::string(data + ns, static_cast<size_t>(ne - ns + 1)) : "";
        const long long tagLength = gt - lt + 1;
        const long long nameLength = static_cast<long long>(name.size());
        std::string attrs;
        if (nameLength >= 1 && tagLength - nameLength > 3) {
            const long long as = ne + 2, ae = slash ? gt - 2 : gt - 1;
            if (ae >= as) attrs.assign(data + as, static_cast<size_t>(ae - as + 1));
        }
        const bool skipped = name.compare(0, 4, "?xml") == 0 || name.compare(0, 3, "!--") == 0;
        long long position = gt + 1;
        long long cs = -1, ce = -1;
        if (!slash && !skipped) {
            const std::string endTag = "</" + name + ">", startTag = "<" + name + ">";
            long long close = findText(data, gt, length, endTag);
            if (close < 0) return;
            long long open = findText(data, gt, close, startTag);
            while (open >= 0) {
                close = findText(data, close + 1, length, endTag);
                if (close < 0) return;
                open = findText(data, open + 1, close, startTag);
            }
            const long long closeEnd = close + static_cast<long long>(endTag.size()) - 1;
            cs = gt + 1;
            ce = close - 1;
            const long long next = findChar(data, closeEnd, length, '<');
            position = next >= 0 ? next : closeEnd;
        }
        if (!skipped) {
            const std::string content = ce >= cs && cs >= 0 ? std::string(data + cs, static_cast<size_t>(ce - cs + 1)) : "";
            if (content.find('<') == std::string::npos) {
                if (!name.empty()) out.push_back({'V', name, content, attrs});
            } else {
                if (!name.empty()) out.push_back({'S', name, "", attrs});
                scan(data + cs, ce - cs + 1, out);
                if (!name.empty()) out.push_back({'E', name, "", attrs});
            }
        }
        data += position;
        length -= position;
    }
}

inline std::vector<Event> readEvents(const std::string& text)
{
    std::vector<Event> out;
    scan(text.data(), static_cast<long long>(text.size()), out);
    return out;
}

}  // namespace reference

// Random texts made of tag-like pieces, so that names repeat, nest, and
// lose or find their end tags often.
class TextMaker {
public:
    explicit TextMaker(std::uint32_t seed) : m_state(seed ? seed : 1) {}
    std::string make(int pieces)
    {
        using namespace std::string_literals;
        static const std::string kPieces[] = {
            "<a>", "</a>", "<b>", "</b>", "<a>", "</a>", "<a x>", "<a  y>", "<a/>", "<b z/>", "<>", "</>",
            "<!--", "-->", "<?xml?>", "<!DOCTYPE>", "<", ">", "/", " ", "x", "\n", "\t", "<a b", "</a b>",
            "<//a>", "</a", "<a<b>", "</a<b>", "<\0>"s, "</\0>"s, "<\0>v"s, "<ab>", "</ab>", "<b a>",
        };
        const std::uint32_t count = static_cast<std::uint32_t>(sizeof kPieces / sizeof kPieces[0]);
        std::string text;
        for (int i = 0; i < pieces; ++i) text += kPieces[next() % count];
        return text;
    }
    std::uint32_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }

    // Tags paired like brackets, as the writer writes them (with comments,
    // declarations and text between), in one case of three spoilt by one
    // piece of make() or cut short.
    std::string makeNested(int tags)
    {
        using namespace std::string_literals;
        static const std::string kNames[] = {"a", "b", "ab", "a\tb", "\0"s, "?x", "!-", "k"};
        static const std::string kFill[] = {"\n\t", " x > y ", "<!-- c -->", "<?xml v?>", "<!--z>", "<?xmlq>", ""};
        static const std::string kValues[] = {"", "1", " > ", "\n\t\t", "v w", "\0"s, "<!-"};
        const std::uint32_t names = static_cast<std::uint32_t>(sizeof kNames / sizeof kNames[0]);
        const std::uint32_t fills = static_cast<std::uint32_t>(sizeof kFill / sizeof kFill[0]);
        const std::uint32_t values = static_cast<std::uint32_t>(sizeof kValues / sizeof kValues[0]);
        std::string text;
        std::vector<std::string> open;
        for (int i = 0; i < tags; ++i) {
            const std::string& name = kNames[next() % names];
            switch (next() % 5) {
            case 0:
            case 1: text += "<" + name + ">"; open.push_back(name); break;
            case 2:
                if (!open.empty()) text += "</" + open.back() + ">", open.pop_back();
                break;
            case 3: text += "<" + name + ">" + kValues[next() % values] + "</" + name + ">"; break;
            default: text += kFill[next() % fills];
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
    std::uint32_t m_state;
};

}  // namespace xmltest

#endif
