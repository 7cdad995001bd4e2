// Tour step of the operating-system services: the standard folders, the
// current user and the time. The tour leaves the machine as it found it: the
// folders that the path functions create on demand and a BaseProjectPath
// value they store are removed again at the end of the step.
#include "orvtool.h"

#include "VSYST_DateTime.h"
#include "VSYST_Pathes.h"
#include "VSYST_RegistryKey.h"
#include "VSYST_User.h"
#include "VSYST_VersionInfo.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The folders of path that do not exist yet, deepest first.
void addMissing(std::string path, std::vector<std::string>& missing)
{
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    while (!path.empty() && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        missing.push_back(path);
        size_t cut = path.find_last_of("\\/");
        if (cut == std::string::npos) break;
        path.resize(cut);
    }
}

std::string shellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path)) ? path : "";
}

void show(const char* label, const V_STRING& value)
{
    std::printf("   %-20s%s\n", label, value.isEmpty() ? "(none)" : value.data());
}

int osStep()
{
    // A host sets its application path at start; it names the fallback of the
    // machine-wide folder.
    char exe[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string appPath(exe);
    appPath.resize(appPath.find_last_of('\\') == std::string::npos ? 0 : appPath.find_last_of('\\'));
    VSYST_Pathes::setAppPath(appPath.c_str());

    VSYST_RegistryKey company(VSYST_RSK_LocalMachineCompany, false);
    bool hadBase = false;
    company.getStringValue("BaseProjectPath", hadBase);
    const std::string own = std::string("\\") + VSYST_VersionInfo(true).getRegBaseVersion('\\').data();
    std::vector<std::string> missing;
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, MAX_PATH);
    if (!hadBase) addMissing(std::string(windows, 2) + "Projects", missing);
    addMissing(shellFolder(CSIDL_APPDATA) + own, missing);
    addMissing(shellFolder(CSIDL_COMMON_APPDATA) + own, missing);
    addMissing(appPath + "\\.CommonData" + own, missing);

    show("application path:", VSYST_Pathes::getAppPath());
    show("documents:", VSYST_Pathes::getBaseDocumentsPath());
    const V_STRING user = VSYST_Pathes::getAppDataPath(), common = VSYST_Pathes::getCommonAppDataPath();
    show("application data:", user);
    show("common data:", common);
    show("base project path:", VSYST_Pathes::getBaseProjectPath());
    int removed = 0;
    for (const std::string& folder : missing) removed += RemoveDirectoryA(folder.c_str()) ? 1 : 0;
    const bool stored = !hadBase && company.isValid() && company.deleteValue("BaseProjectPath");
    std::printf("   (the tour removed the %d folders these calls created%s)\n", removed,
                stored ? " and the BaseProjectPath value stored" : "");

    VSYST_User me;
    std::printf("   current user:       %s (full name \"%s\") on %s, domain %s, account type %d\n", me.getName().data(),
                me.getFullName().data(), me.getComputerName().data(), me.getDomainName().data(), me.getType());
    VSYST_DateTime now;
    std::printf("   now:                %s, %s (configured time format), packed 0x%08lX\n", now.getDateLong().data(),
                now.getTime().data(), now.asTimeStamp());
    return user.isEmpty() || common.isEmpty() || me.getName().isEmpty() ? 1 : 0;
}

}  // namespace

ORVTOOL_TOUR_STEP(os, 500, "Standard folders, the current user and the time", osStep);
