// Exact text checks: line feeds as a dump stream writes them, what is written
// to a dump stream as a debugger sees it, the debug-info registry, and system
// error texts.
#ifndef ORV_TEST_LOGCAPTURE_H
#define ORV_TEST_LOGCAPTURE_H

#include "diag/orv_debug_capture.h"
#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"

#include <string>

namespace orvtest {

// "\n" becomes "\r\n", as the dump stream writes it.
inline std::string crlf(const std::string& text)
{
    std::string r;
    for (char c : text) r += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return r;
}

// Everything `write` writes to a dump stream that goes to the debugger only.
template <class Write>
std::string written(Write write)
{
    VSYST_DumpStream stream(nullptr, VSYST_DumpStream::DSM_Debugger);
    DebugCapture debugger;
    write(stream);
    return debugger.all();
}

// What the debug-info callback group/info writes, called with `alternative`.
inline std::string diCall(const char* group, const char* info, const char* alternative = nullptr)
{
    return written([&](VSYST_DumpStream& s) { VSYST_DIManager::call(group, info, alternative, s); });
}

// What a cursor visits: "[group] ", then each info, with ": " and its
// alternatives when it has any, followed by "; ".
inline std::string diWalk()
{
    std::string r;
    for (VSYST_DICursor c; c.validG(); c.nextG()) {
        r += "[" + std::string(c.getG()) + "] ";
        for (; c.validD(); c.nextD()) {
            r += c.getD() + std::string(c.withA() ? ":" : "");
            for (; c.validA(); c.nextA()) r += std::string(" ") + c.getA();
            r += "; ";
        }
    }
    return r;
}

// The system's text for a Win32 error code, without its final line break.
inline std::string systemText(unsigned long code)
{
    char buf[1024] = {0};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf, sizeof buf,
                   nullptr);
    std::string s = buf;
    return s.substr(0, s.find_last_not_of("\r\n") + 1);
}

}  // namespace orvtest

#endif
