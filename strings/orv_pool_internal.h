// orv_pool_internal.h - read access to the string pools' block tables, for the
// library's pool dump and its tests. Not installed. Reads take no lock: use
// them where no other thread copies texts.
#ifndef ORV_POOL_INTERNAL_H
#define ORV_POOL_INTERNAL_H

#include "V_StringPool.h"

struct _vsyst_PoolView {
    // The process-wide pool of that class, or null before its first allocCopy.
    template <class Pool>
    static const Pool* instance() { return Pool::s_instanceMMPtr; }
    template <class Pool>
    static unsigned long count(const Pool& pool) { return pool.m_count; }
    template <class Pool>
    static unsigned long capacity(const Pool& pool) { return pool.m_capacity; }
    // The block records (base, next, remaining), count() of them in use.
    template <class Pool>
    static auto blocks(const Pool& pool) -> decltype(pool.m_blocks) { return pool.m_blocks; }
};

#endif
