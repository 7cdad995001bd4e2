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
    for (_vsyst_DINodeG* g = VSYST_DIManager::firstGroup(); g; g = g->nextGroup()) {
        if (!g->firstInfo()) continue;
        std::printf("%s\n", g->name());
        for (_vsyst_DINodeD* d = g->firstInfo(); d; d = d->nextInfo()) {
            std::printf("  %s\n", d->name());
            for (_vsyst_DINodeA* a = d->firstAlternative(); a; a = a->nextAlternative())
                std::printf("    [%lu] %s\n", a->index(), a->name());
        }
    }
}

// The info node of group/info, or null.
_vsyst_DINodeD* findInfo(const char* group, const char* info)
{
    for (_vsyst_DINodeG* g = VSYST_DIManager::firstGroup(); g; g = g->nextGroup())
        if (std::strcmp(g->name(), group) == 0)
            for (_vsyst_DINodeD* d = g->firstInfo(); d; d = d->nextInfo())
                if (std::strcmp(d->name(), info) == 0) return d;
    return nullptr;
}

bool hasAlternative(const _vsyst_DINodeD* d, const char* name)
{
    for (const _vsyst_DINodeA* a = d->firstAlternative(); a; a = a->nextAlternative())
        if (std::strcmp(a->name(), name) == 0) return true;
    return false;
}

int callEntry(const char* group, const char* info, const char* alternative)
{
    _vsyst_DINodeD* d = findInfo(group, info);
    if (!d) {
        std::fprintf(stderr, "orvtool: no entry \"%s\" in group \"%s\" (see 'orvtool dump')\n", info, group);
        return 1;
    }
    if (alternative && !hasAlternative(d, alternative)) {
        std::fprintf(stderr, "orvtool: \"%s\" has no alternative \"%s\"\n", info, alternative);
        return 1;
    }
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

ORVTOOL_COMMAND(dump, "dump", "dump [<group> <info> [<alternative>]]",
                "list the debug-info callbacks, or call one and show its output", dump);
