// Tour steps of the standard log: a host writing to it and an exception that
// reports itself, then the whole per-run log file at the end of the run.
#include "orvtool.h"
#include "tour_support.h"

#include "VSYST_DumpStream.h"
#include "V_Exception.h"

#include <cstdio>
#include <cstdlib>

namespace {

using namespace orvtool;

int loggingStep()
{
    VSYST_DumpStream& log = VSYST_DumpStream::getStdStream();
    std::string path = stdLogPath();
    std::printf("standard log: mode %ld, file %s\n", log.getMode(), path.empty() ? "(none)" : path.c_str());
    size_t before = stdLogSize();

    log << "orvtool: the host writes to the standard log\n";
    log << "a char is written as a number: " << 'A' << ", a double with 15 digits: " << 1.0 / 3
        << ", a pointer: " << static_cast<const void*>(&log) << "\n";
    const unsigned char bytes[] = {0x4F, 0x72, 0x76, 0x43, 0x6F, 0x72, 0x65, 0x00, 0xFF};
    log.hexDump("bytes:", bytes, sizeof bytes, 8);
    _orv_timestamp_(__FILE__, __LINE__);

    // Catch reports appear with ORV_VerboseException; the switch is read at the
    // first exception of the process, which is the one below.
    setEnv("ORV_VerboseException", "1");
    int result = 1;
    try {
        throw VSYST_BadValue(__FILE__, __LINE__);
    } catch (const V_Exception& e) {
        V_ONCATCH(e);
        std::printf("caught VSYST_BadValue, HRESULT 0x%08lX\n", static_cast<unsigned long>(e.mapToHRESULT()));
        result = 0;
    }
    std::printf("the standard log received:\n");
    showLog(path.empty() ? std::string("(no file: set ORV_STDLOGFILE or LogFilePath)\n") : readFrom(path, before));
    return result;
}

int logFileStep()
{
    std::string path = tourLogPath();
    if (path.empty()) {
        std::printf("no per-run log file was written (neither ORV_STDLOGFILE nor LogFilePath is set)\n");
        return 1;
    }
    std::printf("the per-run log file of this run is %s\nits whole text:\n", path.c_str());
    showLog(readFrom(path, 0));
    return 0;
}

}  // namespace

ORVTOOL_TOUR_STEP(logging, 250, "The standard log and a self-reporting exception", loggingStep);
ORVTOOL_TOUR_STEP(logfile, 950, "The per-run log file", logFileStep);
