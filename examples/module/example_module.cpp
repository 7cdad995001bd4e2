// A platform module as a client writes one: it keeps the library's global
// instance alive while loaded, registers its start and end work, offers a
// debug-info entry, keeps its state in a parameter file and counts its starts
// in its settings under the host's standard keys.
#include "OrvCore.h"

#include <windows.h>

#include <string>

namespace {

// Holds the library's process-wide tables for as long as this module is loaded.
_vsyst_GI s_instanceGuard;

const char* const kGroup = "Example";
const char* const kInfo = "Example module state";
const char* const kFeature = "ExampleModule.Starts";

std::string s_paramFile;
long s_starts = 0;

// The parameter file named by the setting "ParameterFile", else one in the
// user's data folder of the host.
std::string paramFile(const VSYST_RegistryKey& settings)
{
    const V_STRING configured = settings.getStringValue("ParameterFile", "");
    if (configured.length() > 0) return configured.data();
    return std::string(VSYST_Pathes::getAppDataPath().data()) + "ExampleModule.xml";
}

void dumpState(VSYST_DumpStream& stream, unsigned long)
{
    stream << "example module: " << s_starts << " start(s), feature state "
           << VSYST_FeatureSet::getState(kFeature) << ", parameters in " << s_paramFile.c_str() << "\n";
}

bool initModule()
{
    VSYST_RegistryKey settings(VSYST_RSK_CurrentUserSettings, true, V_STRING("ExampleModule"));
    s_starts = settings.getIntValue("Starts", 0L) + 1;
    if (!settings.setIntValue("Starts", s_starts)) return false;
    s_paramFile = paramFile(settings);

    // The parameter file: read what the last run left, add this run's count.
    XP_ParamIO params;
    params.readFile(s_paramFile.c_str());
    XP_XML_Node& root = params.getTree().getRoot();
    if (root.getName().empty()) root.set("ExampleModule", "", nullptr);
    const XP_Element* found = root.findElement("lastStart");
    const std::string last = found ? "read (last start " + found->value + ")" : "new";
    root.addElement("lastStart", std::to_string(s_starts), "");
    params.writeFile(s_paramFile.c_str());

    // The host's feature set tells other modules what this one offers; the
    // state grows with the starts so a second run shows a changed state.
    VSYST_FeatureSet::setState(kFeature, s_starts);

    VSYST_DIManager::add(kGroup, kInfo, nullptr, &dumpState);
    VSYST_DumpStream::getStdStream() << "example module: init, start " << s_starts << ", parameter file "
                                     << last.c_str() << "\n";
    return true;
}

void exitModule()
{
    VSYST_DIManager::remove(kGroup, kInfo);
    VSYST_DumpStream::getStdStream() << "example module: exit\n";
}

VSYST_ApplInitExit s_initExit("example module", 500, initModule, exitModule);

}  // namespace
