// XP_XmlModel.cpp - the parameter tree: XP_XML_Node and the listener that
// builds it, XP_XML_Param_Notify.
#include "XP_Param.h"
#include "XP_XmlTreeBuild.h"

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
// XP_XML_Param_Notify (building: XP_XmlTreeBuild.h)

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

// The listener operations copy the texts first: they may belong to the tree
// (a sibling, an element) and move when a sequence grows.

void XP_XML_Param_Notify::startNode(const std::string& name, const std::string& attributes)
{
    const std::string childName(name), childAttributes(attributes);
    openNode(childName, childAttributes);
}

void XP_XML_Param_Notify::element(const std::string& name, const std::string& value,
                                  const std::string& attributes)
{
    const std::string key(name), text(value), valueAttributes(attributes);
    addValue(key, text, valueAttributes);
}

void XP_XML_Param_Notify::endNode(const std::string&, const std::string&)
{
    closeNode();
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
