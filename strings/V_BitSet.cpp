// V_BitSet: a fixed-size set of bits in 32-bit words.
#include "V_BitSet.h"
#include "V_Exception.h"

#include <cstring>
#include <new>
#include <ostream>

namespace {

unsigned long bitOf(unsigned i) { return 1ul << (i % 32); }

// The bits of the last word that belong to a set of size bits.
unsigned long lastWordMask(unsigned size) { return size % 32 ? (1ul << (size % 32)) - 1 : 0xFFFFFFFFul; }

}  // namespace

V_BitSet::V_BitSet(unsigned n) : m_size(n), m_blocks(nullptr) { createBitBlocks(nullptr); }

V_BitSet::V_BitSet(const V_BitSet& other) : m_size(other.m_size), m_blocks(nullptr)
{
    createBitBlocks(other.m_blocks);
}

V_BitSet& V_BitSet::operator=(const V_BitSet& other)
{
    if (this != &other) {
        V_BitSet copy(other);   // allocate first: a failure leaves this set as it was
        delete[] m_blocks;
        m_size = copy.m_size;
        m_blocks = copy.m_blocks;
        copy.m_blocks = nullptr;
    }
    return *this;
}

V_BitSet::~V_BitSet() { delete[] m_blocks; }

void V_BitSet::createBitBlocks(const unsigned long* source)
{
    const unsigned n = words();
    if (!n) return;
    m_blocks = new (std::nothrow) unsigned long[n];
    if (!m_blocks) throw VSYST_OutOfMemory();
    if (source) std::memcpy(m_blocks, source, n * sizeof(unsigned long));
    else std::memset(m_blocks, 0, n * sizeof(unsigned long));
}

unsigned long* V_BitSet::word(unsigned i) const { return i / 32 < words() ? m_blocks + i / 32 : nullptr; }

V_BitSet& V_BitSet::set()
{
    for (unsigned w = 0; w < words(); ++w) m_blocks[w] = 0xFFFFFFFFul;
    return *this;
}

V_BitSet& V_BitSet::set(unsigned i)
{
    if (unsigned long* w = word(i)) *w |= bitOf(i);
    return *this;
}

V_BitSet& V_BitSet::set(unsigned i, bool v)
{
    reset(i);
    return v ? set(i) : *this;
}

V_BitSet& V_BitSet::reset()
{
    for (unsigned w = 0; w < words(); ++w) m_blocks[w] = 0;
    return *this;
}

V_BitSet& V_BitSet::reset(unsigned i)
{
    if (unsigned long* w = word(i)) *w &= ~bitOf(i);
    return *this;
}

V_BitSet& V_BitSet::toggle()
{
    for (unsigned w = 0; w < words(); ++w) m_blocks[w] = ~m_blocks[w] & 0xFFFFFFFFul;
    return *this;
}

V_BitSet& V_BitSet::toggle(unsigned i)
{
    if (unsigned long* w = word(i)) *w ^= bitOf(i);
    return *this;
}

bool V_BitSet::test(unsigned i) const
{
    const unsigned long* w = word(i);
    return w && (*w & bitOf(i));
}

bool V_BitSet::any() const
{
    const unsigned n = words();
    for (unsigned w = 0; w + 1 < n; ++w)
        if (m_blocks[w]) return true;
    return n && (m_blocks[n - 1] & lastWordMask(m_size));
}

bool V_BitSet::all() const
{
    const unsigned n = words();
    for (unsigned w = 0; w + 1 < n; ++w)
        if (m_blocks[w] != 0xFFFFFFFFul) return false;
    return !n || (m_blocks[n - 1] & lastWordMask(m_size)) == lastWordMask(m_size);
}

unsigned V_BitSet::count() const
{
    const unsigned n = words();
    unsigned c = 0;
    for (unsigned w = 0; w + 1 < n; ++w) c += static_cast<unsigned>(__builtin_popcountl(m_blocks[w]));
    if (n) c += static_cast<unsigned>(__builtin_popcountl(m_blocks[n - 1] & lastWordMask(m_size)));
    return c;
}

std::ostream& operator<<(std::ostream& os, const V_BitSet& b)
{
    for (unsigned i = 0; i < b.size(); ++i) os.put(b.test(i) ? '1' : '0');
    return os;
}
