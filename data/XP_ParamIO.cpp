// XP_ParamIO.cpp - a parameter tree with its files and access paths.
#include "XP_Param.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <unordered_map>

XP_ParamIO::XP_ParamIO() {}

XP_ParamIO::~XP_ParamIO()
{
    clear();
}

void XP_ParamIO::parseAccess(const char* access, std::vector<std::string>& out)
{
    out.clear();
    if (!access || !*access) return;
    const char* piece = access;
    for (;;) {
        const char* colon = std::strchr(piece, ':');
        if (!colon) {
            out.emplace_back(piece);
            return;
        }
        out.emplace_back(piece, colon);
        piece = colon + 1;
        if (!*piece) return;   // a final colon ends the text
    }
}

void XP_ParamIO::readStream(std::istream& in)
{
    readFrom(in, 0);
}

void XP_ParamIO::readFrom(std::istream& in, std::size_t room)
{
    // The reader addresses its text with 32-bit offsets; what lies beyond that
    // is left unread.
    const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    std::string text;
    // A string stream tells how much it holds: room for all of it at once.
    std::streambuf* source = in.rdbuf();
    const std::streamsize available = source ? source->in_avail() : 0;
    if (available > 0) room = std::max(room, static_cast<std::size_t>(available));
    if (room > 0) text.reserve(std::min(room, limit));
    // Pieces small enough that the room made for each is still in the cache
    // when the read fills it.
    const std::size_t piece = 1 << 16;
    while (text.size() < limit) {
        const std::size_t had = text.size();
        // Room made for all of it is not doubled to learn that nothing follows.
        if (had == text.capacity() && had > 0 && in.peek() == std::char_traits<char>::eof()) break;
        const std::size_t spare = text.capacity() - had;
        const std::size_t want = std::min(spare > 0 ? std::min(spare, piece) : piece, limit - had);
        text.resize(had + want);
        in.read(&text[had], static_cast<std::streamsize>(want));
        const std::streamsize got = in.gcount();
        text.resize(had + static_cast<std::size_t>(got > 0 ? got : 0));
        if (static_cast<std::size_t>(got) < want) break;
    }
    m_tree.clear();   // also whatever an earlier read or a caller left open
    m_stream.setNotify(&m_tree);
    // An empty text is not scanned, so the stream keeps the text it scanned last.
    if (text.empty()) return;
    static_cast<std::string&>(m_stream).swap(text);
    m_stream.buildTree(m_tree);
}

void XP_ParamIO::writeStream(std::ostream& out) const
{
    XP_XmlStream::writeNode(m_tree.getRoot(), out);
}

void XP_ParamIO::readFile(const char* path)
{
    // The C run-time opens files for shared reading and writing.
    std::ifstream in(path);
    if (!in.is_open()) return;
    // Room for the whole file at once: its size in bytes is at least its
    // number of characters in text mode. Asked before anything is read, so
    // the way back to the start is safe.
    std::filebuf& file = *in.rdbuf();
    const std::streamoff size = file.pubseekoff(0, std::ios::end, std::ios::in);
    if (size >= 0) file.pubseekpos(0, std::ios::in);   // a pipe cannot seek: no room made
    const std::streamoff limit = std::numeric_limits<std::int32_t>::max();
    readFrom(in, size > 0 ? static_cast<std::size_t>(std::min(size, limit)) : 0);
}

void XP_ParamIO::writeFile(const char* path) const
{
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    if (!out.is_open()) return;
    writeStream(out);
}

namespace {

typedef XP_XML_Node::ElementList ElementList;

// Same number of elements, and each of a's found in b (first of its key) with
// an equal value. Order and attribute texts do not count.
bool elementsEqual(const XP_XML_Node& a, const XP_XML_Node& b)
{
    if (a.elementCount() != b.elementCount()) return false;
    if (a.elementCount() <= 16) {
        for (auto e = a.beginElements(); e != a.endElements(); ++e) {
            const XP_Element* other = b.findElement(e->first);
            if (!other || other->value != e->second.value) return false;
        }
        return true;
    }
    std::unordered_map<std::string, const XP_Element*> byKey;
    byKey.reserve(b.elementCount());
    for (auto e = b.beginElements(); e != b.endElements(); ++e) byKey.emplace(e->first, &e->second);
    for (auto e = a.beginElements(); e != a.endElements(); ++e) {
        auto it = byKey.find(e->first);
        if (it == byKey.end() || it->second->value != e->second.value) return false;
    }
    return true;
}

// Elements equal, same number of children, and each child of a equal to the
// first child of b with its name (so b's first of a name may serve many).
// Walked with a work list: trees may be as deep as any text read.
bool nodesEqual(const XP_XML_Node& a, const XP_XML_Node& b)
{
    std::vector<std::pair<const XP_XML_Node*, const XP_XML_Node*>> work;
    work.emplace_back(&a, &b);
    std::unordered_map<std::string, const XP_XML_Node*> firstOfName;
    while (!work.empty()) {
        const XP_XML_Node* x = work.back().first;
        const XP_XML_Node* y = work.back().second;
        work.pop_back();
        if (x->nodeCount() != y->nodeCount()) return false;
        const bool many = y->nodeCount() > 16;
        if (many) {
            firstOfName.clear();
            for (auto c = y->beginNodes(); c != y->endNodes(); ++c) firstOfName.emplace(c->getName(), &*c);
        }
        for (auto c = x->beginNodes(); c != x->endNodes(); ++c) {
            const XP_XML_Node* match = nullptr;
            if (many) {
                auto it = firstOfName.find(c->getName());
                if (it != firstOfName.end()) match = it->second;
            } else {
                match = y->findNode(c->getName());
            }
            if (!match || !elementsEqual(*c, *match)) return false;
            work.emplace_back(&*c, match);
        }
    }
    return true;
}

}  // namespace

bool XP_ParamIO::compare(const XP_ParamIO& other, const char* access) const
{
    std::vector<std::string> path;
    parseAccess(access, path);
    if (XP_XML_Node::ConstNodeIterator mine = m_tree.getNode(path)) {
        XP_XML_Node::ConstNodeIterator theirs = other.m_tree.getNode(path);
        if (!theirs) return false;
        return elementsEqual(*mine, *theirs) && nodesEqual(*mine, *theirs);
    }
    // No node here: the last name is a value's key in the node before it.
    const std::string key = path.back();
    path.pop_back();
    XP_XML_Node::ConstNodeIterator mineHolder = m_tree.getNode(path);
    XP_XML_Node::ConstNodeIterator theirHolder = other.m_tree.getNode(path);
    if (!mineHolder && !theirHolder) return true;
    if (!mineHolder || !theirHolder) return false;
    const XP_Element* mineValue = mineHolder->findElement(key);
    const XP_Element* theirValue = theirHolder->findElement(key);
    if (!mineValue && !theirValue) return true;
    if (!mineValue || !theirValue) return false;
    return mineValue->value == theirValue->value;
}

bool XP_ParamIO::extract(const char* access, XP_ParamIO& out) const
{
    std::vector<std::string> path;
    parseAccess(access, path);
    if (path.empty()) return false;
    out.clear();
    XP_XML_Node::ConstNodeIterator found = m_tree.getNode(path);
    if (!found) return false;
    XP_XML_Node& root = out.m_tree.getRoot();
    root = *found;   // copies before it assigns: found may be out's own root
    root.set(root.getName(), root.getAttributes(), nullptr);
    return true;
}

bool XP_ParamIO::erase(const char* access)
{
    std::vector<std::string> path;
    parseAccess(access, path);
    if (path.empty()) return false;
    const std::string key = path.back();
    path.pop_back();
    XP_XML_Node::NodeIterator holder = m_tree.getNode(path);
    if (!holder) return false;
    return holder->removeElement(key) || holder->removeNode(key);
}
