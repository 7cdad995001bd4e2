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
// new. The record never moves: the pointer stays valid as long as the table
// (until the last _vsyst_GI ends). A null name gives null; allocation failure
// throws VSYST_XMemory. Modules look records up from any thread, so the table
// is under an in-process lock; the values are the callers' to guard.
ORVCORE_API V_SIInfo* V_SIFind(const char* name);
// Writes the listing of all records to the standard dump stream.
ORVCORE_API void V_SITrace();

#endif
