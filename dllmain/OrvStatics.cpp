// The library's static objects, defined in one translation unit so that their
// construction order at load (and the reverse destruction at unload) is fixed
// by this file rather than by link order.

#include "VSYST_DumpStream.h"

// The holder of the standard dump stream; the stream itself is created on first use.
V_CapsulatedPointer<VSYST_DumpStream> VSYST_DumpStream::s_stdStreamPtr;
