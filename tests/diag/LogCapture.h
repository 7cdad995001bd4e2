// Exact text checks: debugger output, dump stream text, the debug-info registry
// and system error texts.
#ifndef ORV_TEST_LOGCAPTURE_H
#define ORV_TEST_LOGCAPTURE_H

#include "VSYST_DIManager.h"
#include "VSYST_DumpStream.h"

#include <windows.h>

#include <string>
#include <vector>

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C, which a vectored handler sees
// before any debugger would.
class DebugCapture {
public:
    DebugCapture() { s_pieces.clear(); m_handle = AddVectoredExceptionHandler(1, handler); }
    ~DebugCapture() { RemoveVectoredExceptionHandler(m_handle); }
    const std::vector<std::string>& pieces() const { return s_pieces; }
    std::string all() const
    {
        std::string r;
        for (const std::string& p : s_pieces) r += p;
        return r;
    }

private:
    static LONG CALLBACK handler(EXCEPTION_POINTERS* e)
    {
        if (e->ExceptionRecord->ExceptionCode != DBG_PRINTEXCEPTION_C) return EXCEPTION_CONTINUE_SEARCH;
        const ULONG_PTR* info = e->ExceptionRecord->ExceptionInformation;
        s_pieces.emplace_back(reinterpret_cast<const char*>(info[1]), static_cast<size_t>(info[0]) - 1);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    static inline std::vector<std::string> s_pieces;
    void* m_handle;
};

namespace orvtest {

// "\n" as the dump stream writes it.
inline std::string crlf(const std::string& text)
{
    std::string r;
    for (char c : text) r += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return r;
}

// What `write` puts into a dump stream that goes to the debugger only.
template <class Write>
std::string written(Write write)
{
    VSYST_DumpStream stream(nullptr, VSYST_DumpStream::DSM_Debugger);
    DebugCapture debugger;
    write(stream);
    return debugger.all();
}

inline std::string diCall(const char* group, const char* info, const char* alternative = nullptr)
{
    return written([&](VSYST_DumpStream& s) { VSYST_DIManager::call(group, info, alternative, s); });
}

// "[group] info: alt alt; info; " for everything a cursor visits.
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

// Without its final line break.
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
