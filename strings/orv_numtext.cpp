#include "strings/orv_numtext.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace orv {

namespace {

unsigned put(char* buf, const char* text)
{
    unsigned n = static_cast<unsigned>(std::strlen(text));
    std::memcpy(buf, text, n + 1);
    return n;
}

// The Microsoft run-time's spelling of the special values.
bool special(char* buf, double v, unsigned& n, bool withSign)
{
    if (std::isinf(v)) {
        n = put(buf, v < 0 ? "-1.#INF" : (withSign ? "+1.#INF" : "1.#INF"));
        return true;
    }
    if (std::isnan(v)) {
        n = put(buf, std::signbit(v) ? "-1.#IND" : (withSign ? "+1.#QNAN" : "1.#QNAN"));
        return true;
    }
    return false;
}

// Rewrites the exponent of a "...e+NN" text in place to at least three digits.
unsigned widenExponent(char* buf)
{
    char* e = std::strchr(buf, 'e');
    if (!e) return static_cast<unsigned>(std::strlen(buf));
    char sign = e[1];
    int exponent = std::atoi(e + 2);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03d", exponent);
    e[1] = sign;
    std::strcpy(e + 2, digits);
    return static_cast<unsigned>(std::strlen(buf));
}

}  // namespace

unsigned textSigned(char* buf, long long v)
{
    char tmp[32];
    unsigned n = 0;
    unsigned long long mag = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do {
        tmp[n++] = static_cast<char>('0' + mag % 10);
        mag /= 10;
    } while (mag);
    unsigned len = 0;
    if (v < 0) buf[len++] = '-';
    while (n) buf[len++] = tmp[--n];
    buf[len] = '\0';
    return len;
}

unsigned textUnsigned(char* buf, unsigned long long v)
{
    char tmp[32];
    unsigned n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    unsigned len = 0;
    while (n) buf[len++] = tmp[--n];
    buf[len] = '\0';
    return len;
}

unsigned textHexUpper(char* buf, unsigned long long v)
{
    static const char digits[] = "0123456789ABCDEF";
    char tmp[32];
    unsigned n = 0;
    do {
        tmp[n++] = digits[v & 0xF];
        v >>= 4;
    } while (v);
    unsigned len = 0;
    while (n) buf[len++] = tmp[--n];
    buf[len] = '\0';
    return len;
}

unsigned textExp6(char* buf, double v)
{
    unsigned n;
    if (special(buf, v, n, true)) {
        // The run-time pads the special spelling to the six decimals and adds a zero exponent.
        while (n < 9) buf[n++] = '0';
        std::strcpy(buf + n, "e+000");
        return n + 5;
    }
    std::snprintf(buf, kNumTextSize, "%+.6e", v);
    return widenExponent(buf);
}

unsigned textGcvt15(char* buf, double v)
{
    unsigned n;
    if (special(buf, v, n, false)) return n;
    // The exponent after rounding to 15 digits decides between the notations.
    char e[kNumTextSize];
    std::snprintf(e, sizeof e, "%.14e", v);
    int magnitude = std::atoi(std::strchr(e, 'e') + 1);
    if (v == 0.0) magnitude = -1;   // the run-time treats zero as 0.xxx
    if (magnitude < -1 || magnitude > 14) {
        std::strcpy(buf, e);
    } else {
        int decimals = 14 - magnitude;
        std::snprintf(buf, kNumTextSize, "%.*f", decimals, v);
        if (decimals == 0) std::strcat(buf, ".");   // the run-time keeps the point
    }
    // Drop trailing zeros of the fraction (before any exponent); keep the point.
    char* point = std::strchr(buf, '.');
    if (point) {
        char* exp = std::strchr(point, 'e');
        char* end = exp ? exp : point + std::strlen(point);
        char* last = end - 1;
        while (last > point && *last == '0') --last;
        std::memmove(last + 1, end, std::strlen(end) + 1);
    }
    return widenExponent(buf);
}

}  // namespace orv

#include <windows.h>

namespace orv {

namespace {

// A function of msvcrt.dll, found at run time so that mingw's own C run-time
// can never stand in for it; null when there is none.
template <class Fn>
Fn crtFunction(const char* name)
{
    HMODULE crt = GetModuleHandleA("msvcrt.dll");
    if (!crt) crt = LoadLibraryA("msvcrt.dll");
    return crt ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(crt, name))) : nullptr;
}

using VsnprintfFn = int(__cdecl*)(char*, size_t, const char*, va_list);
using VsnwprintfFn = int(__cdecl*)(wchar_t*, size_t, const wchar_t*, va_list);
using SscanfFn = int(__cdecl*)(const char*, const char*, ...);

VsnprintfFn crtVsnprintf()
{
    static VsnprintfFn fn = crtFunction<VsnprintfFn>("_vsnprintf");
    return fn;
}

VsnwprintfFn crtVsnwprintf()
{
    static VsnwprintfFn fn = crtFunction<VsnwprintfFn>("_vsnwprintf");
    return fn;
}

SscanfFn crtSscanf()
{
    static SscanfFn fn = crtFunction<SscanfFn>("sscanf");
    return fn;
}

}  // namespace

int crtScanOne(const char* text, const char* fmt, void* target)
{
    SscanfFn fn = crtSscanf();
    return fn ? fn(text, fmt, target) : -1;
}

unsigned crtFormatV(char* buf, unsigned count, const char* fmt, va_list args)
{
    if (!buf || count == 0) return 0;
    buf[0] = '\0';
    if (!fmt) return 0;
    VsnprintfFn fn = crtVsnprintf();
    int n = fn ? fn(buf, count - 1, fmt, args) : std::vsnprintf(buf, count, fmt, args);
    // msvcrt returns -1 and leaves the buffer unterminated when the text is cut.
    if (n < 0 || static_cast<unsigned>(n) >= count) n = static_cast<int>(count - 1);
    buf[n] = '\0';
    return static_cast<unsigned>(std::strlen(buf));
}

unsigned crtFormatWV(wchar_t* buf, unsigned count, const wchar_t* fmt, va_list args)
{
    if (!buf || count == 0) return 0;
    buf[0] = L'\0';
    VsnwprintfFn fn = crtVsnwprintf();
    if (!fmt || !fn) return 0;
    int n = fn(buf, count - 1, fmt, args);
    if (n < 0 || static_cast<unsigned>(n) >= count) n = static_cast<int>(count - 1);
    buf[n] = L'\0';
    return static_cast<unsigned>(std::wcslen(buf));
}

unsigned crtFormat(char* buf, unsigned count, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    unsigned n = crtFormatV(buf, count, fmt, args);
    va_end(args);
    return n;
}

}  // namespace orv
