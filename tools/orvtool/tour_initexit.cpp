// Tour steps of the init/exit sequence: the host's doInit() at start and
// doExit() at the end, each followed by the trace it left in the standard log.
#include "orvtool.h"

#include "VSYST_ApplInitExit.h"
#include "VSYST_DumpStream.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string readFrom(const std::string& path, size_t offset)
{
    std::string data;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return data;
    char buf[4096];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) data.append(buf, n);
    CloseHandle(h);
    return offset < data.size() ? data.substr(offset) : std::string();
}

// The log writes CR LF; stdout adds its own CR in text mode.
void show(const std::string& text)
{
    for (char c : text)
        if (c != '\r') std::putchar(c);
    std::fflush(stdout);
}

size_t logSize()
{
    const char* path = VSYST_DumpStream::getStdStream().filePath();
    return *path ? readFrom(path, 0).size() : 0;
}

void setEnv(const char* name, const char* value)
{
    SetEnvironmentVariableA(name, value);
    _putenv((std::string(name) + "=" + value).c_str());
}

int initStep()
{
    // A host that wants to see its start-up switches the trace on; the trace
    // goes to the per-run log file, which the tour then shows.
    setEnv("ORVFT_TRACE_APPLINITEXIT", "1");
    if (!std::getenv("ORV_STDLOGFILE")) setEnv("ORV_STDLOGFILE", "1");
    size_t before = logSize();
    bool ok = VSYST_ApplInitExit::doInit();
    const char* path = VSYST_DumpStream::getStdStream().filePath();
    std::printf("VSYST_ApplInitExit::doInit() returned %s; the standard log %s received:\n", ok ? "true" : "false",
                *path ? path : "(no file)");
    if (*path) show(readFrom(path, before));
    return ok ? 0 : 1;
}

int exitStep()
{
    std::string path = VSYST_DumpStream::getStdStream().filePath();
    size_t before = logSize();
    VSYST_ApplInitExit::doExit();
    std::printf("VSYST_ApplInitExit::doExit() ran; the standard log %s received:\n", path.empty() ? "(no file)" : path.c_str());
    if (!path.empty()) show(readFrom(path, before));
    return VSYST_ApplInitExit::getState() == 0 ? 0 : 1;
}

}  // namespace

ORVTOOL_TOUR_STEP(initexit_start, 200, "Host start: VSYST_ApplInitExit::doInit()", initStep);
ORVTOOL_TOUR_STEP(initexit_end, 900, "Host end: VSYST_ApplInitExit::doExit()", exitStep);
