// orv_bytescan.h - text scans eight bytes a step. The C run-time's scans go
// byte by byte, and the log and the text conversions spend most of their own
// time in them otherwise.
#ifndef ORV_BYTESCAN_H
#define ORV_BYTESCAN_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orv {

// Whether some Ch-sized element of the word w is zero.
template <class Ch>
inline bool hasZero(std::uint64_t w)
{
    const std::uint64_t ones = sizeof(Ch) == 1 ? 0x0101010101010101ull : 0x0001000100010001ull;
    return ((w - ones) & ~w & (ones << (8 * sizeof(Ch) - 1))) != 0;
}

// The number of characters before the first NUL among the first n of s.
template <class Ch>
std::size_t textLength(const Ch* s, std::size_t n)
{
    const std::size_t step = 8 / sizeof(Ch);
    std::size_t i = 0;
    for (std::uint64_t w; i + step <= n; i += step) {
        std::memcpy(&w, s + i, 8);
        if (hasZero<Ch>(w)) break;
    }
    while (i < n && s[i]) ++i;
    return i;
}

// The length of a NUL-terminated text. Whole words are read only at aligned
// addresses, so no read reaches into a page that holds none of the text.
inline std::size_t textLength(const char* s)
{
    typedef std::uint64_t __attribute__((may_alias)) Word;
    const char* p = s;
    for (; reinterpret_cast<std::uintptr_t>(p) % sizeof(Word); ++p)
        if (!*p) return static_cast<std::size_t>(p - s);
    for (const Word* w = reinterpret_cast<const Word*>(p);; ++w) {
        if (hasZero<char>(*w)) {
            for (p = reinterpret_cast<const char*>(w); *p;) ++p;
            return static_cast<std::size_t>(p - s);
        }
    }
}

// The index of the first c among the first n bytes of s, or n.
inline std::size_t findByte(const char* s, std::size_t n, char c)
{
    const std::uint64_t pattern = 0x0101010101010101ull * static_cast<unsigned char>(c);
    std::size_t i = 0;
    for (std::uint64_t w; i + 8 <= n; i += 8) {
        std::memcpy(&w, s + i, 8);
        if (hasZero<char>(w ^ pattern)) break;
    }
    while (i < n && s[i] != c) ++i;
    return i;
}

}  // namespace orv

#endif
