// VSYST_DIManager.h - the debug-info callback registry and the debug switches.
// Modules file named dump callbacks in a tree group -> info -> alternatives
// (VSYST_DIManager); a host walks it with VSYST_DICursor and calls an entry by
// name. V_DebugSettings holds the process-wide CM_DEBUG_* switches.
#ifndef VSYST_DIMANAGER_H
#define VSYST_DIMANAGER_H

#include "OrvCoreDefs.h"

#include <basetsd.h>   // LONG_PTR
#include <vector>

class VSYST_DumpStream;
class VSYST_DIManager;
class VSYST_DICursor;
class _vsyst_GI;

// A dump callback: writes to the stream; the second argument is the index of
// the chosen alternative (0 when none was chosen).
typedef void (*VSYST_DICallback)(VSYST_DumpStream& stream, unsigned long alternative);

// A node of the registry tree: owns a copy of its name; destroying a node
// destroys its children. Siblings form a list in ascending unsigned byte order.
class ORVCORE_API _vsyst_DINode {
public:
    virtual ~_vsyst_DINode();
    const char* name() const { return m_name; }
    _vsyst_DINode* next() const { return m_next; }
    int expanded() const { return m_expanded; }
    void setExpanded(int expanded) { m_expanded = expanded ? 1 : 0; }

protected:
    explicit _vsyst_DINode(const char* name);   // throws VSYST_XMemory

private:
    _vsyst_DINode(const _vsyst_DINode&) = delete;
    _vsyst_DINode& operator=(const _vsyst_DINode&) = delete;

    char* m_name;
    _vsyst_DINode* m_next;
    int m_expanded;

    friend class VSYST_DIManager;
    friend class VSYST_DICursor;
};

class _vsyst_DINodeD;
class _vsyst_DINodeA;

// A group: the list of its infos.
class ORVCORE_API _vsyst_DINodeG : public _vsyst_DINode {
public:
    explicit _vsyst_DINodeG(const char* name);
    virtual ~_vsyst_DINodeG();
    _vsyst_DINodeD* firstInfo() const;
    _vsyst_DINodeG* nextGroup() const { return static_cast<_vsyst_DINodeG*>(next()); }

private:
    _vsyst_DINode* m_firstInfo;   // infos only
    friend class VSYST_DIManager;
};

// An info: the callback and the list of its alternatives.
class ORVCORE_API _vsyst_DINodeD : public _vsyst_DINode {
public:
    _vsyst_DINodeD(const char* name, VSYST_DICallback callback);
    virtual ~_vsyst_DINodeD();
    VSYST_DICallback callback() const { return m_callback; }
    _vsyst_DINodeA* firstAlternative() const;
    _vsyst_DINodeD* nextInfo() const { return static_cast<_vsyst_DINodeD*>(next()); }

private:
    VSYST_DICallback m_callback;
    _vsyst_DINode* m_firstAlt;    // alternatives only
    friend class VSYST_DIManager;
};

inline _vsyst_DINodeD* _vsyst_DINodeG::firstInfo() const { return static_cast<_vsyst_DINodeD*>(m_firstInfo); }

// An alternative: its position in the registered alternatives text, from 0.
class ORVCORE_API _vsyst_DINodeA : public _vsyst_DINode {
public:
    _vsyst_DINodeA(const char* name, unsigned long index);
    virtual ~_vsyst_DINodeA();
    unsigned long index() const { return m_index; }
    _vsyst_DINodeA* nextAlternative() const { return static_cast<_vsyst_DINodeA*>(next()); }

private:
    unsigned long m_index;
};

inline _vsyst_DINodeA* _vsyst_DINodeD::firstAlternative() const { return static_cast<_vsyst_DINodeA*>(m_firstAlt); }

// The registry. Names are matched exactly (case-sensitive). Modules register,
// remove and call entries from any thread, so the tree is under an in-process
// lock; a callback runs outside it and may use the registry itself. The
// root lives from the first to the last _vsyst_GI.
class ORVCORE_API VSYST_DIManager {
public:
    // Registers callback under group/info; an existing info of that name is
    // replaced. alternatives is split at line feeds (empty pieces skipped);
    // only its first 1023 characters are used. A null group, info or callback
    // registers nothing. Throws VSYST_XMemory when memory runs out.
    static void add(const char* group, const char* info, const char* alternatives, VSYST_DICallback callback);
    // Removes the info with its alternatives; the group stays, even when empty.
    static void remove(const char* group, const char* info);
    // Calls the info's callback with the index of the named alternative (0 when
    // alternative is null or unknown); nothing happens for an unknown group or info.
    static void call(const char* group, const char* info, const char* alternative, VSYST_DumpStream& stream);

    VSYST_DIManager& operator=(const VSYST_DIManager&) { return *this; }

private:
    friend class _vsyst_GI;
    static void createRoot();
    static void destroyRoot();
    static _vsyst_DINode* find(_vsyst_DINode* first, const char* name);
    static void insertSorted(_vsyst_DINode** head, _vsyst_DINode* node);
};

// Walks the registry: groups that hold at least one info, their infos and
// the infos' alternatives. Each step reads the tree under the registry's lock;
// removing or replacing an info invalidates cursors on it.
class ORVCORE_API VSYST_DICursor {
public:
    // A handle to one node for a tree view, with an expanded flag. On Win32 it
    // converts to and from the long a tree item carries; on Win64 to a LONG_PTR.
    class ORVCORE_API TREEDATA {
    public:
        TREEDATA() : m_node(0) {}
        TREEDATA(LONG_PTR value) : m_node(value) {}
        TREEDATA(_vsyst_DINode* node) : m_node(reinterpret_cast<LONG_PTR>(node)) {}
        TREEDATA& operator=(const TREEDATA& other) { m_node = other.m_node; return *this; }
        TREEDATA(const TREEDATA& other) : m_node(other.m_node) {}
        operator LONG_PTR() const { return m_node; }

        int isValid() const { return m_node != 0; }
        const char* name() const;          // null for an invalid handle
        int isExpanded() const;            // 0 for an invalid handle
        void setExpanded(int expanded);    // stores 1 or 0; ignored for an invalid handle

    private:
        _vsyst_DINode* node() const { return reinterpret_cast<_vsyst_DINode*>(m_node); }
        LONG_PTR m_node;
    };

    VSYST_DICursor();
    ~VSYST_DICursor() {}

    bool validG() const { return m_group != nullptr; }
    bool validD() const { return m_info != nullptr; }
    bool validA() const { return m_alt != nullptr; }
    void nextG();
    void nextD();
    void nextA();
    const char* getG() const;   // null when invalid
    const char* getD() const;
    const char* getA() const;
    bool withA() const;         // the current info has at least one alternative
    TREEDATA tdG() { return TREEDATA(m_group); }
    TREEDATA tdD() { return TREEDATA(m_info); }
    TREEDATA tdA() { return TREEDATA(m_alt); }

private:
    void enterGroup(_vsyst_DINodeG* group);   // first group from here with an info

    _vsyst_DINodeG* m_group;
    _vsyst_DINodeD* m_info;
    _vsyst_DINodeA* m_alt;
};

// Process-wide debug switches: 20 longs, filled from the environment on first
// use (CM_DEBUG_VERBOSITYLEVEL, CM_DEBUG_UPDATE_TASKLIST, CM_DEBUG_READONLY_TASKLIST).
// An index outside 0..19 throws VSYST_OutOfBounds.
class ORVCORE_API V_DebugSettings {
public:
    enum VFCKE_value {
        VFCKE_VerbosityLevel = 0,
        VFCKE_UpdateTaskList = 6,
        VFCKE_ReadOnlyTaskList = 7,
        VFCKE_NumValues = 20
    };

    static long getValue(VFCKE_value index);
    static void setValue(VFCKE_value index, long value);

private:
    static void init();
    static long& entry(VFCKE_value index);

    static std::vector<long> values;
    static bool s_init;
};

#endif
