// VCOM_Exception and the safe arrays.
#include "VCOM_Helpers.h"
#include "VSYST_DumpStream.h"
#include "strings/orv_numtext.h"

#include <windows.h>
#include <comdef.h>

namespace {

// 8-bit text to a BSTR through the ANSI code page; null stays null.
BSTR ansiToBstr(const char* text)
{
    if (!text) return nullptr;
    const int chars = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (chars <= 0) throw _com_error(HRESULT_FROM_WIN32(GetLastError()));
    // One allocation: the BSTR itself, then the conversion into it.
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(chars - 1));
    if (!result) throw _com_error(E_OUTOFMEMORY);
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, result, chars) <= 0) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        SysFreeString(result);
        throw _com_error(hr);
    }
    return result;
}

BSTR wideToBstr(const wchar_t* text)
{
    if (!text) return nullptr;
    BSTR result = SysAllocString(text);
    if (!result) throw _com_error(E_OUTOFMEMORY);
    return result;
}

// A BSTR freed on every path, including a failing store.
class ScopedBstr {
public:
    explicit ScopedBstr(BSTR b) : m_b(b) {}
    ~ScopedBstr() { SysFreeString(m_b); }
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;
    BSTR get() const { return m_b; }

private:
    BSTR m_b;
};

// A variant of type vt whose value set() fills in.
template <class Set>
VARIANT variantOf(VARTYPE vt, Set set)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = vt;
    set(v);
    return v;
}

VARIANT bstrVariant(BSTR b)
{
    return variantOf(VT_BSTR, [b](VARIANT& v) { V_BSTR(&v) = b; });
}

}  // namespace

// ---- VCOM_Exception ---------------------------------------------------------

VCOM_Exception::VCOM_Exception(long hr) : m_hr(hr)
{
    char line[64];
    orv::crtFormat(line, sizeof line, "!E      HRESULT = 0x%08x\n", static_cast<unsigned>(hr));
    displayStart();
    dumpStream() << line;
    displayEnd();
}

VCOM_Exception& VCOM_Exception::operator=(const VCOM_Exception& other)
{
    V_Exception::operator=(other);
    m_hr = other.m_hr;
    return *this;
}

VCOM_Exception::~VCOM_Exception() {}

long VCOM_Exception::mapToHRESULT() const
{
    return m_hr;
}

// ---- VCOM_Array -------------------------------------------------------------

VCOM_Array::VCOM_Array(VARTYPE vt, unsigned long count, long lowerBound) : m_vt(vt), m_array(nullptr)
{
    m_bound.cElements = count;
    m_bound.lLbound = lowerBound;
    m_array = SafeArrayCreate(vt, 1, &m_bound);
    if (!m_array) throw VSYST_OutOfMemory();
    VariantInit(&m_variant);
    V_VT(&m_variant) = static_cast<VARTYPE>(vt | VT_ARRAY);
    V_ARRAY(&m_variant) = m_array;
}

VCOM_Array::~VCOM_Array()
{
    VariantClear(&m_variant);
}

VCOM_Array& VCOM_Array::operator=(const VCOM_Array& other)
{
    m_vt = other.m_vt;
    m_array = other.m_array;
    m_bound = other.m_bound;
    m_variant = other.m_variant;
    return *this;
}

void VCOM_Array::transferVariant(VARIANT* destination)
{
    *destination = m_variant;
    VariantInit(&m_variant);
}

void VCOM_Array::put(long index, void* value)
{
    const HRESULT hr = SafeArrayPutElement(m_array, &index, value);
    if (FAILED(hr)) throw VCOM_Exception(hr);
    // The store copies a null BSTR as an empty text; a null text must stay null.
    VARIANT* variant = m_vt == VT_VARIANT ? static_cast<VARIANT*>(value) : nullptr;
    const bool nullText = m_vt == VT_BSTR ? !value : variant && V_VT(variant) == VT_BSTR && !V_BSTR(variant);
    void* element = nullptr;
    if (!nullText || FAILED(SafeArrayLock(m_array))) return;
    if (SUCCEEDED(SafeArrayPtrOfIndex(m_array, &index, &element))) {
        BSTR* text = m_vt == VT_BSTR ? static_cast<BSTR*>(element) : &V_BSTR(static_cast<VARIANT*>(element));
        SysFreeString(*text);
        *text = nullptr;
    }
    SafeArrayUnlock(m_array);
}

void VCOM_Array::putTemporary(long index, VARIANT& element)
{
    try {
        put(index, &element);
    } catch (...) {
        VariantClear(&element);
        throw;
    }
    VariantClear(&element);
}

// ---- the typed arrays -------------------------------------------------------

VCOM_VariantArray::VCOM_VariantArray(unsigned long count, long lowerBound) : VCOM_Array(VT_VARIANT, count, lowerBound) {}

void VCOM_VariantArray::putVariant(long index, VARIANT* value)
{
    put(index, value);
}

void VCOM_VariantArray::putLong(long index, long value)
{
    VARIANT v = variantOf(VT_I4, [value](VARIANT& x) { V_I4(&x) = value; });
    putTemporary(index, v);
}

void VCOM_VariantArray::putBool(long index, int value)
{
    VARIANT v = variantOf(VT_BOOL, [value](VARIANT& x) { V_BOOL(&x) = value ? VARIANT_TRUE : VARIANT_FALSE; });
    putTemporary(index, v);
}

void VCOM_VariantArray::putString(long index, const char* text)
{
    VARIANT v = bstrVariant(ansiToBstr(text));
    putTemporary(index, v);
}

void VCOM_VariantArray::putString(long index, const wchar_t* text)
{
    VARIANT v = bstrVariant(wideToBstr(text));
    putTemporary(index, v);
}

void VCOM_VariantArray::putDouble(long index, double value)
{
    VARIANT v = variantOf(VT_R8, [value](VARIANT& x) { V_R8(&x) = value; });
    putTemporary(index, v);
}

VCOM_I4Array::VCOM_I4Array(unsigned long count, long lowerBound) : VCOM_Array(VT_I4, count, lowerBound) {}

void VCOM_I4Array::putValue(long index, long value)
{
    LONG v = value;
    put(index, &v);
}

VCOM_DateArray::VCOM_DateArray(unsigned long count, long lowerBound) : VCOM_Array(VT_DATE, count, lowerBound) {}

void VCOM_DateArray::putValue(long index, double date)
{
    DATE v = date;
    put(index, &v);
}

VCOM_BSTRArray::VCOM_BSTRArray(unsigned long count, long lowerBound) : VCOM_Array(VT_BSTR, count, lowerBound) {}

// For VT_BSTR arrays SafeArrayPutElement takes the BSTR itself, not its address.
void VCOM_BSTRArray::putString(long index, const char* text)
{
    ScopedBstr b(ansiToBstr(text));
    put(index, b.get());
}

void VCOM_BSTRArray::putString(long index, const wchar_t* text)
{
    ScopedBstr b(wideToBstr(text));
    put(index, b.get());
}

VCOM_IUnknownArray::VCOM_IUnknownArray(unsigned long count, long lowerBound)
    : VCOM_Array(VT_UNKNOWN, count, lowerBound)
{
}

// Like BSTRs, interface pointers are passed as the element value itself.
void VCOM_IUnknownArray::putIUnknown(long index, IUnknown* object)
{
    put(index, object);
}
