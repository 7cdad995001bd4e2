// Captures the library's debugger output in-process: OutputDebugStringA raises
// DBG_PRINTEXCEPTION_C, which a vectored handler sees before any debugger would.
#ifndef ORV_DEBUG_CAPTURE_H
#define ORV_DEBUG_CAPTURE_H

#include <windows.h>

#include <string>
#include <vector>

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

#endif
