// Tracing of failed HRESULTs and interface pointer assignment.
#include "VCOM_Helpers.h"
#include "VSYST_DumpStream.h"
#include "V_MsgBox.h"
#include "strings/orv_numtext.h"

#include <windows.h>

#include <cstdarg>

bool VCOM_FailedTrace(long hr, const char* file, int line, const char* info)
{
    if (hr >= 0) return false;
    char text[2048];
    if (file)
        orv::crtFormat(text, sizeof text, "#ERROR COM-CALL (HRESULT=0x%08x,FILE=\"%hs\",LINE=%d)\n",
                       static_cast<unsigned>(hr), file, line);
    else
        orv::crtFormat(text, sizeof text, "#ERROR COM-CALL (HRESULT=0x%08x)\n", static_cast<unsigned>(hr));
    // A trace is called from error paths, where a failing log must not add a second failure.
    try {
        VSYST_DumpStream& s = VSYST_DumpStream::getStdStream();
        s << text;
        if (info) {
            orv::crtFormat(text, sizeof text, "\tINFO: %hs\n", info);
            s << text;
        }
    } catch (...) {
    }
    return true;
}

bool VCOM_FailedTraceEx(long hr, const char* file, int line, const char* info, HINSTANCE module,
                        unsigned int stringId, ...)
{
    char loaded[512] = "";
    char formatted[1024] = "";
    if (LoadStringA(module, stringId, loaded, sizeof loaded) > 0) {
        va_list args;
        va_start(args, stringId);
        orv::crtFormatV(formatted, sizeof formatted, loaded, args);
        va_end(args);
        if (!info) info = formatted;
    }
    if (!VCOM_FailedTrace(hr, file, line, info)) return false;
    // The box shows the text with its arguments applied, as the trace does.
    if (loaded[0]) V_MsgBox(formatted, 0, 0);
    return true;
}

IUnknown* VCOM_ComPtrAssign(IUnknown** target, IUnknown* source)
{
    if (source) source->AddRef();
    if (*target) (*target)->Release();
    *target = source;
    return source;
}

IUnknown* VCOM_ComQIPtrAssign(IUnknown** target, IUnknown* source, const GUID& iid)
{
    IUnknown* old = *target;
    *target = nullptr;
    if (source && FAILED(source->QueryInterface(iid, reinterpret_cast<void**>(target)))) *target = nullptr;
    if (old) old->Release();
    return *target;
}
