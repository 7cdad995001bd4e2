// The feature set: a locked map from interned name to state, and its dump.
#include "VSYST_FeatureSet.h"

#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"
#include "data/orv_features_internal.h"
#include "dllmain/OrvLock.h"

#include <utility>
#include <vector>

namespace {

// The lines are formatted from a copy, so that a slow stream never holds up
// the threads that set and ask states.
void dumpFeatures(VSYST_DumpStream& stream, unsigned long)
{
    std::vector<std::pair<const char*, long>> entries;
    {
        orv::SrwGuard guard(orv::g_features.lock, false);
        entries.assign(orv::g_features.states.begin(), orv::g_features.states.end());
    }
    stream << "\nVSYST_FeatureSet : start of dump of all available features\n";
    for (const auto& e : entries) stream << "\tFeature \"" << e.first << "\" state == " << e.second << "\n";
    stream << "VSYST_FeatureSet : end of dump of all available features\n\n";
}

}  // namespace

long VSYST_FeatureSet::getState(const char* name)
{
    if (!name) return 0;
    const VSYST_SymbolA key(name);
    orv::FeatureMap& fm = orv::g_features;
    {
        orv::SrwGuard guard(fm.lock, false);
        auto it = fm.states.find(key);
        if (it != fm.states.end()) return it->second;
    }
    // Another thread may have entered it meanwhile: emplace keeps its state.
    orv::SrwGuard guard(fm.lock, true);
    return fm.states.emplace(key, 0L).first->second;
}

void VSYST_FeatureSet::setState(const char* name, long state)
{
    if (!name) return;
    const VSYST_SymbolA key(name);
    orv::SrwGuard guard(orv::g_features.lock, true);
    orv::g_features.states[key] = state;
}

namespace orv {

bool featureSetRegisterDump()
{
    VSYST_DIManager::add("System", "Dump current feature set", nullptr, &dumpFeatures);
    return true;
}

}  // namespace orv
