// V_BitSet.h - V_BitSet, a set of bits whose size is fixed at construction.
#ifndef V_BITSET_H
#define V_BITSET_H

#include "OrvCoreDefs.h"

#include <iosfwd>

// Bit i lives in word i / 32 at position i % 32 of 32-bit words. Whole-set
// operations change every word, also the bits of the last word beyond size(),
// which test() can read but any(), all() and count() ignore. Single-bit
// operations do not check i against size() but stay inside the words: an
// index beyond the last word is ignored (test gives false). A set of size 0
// has no words at all. Mutating members return the set. Allocation failure
// throws VSYST_OutOfMemory.
class ORVCORE_API V_BitSet {
public:
    explicit V_BitSet(unsigned n);          // n bits, all 0
    V_BitSet(const V_BitSet& other);
    V_BitSet& operator=(const V_BitSet& other);
    ~V_BitSet();

    unsigned size() const { return m_size; }

    V_BitSet& set();                        // every word all ones
    V_BitSet& set(unsigned i);
    V_BitSet& set(unsigned i, bool v);
    V_BitSet& reset();                      // every word 0
    V_BitSet& reset(unsigned i);
    V_BitSet& toggle();                     // every word inverted
    V_BitSet& toggle(unsigned i);

    bool test(unsigned i) const;
    bool any() const;                       // false for size 0
    bool none() const { return !any(); }
    bool all() const;                       // true for size 0
    unsigned count() const;                 // set bits among 0 .. size() - 1

private:
    unsigned words() const { return m_size ? (m_size - 1) / 32 + 1 : 0; }
    // Allocates the words for m_size, copied from source or zeroed when it is null.
    void createBitBlocks(const unsigned long* source);
    unsigned long* word(unsigned i) const;  // the word holding bit i, or null beyond the words

    unsigned m_size;
    unsigned long* m_blocks;
};

// The bits from bit 0 upwards, each "1" or "0".
ORVCORE_API std::ostream& operator<<(std::ostream& os, const V_BitSet& b);

#endif
