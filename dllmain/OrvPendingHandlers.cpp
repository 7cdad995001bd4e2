// Handler functions of services whose objects already stand in the load order
// (dllmain/OrvStatics.cpp) while the services themselves are still to come.
#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"
#include "dllmain/OrvRuntimeInternal.h"

namespace {

// What the dump of the feature set writes while the set holds no features.
void featureSetDump(VSYST_DumpStream& stream, unsigned long)
{
    stream << "\nVSYST_FeatureSet : start of dump of all available features\n";
    stream << "VSYST_FeatureSet : end of dump of all available features\n\n";
}

}  // namespace

namespace orv {

bool featureSetRegisterDump()
{
    VSYST_DIManager::add("System", "Dump current feature set", nullptr, &featureSetDump);
    return true;
}

}  // namespace orv
