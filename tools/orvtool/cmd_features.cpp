// orvtool features: the process-wide feature set as a host sees it, through
// VSYST_FeatureSet and its debug-info dump.
#include "orvtool.h"

#include "VSYST_ApplInitExit.h"
#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"
#include "VSYST_FeatureSet.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kGroup[] = "System";
const char kEntry[] = "Dump current feature set";

bool parseState(const std::string& text, long& state)
{
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end || errno == ERANGE || v < LONG_MIN || v > LONG_MAX) return false;
    state = static_cast<long>(v);
    return true;
}

bool dumpRegistered()
{
    for (VSYST_DICursor c; c.validG(); c.nextG())
        if (std::string(c.getG()) == kGroup)
            for (; c.validD(); c.nextD())
                if (std::string(c.getD()) == kEntry) return true;
    return false;
}

int features(const orvtool::Args& args)
{
    for (const std::string& a : args)
        if (a.size() > 1 && a[0] == '-' && (a[1] < '0' || a[1] > '9'))
            return orvtool::usageError("features", "unknown option '" + a + "'");
    if (args.size() > 2) return orvtool::usageError("features", "features takes at most a NAME and a STATE");
    long state = 0;
    if (args.size() == 2 && !parseState(args[1], state))
        return orvtool::usageError("features", "STATE must be a whole number from -2147483648 to 2147483647, not '" +
                                                   args[1] + "'");
    VSYST_ApplInitExit::doInit();
    int status = 0;
    if (args.size() == 2) VSYST_FeatureSet::setState(args[0].c_str(), state);
    if (!args.empty())
        std::printf("%s: state %ld\n", args[0].c_str(), VSYST_FeatureSet::getState(args[0].c_str()));
    if (dumpRegistered()) {
        std::fflush(stdout);
        VSYST_DumpStream console(nullptr, VSYST_DumpStream::DSM_Console);
        VSYST_DIManager::call(kGroup, kEntry, nullptr, console);
    } else {
        std::fprintf(stderr, "orvtool: cannot list the features: the start-up registered no \"%s\" entry in \"%s\"\n",
                     kEntry, kGroup);
        status = 1;
    }
    VSYST_ApplInitExit::doExit();
    return status;
}

const char kFeaturesNotes[] =
    "Starts the library as a host does and shows its feature set through the\n"
    "debug-info entry \"System\" / \"Dump current feature set\". With NAME, asks for\n"
    "the feature's state (a feature never set is entered with state 0); with NAME\n"
    "and STATE, sets it first. The set lives in the process, so each run starts empty.";

}  // namespace

ORVTOOL_COMMAND_NOTES(features, "features", "features [NAME [STATE]]",
                      "show the feature set; ask for a feature's state, or set it", "features ShadedView 2",
                      kFeaturesNotes, features);
