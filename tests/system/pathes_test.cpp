// Standard folders below a temporary profile: the process's HKCU and HKLM lead
// below a test key whose shell-folder values name folders in a temporary folder.
#include "VSYST_Pathes.h"
#include "VSYST_VersionInfo.h"
#include "diag/LogCapture.h"
#include "registry/reg_test_util.h"
#include "support/OrvTestSupport.h"
#include "system/orv_system_internal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

namespace {

const char kOwn[] = "\\Brakmar\\T.R.I.O.N.(R) Platform\\Generic Application\\2.178\\";

using regtest::text;
bool isFolder(const std::string& p) { return GetFileAttributesA(p.c_str()) & FILE_ATTRIBUTE_DIRECTORY; }

// The library finds the shell's functions by name; these stand in for them.
enum ShellMode { NoFolders, FinalSeparators } s_mode;
FARPROC(WINAPI* s_getProc)(HMODULE, LPCSTR);
HRESULT WINAPI noFolder(HWND, int, void**) { return E_FAIL; }
BOOL WINAPI pathWithSeparator(const void* list, char* path)   // as Wine gives the documents folder
{
    void* real = reinterpret_cast<void*>(s_getProc(GetModuleHandleA("shell32.dll"), "SHGetPathFromIDListA"));
    const BOOL ok = reinterpret_cast<BOOL(WINAPI*)(const void*, char*)>(real)(list, path);
    if (ok && path[0] && path[std::strlen(path) - 1] != '\\') std::strcat(path, "\\");
    return ok;
}
FARPROC WINAPI shellEntry(HMODULE module, LPCSTR name)
{
    const std::string n = reinterpret_cast<uintptr_t>(name) > 0xFFFF ? name : "";
    void* fake = s_mode == NoFolders && n == "SHGetSpecialFolderLocation" ? reinterpret_cast<void*>(&noFolder)
                 : s_mode == FinalSeparators && n == "SHGetPathFromIDListA" ? reinterpret_cast<void*>(&pathWithSeparator)
                                                                           : nullptr;
    return fake ? reinterpret_cast<FARPROC>(fake) : s_getProc(module, name);
}
struct ShellFake {
    explicit ShellFake(ShellMode mode) : hook("OrvCore_Rudaru20.dll", "kernel32.dll", "GetProcAddress",
                                              reinterpret_cast<void*>(&shellEntry))
    {
        s_getProc = reinterpret_cast<FARPROC(WINAPI*)(HMODULE, LPCSTR)>(hook.original());
        s_mode = mode;
    }
    orvtest::IatHook hook;
};

}  // namespace

TEST(Pathes, StandardFoldersAndTheBaseProjectPathBelowATemporaryProfile)
{
    orvtest::TempDir dir;
    regtest::RootOverride roots("pathes");
    const char* folders[3][2] = {{"AppData", "Roaming"}, {"Personal", "Docs"}, {"Common AppData", "Common"}};
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir.file(folders[i][1]);
        CreateDirectoryA(path.c_str(), nullptr);
        RegSetKeyValueA(i < 2 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", folders[i][0],
                        REG_SZ, path.c_str(), DWORD(path.size() + 1));
    }
    const std::string user = dir.file("Roaming") + kOwn, common = dir.file("Common") + kOwn;
    ShellFake fake(FinalSeparators);   // each shell folder ends in a separator, whatever the platform gives
    EXPECT_EQ(dir.file("Docs\\") + "|" + user + "|" + common, text(VSYST_Pathes::getBaseDocumentsPath()) + "|" +
              text(VSYST_VersionInfo(true).getApplUserBaseFilename()) + "|" + text(VSYST_Pathes::getCommonAppDataPath()));
    EXPECT_TRUE(isFolder(user) && isFolder(common));
    EXPECT_EQ(user + common, text(VSYST_Pathes::getAppDataPath()) + text(VSYST_VersionInfo().getApplGlobalBaseFilename()));

    // The base project path: a default beside the Windows folder, or the stored one.
    char windows[MAX_PATH], cwd[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    ASSERT_EQ(std::string(windows, 2), dir.path().substr(0, 2)) << "the default is relative to that drive";
    GetCurrentDirectoryA(MAX_PATH, cwd);
    SetCurrentDirectoryA(dir.path().c_str());
    const std::string fallback = std::string(windows, 2) + "Projects", block = orvtest::crlf(
        "VSYST_Pathes::getBaseProjectPath\n\tno BaseProjectPath found in registry!\n\tWindows directory is \"" +
        std::string(windows) + "\"\n\tset BaseProjectPath to \"" + fallback + "\"\n");
    const struct { bool key; const char* value; std::string want, log, stored; } cases[] = {
        {false, nullptr, fallback + "\\", block, ""}, {true, nullptr, fallback + "\\", block, fallback},
        {true, "D:\\Work", "D:\\Work\\", "", "D:\\Work"}, {true, "D:\\Work/", "D:\\Work/", "", "D:\\Work/"}};
    for (const auto& c : cases) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Brakmar");
        if (c.key) regtest::createRaw(HKEY_LOCAL_MACHINE, "Software\\Brakmar");
        if (c.value)
            regtest::writeRaw(HKEY_LOCAL_MACHINE, "Software\\Brakmar", "BaseProjectPath", REG_SZ, std::string(c.value) + '\0');
        DebugCapture log;
        EXPECT_EQ(c.want, text(VSYST_Pathes::getBaseProjectPath()));
        std::string stored;
        regtest::readRaw(HKEY_LOCAL_MACHINE, "Software\\Brakmar", "BaseProjectPath", nullptr, &stored);
        EXPECT_EQ(c.log + "|" + c.stored, log.all() + "|" + stored.c_str()) << c.want;
    }
    EXPECT_TRUE(isFolder(dir.file("Projects")));
    SetCurrentDirectoryA(cwd);
}

TEST(Pathes, WithoutShellFoldersAndTheApplicationPath)
{
    orvtest::TempDir dir;
    ShellFake fake(NoFolders);
    DebugCapture log;
    const std::string full(259, 'x'), over = full + "y", app = dir.file("App");
    const struct { const char* path; std::string want; } paths[] = {
        {full.c_str(), full}, {over.c_str(), full}, {nullptr, ""}, {app.c_str(), app}};
    for (const auto& c : paths) {
        VSYST_Pathes::setAppPath(c.path);
        EXPECT_EQ(c.want, VSYST_Pathes::getAppPath());
    }
    EXPECT_EQ(app + "\\.CommonData" + kOwn, text(VSYST_Pathes::getCommonAppDataPath()));
    EXPECT_TRUE(isFolder(app + "\\.CommonData" + kOwn));
    EXPECT_TRUE(VSYST_Pathes::getBaseDocumentsPath().isEmpty() && VSYST_Pathes::getAppDataPath().isEmpty());
    EXPECT_EQ(orvtest::crlf("VSYST_Pathes::setAppPath: a path of 260 characters is refused!\n"
                            "VSYST_Pathes::getBaseDocumentsPath fails! Uses working directory!\n"
                            "VSYST_Pathes::getAppDataPath fails! Uses working directory!\n"), log.all());
    VSYST_Pathes::setAppPath(full.c_str());   // a path that cannot be extended
    EXPECT_EQ("", text(VSYST_Pathes::getCommonAppDataPath()));
    EXPECT_NE(std::string::npos, log.all().find("getCommonAppDataPath: the path \"" + full + "\\.CommonData"));
    VSYST_Pathes::setAppPath("");

    // Folders are made with their parents; a file in the way is reported.
    EXPECT_TRUE(VSYST_Pathes::EnsureThatDirectoryExists(dir.file("a\\b/").c_str()) && isFolder(dir.file("a\\b")));
    orvtest::writeFile(dir.file("file"), "x");
    DebugCapture failure;
    EXPECT_FALSE(VSYST_Pathes::EnsureThatDirectoryExists(dir.file("file\\sub").c_str()));
    EXPECT_EQ(orvtest::crlf("EnsureThatDirectoryExists \"" + dir.file("file") + "\" fails!\n" +
                            orvtest::systemText(ERROR_ALREADY_EXISTS) + "\n"), failure.all());
}
