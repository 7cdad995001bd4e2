// A client that also includes <oleauto.h> (whose variant accessor V_BSTR(X)
// shares the class's name) and <comutil.h>, before ours or after
// (ORV_PLATFORM_FIRST). Compiling is the test.
#if ORV_PLATFORM_FIRST
#include <comutil.h>
#endif
#include "OrvCore.h"
#include <comutil.h>

BSTR orvClientJoin(const char* text, VARIANT* v)
{
    V_BSTR b(text);
    b += (V_BSTR)(L"-temporary");
    V_VT(v) = VT_BSTR;
    V_BSTR(v) = b.Copy();
    return _bstr_t(V_BSTR(v), true).copy();
}
