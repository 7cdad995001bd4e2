// orvtool version: what the library reads from a module's version resource.
#include "orvtool.h"

#include "VSYST_VersionInfo.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int version(const orvtool::Args& args)
{
    if (args.empty() || args.size() == 2 || args.size() > 3 || (args.size() == 3 && args[1] != "--run-info"))
        return orvtool::usageError("version", "version takes FILE [--run-info TEXT]");
    const std::string& file = args[0];
    if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return orvtool::failure("cannot read " + file + ": " + orvtool::systemReason(GetLastError()));

    VSYST_VersionInfo info(file.c_str(), true);
    std::printf("file:             %s\n", file.c_str());
    std::printf("product version:  %s (%s)\n", info.getVersionString(VSYST_VersionInfo::VSF_Full).data(),
                info.fromVersionResource() ? "from the version resource" : "generic");
    std::printf("product text:     %s\n", info.getProductVersionString().data());
    std::printf("internal name:    %s\n", info.getInternalName().data());
    std::printf("run info:         %s\n", info.getRunInfo().data());
    std::printf("registry base:    %s (%s)\n", info.getRegBase().data(), info.isDefaultRegBase() ? "generic" : "own");
    std::printf("basic key name:   Software\\%s\n", info.getRegBaseVersion('\\').data());
    if (args.size() == 3) {
        static const char* const kStates[] = {"not contained", "contained", "no run info"};
        std::printf("run info check:   %s\n", kStates[info.checkRunInfo(args[2].c_str())]);
    }
    return 0;
}

}  // namespace

ORVTOOL_COMMAND(version, "version", "version FILE [--run-info TEXT]",
                "show the version numbers, names and registry base the library reads from a module",
                "version OrvCore_Rudaru20.dll", version);
