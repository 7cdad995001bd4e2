// VSYST_FeatureSet.h - the process-wide table of named feature states. Any
// module sets a feature's state by name; any other asks for it. What a state
// means is agreed between the modules that use the feature.
#ifndef VSYST_FEATURESET_H
#define VSYST_FEATURESET_H

#include "OrvCoreDefs.h"

// Names are compared exactly (case-sensitive); a feature once set or asked
// for stays in the table for the rest of the process. The table is locked,
// so any thread may set and ask at any time. The debug-info entry
// "System" / "Dump current feature set" lists every feature, in the order of
// the interned names (stable within a run, not alphabetical).
class ORVCORE_API VSYST_FeatureSet {
public:
    // The feature's state; a feature not yet known is entered with state 0.
    // A null name is not entered and gives 0.
    static long getState(const char* name);
    // Sets the feature's state, entering the feature when it is new. A null
    // name is ignored.
    static void setState(const char* name, long state);

private:
    VSYST_FeatureSet() = delete;
};

#endif
