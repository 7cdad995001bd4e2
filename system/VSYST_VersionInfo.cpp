// VSYST_VersionInfo: product version, names and registry base of a module.
#include "VSYST_VersionInfo.h"
#include "V_CapsulatedPointer.h"
#include "V_Exception.h"

#include <windows.h>

#include <cstring>
#include <new>

struct VSYST_VersionInfo::Body {
    bool fromVersionResource = false;
    bool defaultRegBase = true;
    unsigned short major = 0;
    unsigned short minor = 0;
    unsigned short update = 0;
    unsigned short build = 0;
    V_STRING internalName;
    V_STRING runInfo;
    V_STRING regBase;
};

namespace {

// Only this much of a version resource is read; a longer one is read in part.
const DWORD kInfoBlockSize = 8000;
// Zeroes after the block: a key string cut off at its end still finds a terminator.
const DWORD kInfoBlockSlack = 64;
const DWORD kModulePathChars = 260;
// Version resources nest four levels deep; anything deeper is dropped.
const unsigned kMaxNodeDepth = 8;
const DWORD kFixedInfoSignature = 0xFEEF04BD;

// The ProductVersion text read last by any object.
V_CapsulatedPointer<V_STRING> s_productVersion;

WORD wordAt(const unsigned char* block, DWORD offset)
{
    WORD w;
    std::memcpy(&w, block + offset, sizeof w);
    return w;
}

void setWord(unsigned char* block, DWORD offset, DWORD value)
{
    WORD w = static_cast<WORD>(value);
    std::memcpy(block + offset, &w, sizeof w);
}

DWORD align4(DWORD v) { return (v + 3) & ~3ul; }

// A node of the resource tree is wLength, wValueLength, wType, the key (UTF-16,
// NUL-terminated), the value and the children, each aligned to 4 bytes. A
// block cut at kInfoBlockSize has nodes claiming more than was read; shorten
// every node to what lies inside its parent, so that VerQueryValue never walks
// beyond the bytes we have.
void clampNode(unsigned char* block, DWORD offset, DWORD limit, unsigned depth)
{
    DWORD length = wordAt(block, offset);
    if (length > limit - offset) {
        length = limit - offset;
        setWord(block, offset, length);
    }
    const DWORD end = offset + length;
    const DWORD valueLength = wordAt(block, offset + 2);
    const bool text = wordAt(block, offset + 4) != 0;
    DWORD p = offset + 6;
    while (p + 2 <= end && wordAt(block, p) != 0) p += 2;
    if (p + 2 > end) return;   // the key runs to the end: no value, no children
    DWORD child = align4(align4(p + 2) + (text ? valueLength * 2 : valueLength));
    if (depth >= kMaxNodeDepth) {
        if (child < end) setWord(block, offset, child - offset);
        return;
    }
    while (child + 6 <= end) {
        if (wordAt(block, child) < 6) {
            // A malformed child ends the list here.
            setWord(block, offset, child - offset);
            return;
        }
        clampNode(block, child, end, depth + 1);
        child += align4(wordAt(block, child));
    }
}

// File name without drive, folder and extension.
V_STRING baseName(const char* path)
{
    if (!path) return V_STRING();
    const char* start = path;
    for (const char* p = path; *p; p = CharNextA(p))
        if (*p == '\\' || *p == '/' || *p == ':') start = p + 1;
    const char* dot = nullptr;
    for (const char* p = start; *p; p = CharNextA(p))
        if (*p == '.') dot = p;
    return dot ? V_STRING(start, static_cast<unsigned>(dot - start)) : V_STRING(start);
}

bool isStageModule(const char* path)
{
    V_STRING name = baseName(path);
    return name.compareNoCase("qmainx") == 0 || name.compareNoCase("qstage") == 0 ||
           name.compareNoCase("qstaged") == 0;
}

const char kStageName[] = "ZovIdiv FT";
const char kStageRegBase[] = "Brakmar\\ZovIdiv FT";
const char kGenericName[] = "Generic Application";
const char kGenericRegBase[] = "Brakmar\\T.R.I.O.N.(R) Platform\\Generic Application";

wchar_t* widen(const char* text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return nullptr;
    wchar_t* w = new (std::nothrow) wchar_t[n];
    if (w && MultiByteToWideChar(CP_ACP, 0, text, -1, w, n) != n) {
        delete[] w;
        return nullptr;
    }
    return w;
}

// "\StringFileInfo\llllcccc\<entry>" for the first translation.
void stringSubBlock(wchar_t* out, WORD language, WORD codePage, const wchar_t* entry)
{
    static const wchar_t kPrefix[] = L"\\StringFileInfo\\";
    static const char kHex[] = "0123456789ABCDEF";
    wchar_t* p = out;
    for (const wchar_t* s = kPrefix; *s; ++s) *p++ = *s;
    DWORD both = (static_cast<DWORD>(language) << 16) | codePage;
    for (int shift = 28; shift >= 0; shift -= 4) *p++ = static_cast<wchar_t>(kHex[(both >> shift) & 0xF]);
    *p++ = L'\\';
    while (*entry) *p++ = *entry++;
    *p = 0;
}

// A string entry as ANSI text; false when the entry is missing. size is the
// number of bytes of block that may be read.
bool queryString(const unsigned char* block, DWORD size, WORD language, WORD codePage, const wchar_t* entry,
                 V_STRING& result)
{
    wchar_t subBlock[64];
    stringSubBlock(subBlock, language, codePage, entry);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block, subBlock, &value, &length) || !value) return false;
    const unsigned char* start = static_cast<const unsigned char*>(value);
    if (start < block || start >= block + size) return false;
    DWORD maxChars = static_cast<DWORD>((block + size - start) / sizeof(wchar_t));
    wchar_t* text = new wchar_t[maxChars + 1];
    std::memcpy(text, start, maxChars * sizeof(wchar_t));
    text[maxChars] = 0;
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    char* ansi = n > 0 ? new (std::nothrow) char[n] : nullptr;
    if (ansi && WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, n, nullptr, nullptr) == n) result = ansi;
    else result = V_STRING();
    delete[] ansi;
    delete[] text;
    return true;
}

// The version block, zeroed, with room for the slack.
class InfoBlock {
public:
    InfoBlock() : m_data(new (std::nothrow) unsigned char[kInfoBlockSize + kInfoBlockSlack]()) {}
    ~InfoBlock() { delete[] m_data; }
    InfoBlock(const InfoBlock&) = delete;
    InfoBlock& operator=(const InfoBlock&) = delete;
    unsigned char* data() const { return m_data; }
private:
    unsigned char* m_data;
};

}  // namespace

// ---- construction -----------------------------------------------------------

VSYST_VersionInfo::VSYST_VersionInfo(bool readStrings) : m_body(new Body)
{
    infoFromHINSTANCE(GetModuleHandleA(nullptr), readStrings);
}

VSYST_VersionInfo::VSYST_VersionInfo(HINSTANCE module, bool readStrings) : m_body(new Body)
{
    infoFromHINSTANCE(module, readStrings);
}

VSYST_VersionInfo::VSYST_VersionInfo(const char* path, bool readStrings) : m_body(new Body)
{
    infoFromPATH(path, readStrings);
}

VSYST_VersionInfo::~VSYST_VersionInfo()
{
    delete m_body;
}

// ---- reading ----------------------------------------------------------------

void VSYST_VersionInfo::infoFromHINSTANCE(HINSTANCE module, bool readStrings)
{
    if (!module) return;
    char path[kModulePathChars + 1] = {0};
    SetLastError(0);
    DWORD n = GetModuleFileNameA(module, path, kModulePathChars);
    if (n == 0) {
        if (GetLastError() != 0) _vsyst_VerifyAPI();
        path[0] = 0;   // go on without a name: the generic values
    }
    path[kModulePathChars] = 0;
    infoFromPATH(path, readStrings);
}

void VSYST_VersionInfo::infoFromPATH(const char* path, bool readStrings)
{
    genericRegBase(path);
    if (!path) return;
    wchar_t* widePath = widen(path);
    if (!widePath) return;
    DWORD handle = 0;
    InfoBlock block;
    bool read = GetFileVersionInfoSizeW(widePath, &handle) != 0 && block.data() &&
                GetFileVersionInfoW(widePath, 0, kInfoBlockSize, block.data());
    delete[] widePath;
    if (!read || wordAt(block.data(), 0) < 6) return;
    clampNode(block.data(), 0, kInfoBlockSize, 0);

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", &value, &length) || !value) return;
    const unsigned char* fixedAt = static_cast<const unsigned char*>(value);
    if (fixedAt < block.data() || fixedAt + sizeof(VS_FIXEDFILEINFO) > block.data() + kInfoBlockSize) return;
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, fixedAt, sizeof fixed);
    if (fixed.dwSignature != kFixedInfoSignature) return;
    m_body->major = HIWORD(fixed.dwProductVersionMS);
    m_body->minor = LOWORD(fixed.dwProductVersionMS);
    m_body->update = HIWORD(fixed.dwProductVersionLS);
    m_body->build = LOWORD(fixed.dwProductVersionLS);

    if (readStrings) {
        bool complete;
        try {
            complete = readStringEntries(path, block.data(), kInfoBlockSize + kInfoBlockSlack);
        } catch (...) {
            complete = false;
        }
        if (!complete) {
            genericRegBase(path);
            return;
        }
    }
    m_body->fromVersionResource = true;
}

// The platform's string entries through the first translation. False when the
// module lacks the translation table or an InternalName.
bool VSYST_VersionInfo::readStringEntries(const char* path, const unsigned char* block, unsigned long blockSize)
{
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block, L"\\VarFileInfo\\Translation", &value, &length) || !value || length < 4)
        return false;
    const unsigned char* pair = static_cast<const unsigned char*>(value);
    if (pair < block || pair + 4 > block + blockSize) return false;
    WORD language = wordAt(pair, 0), codePage = wordAt(pair, 2);

    V_STRING text;
    if (!queryString(block, blockSize, language, codePage, L"InternalName", text)) return false;
    m_body->internalName = text;
    if (queryString(block, blockSize, language, codePage, L"ProductVersion", text)) {
        if (s_productVersion) *s_productVersion = text;
        else s_productVersion.reset(new V_STRING(text));
    }
    if (queryString(block, blockSize, language, codePage, L"RunInfo", text)) m_body->runInfo = text;
    if (queryString(block, blockSize, language, codePage, L"RegBase", text)) {
        m_body->regBase = text;
        m_body->defaultRegBase = false;
    } else {
        genericRegBase(path);   // keeps update and build from the resource
    }
    return true;
}

void VSYST_VersionInfo::genericRegBase(const char* path)
{
    if (isStageModule(path)) {
        m_body->major = 2004;
        m_body->minor = 0;
        m_body->internalName = kStageName;
        m_body->regBase = kStageRegBase;
    } else {
        m_body->major = 2;
        m_body->minor = 178;
        m_body->internalName = kGenericName;
        m_body->regBase = kGenericRegBase;
    }
}

void VSYST_VersionInfo::genericRegBaseKeepVersionInfo(const char* path)
{
    if (isStageModule(path)) {
        genericRegBase(path);
    } else {
        m_body->internalName = kGenericName;
        m_body->regBase = kGenericRegBase;
    }
}

// ---- queries ----------------------------------------------------------------

bool VSYST_VersionInfo::operator==(const VSYST_VersionInfo& other) const
{
    return m_body->major == other.m_body->major && m_body->minor == other.m_body->minor &&
           m_body->update == other.m_body->update;
}

bool VSYST_VersionInfo::operator<=(const VSYST_VersionInfo& other) const
{
    return m_body->major == other.m_body->major && m_body->minor == other.m_body->minor &&
           m_body->update <= other.m_body->update;
}

bool VSYST_VersionInfo::fromVersionResource() const { return m_body->fromVersionResource; }
unsigned short VSYST_VersionInfo::getMajorRelease() const { return m_body->major; }
unsigned short VSYST_VersionInfo::getMinorRelease() const { return m_body->minor; }
unsigned short VSYST_VersionInfo::getUpdateRelease() const { return m_body->update; }
unsigned short VSYST_VersionInfo::getBuildRelease() const { return m_body->build; }

V_STRING VSYST_VersionInfo::getVersionString(VSF format) const
{
    const int f = static_cast<int>(format);
    if (f < 0 || f > 7) return V_STRING();
    const unsigned short numbers[4] = {m_body->major, m_body->minor, m_body->update, m_body->build};
    V_STRING text;
    for (int i = 0; i <= (f & 3); ++i) {
        if (i) text += '.';
        // "%hd": each number as a signed 16-bit value.
        text += V_STRING(static_cast<long>(static_cast<short>(numbers[i])));
    }
    return text;
}

V_STRING VSYST_VersionInfo::getProductVersionString() const
{
    if (s_productVersion && !s_productVersion->isEmpty()) return *s_productVersion;
    return getVersionString(VSF_MajorMinorUpdate);
}

V_STRING VSYST_VersionInfo::getInternalName() const { return m_body->internalName; }
V_STRING VSYST_VersionInfo::getRunInfo() const { return m_body->runInfo; }
bool VSYST_VersionInfo::isDefaultRegBase() const { return m_body->defaultRegBase; }
V_STRING VSYST_VersionInfo::getRegBase() const { return m_body->regBase; }

V_STRING VSYST_VersionInfo::getRegBaseVersion(char separator) const
{
    V_STRING text(m_body->regBase);
    text += separator;
    text += getVersionString(VSF_MajorMinor);
    return text;
}

VSYST_VersionInfo::eCheckState VSYST_VersionInfo::checkRunInfo(const V_STRING& text) const
{
    if (m_body->runInfo.isEmpty()) return CS_NoRunInfo;
    return m_body->runInfo.find(text) >= 0 ? CS_Contained : CS_NotContained;
}
