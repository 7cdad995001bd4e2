// The binary shape of the public records that clients compile against and
// that the library reads at fixed offsets. The product is x86 (4-byte pointers
// and longs); the x64 build has the same fields with 8-byte pointers.
#include "VSYST_DIManager.h"
#include "V_SIManager.h"
#include "V_String.h"

#include <cstddef>

namespace {
constexpr std::size_t P = sizeof(void*);
}

static_assert(sizeof(long) == 4 && sizeof(unsigned long) == 4, "long is 32 bits on both architectures");
static_assert(P == 4 || P == 8, "x86 or x64");

// data pointer, then 32-bit capacity and length
static_assert(sizeof(V_STRING) == P + 8, "V_STRING: pointer and two 32-bit counts");
static_assert(sizeof(V_HashValue) == 4, "V_HashValue: one 32-bit value");

// name, first value, second value, reserved
static_assert(offsetof(V_SIInfo, name) == 0 && offsetof(V_SIInfo, value1) == P &&
                  offsetof(V_SIInfo, value2) == P + 4 && offsetof(V_SIInfo, reserved) == P + 8,
              "V_SIInfo: fields in their order, 32-bit values after the name pointer");
static_assert(sizeof(V_SIInfo) == (P == 4 ? 16 : 24), "V_SIInfo: four 32-bit words on x86");

// A tree item's data is a long on x86: the node pointer must fit it exactly.
static_assert(sizeof(VSYST_DICursor::TREEDATA) == P && sizeof(LONG_PTR) == P, "TREEDATA: one pointer-sized value");
static_assert(sizeof(VSYST_DICursor) == 3 * P, "VSYST_DICursor: group, info and alternative pointers");
