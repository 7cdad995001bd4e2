// orv_features_internal.h - the feature map behind VSYST_FeatureSet, defined
// among the library's ordered statics. Internal to the DLL.
#ifndef ORV_FEATURES_INTERNAL_H
#define ORV_FEATURES_INTERNAL_H

#include "VSYST_Symbol.h"

#include <windows.h>

#include <map>

namespace orv {

struct FeatureMap {
    SRWLOCK lock = SRWLOCK_INIT;
    std::map<VSYST_SymbolA, long> states;   // ordered by the interned pointer
};
extern FeatureMap g_features;

// Init function of the feature set's 32700 handler: registers its dump.
bool featureSetRegisterDump();

}  // namespace orv

#endif
