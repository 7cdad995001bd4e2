// orvtool com: a short self-check of COM on this machine. Each typed array
// goes through a real safe array and back, and an interface registered in the
// global interface table from this thread's apartment is used from a thread in
// another apartment.
#include "orvtool.h"

#include "VCOM_Helpers.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

namespace {

IUnknown* s_objects[2];   // the objects the IUnknown array refers to
const char kVisitText[] = "written from the other apartment";

std::string narrow(BSTR b)
{
    if (!b) return "(null)";
    char buf[256];
    int n = WideCharToMultiByte(CP_ACP, 0, b, static_cast<int>(SysStringLen(b)), buf, sizeof buf - 1, nullptr, nullptr);
    return "\"" + std::string(buf, n > 0 ? static_cast<size_t>(n) : 0) + "\"";
}

// One element as text; the array stores VT_VARIANT elements as variants and
// the others as their bare values.
std::string describe(const VARIANT& v)
{
    char buf[64];
    switch (V_VT(&v)) {
    case VT_I4: return std::to_string(V_I4(&v));
    case VT_BOOL: return V_BOOL(&v) == VARIANT_TRUE ? "true" : V_BOOL(&v) == VARIANT_FALSE ? "false" : "bad bool";
    case VT_BSTR: return narrow(V_BSTR(&v));
    case VT_R8: std::snprintf(buf, sizeof buf, "%g", V_R8(&v)); return buf;
    case VT_DATE: std::snprintf(buf, sizeof buf, "date %g", V_DATE(&v)); return buf;
    case VT_UNKNOWN:
        for (int i = 0; i < 2; ++i)
            if (V_UNKNOWN(&v) == s_objects[i]) return "object " + std::to_string(i + 1);
        return V_UNKNOWN(&v) ? "another object" : "(null)";
    default: std::snprintf(buf, sizeof buf, "type %u", V_VT(&v)); return buf;
    }
}

std::string readBack(SAFEARRAY* array)
{
    VARTYPE vt = VT_EMPTY;
    LONG lower = 0, upper = -1;
    SafeArrayGetVartype(array, &vt);
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    std::string text;
    for (LONG i = lower; i <= upper; ++i) {
        VARIANT v;
        VariantInit(&v);
        // The element is read into the variant's value field for bare types.
        HRESULT hr = vt == VT_VARIANT ? SafeArrayGetElement(array, &i, &v) : SafeArrayGetElement(array, &i, &v.llVal);
        if (vt != VT_VARIANT) V_VT(&v) = vt;
        text += (text.empty() ? "" : ", ") + (SUCCEEDED(hr) ? describe(v) : "unreadable");
        VariantClear(&v);
    }
    return text;
}

struct ArrayCheck {
    const char* name;
    void (*fill)(VARIANT* out);
    const char* expected;
};

const ArrayCheck kArrays[] = {
    {"VCOM_VariantArray", [](VARIANT* out) {
         VCOM_VariantArray a(6, 1);
         VARIANT v;
         VariantInit(&v);
         V_VT(&v) = VT_I4;
         V_I4(&v) = 5;
         a.putVariant(1, &v);
         a.putLong(2, -42);
         a.putBool(3, 2);
         a.putString(4, "eight-bit");
         a.putString(5, L"wide");
         a.putDouble(6, 2.5);
         a.transferVariant(out);
     }, "5, -42, true, \"eight-bit\", \"wide\", 2.5"},
    {"VCOM_I4Array", [](VARIANT* out) {
         VCOM_I4Array a(3, 1);
         a.putValue(1, -2147483647L - 1);
         a.putValue(2, 0);
         a.putValue(3, 2147483647L);
         a.transferVariant(out);
     }, "-2147483648, 0, 2147483647"},
    {"VCOM_DateArray", [](VARIANT* out) {
         VCOM_DateArray a(2, 1);
         a.putValue(1, 36526.0);
         a.putValue(2, 36526.75);
         a.transferVariant(out);
     }, "date 36526, date 36526.8"},
    {"VCOM_BSTRArray", [](VARIANT* out) {
         VCOM_BSTRArray a(3, 1);
         a.putString(1, "eight-bit");
         a.putString(2, L"wide");
         a.putString(3, static_cast<const char*>(nullptr));
         a.transferVariant(out);
     }, "\"eight-bit\", \"wide\", (null)"},
    {"VCOM_IUnknownArray", [](VARIANT* out) {
         VCOM_IUnknownArray a(3, 1);
         a.putIUnknown(1, s_objects[0]);
         a.putIUnknown(2, nullptr);
         a.putIUnknown(3, s_objects[1]);
         a.transferVariant(out);
     }, "object 1, (null), object 2"},
};

bool checkArrays()
{
    bool ok = true;
    for (IUnknown*& object : s_objects) CreateStreamOnHGlobal(nullptr, TRUE, reinterpret_cast<IStream**>(&object));
    for (const ArrayCheck& c : kArrays) {
        VARIANT out;
        VariantInit(&out);
        std::string text;
        try {
            c.fill(&out);
            text = readBack(V_ARRAY(&out));
        } catch (const V_Exception& e) {
            text = "failed, HRESULT " + std::to_string(e.mapToHRESULT());
        }
        const bool same = text == c.expected;
        std::printf("  %-19s [%s] %s\n", c.name, text.c_str(), same ? "ok" : "MISMATCH");
        ok = ok && same && (V_VT(&out) & VT_ARRAY) != 0;
        VariantClear(&out);
    }
    for (IUnknown* object : s_objects)
        if (object) object->Release();
    return ok;
}

struct GitVisit {
    DWORD cookie;
    IStream* original;
    std::string report;
};

DWORD WINAPI otherApartment(void* param)
{
    GitVisit& visit = *static_cast<GitVisit*>(param);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IStream* stream = nullptr;
    HRESULT hr = VCOM_GlobalGit_InternalUseOnly()->GetInterfaceFromGlobal(visit.cookie, IID_IStream,
                                                                          reinterpret_cast<void**>(&stream));
    if (SUCCEEDED(hr)) {
        ULONG written = 0;
        hr = stream->Write(kVisitText, sizeof kVisitText - 1, &written);
        visit.report = std::string(stream == visit.original ? "the object itself" : "a proxy") + ", " +
                       std::to_string(written) + " bytes written";
        stream->Release();
    }
    if (FAILED(hr)) visit.report = "failed, HRESULT " + std::to_string(hr);
    CoUninitialize();
    return 0;
}

bool checkGlobalInterfaceTable()
{
    IStream* stream = nullptr;
    GitVisit visit = {0, nullptr, std::string()};
    bool ok = false;
    try {
        IGlobalInterfaceTable* git = VCOM_GlobalGit_InternalUseOnly();
        std::printf("  table %s on the second call\n", git == VCOM_GlobalGit_InternalUseOnly() ? "the same" : "DIFFERENT");
        if (SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) &&
            SUCCEEDED(git->RegisterInterfaceInGlobal(stream, IID_IStream, &visit.cookie))) {
            visit.original = stream;
            HANDLE thread = CreateThread(nullptr, 0, otherApartment, &visit, 0, nullptr);
            if (thread) {
                WaitForSingleObject(thread, INFINITE);
                CloseHandle(thread);
            }
            std::printf("  other thread (single-threaded apartment) got %s\n", visit.report.c_str());
            STATSTG stat = {};
            stream->Stat(&stat, STATFLAG_NONAME);
            std::printf("  the stream now holds %lu bytes\n", static_cast<unsigned long>(stat.cbSize.QuadPart));
            ok = stat.cbSize.QuadPart == sizeof kVisitText - 1 && visit.report.find("bytes written") != std::string::npos;
            std::printf("  revoke: HRESULT 0x%08lx\n", static_cast<unsigned long>(VCOM_GlobalGit_Revoke(visit.cookie)));
        }
    } catch (const V_Exception& e) {
        std::printf("  failed, HRESULT 0x%08lx\n", static_cast<unsigned long>(e.mapToHRESULT()));
    }
    if (stream) stream->Release();
    VCOM_GlobalGit_Exit();
    return ok;
}

int com(const orvtool::Args& args)
{
    if (!args.empty()) return orvtool::usageError("com", "com takes no arguments");
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return orvtool::failure("COM cannot be initialised");
    std::printf("safe arrays, lower bound 1, read back through SafeArrayGetElement:\n");
    const bool arrays = checkArrays();
    std::printf("global interface table, registered in the multithreaded apartment:\n");
    const bool git = checkGlobalInterfaceTable();
    CoUninitialize();
    std::printf("%s\n", arrays && git ? "COM works" : "COM FAILED");
    return arrays && git ? 0 : 1;
}

}  // namespace

ORVTOOL_COMMAND(com, "com", "com",
                "round-trip each typed safe array and the global interface table across two threads", "com", com);
