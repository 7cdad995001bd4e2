// orv_numtext.h - number-to-text conversions whose bytes must not depend on
// which C run-time formats them (msvcrt and mingw's C99 printf differ in
// exponent digits and 64-bit conversions). Internal to the library.
#ifndef ORV_NUMTEXT_H
#define ORV_NUMTEXT_H

namespace orv {

// Each writes a NUL-terminated text into buf and returns its length.
// Buffers of kNumTextSize bytes suffice for every function here.
const unsigned kNumTextSize = 64;

unsigned textSigned(char* buf, long long v);            // "%ld" / "%I64d"
unsigned textUnsigned(char* buf, unsigned long long v); // "%lu" / "%I64u"
unsigned textHexUpper(char* buf, unsigned long long v); // "%lX" without leading zeros
// "%+.6e" as the Microsoft C run-time writes it: sign, one digit, six decimals,
// an exponent of at least three digits (1.5 -> "+1.500000e+000").
unsigned textExp6(char* buf, double v);
// _gcvt(v, 15) as the Microsoft C run-time writes it: 15 significant digits,
// fixed notation for exponents -1..14, else d.ddde+xxx; trailing zeros are
// dropped but the decimal point stays ("1.", "0.5", "1.e+020", "5.e-002").
unsigned textGcvt15(char* buf, double v);

}  // namespace orv

#include <cstdarg>

namespace orv {

// The Microsoft C run-time's _vsnprintf (msvcrt.dll), found at run time so
// that mingw's own printf can never stand in for it. Always terminates buf
// (count >= 1) and returns the length written, cut at count - 1.
unsigned crtFormatV(char* buf, unsigned count, const char* fmt, va_list args);
unsigned crtFormat(char* buf, unsigned count, const char* fmt, ...);
// The same with msvcrt's _vsnwprintf (%s is wide text there); count in units.
unsigned crtFormatWV(wchar_t* buf, unsigned count, const wchar_t* fmt, va_list args);

// The Microsoft C run-time's sscanf of one field (fmt "%ld", "%lu" or "%lf"
// with the matching target): the scanner that pairs with the formatter above,
// which differs from mingw's ("0x10" as a double, "nan", overlong longs).
// Returns the number of fields read, or -1 when msvcrt.dll is not there.
int crtScanOne(const char* text, const char* fmt, void* target);

}  // namespace orv

#endif
