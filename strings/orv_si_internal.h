// orv_si_internal.h - the static instance table as the library's listing and
// its tests read it. Not installed.
#ifndef ORV_SI_INTERNAL_H
#define ORV_SI_INTERNAL_H

#include "V_SIManager.h"

class VSYST_DumpStream;

// Writes the listing of V_SITrace to stream.
ORVCORE_API void V_SITraceTo(VSYST_DumpStream& stream);
// Number of records and capacity of the name order (0 before the first record).
ORVCORE_API unsigned long V_SICount();
ORVCORE_API unsigned long V_SICapacity();
// The record at position i in name order, or null when i is not below V_SICount().
ORVCORE_API const V_SIInfo* V_SIAt(unsigned long i);

#endif
