// XP_XmlModel.cpp - the parameter tree: XP_XML_Node and the listener that
// builds it, XP_XML_Param_Notify.
#include "XP_Param.h"

#include <functional>
#include <string_view>
#include <tuple>

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
      m_parent(other.m_parent)
{
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
    std::vector<XP_XML_Node> nodes(std::move(other.m_nodes));
    XP_XML_Node* parent = other.m_parent;

    releaseChildren();
    m_elements = std::move(elements);
    m_name = std::move(name);
    m_attributes = std::move(attributes);
    m_nodes = std::move(nodes);
    m_parent = parent;
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

void XP_XML_Node::releaseChildren()
{
    if (m_nodes.empty()) return;
    // Each batch is destroyed only after its nodes gave up their children, so
    // no destructor below this one has anything left to descend into.
    std::vector<std::vector<XP_XML_Node>> pending;
    try {
        pending.push_back(std::move(m_nodes));
        while (!pending.empty()) {
            std::vector<XP_XML_Node> batch(std::move(pending.back()));
            pending.pop_back();
            for (XP_XML_Node& node : batch)
                if (!node.m_nodes.empty()) pending.push_back(std::move(node.m_nodes));
        }
    } catch (...) {
        // Out of memory for the work list: what is left is destroyed the
        // ordinary way when pending goes.
    }
    m_nodes.clear();
}

void XP_XML_Node::set(const std::string& name, const std::string& attributes, XP_XML_Node* parent)
{
    m_name = name;
    m_attributes = attributes;
    m_parent = parent;
}

void XP_XML_Node::addElement(const std::string& key, const std::string& value, const std::string& attributes)
{
    for (ElementEntry& entry : m_elements) {
        if (entry.first == key) {
            entry.second.value = value;
            entry.second.attributes = attributes;
            return;
        }
    }
    if (m_elements.empty()) m_elements.reserve(4);   // spares the first regrowths
    m_elements.emplace_back(std::piecewise_construct, std::forward_as_tuple(key),
                            std::forward_as_tuple(value, attributes));
}

XP_XML_Node* XP_XML_Node::addNode(const std::string& name, const std::string& attributes)
{
    if (m_nodes.empty()) m_nodes.reserve(4);
    m_nodes.emplace_back(name, attributes, this);
    return &m_nodes.back();
}

const XP_Element* XP_XML_Node::findElement(const std::string& key) const
{
    for (const ElementEntry& entry : m_elements)
        if (entry.first == key) return &entry.second;
    return nullptr;
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
    for (auto it = m_elements.begin(); it != m_elements.end(); ++it) {
        if (it->first == key) {
            m_elements.erase(it);
            return true;
        }
    }
    return false;
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
    releaseChildren();
    std::vector<XP_XML_Node>().swap(m_nodes);
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
// XP_XML_Param_Notify
//
// Keys are unique within a node, so every reported value must look for an
// earlier one of its key. A node being read keeps a hash index of its keys
// once it holds more than a few, so that reading a node with many values
// stays linear.

namespace {

const std::size_t kLinearKeySearch = 16;

class KeyIndex {
public:
    // Index of the element with this key, or -1.
    long long find(const XP_XML_Node::ElementList& elements, std::string_view key) const
    {
        if (m_slots.empty()) return -1;
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hashOf(key) & mask;; i = (i + 1) & mask) {
            const std::uint32_t slot = m_slots[i];
            if (slot == 0) return -1;
            if (elements[slot - 1].first == key) return static_cast<long long>(slot - 1);
        }
    }

    // Records elements[index], whose key is not yet recorded.
    void insert(const XP_XML_Node::ElementList& elements, std::size_t index)
    {
        if ((m_count + 1) * 2 > m_slots.size()) {
            std::vector<std::uint32_t> old;
            old.swap(m_slots);
            m_slots.assign(old.empty() ? 64 : old.size() * 2, 0);
            for (std::uint32_t slot : old)
                if (slot != 0) place(elements[slot - 1].first, slot);
        }
        place(elements[index].first, static_cast<std::uint32_t>(index + 1));
        ++m_count;
    }

    bool empty() const { return m_slots.empty(); }

private:
    static std::size_t hashOf(std::string_view key) { return std::hash<std::string_view>()(key); }

    void place(std::string_view key, std::uint32_t slot)
    {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i = hashOf(key) & mask;
        while (m_slots[i] != 0) i = (i + 1) & mask;
        m_slots[i] = slot;
    }

    std::vector<std::uint32_t> m_slots;   // element index + 1; 0 is free
    std::size_t m_count = 0;
};

struct OpenNode {
    XP_XML_Node* node;
    KeyIndex keys;
};

}  // namespace

struct _xp_TreeBuild {
    std::vector<OpenNode> open;   // the nodes between the root and current
    // Sizes of the node closed last at each depth. Parameter files repeat
    // their shape, so a new node reserves that much room up front instead of
    // regrowing its sequences element by element.
    struct Shape {
        std::size_t elements = 0, nodes = 0;
    };
    std::vector<Shape> lastShape;
};

XP_XML_Param_Notify::XP_XML_Param_Notify() : m_current(nullptr), m_build(new _xp_TreeBuild) {}

XP_XML_Param_Notify::XP_XML_Param_Notify(const XP_XML_Param_Notify& other)
    : XP_XmlNotify(other), m_root(other.m_root), m_current(nullptr), m_build(new _xp_TreeBuild)
{
}

XP_XML_Param_Notify& XP_XML_Param_Notify::operator=(const XP_XML_Param_Notify& other)
{
    if (this != &other) {
        m_root = other.m_root;
        m_current = nullptr;
        m_build->open.clear();
    }
    return *this;
}

XP_XML_Param_Notify::~XP_XML_Param_Notify()
{
    m_root.clear();
}

void XP_XML_Param_Notify::startNode(const std::string& name, const std::string& attributes)
{
    openNode(name, attributes);
}

void XP_XML_Param_Notify::element(const std::string& name, const std::string& value,
                                  const std::string& attributes)
{
    addValue(name, value, attributes);
}

void XP_XML_Param_Notify::endNode(const std::string&, const std::string&)
{
    closeNode();
}

void XP_XML_Param_Notify::openNode(std::string_view name, std::string_view attributes)
{
    _xp_TreeBuild& build = *m_build;
    if (m_current) {
        // Copied first: the texts may belong to a sibling that moves when
        // the sequence grows.
        std::string childName(name.data(), name.size());
        std::string childAttributes(attributes.data(), attributes.size());
        std::vector<XP_XML_Node>& siblings = m_current->m_nodes;
        if (siblings.empty() && siblings.capacity() == 0) siblings.reserve(4);
        siblings.emplace_back();
        XP_XML_Node& child = siblings.back();
        child.m_name = std::move(childName);
        child.m_attributes = std::move(childAttributes);
        child.m_parent = m_current;
        m_current = &child;
    } else {
        m_root.m_name.assign(name.data(), name.size());
        m_root.m_attributes.assign(attributes.data(), attributes.size());
        m_root.m_parent = nullptr;
        m_current = &m_root;
        build.open.clear();
    }
    const std::size_t depth = build.open.size();
    if (depth < build.lastShape.size()) {
        const _xp_TreeBuild::Shape& shape = build.lastShape[depth];
        if (shape.elements) m_current->m_elements.reserve(shape.elements);
        if (shape.nodes) m_current->m_nodes.reserve(shape.nodes);
    }
    build.open.push_back(OpenNode{m_current, KeyIndex()});
}

void XP_XML_Param_Notify::addValue(std::string_view name, std::string_view value, std::string_view attributes)
{
    if (!m_current) {
        // A value with no open node: it names the root, as a start tag would.
        m_root.m_name.assign(name.data(), name.size());
        m_root.m_attributes.assign(attributes.data(), attributes.size());
        m_root.m_parent = nullptr;
        return;
    }
    XP_XML_Node::ElementList& elements = m_current->m_elements;
    std::vector<OpenNode>& open = m_build->open;
    // Driven by hand out of step with startNode and endNode, there is no
    // index to trust: look the key up plainly.
    const bool indexed = !open.empty() && open.back().node == m_current;
    long long found = -1;
    if (!indexed || (open.back().keys.empty() && elements.size() < kLinearKeySearch)) {
        for (std::size_t i = 0; i < elements.size(); ++i) {
            if (elements[i].first == name) {
                found = static_cast<long long>(i);
                break;
            }
        }
    } else {
        KeyIndex& keys = open.back().keys;
        if (keys.empty())
            for (std::size_t i = 0; i < elements.size(); ++i) keys.insert(elements, i);
        found = keys.find(elements, name);
    }
    if (found >= 0) {
        XP_Element& target = elements[static_cast<std::size_t>(found)].second;
        target.value.assign(value.data(), value.size());
        target.attributes.assign(attributes.data(), attributes.size());
        return;
    }
    if (elements.empty() && elements.capacity() == 0) elements.reserve(4);
    elements.emplace_back(std::piecewise_construct, std::forward_as_tuple(name.data(), name.size()),
                          std::forward_as_tuple(std::string(value.data(), value.size()),
                                                std::string(attributes.data(), attributes.size())));
    if (indexed && !open.back().keys.empty()) open.back().keys.insert(elements, elements.size() - 1);
}

void XP_XML_Param_Notify::closeNode()
{
    if (!m_current) return;
    _xp_TreeBuild& build = *m_build;
    if (!build.open.empty()) {
        const std::size_t depth = build.open.size() - 1;
        if (build.lastShape.size() <= depth) build.lastShape.resize(depth + 1);
        build.lastShape[depth].elements = m_current->m_elements.size();
        build.lastShape[depth].nodes = m_current->m_nodes.size();
        build.open.pop_back();
    }
    m_current = m_current->m_parent;
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
