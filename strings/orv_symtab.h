// orv_symtab.h - the intern tables behind VSYST_SymbolA/T/W. Internal to the
// DLL; the two instances are among the ordered statics (dllmain/OrvStatics.cpp).
#ifndef ORV_SYMTAB_H
#define ORV_SYMTAB_H

#include "VSYST_Symbol.h"

#include <windows.h>

namespace orv {

// Open-addressing set of pooled text pointers: 4093 slots, growing to 16381,
// 65521 and 262139 whenever more than half full; at the last size the process
// ends at 235925 texts. Probing is quadratic for 512 steps, then linear.
// Modules intern from any thread, so a slim reader/writer lock guards each
// table: present texts are found under the shared lock, inserts and growth
// take it exclusively. The pool is called only under the exclusive lock.
template <class Ch>
class InternTable {
public:
    InternTable();
    ~InternTable();
    InternTable(const InternTable&) = delete;
    InternTable& operator=(const InternTable&) = delete;

    const Ch* intern(const Ch* text);   // null gives null
    VSYST_SymbolTableInfo info() const;

private:
    bool growthDue() const { return 2 * m_entries > m_slots; }
    // The slot of text or the empty slot where it belongs; null when neither is reachable.
    const Ch** probe(const Ch* text, unsigned long hash) const;
    void grow();

    unsigned long m_step;
    unsigned long m_slots;
    unsigned long m_entries;
    const Ch** m_array;
    mutable SRWLOCK m_lock;
};

extern InternTable<char> g_symbolsA;
extern InternTable<wchar_t> g_symbolsW;

}  // namespace orv

#endif
