// V_CapsulatedPointer.h - owning holder of one process-wide object kept in a
// static: created empty at load (constant-initialised, so it is usable before
// any dynamic initialiser runs), filled at load or on first use, and deleting
// its object when the holder is destroyed at library unload.
#ifndef V_CAPSULATEDPOINTER_H
#define V_CAPSULATEDPOINTER_H

template <class T>
class V_CapsulatedPointer {
public:
    constexpr V_CapsulatedPointer() : m_ptr(nullptr) {}
    explicit V_CapsulatedPointer(T* p) : m_ptr(p) {}
    ~V_CapsulatedPointer() { reset(); }
    V_CapsulatedPointer(const V_CapsulatedPointer&) = delete;
    V_CapsulatedPointer& operator=(const V_CapsulatedPointer&) = delete;

    T* get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    T& operator*() const { return *m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

    // Deletes the held object (if any) and holds p instead.
    void reset(T* p = nullptr)
    {
        T* old = m_ptr;
        m_ptr = p;
        delete old;
    }
    // Gives up ownership without deleting.
    T* release()
    {
        T* p = m_ptr;
        m_ptr = nullptr;
        return p;
    }

private:
    T* m_ptr;
};

#endif
