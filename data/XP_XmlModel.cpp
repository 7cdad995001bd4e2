// XP_XmlModel.cpp - the parameter tree: XP_XML_Node and the listener that
// builds it, XP_XML_Param_Notify.
#include "XP_Param.h"

#include <cstring>
#include <functional>
#include <string_view>
#include <tuple>

// Look-up of the keys of a node with many elements: open addressing over
// element positions. Each slot keeps its key's hash, so probing and growing
// read the elements only on a likely match.
struct _xp_KeyIndex {
    struct Slot {
        std::uint32_t entry;   // position + 1; 0 is free
        std::uint32_t hash;
    };
    std::vector<Slot> slots;
    std::size_t count = 0;

    static std::uint32_t hashOf(std::string_view key)
    {
        const std::size_t h = std::hash<std::string_view>()(key);
        return static_cast<std::uint32_t>(h ^ (static_cast<std::uint64_t>(h) >> 32));
    }

    std::ptrdiff_t find(const XP_XML_Node::ElementList& elements, std::string_view key, std::uint32_t hash) const
    {
        const std::size_t mask = slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots[i];
            if (slot.entry == 0) return -1;
            if (slot.hash == hash && elements[slot.entry - 1].first == key)
                return static_cast<std::ptrdiff_t>(slot.entry - 1);
        }
    }

    // Records the key at position, which is not recorded yet.
    void insert(std::size_t position, std::uint32_t hash)
    {
        if ((count + 1) * 2 > slots.size()) {
            std::vector<Slot> old(slots.empty() ? 64 : slots.size() * 2, Slot{0, 0});
            old.swap(slots);
            for (const Slot& slot : old)
                if (slot.entry != 0) place(slot);
        }
        place(Slot{static_cast<std::uint32_t>(position + 1), hash});
        ++count;
    }

    void place(const Slot& slot)
    {
        const std::size_t mask = slots.size() - 1;
        std::size_t i = slot.hash & mask;
        while (slots[i].entry != 0) i = (i + 1) & mask;
        slots[i] = slot;
    }
};

namespace {
// Up to this many elements a node's keys are searched one by one.
constexpr std::size_t kUnindexedElements = 16;
}  // namespace

// ---------------------------------------------------------------------------
// XP_XML_Node
//
// Trees may be as deep as the text they were read from, so copying and
// destroying them walks the tree with an explicit work list, never recursion.

XP_XML_Node::XP_XML_Node() : m_parent(nullptr) {}

XP_XML_Node::XP_XML_Node(const std::string& name, const std::string& attributes, XP_XML_Node* parent)
    : m_name(name), m_attributes(attributes), m_parent(parent)
{
}

XP_XML_Node::XP_XML_Node(const XP_XML_Node& other)
    : m_elements(other.m_elements),
      m_name(other.m_name),
      m_attributes(other.m_attributes),
      m_parent(other.m_parent)
{
    copyChildrenFrom(other);
}

XP_XML_Node::XP_XML_Node(XP_XML_Node&& other) noexcept
    : m_elements(std::move(other.m_elements)),
      m_name(std::move(other.m_name)),
      m_attributes(std::move(other.m_attributes)),
      m_nodes(std::move(other.m_nodes)),
      m_parent(other.m_parent),
      m_keys(std::move(other.m_keys))
{
    other.dropStorage();
    adoptChildren();
}

XP_XML_Node& XP_XML_Node::operator=(const XP_XML_Node& other)
{
    if (this != &other) {
        XP_XML_Node copy(other);   // other may live inside this subtree
        *this = std::move(copy);
    }
    return *this;
}

XP_XML_Node& XP_XML_Node::operator=(XP_XML_Node&& other) noexcept
{
    if (this == &other) return *this;
    // Take other's parts before dropping ours: other may be one of our descendants.
    ElementList elements(std::move(other.m_elements));
    std::string name(std::move(other.m_name));
    std::string attributes(std::move(other.m_attributes));
    NodeList nodes(std::move(other.m_nodes));
    XP_XML_Node* parent = other.m_parent;
    std::unique_ptr<_xp_KeyIndex> keys(std::move(other.m_keys));
    other.dropStorage();

    releaseChildren();
    m_elements = std::move(elements);
    m_name = std::move(name);
    m_attributes = std::move(attributes);
    m_nodes = std::move(nodes);
    m_parent = parent;
    m_keys = std::move(keys);
    adoptChildren();
    return *this;
}

XP_XML_Node::~XP_XML_Node()
{
    releaseChildren();
}

void XP_XML_Node::adoptChildren()
{
    for (XP_XML_Node& child : m_nodes) child.m_parent = this;
}

// A moved-from sequence keeps the allocator it moved with: given the heap's
// again, so that it never draws on an arena whose blocks went elsewhere.
void XP_XML_Node::dropStorage() noexcept
{
    ElementList().swap(m_elements);
    NodeList().swap(m_nodes);
}

void XP_XML_Node::releaseChildren()
{
    if (m_nodes.empty()) return;
    // Each batch is destroyed only after its nodes gave up their children, so
    // no destructor below this one has anything left to descend into. Whole
    // batches in turn keep the walk in step with how the memory lies.
    std::vector<NodeList> pending;
    try {
        pending.push_back(std::move(m_nodes));
        while (!pending.empty()) {
            NodeList batch(std::move(pending.back()));
            pending.pop_back();
            for (XP_XML_Node& node : batch)
                if (!node.m_nodes.empty()) pending.push_back(std::move(node.m_nodes));
        }
    } catch (...) {
        // Out of memory for the work list: what is left is destroyed the
        // ordinary way when pending goes.
    }
    NodeList().swap(m_nodes);
}

void XP_XML_Node::set(const std::string& name, const std::string& attributes, XP_XML_Node* parent)
{
    m_name = name;
    m_attributes = attributes;
    m_parent = parent;
}

void XP_XML_Node::addElement(const std::string& key, const std::string& value, const std::string& attributes)
{
    putElement(key, value, attributes);
}

namespace {

inline bool sameText(const std::string& s, std::string_view t)
{
    if (s.size() != t.size()) return false;
    const char* a = s.data();
    if (t.size() > 16) return std::memcmp(a, t.data(), t.size()) == 0;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (a[i] != t[i]) return false;
    return true;
}

// The longest text a string keeps inside itself, owning no memory (0 where
// strings have no room of their own). A short string that is assigned a
// text this long keeps it inside too.
const std::size_t kTextInside = std::string().capacity();

// Sets an empty string to text. Short texts are copied character by
// character: that inlines, where assigning calls into the library.
inline void setText(std::string& s, std::string_view text)
{
    if (text.size() < 16) {
        for (char c : text) s.push_back(c);
    } else {
        s.assign(text.data(), text.size());
    }
}

}  // namespace

XP_Element& XP_XML_Node::putElement(std::string_view key, std::string_view value, std::string_view attributes)
{
    std::uint32_t hash = 0;
    std::ptrdiff_t at = -1;
    if (m_elements.size() <= kUnindexedElements) {
        for (std::size_t i = 0; i < m_elements.size(); ++i) {
            if (sameText(m_elements[i].first, key)) {
                at = static_cast<std::ptrdiff_t>(i);
                break;
            }
        }
    } else {
        if (!m_keys) {
            m_keys.reset(new _xp_KeyIndex);
            for (std::size_t i = 0; i < m_elements.size(); ++i)
                m_keys->insert(i, _xp_KeyIndex::hashOf(m_elements[i].first));
        }
        hash = _xp_KeyIndex::hashOf(key);
        at = m_keys->find(m_elements, key, hash);
    }
    if (at >= 0) {
        ElementEntry& existing = m_elements[static_cast<std::size_t>(at)];
        keepShortMark(value, attributes);
        existing.second.value.assign(value.data(), value.size());
        existing.second.attributes.assign(attributes.data(), attributes.size());
        return existing.second;
    }
    keepShortMark(key, value, attributes);
    if (m_elements.capacity() == 0) m_elements.reserve(4);   // spares the first regrowths
    if (m_elements.size() == m_elements.capacity()) {
        // Growing moves the elements, and the texts may be theirs: the new
        // element is made from them before the move.
        m_elements.emplace_back(std::piecewise_construct, std::forward_as_tuple(key.data(), key.size()),
                                std::forward_as_tuple(std::string(value), std::string(attributes)));
    } else {
        ElementEntry& entry = m_elements.emplace_back();
        setText(entry.first, key);
        setText(entry.second.value, value);
        setText(entry.second.attributes, attributes);
    }
    if (m_keys) m_keys->insert(m_elements.size() - 1, hash);
    return m_elements.back().second;
}

// Elements marked as holding short texts only lose the mark before a text
// that may need memory of its own comes in: from then on they are destroyed
// one by one.
void XP_XML_Node::keepShortMark(std::string_view a, std::string_view b, std::string_view c)
{
    if (a.size() <= kTextInside && b.size() <= kTextInside && c.size() <= kTextInside) return;
    const ElementList::allocator_type allocator = m_elements.get_allocator();
    if (allocator.shortTexts())
        m_elements = ElementList(std::move(m_elements), ElementList::allocator_type(allocator.arena(), false));
}

std::ptrdiff_t XP_XML_Node::elementIndex(std::string_view key) const
{
    if (m_keys && m_elements.size() > kUnindexedElements)
        return m_keys->find(m_elements, key, _xp_KeyIndex::hashOf(key));
    for (std::size_t i = 0; i < m_elements.size(); ++i)
        if (sameText(m_elements[i].first, key)) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

XP_XML_Node* XP_XML_Node::addNode(const std::string& name, const std::string& attributes)
{
    return appendNode(name, attributes);
}

XP_XML_Node* XP_XML_Node::appendNode(std::string_view name, std::string_view attributes)
{
    if (m_nodes.capacity() == 0) m_nodes.reserve(4);
    if (m_nodes.size() == m_nodes.capacity()) {
        // The texts may be a sibling's: copied before the sequence moves.
        m_nodes.emplace_back(std::string(name), std::string(attributes), this);
    } else {
        XP_XML_Node& child = m_nodes.emplace_back();
        setText(child.m_name, name);
        setText(child.m_attributes, attributes);
        child.m_parent = this;
    }
    return &m_nodes.back();
}

const XP_Element* XP_XML_Node::findElement(const std::string& key) const
{
    const std::ptrdiff_t at = elementIndex(key);
    return at >= 0 ? &m_elements[static_cast<std::size_t>(at)].second : nullptr;
}

XP_XML_Node* XP_XML_Node::findNode(const std::string& name)
{
    for (XP_XML_Node& child : m_nodes)
        if (child.m_name == name) return &child;
    return nullptr;
}

const XP_XML_Node* XP_XML_Node::findNode(const std::string& name) const
{
    return const_cast<XP_XML_Node*>(this)->findNode(name);
}

bool XP_XML_Node::removeElement(const std::string& key)
{
    const std::ptrdiff_t at = elementIndex(key);
    if (at < 0) return false;
    m_elements.erase(m_elements.begin() + at);
    m_keys.reset();   // the positions behind it moved
    return true;
}

bool XP_XML_Node::removeNode(const std::string& name)
{
    for (auto it = m_nodes.begin(); it != m_nodes.end(); ++it) {
        if (it->m_name == name) {
            it->releaseChildren();
            m_nodes.erase(it);
            return true;
        }
    }
    return false;
}

void XP_XML_Node::clear()
{
    m_name.clear();
    m_attributes.clear();
    m_parent = nullptr;
    ElementList().swap(m_elements);
    m_keys.reset();
    releaseChildren();
}

// Copies the subtrees below src into this node, whose own fields are set.
void XP_XML_Node::copyChildrenFrom(const XP_XML_Node& src)
{
    std::vector<std::pair<const XP_XML_Node*, XP_XML_Node*>> work;
    work.emplace_back(&src, this);
    while (!work.empty()) {
        const XP_XML_Node* from = work.back().first;
        XP_XML_Node* to = work.back().second;
        work.pop_back();
        // Reserved up front: the copies queued below must not move.
        to->m_nodes.reserve(from->m_nodes.size());
        for (const XP_XML_Node& child : from->m_nodes) {
            to->m_nodes.emplace_back(child.m_name, child.m_attributes, to);
            XP_XML_Node& copy = to->m_nodes.back();
            copy.m_elements = child.m_elements;
            if (!child.m_nodes.empty()) work.emplace_back(&child, &copy);
        }
    }
}

// ---------------------------------------------------------------------------
// XP_XML_Param_Notify (the reader builds the same trees straight from its
// text: XP_XmlReader.cpp)

XP_XML_Param_Notify::XP_XML_Param_Notify() : m_current(nullptr) {}

XP_XML_Param_Notify::XP_XML_Param_Notify(const XP_XML_Param_Notify& other)
    : XP_XmlNotify(other), m_root(other.m_root), m_current(nullptr)
{
}

XP_XML_Param_Notify& XP_XML_Param_Notify::operator=(const XP_XML_Param_Notify& other)
{
    if (this != &other) {
        m_root = other.m_root;
        m_current = nullptr;
    }
    return *this;
}

XP_XML_Param_Notify::~XP_XML_Param_Notify()
{
    m_root.clear();
}

void XP_XML_Param_Notify::clear()
{
    m_root.clear();
    m_current = nullptr;
}

void XP_XML_Param_Notify::startNode(const std::string& name, const std::string& attributes)
{
    if (m_current) {
        m_current = m_current->appendNode(name, attributes);
    } else {
        m_root.set(name, attributes, nullptr);
        m_current = &m_root;
    }
}

void XP_XML_Param_Notify::element(const std::string& name, const std::string& value,
                                  const std::string& attributes)
{
    if (m_current)
        m_current->putElement(name, value, attributes);
    else
        m_root.set(name, attributes, nullptr);   // no open node: it names the root, as a start would
}

void XP_XML_Param_Notify::endNode(const std::string&, const std::string&)
{
    if (m_current) m_current = m_current->m_parent;
}

XP_XML_Node::NodeIterator XP_XML_Param_Notify::getNode(Path& path)
{
    if (path.empty()) return &m_root;
    XP_XML_Node* first = &m_root;
    XP_XML_Node* last = &m_root + 1;
    XP_XML_Node* match = nullptr;
    for (const std::string& component : path) {
        match = nullptr;
        for (XP_XML_Node* candidate = first; candidate != last; ++candidate) {
            if (candidate->m_name == component) {
                match = candidate;
                break;
            }
        }
        if (!match) return nullptr;
        first = match->beginNodes();
        last = match->endNodes();
    }
    return match;
}

XP_XML_Node::ConstNodeIterator XP_XML_Param_Notify::getNode(Path& path) const
{
    return const_cast<XP_XML_Param_Notify*>(this)->getNode(path);
}
