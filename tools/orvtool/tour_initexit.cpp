// Tour steps of the init/exit sequence: the host's doInit() at start and
// doExit() at the end, each followed by the trace it left in the standard log.
#include "orvtool.h"
#include "tour_support.h"

#include "VSYST_ApplInitExit.h"
#include "VSYST_DumpStream.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace orvtool;

int initStep()
{
    // A host that wants to see its start-up switches the trace on; the trace
    // goes to the per-run log file, which the tour then shows.
    setEnv("ORVFT_TRACE_APPLINITEXIT", "1");
    if (!std::getenv("ORV_STDLOGFILE")) setEnv("ORV_STDLOGFILE", "1");
    size_t before = stdLogSize();
    bool ok = VSYST_ApplInitExit::doInit();
    const char* path = VSYST_DumpStream::getStdStream().filePath();
    tourLogPath();   // remembered for the last step, after doExit has closed it
    std::printf("VSYST_ApplInitExit::doInit() returned %s; the standard log %s received:\n", ok ? "true" : "false",
                *path ? path : "(no file)");
    if (*path) showLog(readFrom(path, before));
    return ok ? 0 : 1;
}

int exitStep()
{
    std::string path = VSYST_DumpStream::getStdStream().filePath();
    size_t before = stdLogSize();
    VSYST_ApplInitExit::doExit();
    std::printf("VSYST_ApplInitExit::doExit() ran; the standard log %s received:\n", path.empty() ? "(no file)" : path.c_str());
    if (!path.empty()) showLog(readFrom(path, before));
    return VSYST_ApplInitExit::getState() == 0 ? 0 : 1;
}

}  // namespace

ORVTOOL_TOUR_STEP(initexit_start, 200, "Host start: VSYST_ApplInitExit::doInit()", initStep);
ORVTOOL_TOUR_STEP(initexit_end, 900, "Host end: VSYST_ApplInitExit::doExit()", exitStep);
