// VSYST_Symbol.h - cheap identities for names. VSYST_Symbol12 packs a name of
// up to twelve characters into two numbers; VSYST_SymbolA, VSYST_SymbolT and
// VSYST_SymbolW intern a text of any length so that equal texts share one
// pointer.
#ifndef VSYST_SYMBOL_H
#define VSYST_SYMBOL_H

#include "OrvCoreDefs.h"
#include "V_String.h"

#include <cstdint>
#include <iosfwd>

class VSYST_DumpStream;

// A name of up to twelve characters from "$", "0"-"9", "A"-"Z" (either case)
// and "_", packed as two base-39 numbers: high holds characters 1-6, low 7-12,
// the first character as the most significant digit. Comparing the numbers
// orders symbols like their names ($ < digits < letters < _, case-insensitive,
// a prefix before its extensions). Characters after the twelfth are ignored; a
// character outside the alphabet packs as "end" (use isValid first). A null
// or empty name gives the default symbol. Packing never allocates.
class ORVCORE_API VSYST_Symbol12 {
public:
    VSYST_Symbol12() : m_high(0), m_low(0) {}
    VSYST_Symbol12(const char* name) { makeSym(name); }
    VSYST_Symbol12(const V_STRING& name) { makeSym(name.data()); }
    // Wide names are not encoded: every one gives the symbol "__UNICODE__".
    VSYST_Symbol12(const wchar_t* name) { makeSym(name); }

    // True if c is in the alphabet (either case).
    static bool isValid(char c);
    // True if every character of name is in the alphabet; "" and null are valid
    // and the length does not matter.
    static bool isValid(const char* name);

    // -1, 0 or 1 by the high words, then the low words, as unsigned numbers
    // (one 64-bit comparison: no branch to mispredict).
    int compare(const VSYST_Symbol12& s) const { return (key() > s.key()) - (key() < s.key()); }
    bool operator==(const VSYST_Symbol12& s) const { return key() == s.key(); }
    bool operator!=(const VSYST_Symbol12& s) const { return key() != s.key(); }
    bool operator<(const VSYST_Symbol12& s) const { return key() < s.key(); }
    bool operator>(const VSYST_Symbol12& s) const { return s < *this; }
    bool operator<=(const VSYST_Symbol12& s) const { return !(s < *this); }
    bool operator>=(const VSYST_Symbol12& s) const { return !(*this < s); }

    // The default symbol (high word 0): default-constructed or from "".
    bool isDefault() const { return m_high == 0; }

    // Writes the decoded name, always upper case, NUL-terminated, into buffer
    // (at least 13 characters).
    void name(char* buffer) const;
    V_STRING getName() const;

    // VSYST_StringHashValueMax over the eight bytes as they lie in memory
    // (high word first, least significant byte first), stopping at a zero byte.
    operator V_HashValue() const;

    unsigned long high() const { return m_high; }
    unsigned long low() const { return m_low; }

private:
    void makeSym(const char* name);
    void makeSym(const wchar_t* name);
    uint64_t key() const { return static_cast<uint64_t>(m_high) << 32 | m_low; }

    unsigned long m_high;
    unsigned long m_low;
};

ORVCORE_API std::ostream& operator<<(std::ostream& os, const VSYST_Symbol12& s);
ORVCORE_API VSYST_DumpStream& operator<<(VSYST_DumpStream& os, const VSYST_Symbol12& s);

// Fill of an intern table: size step 0..3 for 4093, 16381, 65521 and 262139
// slots, and the number of texts stored.
struct VSYST_SymbolTableInfo {
    unsigned long sizeStep;
    unsigned long slots;
    unsigned long entries;
};

// Interned 8-bit text. Each distinct text (case-sensitive) is stored once in
// the 8-bit string pool, and the symbol is the pointer to that copy, so
// equality is pointer equality and costs nothing. The order of operator< is
// the pointer order: consistent within one run, not alphabetical. A null text
// gives the null symbol, which differs from the interned "". Interned texts
// live until the string pools are released at the end of the process.
//
// The intern tables are process-wide, shared by all modules and threads, and
// guarded by a slim reader/writer lock each: lookups of present texts share
// it, inserting and growing take it alone. When the last table size
// (262139 slots) holds 235925 texts, the next call ends the process through
// VSYST_AssertionFailed::doThrowFinal.
class ORVCORE_API VSYST_SymbolA {
public:
    VSYST_SymbolA() : m_text(nullptr) {}
    VSYST_SymbolA(const char* text);

    operator const char*() const { return m_text; }   // the interned text, or null
    bool operator==(VSYST_SymbolA s) const { return m_text == s.m_text; }
    bool operator!=(VSYST_SymbolA s) const { return m_text != s.m_text; }
    bool operator<(VSYST_SymbolA s) const
    {
        return reinterpret_cast<uintptr_t>(m_text) < reinterpret_cast<uintptr_t>(s.m_text);
    }

    // The 8-bit table, which VSYST_SymbolT shares.
    static VSYST_SymbolTableInfo tableInfo();

private:
    const char* m_text;
};

// The same as VSYST_SymbolA, in the same table; the comparisons give an int 0 or 1.
class ORVCORE_API VSYST_SymbolT {
public:
    VSYST_SymbolT() : m_text(nullptr) {}
    VSYST_SymbolT(const char* text);

    operator const char*() const { return m_text; }
    int operator==(VSYST_SymbolT s) const { return m_text == s.m_text; }
    int operator!=(VSYST_SymbolT s) const { return m_text != s.m_text; }
    int operator<(VSYST_SymbolT s) const
    {
        return reinterpret_cast<uintptr_t>(m_text) < reinterpret_cast<uintptr_t>(s.m_text);
    }

private:
    const char* m_text;
};

// Interned wide text, in its own table and the wide string pool; otherwise as VSYST_SymbolA.
class ORVCORE_API VSYST_SymbolW {
public:
    VSYST_SymbolW() : m_text(nullptr) {}
    VSYST_SymbolW(const wchar_t* text);

    operator const wchar_t*() const { return m_text; }
    bool operator==(VSYST_SymbolW s) const { return m_text == s.m_text; }
    bool operator!=(VSYST_SymbolW s) const { return m_text != s.m_text; }
    bool operator<(VSYST_SymbolW s) const
    {
        return reinterpret_cast<uintptr_t>(m_text) < reinterpret_cast<uintptr_t>(s.m_text);
    }

    static VSYST_SymbolTableInfo tableInfo();

private:
    const wchar_t* m_text;
};

#endif
