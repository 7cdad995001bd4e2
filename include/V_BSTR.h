// V_BSTR.h - the companions of V_STRING at the platform boundary: V_STRING8
// (an owned 8-bit copy), V_STRING16 (an owned UTF-16 copy), V_BSTR (the owner
// of one automation string), their archive helpers and VSYST_UndecorateRawName.
//
// Conversions between 8-bit and wide text use the calling thread's ANSI code
// page and stop at the first NUL of the text.
//
// <oleauto.h> defines the variant accessor macro V_BSTR(X). This header hides
// that macro while it declares the class and puts it back afterwards, so both
// include orders work; where the macro is visible, a client names a temporary
// as (V_BSTR)(text) or declares an object (V_BSTR b(text);), neither of which
// the macro touches.
#ifndef V_BSTR_H
#define V_BSTR_H

#include "OrvCoreDefs.h"
#include "V_String.h"

#include <cstdarg>
#include <iosfwd>
#include <type_traits>
#include <wtypes.h>   // BSTR, HRESULT

struct IStream;
class V_ASArchiveOut;
class V_ASArchiveIn;
class VSYST_DumpStream;

// An owned, NUL-terminated copy of 8-bit text; converts to const char*.
// Allocation failure throws VSYST_OutOfMemory (reported when thrown).
class ORVCORE_API V_STRING8 {
public:
    V_STRING8(const V_STRING8& other);
    V_STRING8(const char* s, void* ignored = nullptr);   // null s gives ""
    V_STRING8(const V_STRING& s);                        // all length characters, NULs inside kept
    ~V_STRING8();
    V_STRING8& operator=(const V_STRING8& other);

    operator const char*() const { return m_text; }
    unsigned length() const { return m_length; }

private:
    [[noreturn]] static void xmemory();

    char* m_text;
    unsigned m_length;
};

// An owned, NUL-terminated copy of UTF-16 text; converts to const wchar_t*.
// Allocation failure throws VSYST_OutOfMemory (reported when thrown).
class ORVCORE_API V_STRING16 {
public:
    V_STRING16(const V_STRING16& other);
    V_STRING16(const wchar_t* s, void* ignored = nullptr);   // null s gives ""
    // The text up to its first NUL, converted; text that does not convert gives "".
    V_STRING16(const V_STRING& s);
    ~V_STRING16();
    V_STRING16& operator=(const V_STRING16& other);

    operator const wchar_t*() const { return m_text; }
    unsigned length() const { return m_length; }

private:
    [[noreturn]] static void xmemory();

    wchar_t* m_text;
    unsigned m_length;
};

#pragma push_macro("V_BSTR")
#undef V_BSTR

// Owner of one BSTR (null when it holds none). 8-bit text that is null or does
// not convert gives a null BSTR. A BSTR that cannot be allocated throws
// VSYST_OutOfMemory and leaves the object as it was; ReadFromStream returns
// E_OUTOFMEMORY instead. Not locked: one thread per object.
class ORVCORE_API V_BSTR {
public:
    V_BSTR() : m_bstr(nullptr) {}
    V_BSTR(const V_BSTR& b);               // b's stored length; a null b gives an empty, non-null BSTR
    V_BSTR(int n, const wchar_t* s);       // n characters of s (none for null s or n below 1)
    V_BSTR(const wchar_t* s);              // up to the NUL; null gives null
    V_BSTR(const char* s);
    V_BSTR(const V_STRING& s);
    ~V_BSTR();

    V_BSTR& operator=(const V_BSTR& b);    // a copy as the copy constructor makes it
    V_BSTR& operator=(const wchar_t* s);
    V_BSTR& operator=(const char* s);
    V_BSTR& operator=(const V_STRING& s);

    V_BSTR& operator+=(const V_BSTR& b) { return append(b); }
    V_BSTR& operator+=(const wchar_t* s) { return append(s); }
    V_BSTR& operator+=(const char* s) { return append(s); }
    V_BSTR& operator+=(const V_STRING& s) { return append(s); }

    // Each holds a new BSTR of the old text and the appended one afterwards
    // (also when nothing is appended); appending the object to itself works.
    V_BSTR& append(const V_BSTR& b);       // b's stored length of characters
    V_BSTR& append(const wchar_t* s);      // up to the NUL
    V_BSTR& append(const char* s);         // converted; text that does not convert appends nothing
    V_BSTR& append(const V_STRING& s);
    V_BSTR& appendBSTR(BSTR b);            // b's stored length of characters
    V_BSTR& append(const wchar_t* s, int n);

    // No range checks. Other integer types reach the templates, so that b[0]
    // never has to choose between these and subscripting the wchar_t* conversion.
    wchar_t operator[](unsigned i) const { return m_bstr[i]; }
    wchar_t& operator[](unsigned i) { return m_bstr[i]; }
    template <class I, typename std::enable_if<std::is_integral<I>::value, int>::type = 0>
    wchar_t operator[](I i) const { return m_bstr[i]; }
    template <class I, typename std::enable_if<std::is_integral<I>::value, int>::type = 0>
    wchar_t& operator[](I i) { return m_bstr[i]; }

    // -1, 0 or 1: the memory bytes of the texts (low byte of each unit first),
    // then the lengths; a null and an empty BSTR are equal.
    int compare(const V_BSTR& b) const;
    bool operator==(const V_BSTR& b) const { return compare(b) == 0; }
    bool operator<(const V_BSTR& b) const { return compare(b) < 0; }

    unsigned length() const;               // stored length; 0 for null
    operator wchar_t*() const { return m_bstr; }   // still owned
    operator V_STRING() const;             // up to the first NUL; "" for null or text that does not convert
    BSTR* operator&() { return &m_bstr; }  // for out-parameters; does not release the held BSTR
    bool operator!() const { return m_bstr == nullptr; }

    BSTR Copy() const;                     // the caller's copy; empty, non-null for null
    void Attach(BSTR b) { m_bstr = b; }    // does not release the held BSTR
    BSTR Detach();                         // gives the BSTR away and holds null
    void Empty();                          // releases and holds null

    // BSTR(NULL), BSTR("text") when every unit is 0x0001..0x00FF, else the
    // units as four lower-case hex digits joined by "." inside BSTR(...).
    V_STRING asDumpString() const;

    // Stream record: 32-bit byte count n (text + 2, or 0 for null) and n bytes
    // of text and terminator. A short or malformed record gives
    // HRESULT_FROM_WIN32(ERROR_HANDLE_EOF) or (ERROR_INVALID_DATA) and leaves
    // the object unchanged; a record of 0 leaves it unchanged too.
    HRESULT ReadFromStream(IStream* s);
    HRESULT WriteToStream(IStream* s);

    // _vsnwprintf rules (%s is wide, %hs 8-bit); the text is cut at 4095 characters.
    V_BSTR& format(const wchar_t* fmt, ...);
    V_BSTR& formatV(const wchar_t* fmt, va_list args);

    // Archive record: 32-bit length in characters, then 2 bytes per character,
    // no terminator. Reading gives an empty, non-null BSTR for length 0; a short
    // record throws VSYST_XRange and changes nothing.
    void serializeAsMember(V_ASArchiveOut& ar);
    void deserializeAsMember(V_ASArchiveIn& ar);

private:
    // The thread-code-page text of s (len units, no NUL among them) into out.
    static void narrow(const wchar_t* s, unsigned len, V_STRING& out);

    BSTR m_bstr;
};

ORVCORE_API std::ostream& operator<<(std::ostream& os, const V_BSTR& b);   // asDumpString
ORVCORE_API VSYST_DumpStream& operator<<(VSYST_DumpStream& os, const V_BSTR& b);

#pragma pop_macro("V_BSTR")

// The archive record of V_BSTR for a bare BSTR; _deserialize releases b and
// stores the BSTR it read.
ORVCORE_API void _serialize(V_ASArchiveOut& ar, wchar_t* const b);
ORVCORE_API void _deserialize(V_ASArchiveIn& ar, wchar_t*& b);

// Returns name unchanged.
ORVCORE_API const char* VSYST_UndecorateRawName(const char* name);

#endif
