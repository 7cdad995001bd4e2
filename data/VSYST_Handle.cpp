// Intrusive handles.
#include "VSYST_Handle.h"

#include <cstdint>

VSYST_HandableClass::~VSYST_HandableClass() {}

VSYST_Handle::VSYST_Handle(VSYST_HandableClass* object) : m_object(object)
{
    if (m_object) m_object->increaseRefCount();
}

VSYST_Handle::VSYST_Handle(const VSYST_Handle& other) : m_object(other.m_object)
{
    if (m_object) m_object->increaseRefCount();
}

VSYST_Handle& VSYST_Handle::operator=(const VSYST_Handle& other)
{
    if (m_object == other.m_object) return *this;
    VSYST_HandableClass* old = m_object;
    m_object = other.m_object;
    if (m_object) m_object->increaseRefCount();
    // The old object may own `other` (a handle inside it); it goes last.
    if (old) {
        old->decreaseRefCount();
        if (old->isRefCountZero()) delete old;
    }
    return *this;
}

VSYST_Handle::~VSYST_Handle()
{
    if (!m_object) return;
    m_object->decreaseRefCount();
    if (m_object->isRefCountZero()) delete m_object;
}

VSYST_Handle::operator V_HashValue() const
{
    return V_HashValue(static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(m_object) >> 2));
}
