// The exception hierarchy and its reports.
#include "V_Exception.h"
#include "VSYST_DumpStream.h"
#include "V_MsgBox.h"
#include "diag/orv_diag_internal.h"
#include "strings/orv_numtext.h"

#include <windows.h>
#include <cxxabi.h>

#include <cstdlib>
#include <cstring>

namespace {

bool s_switchesRead = false;
bool s_breakOnException = false;
bool s_verboseException = false;

const char kHead[] = "!E  THROW EXCEPTION ";
const char kIndent[] = "!E      ";

}  // namespace

// ---- internal helpers -------------------------------------------------------

namespace orv {

V_STRING className(const std::type_info& type)
{
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    V_STRING name("class ");
    name += (status == 0 && demangled) ? demangled : type.name();
    std::free(demangled);
    return name;
}

V_STRING processThreadText()
{
    char buf[128];
    DWORD pid = GetCurrentProcessId(), tid = GetCurrentThreadId();
    crtFormat(buf, sizeof buf, "[ Process: %d (0x%x), Thread: %d (0x%x) ]", static_cast<int>(pid),
              static_cast<unsigned>(pid), static_cast<int>(tid), static_cast<unsigned>(tid));
    return V_STRING(buf);
}

void systemErrorText(unsigned long code, char* buffer, unsigned size)
{
    if (!buffer || !size) return;
    char text[261] = {0};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             260, nullptr);
    if (n > 0) {
        // System messages end with CR LF.
        text[n >= 2 ? n - 2 : 0] = '\0';
    } else {
        crtFormat(text, sizeof text, "ERROR #%u", static_cast<unsigned>(code));
    }
    unsigned len = static_cast<unsigned>(std::strlen(text));
    if (len >= size) len = size - 1;
    std::memcpy(buffer, text, len);
    buffer[len] = '\0';
}

void systemErrorBox(unsigned long code, const char* file, int line)
{
    char text[600];
    systemErrorText(code, text, 261);
    if (file) {
        size_t used = std::strlen(text);
        crtFormat(text + used, static_cast<unsigned>(sizeof text - used), "\n\nLocation : %hs[%d]", file, line);
    }
    int answer = OrvMessageBox(text, file ? 0x11u : 0x10u, 0);
    if (answer == IDCANCEL) VSYST_AssertionFailed::doThrowFinal();
}

}  // namespace orv

// ---- V_Exception ------------------------------------------------------------

void V_Exception::readSwitches()
{
    if (s_switchesRead) return;
    s_breakOnException = std::getenv("ORV_BreakOnException") != nullptr;
    s_verboseException = std::getenv("ORV_VerboseException") != nullptr;
    s_switchesRead = true;
}

bool V_Exception::verbose()
{
    return s_verboseException;
}

V_Exception::V_Exception() : m_info(nullptr)
{
    readSwitches();
    if (s_breakOnException) DebugBreak();
}

V_Exception::V_Exception(const V_Exception& other) : m_info(other.m_info ? new V_STRING(*other.m_info) : nullptr)
{
}

V_Exception& V_Exception::operator=(const V_Exception& other)
{
    if (this != &other) {
        V_STRING* copy = other.m_info ? new V_STRING(*other.m_info) : nullptr;
        delete m_info;
        m_info = copy;
    }
    return *this;
}

V_Exception::~V_Exception()
{
    delete m_info;
}

void V_Exception::onCatch() const {}
long V_Exception::mapToHRESULT() const { return static_cast<long>(0x80004005); }
void V_Exception::onDefaultCatch() {}
long V_Exception::mapToDefaultHRESULT() { return static_cast<long>(0x80004005); }

void V_Exception::_OnCatch() const
{
    onCatch();
}

void V_Exception::_OnCatch(const char* file, int line) const
{
    if (s_verboseException) {
        dumpStream() << "!E  CATCH EXCEPTION " << className() << "\n";
        displayLocation(file, line);
    }
    onCatch();
    if (s_verboseException) displayEnd();
}

void V_Exception::_OnDefaultCatch() {}

void V_Exception::_OnDefaultCatch(const char* file, int line)
{
    // The switches count from the first exception or assertion on; a foreign
    // exception caught before either reads nothing.
    if (!s_verboseException) return;
    dumpStream() << "!E  CATCH NON V_Exception DERIVED EXCEPTION\n";
    displayLocation(file, line);
    displayStaticEnd();
}

void V_Exception::addInfoString(const V_STRING& text)
{
    if (!m_info) m_info = new V_STRING(text);
    else *m_info += text;
}

V_STRING V_Exception::getInfoString() const
{
    return m_info ? *m_info : V_STRING();
}

void V_Exception::setCanUseMsgBoxes(bool can)
{
    orv::setCanUseMsgBoxes(can);
}

void V_Exception::MsgBox(const char* text)
{
    if (orv::canUseMsgBoxes()) OrvMessageBox(text, 0x50030, 0);
    else orv::logInsteadOfBox(text);
}

V_STRING V_Exception::className() const
{
    return orv::className(typeid(*this));
}

VSYST_DumpStream& V_Exception::dumpStream()
{
    return VSYST_DumpStream::getStdStream();
}

void V_Exception::displayStart() const
{
    dumpStream() << kHead << className() << "\n" << kIndent << orv::processThreadText() << "\n";
}

void V_Exception::displayLocation(const char* file, int line)
{
    if (!file) return;
    dumpStream() << "!E      at location " << file << "[" << line << "]\n";
}

void V_Exception::displayInfoString() const
{
    if (m_info && m_info->length())
        dumpStream() << "        Additional info:\n" << *m_info << "\n";
}

void V_Exception::displayEnd() const
{
    displayInfoString();
    displayStaticEnd();
}

void V_Exception::displayStaticEnd()
{
    VSYST_DumpStream& s = dumpStream();
    s << "\n";
    s.flush();
}

void V_Exception::displayGetLastError()
{
    char text[261];
    orv::systemErrorText(GetLastError(), text, sizeof text);
    dumpStream() << "        GetLastError() returns error \"" << text << "\"\n";
}

// ---- the system exceptions --------------------------------------------------

VSYST_Exception::~VSYST_Exception() {}

VSYST_CallProhibitedMethod::VSYST_CallProhibitedMethod(const char* className, const char* method)
{
    displayStart();
    dumpStream() << "!E      call of prohibited method " << method << " in class " << className << "\n";
    displayEnd();
}

VSYST_CallProhibitedMethod::~VSYST_CallProhibitedMethod() {}

void VSYST_CallProhibitedMethod::throwDC(const char* className)
{
    throw VSYST_CallProhibitedMethod(className, "default constructor");
}

void VSYST_CallProhibitedMethod::throwCC(const char* className)
{
    throw VSYST_CallProhibitedMethod(className, "copy constructor");
}

void VSYST_CallProhibitedMethod::throwAS(const char* className)
{
    throw VSYST_CallProhibitedMethod(className, "assignment");
}

VSYST_OutOfMemory::VSYST_OutOfMemory()
{
    displayStart();
    displayEnd();
}

VSYST_OutOfMemory::VSYST_OutOfMemory(const char* file, int line)
{
    displayStart();
    displayLocation(file, line);
    displayEnd();
}

VSYST_OutOfMemory::~VSYST_OutOfMemory() {}

VSYST_OutOfBounds::VSYST_OutOfBounds()
{
    displayStart();
    displayEnd();
}

VSYST_OutOfBounds::VSYST_OutOfBounds(double value, const char* typeName, const char* file, int line)
{
    displayStart();
    displayLocation(file, line);
    dumpStream() << "!E      value " << value << " out of bounds for type " << typeName << "\n";
    displayEnd();
}

VSYST_OutOfBounds::~VSYST_OutOfBounds() {}

VSYST_BadValue::VSYST_BadValue()
{
    displayStart();
    displayEnd();
}

VSYST_BadValue::VSYST_BadValue(const char* file, int line)
{
    displayStart();
    displayLocation(file, line);
    displayEnd();
}

VSYST_BadValue::~VSYST_BadValue() {}

VSYST_WrongDataType::VSYST_WrongDataType()
{
    displayStart();
    displayEnd();
}

VSYST_WrongDataType::VSYST_WrongDataType(const char* required, const char* actual, const char* file, int line)
{
    displayStart();
    displayLocation(file, line);
    dumpStream() << "!E      Wrong data type: " << required << " required ! Not " << actual << " !\n";
    displayEnd();
}

VSYST_WrongDataType::~VSYST_WrongDataType() {}

// ---- assertions -------------------------------------------------------------

void VSYST_AssertionFailed::report(const char* condition, bool withCondition, const char* file, int line)
{
    VSYST_DumpStream& s = dumpStream();
    s << "!ASSERT VIOLATION\n!ASSERT    " << orv::processThreadText();
    if (file) s << "\n!ASSERT    at location " << file << "[" << line << "]";
    if (withCondition) s << "\n!ASSERT    condition \"" << condition << "\" is FALSE\n";
    else s << "\n";
    displayEnd();
}

VSYST_AssertionFailed::VSYST_AssertionFailed()
{
    report(nullptr, false, nullptr, 0);
}

VSYST_AssertionFailed::VSYST_AssertionFailed(const char* condition)
{
    report(condition, true, nullptr, 0);
}

VSYST_AssertionFailed::VSYST_AssertionFailed(const char* condition, const char* file, int line)
{
    report(condition, true, file, line);
}

VSYST_AssertionFailed::VSYST_AssertionFailed(const char* info, const char* condition, const char* file, int line)
{
    addInfoString(V_STRING(info));
    report(condition, true, file, line);
}

VSYST_AssertionFailed::~VSYST_AssertionFailed() {}

namespace {

// Shows the assertion box and ends the process; a report that could not be
// written (its flush failed) must not keep the process alive.
template <class MakeReport>
void failAssertion(const char* boxText, MakeReport makeReport)
{
    try {
        makeReport();
    } catch (...) {
    }
    V_DbgMsgBox(boxText, 0x50030);
    orv::endProcessAfterAssertion();
}

}  // namespace

void VSYST_AssertionFailed::doThrowDebug(const char* condition, const char* file, int line)
{
    char text[4096];
    orv::crtFormat(text, sizeof text, "ASSERTION FAILED !\n  Condition : \"%hs\"\n  File : %hs[%d]\n", condition,
                   file, line);
    failAssertion(text, [&] {
        VSYST_AssertionFailed report(condition, file, line);
        readSwitches();
    });
}

void VSYST_AssertionFailed::doThrowDebugEx(const char* info, const char* condition, const char* file, int line)
{
    char text[4096];
    orv::crtFormat(text, sizeof text, "ASSERTION FAILED !\n  Condition : \"%hs\"\n  Info : \"%hs\"\n  File : %hs[%d]\n",
                   condition, info, file, line);
    failAssertion(text, [&] {
        VSYST_AssertionFailed report(info, condition, file, line);
        readSwitches();
    });
}

void VSYST_AssertionFailed::doThrowDebugEx(const wchar_t* info, const char* condition, const char* file, int line)
{
    V_STRING narrow;
    if (info) {
        int n = WideCharToMultiByte(CP_THREAD_ACP, 0, info, -1, nullptr, 0, nullptr, nullptr);
        if (n > 1) {
            char* buf = new char[n];
            WideCharToMultiByte(CP_THREAD_ACP, 0, info, -1, buf, n, nullptr, nullptr);
            narrow = buf;
            delete[] buf;
        }
    }
    doThrowDebugEx(info ? narrow.data() : static_cast<const char*>(nullptr), condition, file, line);
}

void VSYST_AssertionFailed::doThrowDebugEx(const V_STRING& info, const char* condition, const char* file, int line)
{
    doThrowDebugEx(info.data(), condition, file, line);
}

void VSYST_AssertionFailed::doThrowFinal()
{
    try {
        VSYST_AssertionFailed report;
    } catch (...) {
    }
    orv::endProcessAfterAssertion();
}

// ---- free functions ---------------------------------------------------------

void _vsyst_VerifyAPI()
{
    DWORD code = GetLastError();
    if (code) orv::systemErrorBox(code, nullptr, 0);
}

void _vsyst_VerifyAPI(const char* file, int line)
{
    DWORD code = GetLastError();
    // A null file still asks for the location, written as the C run-time writes it.
    if (code) orv::systemErrorBox(code, file ? file : "(null)", line);
}

void _vsyst_GetLastErrorMsg(char* buffer)
{
    if (buffer) orv::systemErrorText(GetLastError(), buffer, 261);
}
