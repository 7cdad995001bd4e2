// VSYST_Pathes: the platform's standard folders and the application path.
#include "VSYST_Pathes.h"
#include "VSYST_DumpStream.h"
#include "VSYST_RegistryKey.h"
#include "VSYST_VersionInfo.h"
#include "diag/orv_diag_internal.h"
#include "system/orv_system_internal.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

namespace {

const unsigned kPathChars = MAX_PATH;   // 260, with the terminating NUL
const char kBaseProjectPath[] = "BaseProjectPath";

char s_appPath[kPathChars] = "";

VSYST_DumpStream& log() { return VSYST_DumpStream::getStdStream(); }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

V_STRING withoutTrailingSeparator(const V_STRING& path)
{
    const unsigned n = path.length();
    return n && isSeparator(path[n - 1]) ? path.left(static_cast<int>(n - 1)) : path;
}

V_STRING ensureTrailingSeparator(const V_STRING& path)
{
    if (path.isEmpty() || isSeparator(path[path.length() - 1])) return path;
    return path + "\\";
}

bool isDirectory(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The drive and folder part: everything up to and including the last
// separator, or the drive alone ("X:" of "X:name").
V_STRING parentOf(const V_STRING& path)
{
    for (unsigned i = path.length(); i > 0; --i)
        if (isSeparator(path[i - 1])) return path.left(static_cast<int>(i));
    return path.length() >= 2 && path[1] == ':' ? path.left(2) : V_STRING();
}

// The folder below the shell folder, named after the executable's registry
// base and version; "" when the path would not fit a path buffer.
V_STRING applicationFolder(const V_STRING& shellFolder, const char* caller)
{
    VSYST_VersionInfo info(true);
    V_STRING path = withoutTrailingSeparator(shellFolder) + "\\" + info.getRegBaseVersion('\\') + "\\";
    if (path.length() >= kPathChars) {
        log() << caller << ": the path \"" << path << "\" is too long!\n";
        return V_STRING();
    }
    VSYST_Pathes::EnsureThatDirectoryExists(path.data());
    return ensureTrailingSeparator(path);
}

}  // namespace

namespace VSYST_Pathes {

// The shell comes in on first use, not with the library: it is large, and
// most processes that load the library never ask for a folder. It stays
// loaded for the process.
static HMODULE shellModule()
{
    static const HMODULE shell = LoadLibraryA("shell32.dll");
    return shell;
}

template <class F>
static F shellEntry(const char* name)
{
    const HMODULE shell = shellModule();
    return shell ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(shell, name))) : nullptr;
}

// SHGetSpecialFolderLocation's failure, E_FAIL when the item list has no
// path (or the shell is missing), S_OK otherwise; buffer holds kPathChars characters.
static HRESULT getShellFolderPath(int csidl, char* buffer)
{
    buffer[0] = '\0';
    auto location = shellEntry<HRESULT(WINAPI*)(HWND, int, LPITEMIDLIST*)>("SHGetSpecialFolderLocation");
    auto pathFromList = shellEntry<BOOL(WINAPI*)(LPCITEMIDLIST, LPSTR)>("SHGetPathFromIDListA");
    auto shellAllocator = shellEntry<HRESULT(WINAPI*)(IMalloc**)>("SHGetMalloc");
    if (!location || !pathFromList || !shellAllocator) return E_FAIL;
    LPITEMIDLIST items = nullptr;
    HRESULT hr = location(nullptr, csidl, &items);
    if (FAILED(hr)) return hr;
    if (!pathFromList(items, buffer)) {
        buffer[0] = '\0';
        hr = E_FAIL;
    }
    IMalloc* shellMalloc = nullptr;
    if (SUCCEEDED(shellAllocator(&shellMalloc)) && shellMalloc) {
        shellMalloc->Free(items);
        shellMalloc->Release();
    }
    return hr;
}

bool EnsureThatDirectoryExists(const char* path)
{
    const V_STRING folder = withoutTrailingSeparator(V_STRING(path));
    // "" and "X:" are current folders, which always exist.
    if (folder.isEmpty() || isDirectory(folder.data())) return true;
    const V_STRING parent = parentOf(folder);
    if (parent.length() < folder.length() && !EnsureThatDirectoryExists(parent.data())) return false;
    if (CreateDirectoryA(folder.data(), nullptr)) return true;
    const DWORD code = GetLastError();
    // Made by someone else in the meantime.
    if (code == ERROR_ALREADY_EXISTS && isDirectory(folder.data())) return true;
    char reason[261];
    orv::systemErrorText(code, reason, sizeof reason);
    log() << "EnsureThatDirectoryExists \"" << folder << "\" fails!\n" << reason << "\n";
    return false;
}

const char* getAppPath()
{
    return s_appPath;
}

void setAppPath(const char* path)
{
    const size_t n = path ? std::strlen(path) : 0;
    if (n >= kPathChars) {
        log() << "VSYST_Pathes::setAppPath: a path of " << static_cast<unsigned long>(n)
              << " characters is refused!\n";
        return;
    }
    if (n) std::memcpy(s_appPath, path, n);
    s_appPath[n] = '\0';
}

V_STRING getBaseProjectPath()
{
    VSYST_RegistryKey company(VSYST_RSK_LocalMachineCompany, false);
    bool ok = false;
    V_STRING value = company.getStringValue(kBaseProjectPath, ok);
    if (!ok) {
        char windows[kPathChars + 1] = "";
        const UINT n = GetWindowsDirectoryA(windows, kPathChars);
        if (n == 0 || n >= kPathChars) windows[0] = '\0';
        log() << "VSYST_Pathes::getBaseProjectPath\n"
              << "\tno BaseProjectPath found in registry!\n"
              << "\tWindows directory is \"" << windows << "\"\n";
        // The drive with the name and no folder: relative to that drive's current folder.
        value = windows[0] && windows[1] == ':' ? V_STRING(windows, 2) : V_STRING();
        value += "Projects";
        log() << "\tset BaseProjectPath to \"" << value << "\"\n";
        if (company.isValid()) company.setStringValue(kBaseProjectPath, value);
        EnsureThatDirectoryExists(value.data());
    }
    return ensureTrailingSeparator(value);
}

V_STRING getBaseDocumentsPath()
{
    char folder[kPathChars];
    if (SUCCEEDED(getShellFolderPath(CSIDL_PERSONAL, folder)) && folder[0])
        return ensureTrailingSeparator(V_STRING(folder));
    log() << "VSYST_Pathes::getBaseDocumentsPath fails! Uses working directory!\n";
    return V_STRING();
}

V_STRING getAppDataPath()
{
    char folder[kPathChars];
    if (FAILED(getShellFolderPath(CSIDL_APPDATA, folder)) || !folder[0]) {
        log() << "VSYST_Pathes::getAppDataPath fails! Uses working directory!\n";
        return V_STRING();
    }
    return applicationFolder(folder, "VSYST_Pathes::getAppDataPath");
}

V_STRING getCommonAppDataPath()
{
    char folder[kPathChars];
    if (FAILED(getShellFolderPath(CSIDL_COMMON_APPDATA, folder)) || !folder[0])
        return applicationFolder(withoutTrailingSeparator(s_appPath) + "\\.CommonData",
                                 "VSYST_Pathes::getCommonAppDataPath");
    return applicationFolder(folder, "VSYST_Pathes::getCommonAppDataPath");
}

}  // namespace VSYST_Pathes

// ---- the two version-info members that give these folders -------------------

V_STRING VSYST_VersionInfo::getApplUserBaseFilename() const
{
    return VSYST_Pathes::getAppDataPath();
}

V_STRING VSYST_VersionInfo::getApplGlobalBaseFilename() const
{
    return VSYST_Pathes::getCommonAppDataPath();
}
