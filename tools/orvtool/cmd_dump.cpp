// orvtool dump: the debug-info callback registry as a host shows it. Without
// arguments it lists the tree; with a group and an info it calls that entry
// (with the named alternative) and writes its output to the console.
#include "orvtool.h"

#include "VSYST_ApplInitExit.h"
#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Groups without infos are left out, as a host's tree leaves them out.
void listTree()
{
    for (VSYST_DICursor c; c.validG(); c.nextG()) {
        std::printf("%s\n", c.getG());
        for (; c.validD(); c.nextD()) {
            std::printf("  %s\n", c.getD());
            for (; c.validA(); c.nextA()) std::printf("    %s\n", c.getA());
        }
    }
}

// Whether the registry holds group/info and, when alternative is not null, that alternative.
bool hasEntry(const char* group, const char* info, const char* alternative)
{
    for (VSYST_DICursor c; c.validG(); c.nextG()) {
        if (std::strcmp(c.getG(), group) != 0) continue;
        for (; c.validD(); c.nextD()) {
            if (std::strcmp(c.getD(), info) != 0) continue;
            if (!alternative) return true;
            for (; c.validA(); c.nextA())
                if (std::strcmp(c.getA(), alternative) == 0) return true;
            return false;
        }
    }
    return false;
}

int callEntry(const char* group, const char* info, const char* alternative)
{
    if (!hasEntry(group, info, nullptr))
        return orvtool::failure(std::string("no entry \"") + info + "\" in group \"" + group + "\" (see 'orvtool dump')");
    if (alternative && !hasEntry(group, info, alternative))
        return orvtool::failure(std::string("\"") + info + "\" has no alternative \"" + alternative + "\"");
    std::fflush(stdout);
    VSYST_DumpStream console(nullptr, VSYST_DumpStream::DSM_Console);
    VSYST_DIManager::call(group, info, alternative, console);
    return 0;
}

int dump(const orvtool::Args& args)
{
    if (args.size() == 1 || args.size() > 3) return orvtool::usageError("dump", "dump takes no arguments, or a group, an info and an alternative");
    // As a host: the library's entries are registered by the start-up sequence.
    VSYST_ApplInitExit::doInit();
    int status = 0;
    if (args.empty()) listTree();
    else status = callEntry(args[0].c_str(), args[1].c_str(), args.size() == 3 ? args[2].c_str() : nullptr);
    VSYST_ApplInitExit::doExit();
    return status;
}

}  // namespace

ORVTOOL_COMMAND(dump, "dump", "dump [GROUP INFO [ALTERNATIVE]]",
                "list the debug-info callbacks, or call one and show its output", "dump System \"Dump registrated initialization handlers\"",
                dump);
