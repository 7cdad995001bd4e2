// V_SIManager.h - the static instance manager: a process-wide table of named
// records through which modules find shared static data. V_SIFind returns the
// record of a name, creating it on first request; V_SITrace lists the table.
#ifndef V_SIMANAGER_H
#define V_SIMANAGER_H

#include "OrvCoreDefs.h"

class VSYST_DumpStream;

// One record. The name is a copy in the 8-bit string pool; the values belong
// to the modules that use the record (0 in a new one).
struct V_SIInfo {
    const char* name;
    long value1;               // listed as a signed number
    unsigned long value2;      // listed as an unsigned number
    unsigned long reserved;    // never touched by the manager
};

// The record for name, inserted in byte order (unsigned, case-sensitive) when
// new. The pointer stays valid until the next insertion. A null name gives null;
// allocation failure throws VSYST_XMemory.
ORVCORE_API V_SIInfo* V_SIFind(const char* name);
// Writes the listing of all records to the standard dump stream.
ORVCORE_API void V_SITrace();
// Writes the same listing to stream.
ORVCORE_API void V_SITraceTo(VSYST_DumpStream& stream);
// Number of records and capacity of the table (0 before the first record).
ORVCORE_API unsigned long V_SICount();
ORVCORE_API unsigned long V_SICapacity();
// The record at position i in table order, or null when i is not below V_SICount().
ORVCORE_API const V_SIInfo* V_SIAt(unsigned long i);

#endif
