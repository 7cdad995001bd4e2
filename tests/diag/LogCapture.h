// Exact text checks: line feeds as a dump stream writes them, and what is
// written to a dump stream, as a debugger sees it.
#ifndef ORV_TEST_LOGCAPTURE_H
#define ORV_TEST_LOGCAPTURE_H

#include "diag/orv_debug_capture.h"
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

}  // namespace orvtest

#endif
