// V_STRING: the library's byte string.
#include "V_String.h"
#include "V_ASArchive.h"
#include "strings/orv_numtext.h"

#include <windows.h>
#include <mbstring.h>
#include <oleauto.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <ostream>

char V_STRING::s_null[1] = {'\0'};

VSYST_XMemory::~VSYST_XMemory() {}
VSYST_XRange::~VSYST_XRange() {}
VSYST_XLength::~VSYST_XLength() {}

namespace {

const unsigned kAll = 0xFFFFFFFFu;
const unsigned kFormatBuffer = 4096;
const unsigned kComposeBuffer = 4100;

unsigned minU(unsigned a, unsigned b) { return a < b ? a : b; }

// Whether p points into [base, base + size).
bool inside(const char* p, const char* base, unsigned size)
{
    uintptr_t a = reinterpret_cast<uintptr_t>(p), b = reinterpret_cast<uintptr_t>(base);
    return a >= b && a - b < size;
}

// Scratch buffer for reading old wide records; shared by all strings and
// released when the library unloads.
struct WideScratch {
    unsigned short* data = nullptr;
    unsigned long size = 0;   // in 16-bit units
    ~WideScratch() { delete[] data; }
    unsigned short* need(unsigned long units)
    {
        if (units > size) {
            unsigned short* p = new (std::nothrow) unsigned short[units];
            if (!p) return nullptr;
            delete[] data;
            data = p;
            size = units;
        }
        return data;
    }
};
WideScratch s_wideScratch;

}  // namespace

// ---- private helpers --------------------------------------------------------

unsigned V_STRING::length(const char* s, unsigned max)
{
    if (!s) return 0;
    return static_cast<unsigned>(max == kAll ? std::strlen(s) : strnlen(s, max));
}

char* V_STRING::set(char* dst, char c, unsigned n)
{
    if (n) std::memset(dst, c, n);
    return dst;
}

char* V_STRING::move(char* dst, const char* src, unsigned n)
{
    if (n) std::memmove(dst, src, n);
    return dst;
}

char* V_STRING::copy(char* dst, const char* src, unsigned n)
{
    if (n) std::memcpy(dst, src, n);
    return dst;
}

int V_STRING::compareBytes(const char* a, const char* b, unsigned n)
{
    // Equal texts, the common case, in one pass; the signed order only where they differ.
    if (!n || std::memcmp(a, b, n) == 0) return 0;
    for (unsigned i = 0; i < n; ++i) {
        signed char x = static_cast<signed char>(a[i]);
        signed char y = static_cast<signed char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

void V_STRING::xmemory() { throw VSYST_XMemory(); }
void V_STRING::xrange() { throw VSYST_XRange(); }
void V_STRING::xlength() { throw VSYST_XLength(); }

bool V_STRING::realloc(unsigned n, bool shrink)
{
    unsigned target = n;
    if (n < m_capacity && !shrink) target = m_capacity;
    if (n > m_capacity && m_capacity <= 0x7FFFFFFFu && 2u * m_capacity > n) target = 2u * m_capacity;
    if (target == 0) target = 1;
    if (target == m_capacity) return m_capacity != 0;

    char* p = new (std::nothrow) char[target];
    if (!p) {
        target = n ? n : 1;
        p = new (std::nothrow) char[target];
        if (!p) xmemory();
    }
    if (m_capacity) {
        copy(p, m_data, minU(m_capacity, target));
        delete[] m_data;
    }
    m_capacity = target;
    m_data = p;
    return true;
}

void V_STRING::free()
{
    if (m_capacity) delete[] m_data;
    m_data = s_null;
    m_capacity = 0;
    m_length = 0;
}

void V_STRING::assignNumberText(const char* text, unsigned bufferSize)
{
    realloc(bufferSize, true);
    set(m_data, 0, bufferSize);
    unsigned n = minU(static_cast<unsigned>(std::strlen(text)), bufferSize - 1);
    copy(m_data, text, n);
    m_length = length(m_data, bufferSize);
}

// ---- construction -----------------------------------------------------------

V_STRING::V_STRING() : m_data(s_null), m_capacity(0), m_length(0) {}

V_STRING::V_STRING(char c, unsigned n) : m_data(s_null), m_capacity(0), m_length(0)
{
    assign(c, n);
}

V_STRING::V_STRING(const char* s, unsigned n) : m_data(s_null), m_capacity(0), m_length(0)
{
    assign(s, n);
}

V_STRING::V_STRING(const V_STRING& s, unsigned pos, unsigned n) : m_data(s_null), m_capacity(0), m_length(0)
{
    assign(s, pos, n);
}

V_STRING::V_STRING(long v) : m_data(s_null), m_capacity(0), m_length(0)
{
    char text[orv::kNumTextSize];
    orv::textSigned(text, v);
    assignNumberText(text, 17);
}

V_STRING::V_STRING(unsigned long v) : m_data(s_null), m_capacity(0), m_length(0)
{
    char text[orv::kNumTextSize];
    orv::textUnsigned(text, v);
    assignNumberText(text, 17);
}

V_STRING::V_STRING(double v) : m_data(s_null), m_capacity(0), m_length(0)
{
    char text[orv::kNumTextSize];
    orv::textExp6(text, v);
    assignNumberText(text, 21);
}

V_STRING::~V_STRING()
{
    if (m_capacity) delete[] m_data;
}

// ---- assignment -------------------------------------------------------------

V_STRING& V_STRING::operator=(char c)
{
    realloc(2, true);
    m_data[0] = c;
    m_data[1] = '\0';
    m_length = c ? 1 : 0;
    return *this;
}

V_STRING& V_STRING::operator=(const char* s) { return assign(s, kAll); }
V_STRING& V_STRING::operator=(const V_STRING& s) { return assign(s, 0, kAll); }

V_STRING& V_STRING::assign(char c, unsigned n)
{
    if (n > 0xFFFFFFFEu) xlength();
    realloc(n + 1, true);
    set(m_data, c, n);
    m_length = c ? n : 0;
    m_data[m_length] = '\0';
    return *this;
}

V_STRING& V_STRING::assign(const char* s, unsigned n)
{
    unsigned k = length(s, n);
    if (k && m_capacity && inside(s, m_data, m_capacity)) {
        // Text from our own buffer: the buffer rule may release it, so copy first.
        V_STRING tmp(s, k);
        return assign(tmp, 0, kAll);
    }
    if (k + 1 != m_capacity) realloc(k + 1, true);   // an equal size keeps the buffer anyway
    copy(m_data, s, k);
    m_length = k;
    m_data[k] = '\0';
    return *this;
}

V_STRING& V_STRING::assign(const V_STRING& s, unsigned pos, unsigned n)
{
    if (pos > s.m_length) xrange();
    unsigned k = minU(n, s.m_length - pos);
    if (&s == this) {
        remove(pos + k, kAll);
        remove(0, pos);
        return *this;
    }
    if (k + 1 != m_capacity) realloc(k + 1, true);
    copy(m_data, s.m_data + pos, k);
    m_length = k;
    m_data[k] = '\0';
    return *this;
}

// ---- appending --------------------------------------------------------------

V_STRING& V_STRING::operator+=(char c)
{
    if (!c) return *this;
    if (m_length > 0xFFFFFFFDu) xlength();
    if (m_length + 2 > m_capacity) realloc(m_length + 2, false);
    m_data[m_length++] = c;
    m_data[m_length] = '\0';
    return *this;
}

V_STRING& V_STRING::operator+=(const char* s) { return append(s, kAll); }
V_STRING& V_STRING::operator+=(const V_STRING& s) { return append(s, 0, kAll); }

V_STRING& V_STRING::append(char c, unsigned n)
{
    if (!c || !n) return *this;
    if (static_cast<unsigned long long>(m_length) + n >= 0xFFFFFFFFull) xlength();
    realloc(m_length + n + 1, false);
    set(m_data + m_length, c, n);
    m_length += n;
    m_data[m_length] = '\0';
    return *this;
}

V_STRING& V_STRING::append(const char* s, unsigned n)
{
    unsigned k = length(s, n);
    if (!k) return *this;
    if (static_cast<unsigned long long>(m_length) + k >= 0xFFFFFFFFull) xlength();
    // The text may lie in our own buffer, which the buffer rule may move.
    if (m_length + k + 1 > m_capacity) {   // within the capacity the buffer rule changes nothing
        bool own = m_capacity && inside(s, m_data, m_capacity);
        size_t offset = own ? static_cast<size_t>(s - m_data) : 0;
        realloc(m_length + k + 1, false);
        if (own) s = m_data + offset;
    }
    move(m_data + m_length, s, k);
    m_length += k;
    m_data[m_length] = '\0';
    return *this;
}

V_STRING& V_STRING::append(const V_STRING& s, unsigned pos, unsigned n)
{
    if (pos > s.m_length) xrange();
    unsigned k = minU(n, s.m_length - pos);
    if (!k) return *this;
    if (static_cast<unsigned long long>(m_length) + k >= 0xFFFFFFFFull) xlength();
    if (m_length + k + 1 > m_capacity) realloc(m_length + k + 1, false);
    move(m_data + m_length, s.m_data + pos, k);   // when s is this string, s.m_data is the new buffer
    m_length += k;
    m_data[m_length] = '\0';
    return *this;
}

V_STRING operator+(const V_STRING& a, const V_STRING& b)
{
    V_STRING r(a);
    r += b;
    return r;
}

V_STRING operator+(const V_STRING& a, const char* b)
{
    V_STRING r(a);
    r += b;
    return r;
}

V_STRING operator+(const V_STRING& a, char b)
{
    V_STRING r(a);
    r += b;
    return r;
}

// ---- access -----------------------------------------------------------------

char V_STRING::operator[](unsigned i) const
{
    if (i >= m_length) xrange();
    return m_data[i];
}

char& V_STRING::operator[](unsigned i)
{
    if (i >= m_length) xrange();
    return m_data[i];
}

// ---- comparison -------------------------------------------------------------

int V_STRING::compare(char c, unsigned pos, unsigned n) const
{
    if (pos > m_length) xrange();
    unsigned rest = m_length - pos;
    unsigned k = minU(rest, n);
    signed char sc = static_cast<signed char>(c);
    for (unsigned i = 0; i < k; ++i) {
        signed char b = static_cast<signed char>(m_data[pos + i]);
        if (b != sc) return b < sc ? -1 : 1;
    }
    if (rest < n) return -1;
    return rest == n ? 0 : 1;
}

int V_STRING::compare(const char* s, unsigned pos, unsigned n) const
{
    if (pos > m_length) xrange();
    unsigned a = minU(n, m_length - pos);
    unsigned b = length(s, n);
    int r = compareBytes(m_data + pos, s ? s : s_null, minU(a, b));
    if (r) return r;
    return a < b ? -1 : (a > b ? 1 : 0);
}

int V_STRING::compare(const V_STRING& s, unsigned pos, unsigned n) const
{
    if (pos > m_length) xrange();
    unsigned a = minU(n, m_length - pos);
    unsigned b = minU(n, s.m_length);
    int r = compareBytes(m_data + pos, s.m_data, minU(a, b));
    if (r) return r;
    return a < b ? -1 : (a > b ? 1 : 0);
}

int V_STRING::compareNoCase(const V_STRING& s) const { return compareNoCase(s.m_data); }

int V_STRING::compareNoCase(const char* s) const
{
    return _mbsicmp(reinterpret_cast<const unsigned char*>(m_data),
                    reinterpret_cast<const unsigned char*>(s ? s : s_null));
}

int V_STRING::find(const char* s) const
{
    if (!s || !*s) return 0;
    const unsigned char* hay = reinterpret_cast<const unsigned char*>(m_data);
    const unsigned char* hit = _mbsstr(hay, reinterpret_cast<const unsigned char*>(s));
    return hit ? static_cast<int>(hit - hay) : -1;
}

int V_STRING::find(const V_STRING& s) const { return find(s.m_data); }

// ---- editing ----------------------------------------------------------------

V_STRING& V_STRING::remove(unsigned pos, unsigned n)
{
    if (pos > m_length) xrange();
    if (!m_capacity) return *this;
    if (m_length - pos <= n) {
        m_length = pos;
    } else {
        move(m_data + pos, m_data + pos + n, m_length - pos - n);
        m_length -= n;
    }
    m_data[m_length] = '\0';
    return *this;
}

V_STRING V_STRING::substr(unsigned pos, unsigned n) const { return V_STRING(*this, pos, n); }

V_STRING V_STRING::mid(int first, int count) const
{
    if (first < 0) {
        if (count <= 0) return V_STRING();   // the sum could only fall further, and might overflow
        count += first;
        first = 0;
    }
    if (count <= 0) return V_STRING();
    if (static_cast<unsigned>(first) > m_length) xrange();
    return V_STRING(*this, static_cast<unsigned>(first), static_cast<unsigned>(count));
}

V_STRING V_STRING::left(int n) const { return mid(0, n); }

V_STRING V_STRING::right(int n) const
{
    // No count above 0, no text; this also keeps length - n from overflowing.
    if (n <= 0) return V_STRING();
    return mid(static_cast<int>(m_length) - n, n);
}

// ---- conversions ------------------------------------------------------------

namespace {

// One field scanned as the formatting side's C run-time scans it; 0 on failure.
template <class T>
bool scanOne(const char* text, const char* fmt, T& v)
{
    T r = T();
    bool ok = orv::crtScanOne(text, fmt, &r) == 1;
    v = ok ? r : T();
    return ok;
}

}  // namespace

bool V_STRING::convert(long& v) const { return scanOne(m_data, "%ld", v); }
bool V_STRING::convert(unsigned long& v) const { return scanOne(m_data, "%lu", v); }
bool V_STRING::convert(double& v) const { return scanOne(m_data, "%lf", v); }

V_STRING::operator V_HashValue() const
{
    return V_HashValue(VSYST_StringHashValueMax(m_data, m_length));
}

BSTR V_STRING::AllocSysString() const
{
    int wide = m_length ? MultiByteToWideChar(CP_ACP, 0, m_data, static_cast<int>(m_length), nullptr, 0) : 0;
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
    if (!b) xmemory();
    if (wide) MultiByteToWideChar(CP_ACP, 0, m_data, static_cast<int>(m_length), b, wide);
    b[wide] = L'\0';
    return b;
}

// ---- formatting -------------------------------------------------------------

V_STRING V_STRING::formatted(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    V_STRING r;
    try {
        r.formatV(fmt, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return r;
}

V_STRING& V_STRING::format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    try {
        formatV(fmt, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return *this;
}

V_STRING& V_STRING::formatV(const char* fmt, va_list args)
{
    char buf[kFormatBuffer];
    orv::crtFormatV(buf, kFormatBuffer, fmt, args);
    return assign(buf, kAll);
}

V_STRING V_STRING::compose(const char* a1, const char* a2, const char* a3, const char* a4, const char* a5,
                           const char* a6, const char* a7, const char* a8, const char* a9) const
{
    const char* args[9] = {a1, a2, a3, a4, a5, a6, a7, a8, a9};
    char buf[kComposeBuffer];
    unsigned out = 0;
    const unsigned limit = kComposeBuffer - 1;
    auto put = [&](char c) { if (out < limit) buf[out++] = c; };
    for (const char* p = m_data; *p && out < limit; ++p) {
        if (*p != '%') { put(*p); continue; }
        char next = p[1];
        if (!next) { put('%'); break; }
        ++p;
        if (next >= '1' && next <= '9') {
            if (const char* a = args[next - '1'])
                for (; *a && out < limit; ++a) put(*a);
        } else {
            put(next);
        }
    }
    buf[out] = '\0';
    return V_STRING(buf, out);
}

// ---- archive records --------------------------------------------------------

void V_STRING::serializeAsMember(V_ASArchiveOut& ar)
{
    // Claimed whole before a byte is written: a record that does not fit
    // leaves the archive's buffer and position as they were.
    const unsigned pad = 8 - (m_length + 6) % 8;
    unsigned char* p = ar.claim(static_cast<unsigned long>(m_length) + 6 + pad);
    const unsigned long header = m_length | 0x80000000u;
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(header >> (8 * i));
    if (m_length) std::memcpy(p + 4, m_data, m_length);
    p[4 + m_length] = 0;
    p[5 + m_length] = static_cast<unsigned char>(pad);
    std::memset(p + 6 + m_length, 0, pad);
}

void V_STRING::deserializeAsMember(V_ASArchiveIn& ar)
{
    // Read on a copy of the archive so that a short record changes nothing.
    V_ASArchiveIn in = ar;
    unsigned long header = in.readUInt32();
    if (header & 0x80000000u) {
        unsigned long len = header & 0x7FFFFFFFu;
        const unsigned char* text = in.take(len + 1);
        unsigned char pad = in.readByte();
        in.skip(pad);
        realloc(static_cast<unsigned>(len + 1), false);
        copy(m_data, reinterpret_cast<const char*>(text), static_cast<unsigned>(len));
        m_length = static_cast<unsigned>(len);
    } else {
        unsigned long long units = static_cast<unsigned long long>(header) + 1;
        if (units * 2 > in.remaining()) xrange();
        const unsigned char* raw = in.take(static_cast<unsigned long>(units * 2));
        unsigned char pad = in.readByte();
        in.skip(pad);
        unsigned short* wide = s_wideScratch.need(static_cast<unsigned long>(units));
        if (!wide) xmemory();
        for (unsigned long i = 0; i < units; ++i)
            wide[i] = static_cast<unsigned short>(raw[2 * i] | (raw[2 * i + 1] << 8));
        realloc(static_cast<unsigned>(header + 1), false);
        for (unsigned long i = 0; i < header; ++i)
            m_data[i] = wide[i] <= 255 ? static_cast<char>(wide[i]) : '@';
        m_length = static_cast<unsigned>(header);
    }
    m_data[m_length] = '\0';
    ar = in;
}

std::ostream& operator<<(std::ostream& os, const V_STRING& s)
{
    std::ostream::sentry ok(os);
    if (ok) {
        for (unsigned i = 0; i < s.length(); ++i) {
            if (std::char_traits<char>::eq_int_type(os.rdbuf()->sputc(s.data()[i]), std::char_traits<char>::eof())) {
                os.setstate(std::ios_base::badbit);
                break;
            }
        }
    }
    return os;
}

// ---- hashing ----------------------------------------------------------------

unsigned long VSYST_StringHashValueMax(const char* text, unsigned max)
{
    if (!text) return 0;
    unsigned limit = minU(max, 32);
    unsigned long h = 0;
    for (unsigned i = 0; i < limit && text[i]; ++i)
        h = h * 65599u + static_cast<unsigned long>(static_cast<long>(static_cast<signed char>(text[i])));
    return h & 0xFFFFFFFFu;
}

unsigned long VSYST_StringHashValueMax(const wchar_t* text, unsigned max)
{
    if (!text) return 0;
    unsigned limit = minU(max, 32);
    unsigned long h = 0;
    for (unsigned i = 0; i < limit && text[i]; ++i)
        h = h * 65599u + static_cast<unsigned short>(text[i]);
    return h & 0xFFFFFFFFu;
}

unsigned long VSYST_StringHashValue(const char* text) { return VSYST_StringHashValueMax(text, 32); }
unsigned long VSYST_StringHashValue(const wchar_t* text) { return VSYST_StringHashValueMax(text, 32); }
