// V_Exception.h - the exception hierarchy. V_Exception is the root of every
// exception the library throws; the concrete VSYST_ exceptions write their
// "!E  THROW EXCEPTION" report to the standard dump stream when they are
// constructed (once, at the throw site; copies report nothing). Assertions
// (VSYST_AssertionFailed) report, show a box and end the process.
#ifndef V_EXCEPTION_H
#define V_EXCEPTION_H

#include "OrvCoreDefs.h"

class V_STRING;
class VSYST_DumpStream;

// Root of all library exceptions: an optional info string, the catch hooks and
// the HRESULT mapping. The environment switches ORV_BreakOnException (DebugBreak
// at every construction) and ORV_VerboseException (catch reports) are read once.
class ORVCORE_API V_Exception {
protected:
    V_Exception();

public:
    V_Exception(const V_Exception& other);
    V_Exception& operator=(const V_Exception& other);
    virtual ~V_Exception();

    virtual void onCatch() const;
    virtual long mapToHRESULT() const;              // 0x80004005 unless overridden
    static void onDefaultCatch();
    static long mapToDefaultHRESULT();              // 0x80004005

    void _OnCatch() const;                          // calls onCatch()
    void _OnCatch(const char* file, int line) const;  // catch report around onCatch()
    static void _OnDefaultCatch();
    static void _OnDefaultCatch(const char* file, int line);

    void addInfoString(const V_STRING& text);       // appended without separator
    V_STRING getInfoString() const;                 // empty when none was added

    static void setCanUseMsgBoxes(bool can);
    static void MsgBox(const char* text);           // a box, or a log line and two beeps

protected:
    void displayStart() const;
    void displayInfoString() const;
    void displayEnd() const;
    static VSYST_DumpStream& dumpStream();
    static void displayLocation(const char* file, int line);
    static void displayStaticEnd();
    static void displayGetLastError();
    // "class " + the dynamic class name, as the run-time type information spells it.
    V_STRING className() const;
    static void readSwitches();
    static bool verbose();

private:
    V_STRING* m_info;
};

// Common base of the system exceptions; reports nothing itself.
class ORVCORE_API VSYST_Exception : public V_Exception {
protected:
    VSYST_Exception() {}
public:
    VSYST_Exception(const VSYST_Exception& other) : V_Exception(other) {}
    VSYST_Exception& operator=(const VSYST_Exception& other) { V_Exception::operator=(other); return *this; }
    virtual ~VSYST_Exception();
};

// A forbidden default constructor, copy constructor or assignment was called.
class ORVCORE_API VSYST_CallProhibitedMethod : public VSYST_Exception {
public:
    VSYST_CallProhibitedMethod(const VSYST_CallProhibitedMethod& other) = default;
    VSYST_CallProhibitedMethod& operator=(const VSYST_CallProhibitedMethod& other) = default;
    virtual ~VSYST_CallProhibitedMethod();
    [[noreturn]] static void throwDC(const char* className);   // "default constructor"
    [[noreturn]] static void throwCC(const char* className);   // "copy constructor"
    [[noreturn]] static void throwAS(const char* className);   // "assignment"
private:
    VSYST_CallProhibitedMethod(const char* className, const char* method);
};

// Memory could not be obtained.
class ORVCORE_API VSYST_OutOfMemory : public VSYST_Exception {
public:
    VSYST_OutOfMemory();
    VSYST_OutOfMemory(const char* file, int line);
    VSYST_OutOfMemory(const VSYST_OutOfMemory& other) = default;
    VSYST_OutOfMemory& operator=(const VSYST_OutOfMemory& other) = default;
    virtual ~VSYST_OutOfMemory();
};

// A value does not fit the range of a type.
class ORVCORE_API VSYST_OutOfBounds : public VSYST_Exception {
public:
    VSYST_OutOfBounds();
    VSYST_OutOfBounds(double value, const char* typeName, const char* file, int line);
    VSYST_OutOfBounds(const VSYST_OutOfBounds& other) = default;
    VSYST_OutOfBounds& operator=(const VSYST_OutOfBounds& other) = default;
    virtual ~VSYST_OutOfBounds();
};

// A value is not acceptable.
class ORVCORE_API VSYST_BadValue : public VSYST_Exception {
public:
    VSYST_BadValue();
    VSYST_BadValue(const char* file, int line);
    VSYST_BadValue(const VSYST_BadValue& other) = default;
    VSYST_BadValue& operator=(const VSYST_BadValue& other) = default;
    virtual ~VSYST_BadValue();
};

// Data of one type was required and another found.
class ORVCORE_API VSYST_WrongDataType : public VSYST_Exception {
public:
    VSYST_WrongDataType();
    VSYST_WrongDataType(const char* required, const char* actual, const char* file, int line);
    VSYST_WrongDataType(const VSYST_WrongDataType& other) = default;
    VSYST_WrongDataType& operator=(const VSYST_WrongDataType& other) = default;
    virtual ~VSYST_WrongDataType();
};

// Assertion machinery: the report "!ASSERT VIOLATION", a box, and the end of the
// process (the "MFC42" module's ordinal 1100 when loaded, otherwise abort()).
class ORVCORE_API VSYST_AssertionFailed : public VSYST_Exception {
public:
    VSYST_AssertionFailed(const VSYST_AssertionFailed& other) = default;
    VSYST_AssertionFailed& operator=(const VSYST_AssertionFailed& other) = default;
    virtual ~VSYST_AssertionFailed();

    static void doThrowDebug(const char* condition, const char* file, int line);
    static void doThrowDebugEx(const char* info, const char* condition, const char* file, int line);
    static void doThrowDebugEx(const wchar_t* info, const char* condition, const char* file, int line);
    static void doThrowDebugEx(const V_STRING& info, const char* condition, const char* file, int line);
    static void doThrowFinal();

protected:
    VSYST_AssertionFailed();
    explicit VSYST_AssertionFailed(const char* condition);
    VSYST_AssertionFailed(const char* condition, const char* file, int line);
    VSYST_AssertionFailed(const char* info, const char* condition, const char* file, int line);

private:
    void report(const char* condition, bool withCondition, const char* file, int line);
};

// Shows the system-error box for GetLastError() when it is not 0: OK only, or,
// with a location, OK and Cancel (Cancel ends the process).
ORVCORE_API void _vsyst_VerifyAPI();
ORVCORE_API void _vsyst_VerifyAPI(const char* file, int line);
// The text of the thread's last Win32 error, at most 260 characters; null buffer: nothing.
ORVCORE_API void _vsyst_GetLastErrorMsg(char* buffer);

// Catch-report helpers for handlers: V_ONCATCH(e) inside catch (V_Exception& e),
// V_ONDEFAULTCATCH() inside catch (...).
#define V_ONCATCH(e) (e)._OnCatch(__FILE__, __LINE__)
#define V_ONDEFAULTCATCH() V_Exception::_OnDefaultCatch(__FILE__, __LINE__)
// Ends the process with an assertion report when cond is false.
#define VSYST_ASSERT(cond) \
    do { if (!(cond)) VSYST_AssertionFailed::doThrowDebug(#cond, __FILE__, __LINE__); } while (0)

#include "V_String.h"

#endif
