// VSYST_Handle.h - intrusive reference counting: VSYST_Handle refers to an
// object derived from VSYST_HandableClass and deletes it when the last handle
// lets go. Counts are plain ints: an object and its handles are used by one
// thread at a time.
#ifndef VSYST_HANDLE_H
#define VSYST_HANDLE_H

#include "OrvCoreDefs.h"
#include "V_String.h"   // V_HashValue

// Base of every class a VSYST_Handle can refer to. A new object has count 0;
// a copy of an object is a new object (count 0) and assignment keeps the
// target's own count, so copying never hands out references.
class ORVCORE_API VSYST_HandableClass {
public:
    VSYST_HandableClass() : m_refCount(0) {}
    VSYST_HandableClass(const VSYST_HandableClass&) : m_refCount(0) {}
    VSYST_HandableClass& operator=(const VSYST_HandableClass&) { return *this; }
    virtual ~VSYST_HandableClass();

    void increaseRefCount() { ++m_refCount; }
    void decreaseRefCount() { --m_refCount; }
    bool isRefCountZero() const { return m_refCount == 0; }
    bool isRefCountOne() const { return m_refCount == 1; }

private:
    int m_refCount;
};

// A counted reference to a handable object, or a null handle.
class ORVCORE_API VSYST_Handle {
public:
    VSYST_Handle() : m_object(nullptr) {}
    explicit VSYST_Handle(VSYST_HandableClass* object);   // may be null
    VSYST_Handle(const VSYST_Handle& other);
    // Releases the old object (deleting it when this was its last handle)
    // after taking the new one, so self-assignment is harmless.
    VSYST_Handle& operator=(const VSYST_Handle& other);
    ~VSYST_Handle();

    int operator==(const VSYST_Handle& other) const { return m_object == other.m_object; }
    int operator!=(const VSYST_Handle& other) const { return m_object != other.m_object; }
    bool isConnected() const { return m_object != nullptr; }
    bool isNullHandle() const { return m_object == nullptr; }
    bool isLastConnectedHandle() const { return m_object && m_object->isRefCountOne(); }
    // The object's address shifted right by 2 (0 for a null handle), cut to 32 bits.
    operator V_HashValue() const;

protected:
    // For derived handles that give typed access.
    VSYST_HandableClass* dereference() const { return m_object; }

private:
    VSYST_HandableClass* m_object;
};

#endif
