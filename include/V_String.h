// V_String.h - V_STRING, the 8-bit (ANSI code page) string of every OrvCore
// interface; V_HashValue, its 32-bit hash; the string hash functions; and the
// three exceptions the string throws (VSYST_XMemory, VSYST_XRange, VSYST_XLength).
#ifndef V_STRING_H
#define V_STRING_H

#include "OrvCoreDefs.h"
#include "V_Exception.h"

#include <cstdarg>
#include <cstring>
#include <iosfwd>
#include <wtypes.h>   // BSTR

class V_ASArchiveOut;
class V_ASArchiveIn;
class V_STRING8;

// A 32-bit unsigned hash value; strings, symbols and handles convert to it.
class ORVCORE_API V_HashValue {
public:
    V_HashValue() : m_value(0) {}
    explicit V_HashValue(unsigned long value) : m_value(value) {}
    unsigned long value() const { return m_value; }
    bool operator==(const V_HashValue& o) const { return m_value == o.m_value; }
    bool operator!=(const V_HashValue& o) const { return m_value != o.m_value; }
    bool operator<(const V_HashValue& o) const { return m_value < o.m_value; }
private:
    unsigned long m_value;
};

// Thrown without a report by V_STRING when a buffer cannot be allocated.
class ORVCORE_API VSYST_XMemory : public V_Exception {
public:
    VSYST_XMemory() {}
    virtual ~VSYST_XMemory();
};

// Thrown by V_STRING for a position beyond the end or an index not below the length.
class ORVCORE_API VSYST_XRange : public V_Exception {
public:
    VSYST_XRange() {}
    virtual ~VSYST_XRange();
};

// Thrown by V_STRING when a length would reach 0xFFFFFFFF.
class ORVCORE_API VSYST_XLength : public V_Exception {
public:
    VSYST_XLength() {}
    virtual ~VSYST_XLength();
};

// The byte string: a value class owning its heap buffer (no sharing). A string
// that never allocated points at the shared empty text s_null with size() 0.
// Count arguments default to all (0xFFFFFFFF); positions beyond the end throw
// VSYST_XRange, lengths reaching 0xFFFFFFFF throw VSYST_XLength, allocation
// failure throws VSYST_XMemory; in each case the string is left unchanged.
class ORVCORE_API V_STRING {
public:
    static const unsigned all = 0xFFFFFFFFu;

    V_STRING();
    V_STRING(char c, unsigned n);
    V_STRING(const char* s, unsigned n = all);                  // null s is empty text
    V_STRING(const V_STRING& s, unsigned pos = 0, unsigned n = all);
    V_STRING(long v);                                           // "%ld"
    V_STRING(unsigned long v);                                  // "%lu"
    V_STRING(double v);                                         // "+1.500000e+000"
    ~V_STRING();

    V_STRING& operator=(char c);                                // buffer becomes 2 bytes
    V_STRING& operator=(const char* s);
    V_STRING& operator=(const V_STRING& s);

    V_STRING& assign(char c, unsigned n);
    V_STRING& assign(const char* s, unsigned n = all);
    V_STRING& assign(const V_STRING& s, unsigned pos = 0, unsigned n = all);

    V_STRING& operator+=(char c);
    V_STRING& operator+=(const char* s);
    V_STRING& operator+=(const V_STRING& s);

    V_STRING& append(char c, unsigned n);
    V_STRING& append(const char* s, unsigned n = all);
    V_STRING& append(const V_STRING& s, unsigned pos = 0, unsigned n = all);

    const char* data() const { return m_data; }                 // never null
    unsigned length() const { return m_length; }
    unsigned size() const { return m_capacity; }                // bytes allocated, 0 without a buffer
    bool isEmpty() const { return m_length == 0; }

    char operator[](unsigned i) const;
    char& operator[](unsigned i);

    // -1, 0 or 1; bytes compare as signed 8-bit values.
    int compare(char c, unsigned pos = 0, unsigned n = all) const;
    int compare(const char* s, unsigned pos = 0, unsigned n = all) const;
    int compare(const V_STRING& s, unsigned pos = 0, unsigned n = all) const;
    // compare(s) == 0 exactly when both hold the same bytes: one length check and one memcmp.
    bool operator==(const V_STRING& s) const
    {
        return m_length == s.m_length && std::memcmp(m_data, s.m_data, m_length) == 0;
    }
    bool operator!=(const V_STRING& s) const { return !(*this == s); }
    bool operator<(const V_STRING& s) const { return compare(s, 0, all) < 0; }

    // Case-insensitive, multibyte-aware comparison of the NUL-terminated texts.
    int compareNoCase(const V_STRING& s) const;
    int compareNoCase(const char* s) const;

    // Byte position of the first occurrence (multibyte-aware), -1 if none; empty s is found at 0.
    int find(const char* s) const;
    int find(const V_STRING& s) const;

    V_STRING& remove(unsigned pos = 0, unsigned n = all);     // never shrinks the buffer
    V_STRING substr(unsigned pos = 0, unsigned n = all) const;
    V_STRING mid(int first, int count) const;
    V_STRING left(int n) const;
    V_STRING right(int n) const;

    // Scan the text with "%ld", "%lu", "%lf" of the Microsoft C run-time's sscanf,
    // the scanner of the run-time that formats our numbers: "0x10" reads as 0,
    // "nan" and "inf" are no numbers, and a long wraps rather than saturates.
    // On failure the target is 0 and the result false.
    bool convert(long& v) const;
    bool convert(unsigned long& v) const;
    bool convert(double& v) const;

    operator V_HashValue() const;

    // A new BSTR holding the whole text (NULs included) converted to UTF-16; the caller frees it.
    BSTR AllocSysString() const;
    // An owned copy of the text, NULs inside included (V_BSTR.h).
    V_STRING8 asCharPtr() const;

    // printf-style formatting with the Microsoft C run-time's rules (%I64d, three-digit
    // exponents) into a 4096-byte working buffer; longer output is cut at 4095 bytes.
    static V_STRING formatted(const char* fmt, ...) ORV_MS_PRINTF(1, 2);
    V_STRING& format(const char* fmt, ...) ORV_MS_PRINTF(2, 3);
    V_STRING& formatV(const char* fmt, va_list args) ORV_MS_PRINTF(2, 0);

    // This string as a template: "%1".."%9" insert the arguments (null inserts nothing),
    // "%" + any other character gives that character, a final "%" stays. Results longer
    // than 4099 bytes are cut.
    V_STRING compose(const char* a1 = nullptr, const char* a2 = nullptr, const char* a3 = nullptr,
                     const char* a4 = nullptr, const char* a5 = nullptr, const char* a6 = nullptr,
                     const char* a7 = nullptr, const char* a8 = nullptr, const char* a9 = nullptr) const;

    // Archive record: 32-bit length | 0x80000000, the text and its NUL, a count byte p (1..8)
    // and p zero bytes; 8-byte multiple in all. Reading also takes the old wide form.
    void serializeAsMember(V_ASArchiveOut& ar);
    void deserializeAsMember(V_ASArchiveIn& ar);

    static char s_null[1];

private:
    friend class V_BSTR;   // converts straight into the buffer

    bool realloc(unsigned n, bool shrink);
    void free();
    void assignNumberText(const char* text, unsigned bufferSize);
    static unsigned length(const char* s, unsigned max);
    static char* set(char* dst, char c, unsigned n);
    static char* move(char* dst, const char* src, unsigned n);
    static char* copy(char* dst, const char* src, unsigned n);
    // Signed byte comparison of n bytes; named apart from the public compare so that
    // compare("x", 0, n) stays unambiguous for callers.
    static int compareBytes(const char* a, const char* b, unsigned n);
    [[noreturn]] static void xmemory();
    [[noreturn]] static void xrange();
    [[noreturn]] static void xlength();

    char* m_data;
    unsigned m_capacity;
    unsigned m_length;
};

ORVCORE_API V_STRING operator+(const V_STRING& a, const V_STRING& b);
ORVCORE_API V_STRING operator+(const V_STRING& a, const char* b);
ORVCORE_API V_STRING operator+(const V_STRING& a, char b);

// Writes the length characters one by one (embedded NULs included).
ORVCORE_API std::ostream& operator<<(std::ostream& os, const V_STRING& s);

// h = h * 65599 + c over at most the first 32 characters (8-bit bytes sign-extended,
// wide units zero-extended); null or empty text gives 0.
ORVCORE_API unsigned long VSYST_StringHashValue(const char* text);
ORVCORE_API unsigned long VSYST_StringHashValue(const wchar_t* text);
ORVCORE_API unsigned long VSYST_StringHashValueMax(const char* text, unsigned max);
ORVCORE_API unsigned long VSYST_StringHashValueMax(const wchar_t* text, unsigned max);

#include "V_BSTR.h"

#endif
