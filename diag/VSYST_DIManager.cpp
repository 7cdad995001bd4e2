// The debug-info callback registry: nodes, manager, cursor and the library's
// own "System" entry that dumps the whole tree.
#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"
#include "V_String.h"
#include "diag/orv_dimanager_internal.h"
#include "dllmain/OrvLock.h"
#include "dllmain/OrvRuntimeInternal.h"
#include "strings/orv_compare.h"

#include <cstring>
#include <new>

namespace {

// The heap cell holding the head of the group list; null outside the life of
// the global instance (created on demand then).
_vsyst_DINode** s_root = nullptr;
// Guards s_root and the whole tree below it.
orv::Lock s_treeLock;

// Alternatives are split in a local copy of this size; longer texts are cut.
const size_t kAlternativesBuffer = 1024;

template <class T>
T* checked(T* p)
{
    if (!p) throw VSYST_XMemory();
    return p;
}

// Owns a node until it is linked into the tree.
template <class T>
struct NodeGuard {
    T* node;
    explicit NodeGuard(T* n) : node(n) {}
    ~NodeGuard() { delete node; }
    T* release() { T* n = node; node = nullptr; return n; }
};

void destroyList(_vsyst_DINode** head)
{
    while (_vsyst_DINode* n = *head) {
        *head = n->next();
        delete n;
    }
}

// Callers hold s_treeLock.
_vsyst_DINode** root()
{
    if (!s_root) s_root = checked(new (std::nothrow) _vsyst_DINode*(nullptr));
    return s_root;
}

// Callers hold s_treeLock.
_vsyst_DINodeG* firstGroup() { return s_root ? static_cast<_vsyst_DINodeG*>(*s_root) : nullptr; }

}  // namespace

// ---- nodes ------------------------------------------------------------------

_vsyst_DINode::_vsyst_DINode(const char* name) : m_name(nullptr), m_next(nullptr), m_expanded(0)
{
    if (!name) name = "";
    size_t n = std::strlen(name) + 1;
    m_name = checked(new (std::nothrow) char[n]);
    std::memcpy(m_name, name, n);
}

_vsyst_DINode::~_vsyst_DINode() { delete[] m_name; }

_vsyst_DINodeG::_vsyst_DINodeG(const char* name) : _vsyst_DINode(name), m_firstInfo(nullptr) {}

_vsyst_DINodeG::~_vsyst_DINodeG()
{
    while (_vsyst_DINode* n = m_firstInfo) {
        m_firstInfo = n->next();
        delete n;
    }
}

_vsyst_DINodeD::_vsyst_DINodeD(const char* name, VSYST_DICallback callback)
    : _vsyst_DINode(name), m_callback(callback), m_firstAlt(nullptr)
{
}

_vsyst_DINodeD::~_vsyst_DINodeD()
{
    while (_vsyst_DINode* n = m_firstAlt) {
        m_firstAlt = n->next();
        delete n;
    }
}

_vsyst_DINodeA::_vsyst_DINodeA(const char* name, unsigned long index) : _vsyst_DINode(name), m_index(index) {}

_vsyst_DINodeA::~_vsyst_DINodeA() {}

// ---- manager ----------------------------------------------------------------

_vsyst_DINode* VSYST_DIManager::find(_vsyst_DINode* first, const char* name)
{
    for (_vsyst_DINode* n = first; n; n = n->m_next)
        if (orv::compareUnsigned(n->m_name, name) == 0) return n;
    return nullptr;
}

void VSYST_DIManager::insertSorted(_vsyst_DINode** head, _vsyst_DINode* node)
{
    while (*head && orv::compareUnsigned((*head)->m_name, node->m_name) <= 0) head = &(*head)->m_next;
    node->m_next = *head;
    *head = node;
}

void VSYST_DIManager::createRoot()
{
    orv::Locked locked(s_treeLock);
    root();
}

void VSYST_DIManager::destroyRoot()
{
    orv::Locked locked(s_treeLock);
    if (!s_root) return;
    destroyList(s_root);
    delete s_root;
    s_root = nullptr;
}

_vsyst_DINodeG* _vsyst_DIFirstGroup()
{
    orv::Locked locked(s_treeLock);
    return firstGroup();
}

void _vsyst_DIRemoveAll()
{
    orv::Locked locked(s_treeLock);
    if (s_root) destroyList(s_root);
}

void VSYST_DIManager::add(const char* group, const char* info, const char* alternatives, VSYST_DICallback callback)
{
    if (!group || !info || !callback) return;
    orv::Locked locked(s_treeLock);
    _vsyst_DINode** groups = root();
    _vsyst_DINodeG* g = static_cast<_vsyst_DINodeG*>(find(*groups, group));
    if (!g) {
        g = checked(new (std::nothrow) _vsyst_DINodeG(group));
        insertSorted(groups, g);
    }

    // Build the new info completely before touching the old one, so that a
    // failed allocation leaves the registry as it was.
    NodeGuard<_vsyst_DINodeD> d(checked(new (std::nothrow) _vsyst_DINodeD(info, callback)));
    if (alternatives) {
        char buffer[kAlternativesBuffer];
        size_t n = 0;
        while (n < kAlternativesBuffer - 1 && alternatives[n]) ++n;
        std::memcpy(buffer, alternatives, n);
        buffer[n] = '\0';
        unsigned long index = 0;
        char* p = buffer;
        while (*p) {
            if (*p == '\n') {   // empty pieces do not count
                ++p;
                continue;
            }
            char* end = p;
            while (*end && *end != '\n') ++end;
            bool last = *end == '\0';
            *end = '\0';
            insertSorted(&d.node->m_firstAlt, checked(new (std::nothrow) _vsyst_DINodeA(p, index++)));
            if (last) break;
            p = end + 1;
        }
    }

    for (_vsyst_DINode** p = &g->m_firstInfo; *p; p = &(*p)->m_next) {
        if (orv::compareUnsigned((*p)->m_name, info) == 0) {
            _vsyst_DINode* old = *p;
            *p = old->m_next;
            delete old;
            break;
        }
    }
    insertSorted(&g->m_firstInfo, d.release());
}

void VSYST_DIManager::remove(const char* group, const char* info)
{
    if (!group || !info) return;
    orv::Locked locked(s_treeLock);
    if (!s_root) return;
    _vsyst_DINodeG* g = static_cast<_vsyst_DINodeG*>(find(*s_root, group));
    if (!g) return;
    for (_vsyst_DINode** p = &g->m_firstInfo; *p; p = &(*p)->m_next) {
        if (orv::compareUnsigned((*p)->m_name, info) == 0) {
            _vsyst_DINode* old = *p;
            *p = old->m_next;
            delete old;
            return;
        }
    }
}

void VSYST_DIManager::call(const char* group, const char* info, const char* alternative, VSYST_DumpStream& stream)
{
    if (!group || !info) return;
    VSYST_DICallback callback = nullptr;
    unsigned long index = 0;
    {
        orv::Locked locked(s_treeLock);
        if (!s_root) return;
        _vsyst_DINodeG* g = static_cast<_vsyst_DINodeG*>(find(*s_root, group));
        if (!g) return;
        _vsyst_DINodeD* d = static_cast<_vsyst_DINodeD*>(find(g->m_firstInfo, info));
        if (!d) return;
        if (alternative) {
            if (_vsyst_DINodeA* a = static_cast<_vsyst_DINodeA*>(find(d->m_firstAlt, alternative))) index = a->index();
        }
        callback = d->m_callback;
    }
    // Outside the lock: a callback may well register, remove or call entries.
    callback(stream, index);
}

void _vsyst_DIDumpRegistry(VSYST_DumpStream& stream, unsigned long)
{
    orv::Locked locked(s_treeLock);
    stream << "\nSTART OF DUMPING THE DEBUG INFO CALLBACK FUNCTION REGISTRY :\n";
    for (_vsyst_DINodeG* g = firstGroup(); g; g = g->nextGroup()) {
        if (!g->firstInfo()) continue;
        stream << "\tGROUP : \"" << g->name() << "\"\n";
        for (_vsyst_DINodeD* d = g->firstInfo(); d; d = d->nextInfo()) {
            stream << "\t\tINFO : \"" << d->name() << "\"";
            if (!d->firstAlternative()) stream << " [no alternatives]";
            for (_vsyst_DINodeA* a = d->firstAlternative(); a; a = a->nextAlternative())
                stream << "\n\t\t\t--> \"" << a->name() << "\"";
            stream << "\n";
        }
    }
    stream << "END OF DUMPING THE DEBUG INFO CALLBACK FUNCTION REGISTRY :\n";
    stream.flush();
}

// ---- the registry's own init/exit handler -----------------------------------

namespace orv {

bool diRegisterRegistryDump()
{
    VSYST_DIManager::add("System", "Dump all registrated Debug-Info Callbacks", nullptr, &_vsyst_DIDumpRegistry);
    return true;
}

void diTeardown() { _vsyst_DIRemoveAll(); }

}  // namespace orv

// ---- cursor -----------------------------------------------------------------

VSYST_DICursor::VSYST_DICursor() : m_group(nullptr), m_info(nullptr), m_alt(nullptr)
{
    orv::Locked locked(s_treeLock);
    enterGroup(firstGroup());
}

void VSYST_DICursor::enterGroup(_vsyst_DINodeG* group)
{
    while (group && !group->firstInfo()) group = group->nextGroup();
    m_group = group;
    m_info = group ? group->firstInfo() : nullptr;
    m_alt = m_info ? m_info->firstAlternative() : nullptr;
}

void VSYST_DICursor::nextG()
{
    orv::Locked locked(s_treeLock);
    if (m_group) enterGroup(m_group->nextGroup());
}

void VSYST_DICursor::nextD()
{
    orv::Locked locked(s_treeLock);
    if (!m_info) return;
    m_info = m_info->nextInfo();
    m_alt = m_info ? m_info->firstAlternative() : nullptr;
}

void VSYST_DICursor::nextA()
{
    orv::Locked locked(s_treeLock);
    if (m_alt) m_alt = m_alt->nextAlternative();
}

const char* VSYST_DICursor::getG() const { return m_group ? m_group->name() : nullptr; }
const char* VSYST_DICursor::getD() const { return m_info ? m_info->name() : nullptr; }
const char* VSYST_DICursor::getA() const { return m_alt ? m_alt->name() : nullptr; }
bool VSYST_DICursor::withA() const
{
    orv::Locked locked(s_treeLock);
    return m_info && m_info->firstAlternative();
}

const char* VSYST_DICursor::TREEDATA::name() const { return m_node ? node()->name() : nullptr; }
int VSYST_DICursor::TREEDATA::isExpanded() const { return m_node && node()->expanded() ? 1 : 0; }

void VSYST_DICursor::TREEDATA::setExpanded(int expanded)
{
    if (m_node) node()->setExpanded(expanded);
}
