// V_STRING8, V_STRING16 and V_BSTR: owned 8-bit, UTF-16 and automation text.
#include "V_BSTR.h"
#include "VSYST_DumpStream.h"
#include "V_ASArchive.h"
#include "V_Exception.h"
#include "strings/orv_bytescan.h"
#include "strings/orv_numtext.h"

#include <windows.h>
#include <objidl.h>
#include <oleauto.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <new>
#include <ostream>

// The class, not the variant accessor of <oleauto.h>.
#undef V_BSTR

namespace {

// Conversions follow the thread's ANSI code page, as the platform's own
// conversion helpers do.
const UINT kCodePage = CP_THREAD_ACP;

const unsigned kFormatUnits = 4096;

// The first bytes of s (no NUL among them) converted to UTF-16 in storage
// from alloc(units) (room for units and a terminator). A text of n bytes
// never needs more than n units, so one pass suffices. Returns the length,
// or -1 (nothing kept) when the text does not convert.
template <class Alloc, class Release>
int widen(const char* s, size_t bytes, wchar_t*& out, Alloc alloc, Release release)
{
    if (bytes > INT_MAX) return -1;
    const int len = static_cast<int>(bytes);
    out = alloc(static_cast<unsigned>(len));
    if (!out) throw VSYST_OutOfMemory();
    int n = len ? MultiByteToWideChar(kCodePage, 0, s, len, out, len) : 0;
    if (len && !n) {
        release(out);
        out = nullptr;
        return -1;
    }
    out[n] = L'\0';
    return n;
}

wchar_t* allocBSTR(unsigned units) { return SysAllocStringLen(nullptr, units); }
void releaseBSTR(wchar_t* b) { SysFreeString(b); }

// A BSTR of the converted text; null for text that does not convert.
BSTR newBSTR(const char* s, size_t bytes)
{
    BSTR b = nullptr;
    int n = widen(s, bytes, b, allocBSTR, releaseBSTR);
    if (n < 0 || static_cast<unsigned>(n) == SysStringLen(b)) return b;
    // Multibyte text came out shorter: the stored length must be exact.
    BSTR exact = SysAllocStringLen(b, static_cast<UINT>(n));
    SysFreeString(b);
    if (!exact) throw VSYST_OutOfMemory();
    return exact;
}

BSTR copyBSTR(const wchar_t* s, unsigned n)
{
    BSTR b = SysAllocStringLen(s, n);
    if (!b) throw VSYST_OutOfMemory();
    return b;
}

// Releases the held BSTR and holds b (made before: a failure changes nothing).
void hold(BSTR& held, BSTR b)
{
    SysFreeString(held);
    held = b;
}

void putUInt32(unsigned char* out, unsigned long v)
{
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

// ---- V_STRING8 ------------------------------------------------------------------

void V_STRING8::xmemory() { throw VSYST_OutOfMemory(); }

namespace {

template <class Ch>
Ch* copyText(const Ch* s, unsigned n, void (*fail)())
{
    Ch* p = new (std::nothrow) Ch[static_cast<size_t>(n) + 1];
    if (!p) fail();
    if (n) std::memcpy(p, s, n * sizeof(Ch));
    p[n] = 0;
    return p;
}

// Assignment of V_STRING8 and V_STRING16: a failed copy leaves the target as it was.
template <class Ch>
void replaceText(Ch*& text, unsigned& length, const Ch* s, unsigned n, void (*fail)())
{
    if (text == s) return;
    Ch* p = copyText(s, n, fail);
    delete[] text;
    text = p;
    length = n;
}

}  // namespace

V_STRING8::V_STRING8(const V_STRING8& other)
    : m_text(copyText(other.m_text, other.m_length, &xmemory)), m_length(other.m_length)
{
}

V_STRING8::V_STRING8(const char* s, void*)
    : m_text(nullptr), m_length(s ? static_cast<unsigned>(std::strlen(s)) : 0)
{
    m_text = copyText(s, m_length, &xmemory);
}

V_STRING8::V_STRING8(const V_STRING& s) : m_text(copyText(s.data(), s.length(), &xmemory)), m_length(s.length()) {}

V_STRING8::~V_STRING8() { delete[] m_text; }

V_STRING8& V_STRING8::operator=(const V_STRING8& other)
{
    replaceText(m_text, m_length, other.m_text, other.m_length, &xmemory);
    return *this;
}

V_STRING8 V_STRING::asCharPtr() const { return V_STRING8(*this); }

// ---- V_STRING16 -----------------------------------------------------------------

void V_STRING16::xmemory() { throw VSYST_OutOfMemory(); }

V_STRING16::V_STRING16(const V_STRING16& other)
    : m_text(copyText(other.m_text, other.m_length, &xmemory)), m_length(other.m_length)
{
}

V_STRING16::V_STRING16(const wchar_t* s, void*)
    : m_text(nullptr), m_length(s ? static_cast<unsigned>(std::wcslen(s)) : 0)
{
    m_text = copyText(s, m_length, &xmemory);
}

V_STRING16::V_STRING16(const V_STRING& s) : m_text(nullptr), m_length(0)
{
    auto alloc = [](unsigned units) { return new (std::nothrow) wchar_t[static_cast<size_t>(units) + 1]; };
    auto release = [](wchar_t* p) { delete[] p; };
    int n = widen(s.data(), orv::textLength(s.data(), s.length()), m_text, alloc, release);
    if (n < 0) m_text = copyText(L"", 0, &xmemory);
    else m_length = static_cast<unsigned>(n);
}

V_STRING16::~V_STRING16() { delete[] m_text; }

V_STRING16& V_STRING16::operator=(const V_STRING16& other)
{
    replaceText(m_text, m_length, other.m_text, other.m_length, &xmemory);
    return *this;
}

// ---- V_BSTR: construction and assignment ----------------------------------------

V_BSTR::V_BSTR(const V_BSTR& b) : m_bstr(copyBSTR(b.m_bstr, SysStringLen(b.m_bstr))) {}

V_BSTR::V_BSTR(int n, const wchar_t* s) : m_bstr(copyBSTR(s, s && n > 0 ? static_cast<unsigned>(n) : 0)) {}

V_BSTR::V_BSTR(const wchar_t* s) : m_bstr(s ? copyBSTR(s, static_cast<unsigned>(std::wcslen(s))) : nullptr) {}

V_BSTR::V_BSTR(const char* s) : m_bstr(s ? newBSTR(s, std::strlen(s)) : nullptr) {}

V_BSTR::V_BSTR(const V_STRING& s) : m_bstr(newBSTR(s.data(), orv::textLength(s.data(), s.length()))) {}

V_BSTR::~V_BSTR() { SysFreeString(m_bstr); }

V_BSTR& V_BSTR::operator=(const V_BSTR& b)
{
    if (m_bstr != b.m_bstr) {
        hold(m_bstr, copyBSTR(b.m_bstr, SysStringLen(b.m_bstr)));
    }
    return *this;
}

V_BSTR& V_BSTR::operator=(const wchar_t* s)
{
    hold(m_bstr, s ? copyBSTR(s, static_cast<unsigned>(std::wcslen(s))) : nullptr);
    return *this;
}

V_BSTR& V_BSTR::operator=(const char* s)
{
    hold(m_bstr, s ? newBSTR(s, std::strlen(s)) : nullptr);
    return *this;
}

V_BSTR& V_BSTR::operator=(const V_STRING& s)
{
    hold(m_bstr, newBSTR(s.data(), orv::textLength(s.data(), s.length())));
    return *this;
}

// ---- V_BSTR: appending ----------------------------------------------------------

V_BSTR& V_BSTR::append(const wchar_t* s, int n)
{
    const unsigned old = SysStringLen(m_bstr);
    const unsigned add = s && n > 0 ? static_cast<unsigned>(n) : 0;
    BSTR b = SysAllocStringLen(nullptr, old + add);
    if (!b) throw VSYST_OutOfMemory();
    if (old) std::memcpy(b, m_bstr, old * sizeof(wchar_t));
    if (add) std::memcpy(b + old, s, add * sizeof(wchar_t));   // s may be our own text: copied before release
    b[old + add] = L'\0';
    hold(m_bstr, b);
    return *this;
}

V_BSTR& V_BSTR::append(const V_BSTR& b) { return append(b.m_bstr, static_cast<int>(SysStringLen(b.m_bstr))); }

V_BSTR& V_BSTR::append(const wchar_t* s) { return append(s, s ? static_cast<int>(std::wcslen(s)) : 0); }

V_BSTR& V_BSTR::append(const char* s)
{
    V_BSTR converted(s);
    return append(converted);
}

V_BSTR& V_BSTR::append(const V_STRING& s)
{
    V_BSTR converted(s);
    return append(converted);
}

V_BSTR& V_BSTR::appendBSTR(BSTR b) { return append(b, static_cast<int>(SysStringLen(b))); }

// ---- V_BSTR: access and comparison ----------------------------------------------

int V_BSTR::compare(const V_BSTR& b) const
{
    const unsigned l1 = SysStringLen(m_bstr), l2 = SysStringLen(b.m_bstr);
    if (!l1) return l2 ? -1 : 0;
    if (!l2) return 1;
    int r = std::memcmp(m_bstr, b.m_bstr, (l1 < l2 ? l1 : l2) * sizeof(wchar_t));
    if (r) return r < 0 ? -1 : 1;
    return l1 < l2 ? -1 : (l1 > l2 ? 1 : 0);
}

unsigned V_BSTR::length() const { return SysStringLen(m_bstr); }

void V_BSTR::narrow(const wchar_t* s, unsigned len, V_STRING& out)
{
    if (!len || len > INT_MAX) return;
    // Single-byte code pages need exactly one byte a unit: try that first.
    out.realloc(len + 1, true);
    int n = WideCharToMultiByte(kCodePage, 0, s, static_cast<int>(len), out.m_data, static_cast<int>(len), nullptr,
                                nullptr);
    if (!n && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        int need = WideCharToMultiByte(kCodePage, 0, s, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
        if (need > 0) {
            out.realloc(static_cast<unsigned>(need) + 1, true);
            n = WideCharToMultiByte(kCodePage, 0, s, static_cast<int>(len), out.m_data, need, nullptr, nullptr);
        }
    }
    out.m_length = n > 0 ? static_cast<unsigned>(n) : 0;
    out.m_data[out.m_length] = '\0';
}

V_BSTR::operator V_STRING() const
{
    V_STRING r;
    if (m_bstr) narrow(m_bstr, static_cast<unsigned>(orv::textLength(m_bstr, SysStringLen(m_bstr))), r);
    return r;
}

BSTR V_BSTR::Copy() const { return copyBSTR(m_bstr, SysStringLen(m_bstr)); }

BSTR V_BSTR::Detach()
{
    BSTR b = m_bstr;
    m_bstr = nullptr;
    return b;
}

void V_BSTR::Empty() { hold(m_bstr, nullptr); }

V_STRING V_BSTR::asDumpString() const
{
    if (!m_bstr) return V_STRING("BSTR(NULL)");
    const unsigned len = SysStringLen(m_bstr);
    bool plain = true;
    for (unsigned i = 0; i < len && plain; ++i) plain = m_bstr[i] >= 0x0001 && m_bstr[i] <= 0x00FF;
    V_STRING r("BSTR(");
    if (plain) {
        V_STRING text;
        narrow(m_bstr, len, text);
        r.append('"', 1).append(text).append('"', 1);
    } else {
        static const char kHex[] = "0123456789abcdef";
        for (unsigned i = 0; i < len; ++i) {
            const unsigned u = m_bstr[i];
            const char unit[5] = {kHex[(u >> 12) & 15], kHex[(u >> 8) & 15], kHex[(u >> 4) & 15], kHex[u & 15], 0};
            if (i) r += '.';
            r += unit;
        }
    }
    return r += ')';
}

// ---- V_BSTR: streams, formatting, archives ---------------------------------------

HRESULT V_BSTR::WriteToStream(IStream* s)
{
    if (!s) return E_POINTER;
    const unsigned long n = m_bstr ? SysStringByteLen(m_bstr) + 2 : 0;
    unsigned char header[4];
    putUInt32(header, n);
    HRESULT hr = s->Write(header, 4, nullptr);
    if (FAILED(hr) || !n) return hr;
    return s->Write(m_bstr, n, nullptr);
}

HRESULT V_BSTR::ReadFromStream(IStream* s)
{
    const HRESULT kShort = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    if (!s) return E_POINTER;
    unsigned char header[4];
    ULONG got = 0;
    HRESULT hr = s->Read(header, 4, &got);
    if (FAILED(hr)) return hr;
    if (got != 4) return kShort;
    const unsigned long n = header[0] | (header[1] << 8) | (header[2] << 16) | (static_cast<unsigned long>(header[3]) << 24);
    if (!n) return hr;
    // An odd count is a BSTR of odd byte length, as WriteToStream writes one made by SysAllocStringByteLen.
    if (n < 2) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    BSTR b = SysAllocStringByteLen(nullptr, n - 2);
    if (!b) return E_OUTOFMEMORY;
    // The terminator is read past, not into the BSTR: ours stays whatever the record holds.
    wchar_t terminator = 0;
    hr = s->Read(b, n - 2, &got);
    if (SUCCEEDED(hr) && got != n - 2) hr = kShort;
    if (SUCCEEDED(hr)) {
        hr = s->Read(&terminator, 2, &got);
        if (SUCCEEDED(hr) && got != 2) hr = kShort;
    }
    if (FAILED(hr)) {
        SysFreeString(b);
        return hr;
    }
    hold(m_bstr, b);
    return hr;
}

V_BSTR& V_BSTR::format(const wchar_t* fmt, ...)
{
    wchar_t buffer[kFormatUnits];
    va_list args;
    va_start(args, fmt);
    const unsigned n = orv::crtFormatWV(buffer, kFormatUnits, fmt, args);
    va_end(args);
    hold(m_bstr, copyBSTR(buffer, n));
    return *this;
}

V_BSTR& V_BSTR::formatV(const wchar_t* fmt, va_list args)
{
    wchar_t buffer[kFormatUnits];
    hold(m_bstr, copyBSTR(buffer, orv::crtFormatWV(buffer, kFormatUnits, fmt, args)));
    return *this;
}

void V_BSTR::serializeAsMember(V_ASArchiveOut& ar) { _serialize(ar, m_bstr); }

void V_BSTR::deserializeAsMember(V_ASArchiveIn& ar) { _deserialize(ar, m_bstr); }

void _serialize(V_ASArchiveOut& ar, wchar_t* const b)
{
    const unsigned long len = SysStringLen(b);
    if (ar.remaining() < 4 || (ar.remaining() - 4) / 2 < len) throw VSYST_XRange();
    ar.writeUInt32(len);
    ar.write(b, len * 2);
}

void _deserialize(V_ASArchiveIn& ar, wchar_t*& b)
{
    // Read on a copy of the archive so that a short record changes nothing.
    V_ASArchiveIn in = ar;
    const unsigned long len = in.readUInt32();
    if (len > in.remaining() / 2) throw VSYST_XRange();
    const unsigned char* text = in.take(len * 2);
    BSTR read = SysAllocStringLen(nullptr, len);
    if (!read) throw VSYST_OutOfMemory();
    std::memcpy(read, text, len * 2);
    hold(b, read);
    ar = in;
}

std::ostream& operator<<(std::ostream& os, const V_BSTR& b) { return os << b.asDumpString(); }

VSYST_DumpStream& operator<<(VSYST_DumpStream& os, const V_BSTR& b) { return os << b.asDumpString(); }

const char* VSYST_UndecorateRawName(const char* name) { return name; }
