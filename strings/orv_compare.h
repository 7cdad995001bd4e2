// orv_compare.h - byte-wise name ordering shared by the library's sorted tables.
#ifndef ORV_COMPARE_H
#define ORV_COMPARE_H

namespace orv {

// Compares NUL-terminated texts as unsigned bytes, independent of any locale;
// -1, 0 or 1.
inline int compareUnsigned(const char* a, const char* b)
{
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    while (*x && *x == *y) {
        ++x;
        ++y;
    }
    return *x < *y ? -1 : (*x > *y ? 1 : 0);
}

}  // namespace orv

#endif
