// XP_XmlTreeBuild.h - internal: how XP_XML_Param_Notify builds its tree. The
// reader includes it too, so that building inlines into its scan.
#ifndef XP_XMLTREEBUILD_H
#define XP_XMLTREEBUILD_H

#include "XP_Param.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

// Keys are unique within a node, so every reported value must look for an
// earlier one of its key. Each open node keeps a 64-bit sketch of its keys:
// a key whose bit is clear is new, and most are, so most values are
// appended without a search. A node that holds more than a few values gets
// a hash index of its keys, so that reading a node with many values stays
// linear.
struct _xp_TreeBuild {
    static constexpr std::size_t kLinearKeySearch = 16;

    // Open addressing over element positions. Each slot keeps its key's
    // hash, so probing and growing look at the elements only on a likely
    // match: a node with very many values has them spread far in memory.
    class KeyIndex {
    public:
        static std::uint32_t hashOf(std::string_view key)
        {
            const std::size_t h = std::hash<std::string_view>()(key);
            return static_cast<std::uint32_t>(h ^ (static_cast<std::uint64_t>(h) >> 32));
        }

        // Index of the element with this key, or -1.
        long long find(const XP_XML_Node::ElementList& elements, std::string_view key, std::uint32_t hash) const
        {
            if (m_slots.empty()) return -1;
            const std::size_t mask = m_slots.size() - 1;
            for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
                const Slot& slot = m_slots[i];
                if (slot.entry == 0) return -1;
                if (slot.hash == hash && elements[slot.entry - 1].first == key)
                    return static_cast<long long>(slot.entry - 1);
            }
        }

        // Records elements[index], whose key is not yet recorded.
        void insert(std::size_t index, std::uint32_t hash)
        {
            if ((m_count + 1) * 2 > m_slots.size()) {
                std::vector<Slot> old;
                old.swap(m_slots);
                m_slots.assign(old.empty() ? 64 : old.size() * 2, Slot{0, 0});
                for (const Slot& slot : old)
                    if (slot.entry != 0) place(slot);
            }
            place(Slot{static_cast<std::uint32_t>(index + 1), hash});
            ++m_count;
        }

        bool empty() const { return m_slots.empty(); }

    private:
        struct Slot {
            std::uint32_t entry;   // element index + 1; 0 is free
            std::uint32_t hash;
        };

        void place(const Slot& slot)
        {
            const std::size_t mask = m_slots.size() - 1;
            std::size_t i = slot.hash & mask;
            while (m_slots[i].entry != 0) i = (i + 1) & mask;
            m_slots[i] = slot;
        }

        std::vector<Slot> m_slots;
        std::size_t m_count = 0;
    };

    struct OpenNode {
        XP_XML_Node* node;
        std::uint64_t keyBits;   // the bits of its keys' sketch
        KeyIndex keys;
    };

    static std::uint64_t keyBit(std::string_view key)
    {
        if (key.empty()) return 1;
        const unsigned first = static_cast<unsigned char>(key.front());
        const unsigned last = static_cast<unsigned char>(key.back());
        return std::uint64_t(1) << ((first * 7u + last * 31u + static_cast<unsigned>(key.size())) & 63u);
    }

    std::vector<OpenNode> open;   // the nodes between the root and current
    // While the reader builds, nothing else touches the tree, so the root's
    // entry outlives a top-level end tag: a text of many top-level nodes
    // (each reopens the root) then needs no new look at the root's keys.
    bool reading = false;
    bool rootKept = false;
    OpenNode keptRoot{nullptr, 0, KeyIndex()};
    // Sizes of the node closed last at each depth. Parameter files repeat
    // their shape, so a new node reserves that much room up front instead of
    // regrowing its sequences element by element.
    struct Shape {
        std::size_t elements = 0, nodes = 0;
    };
    std::vector<Shape> lastShape;

    // Sets an empty string to text. Short texts are copied character by
    // character: that inlines, while assigning calls into the library.
    static void setText(std::string& s, std::string_view text)
    {
        if (text.size() < 16) {
            for (char c : text) s.push_back(c);
        } else {
            s.assign(text.data(), text.size());
        }
    }
};

// The texts given must not live in the tree (a sequence that grows would
// move them): the reader passes pieces of its own text, the listener
// operations copies.
inline void XP_XML_Param_Notify::openNode(std::string_view name, std::string_view attributes)
{
    _xp_TreeBuild& build = *m_build;
    std::uint64_t keyBits = 0;
    if (m_current) {
        std::vector<XP_XML_Node>& siblings = m_current->m_nodes;
        if (siblings.capacity() == 0) siblings.reserve(4);
        siblings.emplace_back();
        XP_XML_Node& child = siblings.back();
        _xp_TreeBuild::setText(child.m_name, name);
        if (!attributes.empty()) child.m_attributes.assign(attributes.data(), attributes.size());
        child.m_parent = m_current;
        m_current = &child;
    } else {
        m_root.m_name.assign(name.data(), name.size());
        m_root.m_attributes.assign(attributes.data(), attributes.size());
        m_root.m_parent = nullptr;
        m_current = &m_root;
        build.open.clear();
        if (build.rootKept) {
            build.rootKept = false;
            build.open.push_back(std::move(build.keptRoot));
            return;
        }
        // The root keeps what it held: its keys must be looked for.
        if (!m_root.m_elements.empty()) keyBits = ~std::uint64_t(0);
    }
    const std::size_t depth = build.open.size();
    if (depth < build.lastShape.size()) {
        const _xp_TreeBuild::Shape& shape = build.lastShape[depth];
        if (shape.elements > m_current->m_elements.capacity()) m_current->m_elements.reserve(shape.elements);
        if (shape.nodes > m_current->m_nodes.capacity()) m_current->m_nodes.reserve(shape.nodes);
    }
    build.open.push_back(_xp_TreeBuild::OpenNode{m_current, keyBits, _xp_TreeBuild::KeyIndex()});
}

inline void XP_XML_Param_Notify::addValue(std::string_view name, std::string_view value, std::string_view attributes)
{
    if (!m_current) {
        // A value with no open node: it names the root, as a start tag would.
        m_root.m_name.assign(name.data(), name.size());
        m_root.m_attributes.assign(attributes.data(), attributes.size());
        m_root.m_parent = nullptr;
        return;
    }
    XP_XML_Node::ElementList& elements = m_current->m_elements;
    std::vector<_xp_TreeBuild::OpenNode>& open = m_build->open;
    _xp_TreeBuild::OpenNode* top = !open.empty() && open.back().node == m_current ? &open.back() : nullptr;
    const std::uint64_t bit = _xp_TreeBuild::keyBit(name);
    const auto searchPlainly = [&]() -> long long {
        for (std::size_t i = 0; i < elements.size(); ++i) {
            const std::string& key = elements[i].first;
            if (key.size() == name.size() && std::memcmp(key.data(), name.data(), name.size()) == 0)
                return static_cast<long long>(i);
        }
        return -1;
    };
    long long found = -1;
    std::uint32_t hash = 0;
    if (!top) {
        // Driven by hand out of step with startNode and endNode: no sketch to trust.
        found = searchPlainly();
    } else if (!top->keys.empty() || ((top->keyBits & bit) && elements.size() >= _xp_TreeBuild::kLinearKeySearch)) {
        _xp_TreeBuild::KeyIndex& keys = top->keys;
        if (keys.empty())
            for (std::size_t i = 0; i < elements.size(); ++i) keys.insert(i, keys.hashOf(elements[i].first));
        hash = keys.hashOf(name);
        found = keys.find(elements, name, hash);
    } else if (top->keyBits & bit) {
        found = searchPlainly();
    }
    if (found >= 0) {
        XP_Element& target = elements[static_cast<std::size_t>(found)].second;
        target.value.assign(value.data(), value.size());
        target.attributes.assign(attributes.data(), attributes.size());
        return;
    }
    if (elements.capacity() == 0) elements.reserve(4);
    elements.emplace_back();
    XP_XML_Node::ElementEntry& entry = elements.back();
    _xp_TreeBuild::setText(entry.first, name);
    _xp_TreeBuild::setText(entry.second.value, value);
    if (!attributes.empty()) _xp_TreeBuild::setText(entry.second.attributes, attributes);
    if (top) {
        top->keyBits |= bit;
        if (!top->keys.empty()) top->keys.insert(elements.size() - 1, hash);
    }
}

inline void XP_XML_Param_Notify::closeNode()
{
    if (!m_current) return;
    _xp_TreeBuild& build = *m_build;
    if (!build.open.empty()) {
        const std::size_t depth = build.open.size() - 1;
        if (build.lastShape.size() <= depth) build.lastShape.resize(depth + 1);
        build.lastShape[depth].elements = m_current->m_elements.size();
        build.lastShape[depth].nodes = m_current->m_nodes.size();
        if (depth == 0 && build.reading) {
            build.keptRoot = std::move(build.open.back());
            build.rootKept = true;
        }
        build.open.pop_back();
    }
    m_current = m_current->m_parent;
}

#endif
