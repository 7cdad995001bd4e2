// XP_Param.h - parameter files: a small XML dialect, the node tree it is read
// into, its reader and writer, and XP_ParamIO, which keeps one tree and
// addresses it by access paths such as "Root:Child:key".
//
// The dialect: a tag holds a name and a raw attribute text; a tag whose
// content holds no further tag is a value (an element), any other tag is a
// node. No escaping, no character references, no encoding handling. Bytes are
// kept unchanged in std::string.
//
// Reader choices where the format leaves room:
//  - A value read while no node is open (a top-level tag without child tags,
//    such as "<Name/>", or the values of a top-level tag with an empty name)
//    renames the root the way a top-level start tag would: the root takes the
//    value's name and attribute text, keeps its elements and children, and the
//    value's text is dropped. So a file written for a root that has a name
//    and nothing else reads back as that root.
//  - A NUL byte is an ordinary character: it may stand in names, values and
//    attribute texts and is kept. The reader never looks outside the
//    [text, text + length) it is given.
//  - Texts are addressed with signed 32-bit offsets, so parse() takes at most
//    2^31 - 1 bytes; readStream() and readFile() read at most that many and
//    ignore the rest of the input, exactly as if the text ended there.
//
// Threads: a tree, stream or XP_ParamIO belongs to one thread at a time, and
// the writer's indentation depth is process-wide, so two writes must never
// overlap. The one lock: the nodes read from one text share that read's
// memory (see _xp_TreeAlloc), and a node moved out of its tree may go on in
// another thread's tree; so once the read is done, taking more of that memory
// locks the read's own mutex, and giving it back counts atomically.
#ifndef XP_PARAM_H
#define XP_PARAM_H

#include "OrvCoreDefs.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// One named value of a node: its text and the raw attribute text of its tag.
struct XP_Element {
    std::string value;
    std::string attributes;

    XP_Element() = default;
    XP_Element(const std::string& value_, const std::string& attributes_)
        : value(value_), attributes(attributes_) {}
    XP_Element(std::string&& value_, std::string&& attributes_)
        : value(std::move(value_)), attributes(std::move(attributes_)) {}
};

struct _xp_KeyIndex;
struct _xp_TreeSink;
struct _xp_Arena;

// Internal: memory of the sequences in the trees the reader builds, taken
// from the system in large pieces and given back when the last sequence
// placed there has given back its block (so a node moved out of its tree
// stays valid). Large blocks come from the heap.
ORVCORE_API void* _xp_arenaAllocate(_xp_Arena* arena, std::size_t bytes);
ORVCORE_API void _xp_arenaRelease(_xp_Arena* arena, void* block, std::size_t bytes) noexcept;

// Internal: the allocator of a node's sequences. Without an arena it is the
// heap's; the reader hands one with its arena to the sequences it fills.
// Copies of a sequence go to the heap; moves and swaps take the allocator
// along with the blocks. A sequence holds an arena allocator only while it
// holds a block from it (XP_XML_Node keeps to that), since the arena lives
// only as long as its blocks.
//
// An allocator may also be marked "short": its sequence then holds only
// entries whose texts all fit inside their string objects, which own no
// memory, so they are not visited when they go (ending an object's life
// without its destructor is allowed when nothing depends on the destructor's
// effects). XP_XML_Node drops the mark before an entry can own memory.
template <class T>
class _xp_TreeAlloc {
public:
    typedef T value_type;
    typedef std::false_type propagate_on_container_copy_assignment;
    typedef std::true_type propagate_on_container_move_assignment;
    typedef std::true_type propagate_on_container_swap;
    typedef std::false_type is_always_equal;

    _xp_TreeAlloc() noexcept : m_bits(0) {}
    _xp_TreeAlloc(_xp_Arena* arena, bool shortTexts) noexcept
        : m_bits(reinterpret_cast<std::uintptr_t>(arena) | (shortTexts ? 1u : 0u)) {}
    template <class U>
    _xp_TreeAlloc(const _xp_TreeAlloc<U>& other) noexcept : m_bits(other.bits()) {}

    T* allocate(std::size_t n)
    {
        if (!arena()) return std::allocator<T>().allocate(n);
        return static_cast<T*>(_xp_arenaAllocate(arena(), n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        if (!arena())
            std::allocator<T>().deallocate(p, n);
        else
            _xp_arenaRelease(arena(), p, n * sizeof(T));
    }
    template <class U>
    void destroy(U* p) noexcept
    {
        if (!shortTexts()) p->~U();
    }
    _xp_TreeAlloc select_on_container_copy_construction() const noexcept { return _xp_TreeAlloc(); }

    _xp_Arena* arena() const noexcept { return reinterpret_cast<_xp_Arena*>(m_bits & ~std::uintptr_t(1)); }
    bool shortTexts() const noexcept { return (m_bits & 1u) != 0; }
    std::uintptr_t bits() const noexcept { return m_bits; }

    // The mark does not bear on memory: equal when the arena is the same.
    template <class U>
    bool operator==(const _xp_TreeAlloc<U>& other) const noexcept { return arena() == other.arena(); }
    template <class U>
    bool operator!=(const _xp_TreeAlloc<U>& other) const noexcept { return arena() != other.arena(); }

private:
    std::uintptr_t m_bits;   // the arena, and the mark in the lowest bit
};

// A node of the tree: named elements in order of first insertion (keys unique),
// and child nodes held by value in insertion order (names need not be unique).
// Copies are deep; the copy keeps the original's parent pointer, and the
// copied children point to the copy. Moving a node (also when its parent's
// child sequence grows) re-points its children at the new place, so parent
// pointers inside a tree stay valid; pointers and iterators to a child stay
// valid only until its parent's child sequence changes.
class ORVCORE_API XP_XML_Node {
public:
    typedef std::pair<std::string, XP_Element> ElementEntry;
    typedef std::vector<ElementEntry, _xp_TreeAlloc<ElementEntry>> ElementList;
    typedef ElementList::const_iterator ElementIterator;
    // Children are contiguous, so plain pointers iterate them; a null
    // iterator (nullptr) designates no node.
    typedef XP_XML_Node* NodeIterator;
    typedef const XP_XML_Node* ConstNodeIterator;

    XP_XML_Node();
    XP_XML_Node(const std::string& name, const std::string& attributes, XP_XML_Node* parent);
    XP_XML_Node(const XP_XML_Node& other);
    XP_XML_Node(XP_XML_Node&& other) noexcept;
    XP_XML_Node& operator=(const XP_XML_Node& other);
    XP_XML_Node& operator=(XP_XML_Node&& other) noexcept;
    ~XP_XML_Node();   // iterative: any depth of tree can be destroyed

    // Assigns name, attribute text and parent; elements and children stay.
    void set(const std::string& name, const std::string& attributes, XP_XML_Node* parent);
    // Replaces value and attributes of the element with this key in place,
    // or appends a new element. Every way an element gets into a node comes
    // here, so a key is never held twice.
    void addElement(const std::string& key, const std::string& value, const std::string& attributes);
    // Appends an empty child with this node as parent; returns it (the last child).
    XP_XML_Node* addNode(const std::string& name, const std::string& attributes);

    ElementIterator beginElements() const { return m_elements.begin(); }
    ElementIterator endElements() const { return m_elements.end(); }
    NodeIterator beginNodes() { return m_nodes.data(); }
    NodeIterator endNodes() { return m_nodes.data() + m_nodes.size(); }
    ConstNodeIterator beginNodes() const { return m_nodes.data(); }
    ConstNodeIterator endNodes() const { return m_nodes.data() + m_nodes.size(); }
    std::size_t elementCount() const { return m_elements.size(); }
    std::size_t nodeCount() const { return m_nodes.size(); }

    const std::string& getName() const { return m_name; }
    const std::string& getAttributes() const { return m_attributes; }
    XP_XML_Node* getParent() const { return m_parent; }

    // The element with this key, or null.
    const XP_Element* findElement(const std::string& key) const;
    // The first child with this name, or null.
    XP_XML_Node* findNode(const std::string& name);
    const XP_XML_Node* findNode(const std::string& name) const;
    // Remove the element with this key / the first child of this name with its
    // subtree; false when there is none.
    bool removeElement(const std::string& key);
    bool removeNode(const std::string& name);

    // Empties name and attributes, drops the parent, all elements and children.
    void clear();

private:
    friend class XP_XML_Param_Notify;   // both build through the two below
    friend struct _xp_TreeSink;         // the reader's tree building
    XP_Element& putElement(std::string_view key, std::string_view value, std::string_view attributes);
    XP_XML_Node* appendNode(std::string_view name, std::string_view attributes);
    std::ptrdiff_t elementIndex(std::string_view key) const;
    void keepShortMark(std::string_view a, std::string_view b, std::string_view c = std::string_view());
    typedef std::vector<XP_XML_Node, _xp_TreeAlloc<XP_XML_Node>> NodeList;
    void dropStorage() noexcept;
    void adoptChildren();
    void releaseChildren();
    void copyChildrenFrom(const XP_XML_Node& src);

    ElementList m_elements;
    std::string m_name;
    std::string m_attributes;
    NodeList m_nodes;
    XP_XML_Node* m_parent;
    // Key look-up of a node with many elements, made when first needed and
    // dropped when an element is removed; never copied.
    std::unique_ptr<_xp_KeyIndex> m_keys;
};

// Listener of the reader: what it found, in document order. Listeners are
// never destroyed through this interface, hence no virtual destructor.
class ORVCORE_API XP_XmlNotify {
public:
    virtual void startNode(const std::string& name, const std::string& attributes) = 0;
    virtual void element(const std::string& name, const std::string& value, const std::string& attributes) = 0;
    // Repeats the arguments of the matching startNode.
    virtual void endNode(const std::string& name, const std::string& attributes) = 0;

protected:
    XP_XmlNotify() = default;
    XP_XmlNotify(const XP_XmlNotify&) = default;
    XP_XmlNotify& operator=(const XP_XmlNotify&) = default;
    ~XP_XmlNotify() = default;
};

// Builds a tree from the reader's reports into its root (a read adds to what
// the root holds; clear it first for a fresh tree) and finds nodes by path.
class ORVCORE_API XP_XML_Param_Notify : public XP_XmlNotify {
public:
    typedef std::vector<std::string> Path;

    XP_XML_Param_Notify();
    XP_XML_Param_Notify(const XP_XML_Param_Notify& other);              // copies the tree only
    XP_XML_Param_Notify& operator=(const XP_XML_Param_Notify& other);   // likewise
    virtual ~XP_XML_Param_Notify();

    void startNode(const std::string& name, const std::string& attributes) override;
    void element(const std::string& name, const std::string& value, const std::string& attributes) override;
    void endNode(const std::string& name, const std::string& attributes) override;

    // The node at path: the first component must equal the root's name, each
    // further one names a child (the first of that name). An empty path gives
    // the root; no match gives a null iterator. The path is not modified.
    XP_XML_Node::NodeIterator getNode(Path& path);
    XP_XML_Node::ConstNodeIterator getNode(Path& path) const;

    XP_XML_Node& getRoot() { return m_root; }
    const XP_XML_Node& getRoot() const { return m_root; }
    // The node open during a read; null otherwise. Clearing or replacing the
    // root by hand while one is open leaves this dangling: clear() below
    // closes it as well.
    XP_XML_Node* getCurrent() const { return m_current; }
    // Clears the root and closes any open node.
    void clear();

private:
    friend struct _xp_TreeSink;
    XP_XML_Node m_root;
    XP_XML_Node* m_current;
};

// The reader (its string part keeps a copy of the last text scanned) and the
// writer. The reader reports to its listener and never fails on malformed
// text: what it cannot read is ignored.
class ORVCORE_API XP_XmlStream : public std::string {
public:
    XP_XmlStream();
    XP_XmlStream(const XP_XmlStream& other);
    XP_XmlStream& operator=(const XP_XmlStream& other);
    virtual ~XP_XmlStream();

    // Keeps a copy of text and scans it, reporting to the listener (if any).
    // False only when text is null or length <= 0; then nothing is reported.
    bool parse(const char* text, std::int32_t length);

    void setNotify(XP_XmlNotify* listener) { notify = listener; }
    XP_XmlNotify* getNotify() const { return notify; }
    bool hasNotify() const { return notify != nullptr; }
    // Drops the stored text.
    void clearText();

    // Writes node and its subtree: one tag or element per line, indented with
    // tabs; no declaration, no attribute texts, nothing escaped. A failing
    // stream silently takes nothing.
    static void writeNode(const XP_XML_Node& node, std::ostream& out);

private:
    friend class XP_ParamIO;
    // What parse() of the text held here reports to tree, built straight
    // into it; tree must be empty with no node open.
    void buildTree(XP_XML_Param_Notify& tree);

    XP_XmlNotify* notify;
    static int s_writeDepth;   // 1 while no write is in progress
};

// One parameter tree with its reader, read from and written to files or
// streams, and addressed by access paths: names separated by colons, the first
// being the root's name.
class ORVCORE_API XP_ParamIO {
public:
    XP_ParamIO();
    virtual ~XP_ParamIO();

    // Splits access at every colon. Null or "" give nothing; pieces may be
    // empty ("::"), but a final colon adds no empty last name.
    static void parseAccess(const char* access, std::vector<std::string>& out);

    // Replaces the tree by the one read from in (an empty input gives an
    // empty tree), whatever was open or left by an interrupted read before.
    void readStream(std::istream& in);
    void writeStream(std::ostream& out) const;
    // Reads the file in text mode; a file that does not open leaves the tree as it was.
    void readFile(const char* path);
    // Creates or truncates the file; a file that does not open is not reported.
    void writeFile(const char* path) const;

    // Compares the place named by access in both trees: a node's elements
    // (by key, order ignored) and children (each with the other's first child
    // of its name), not its own name; or, when this tree has no such node,
    // the value whose key is the last name. Attribute texts never count.
    bool compare(const XP_ParamIO& other, const char* access) const;
    // Replaces out's tree by a copy of the node at access; false (out emptied)
    // when there is none, false (out untouched) for an empty access.
    bool extract(const char* access, XP_ParamIO& out) const;
    // Removes the element whose key is the last name from the node named by the
    // names before it, or else that node's first child of that name.
    bool erase(const char* access);

    XP_XML_Param_Notify& getTree() { return m_tree; }
    const XP_XML_Param_Notify& getTree() const { return m_tree; }
    XP_XmlStream& getStream() { return m_stream; }
    const XP_XmlStream& getStream() const { return m_stream; }
    // Clears the tree (and closes any node left open in it).
    void clear() { m_tree.clear(); }

private:
    // readStream with room for that many characters made up front.
    void readFrom(std::istream& in, std::size_t room);

    XP_XmlStream m_stream;
    XP_XML_Param_Notify m_tree;
};

#endif
