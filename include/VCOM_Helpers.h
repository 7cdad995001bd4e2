// VCOM_Helpers.h - helpers for modules that talk COM: VCOM_Exception (an
// HRESULT that reports itself like every library exception), one-dimensional
// safe arrays of a fixed element type handed over in a VARIANT, tracing of
// failed HRESULTs, interface pointer assignment, and the process-wide global
// interface table.
//
// The put operations that take 8-bit text convert it with the ANSI code page
// and throw the platform's _com_error (<comdef.h>) when the conversion or the
// BSTR allocation fails; its Error() is HRESULT_FROM_WIN32 of the system's
// last error, or 0x8007000E (E_OUTOFMEMORY) when no memory could be had.
#ifndef VCOM_HELPERS_H
#define VCOM_HELPERS_H

#include "OrvCoreDefs.h"
#include "V_Exception.h"

#include <oaidl.h>   // VARIANT, SAFEARRAY, IUnknown, IGlobalInterfaceTable

// A failed COM call. The constructor writes the throw report with the line
// "!E      HRESULT = 0x%08x" to the standard stream.
class ORVCORE_API VCOM_Exception : public V_Exception {
public:
    explicit VCOM_Exception(long hr = static_cast<long>(0x80004005ul));
    VCOM_Exception(const VCOM_Exception& other) : V_Exception(other), m_hr(other.m_hr) {}
    VCOM_Exception& operator=(const VCOM_Exception& other);
    virtual ~VCOM_Exception();
    long mapToHRESULT() const override;   // the stored HRESULT

private:
    long m_hr;
};

// A one-dimensional safe array of element type vt, owned by the VARIANT inside
// the object until transferVariant hands it over. Not copy constructed; not
// for sharing between threads.
class ORVCORE_API VCOM_Array {
public:
    ~VCOM_Array();   // clears the variant, destroying the array unless handed over
    VCOM_Array(const VCOM_Array&) = delete;
    // Copies every field, the variant bit for bit: both objects then own one
    // array and the target's own is not destroyed, so one of the two must
    // hand its variant over (transferVariant) before both go.
    VCOM_Array& operator=(const VCOM_Array& other);

    // The variant holding the array (type vt | VT_ARRAY); ownership stays here.
    VARIANT* getVariantPtr() { return &m_variant; }
    // Copies the variant bit for bit into destination (whose old content is
    // overwritten, not cleared) and forgets it: destination owns the array.
    void transferVariant(VARIANT* destination);

protected:
    // VSYST_OutOfMemory when the system cannot create the array.
    VCOM_Array(VARTYPE vt, unsigned long count, long lowerBound);
    // Stores one element (SafeArrayPutElement, which copies it); a failure
    // such as an index outside the bound throws VCOM_Exception with its HRESULT.
    void put(long index, void* value);
    // Stores a VARIANT element made by the caller, clearing it afterwards.
    void putTemporary(long index, VARIANT& element);

private:
    VARTYPE m_vt;
    SAFEARRAY* m_array;
    SAFEARRAYBOUND m_bound;
    VARIANT m_variant;
};

// Elements VT_VARIANT.
class ORVCORE_API VCOM_VariantArray : public VCOM_Array {
public:
    VCOM_VariantArray(unsigned long count, long lowerBound);
    void putVariant(long index, VARIANT* value);           // stores a copy
    void putLong(long index, long value);                  // VT_I4
    void putBool(long index, int value);                   // VT_BOOL, VARIANT_TRUE for any non-zero
    void putString(long index, const char* text);          // VT_BSTR; null text: null BSTR
    void putString(long index, const wchar_t* text);       // VT_BSTR; null text: null BSTR
    void putDouble(long index, double value);              // VT_R8
};

// Elements VT_I4.
class ORVCORE_API VCOM_I4Array : public VCOM_Array {
public:
    VCOM_I4Array(unsigned long count, long lowerBound);
    void putValue(long index, long value);
};

// Elements VT_DATE (automation dates).
class ORVCORE_API VCOM_DateArray : public VCOM_Array {
public:
    VCOM_DateArray(unsigned long count, long lowerBound);
    void putValue(long index, double date);
};

// Elements VT_BSTR; the array keeps its own copy of each text.
class ORVCORE_API VCOM_BSTRArray : public VCOM_Array {
public:
    VCOM_BSTRArray(unsigned long count, long lowerBound);
    void putString(long index, const char* text);      // null text: null element
    void putString(long index, const wchar_t* text);
};

// Elements VT_UNKNOWN; the array takes its own reference.
class ORVCORE_API VCOM_IUnknownArray : public VCOM_Array {
public:
    VCOM_IUnknownArray(unsigned long count, long lowerBound);
    void putIUnknown(long index, IUnknown* object);
};

// False, writing nothing, when hr is not a failure. Otherwise writes
// "#ERROR COM-CALL (HRESULT=0x%08x,FILE="<file>",LINE=<line>)" (without file:
// "#ERROR COM-CALL (HRESULT=0x%08x)") and, with info, "\tINFO: <info>" to the
// standard stream, and returns true. Never throws.
ORVCORE_API bool VCOM_FailedTrace(long hr, const char* file, int line, const char* info);
// VCOM_FailedTrace with a string resource of module: when it loads, the text
// formatted with the further arguments stands in for a null info, and after
// the trace the loaded text is shown with V_MsgBox. No text, no box.
ORVCORE_API bool VCOM_FailedTraceEx(long hr, const char* file, int line, const char* info, HINSTANCE module,
                                    unsigned int stringId, ...);

// *target = source with the references moved: AddRef on source first, so
// assigning a pointer to itself is safe. Returns source.
ORVCORE_API IUnknown* VCOM_ComPtrAssign(IUnknown** target, IUnknown* source);
// *target = source's interface iid (none when source is none or lacks it);
// the old *target is released either way. Returns the new *target.
ORVCORE_API IUnknown* VCOM_ComQIPtrAssign(IUnknown** target, IUnknown* source, const GUID& iid);

// The process-wide global interface table, created on first use in the
// calling thread's apartment (COM must be initialised there). A failing
// creation throws VCOM_Exception. No reference is added for the caller.
// Lock: one critical section serialises the creation, since modules reach
// the table from many threads; its own set-up is guarded by an interlocked flag.
ORVCORE_API IGlobalInterfaceTable* VCOM_GlobalGit_InternalUseOnly();
// RevokeInterfaceFromGlobal on the existing table; its HRESULT.
ORVCORE_API long VCOM_GlobalGit_Revoke(unsigned long cookie);
// Releases the table and its lock; the next use creates a new table. Call
// while COM is still initialised and nothing else uses the table.
ORVCORE_API void VCOM_GlobalGit_Exit();

#endif
