// Standard folders below a temporary profile: the process's HKCU and HKLM lead
// below a test key whose shell-folder values name folders in a temporary folder.
#include "VSYST_Pathes.h"
#include "VSYST_VersionInfo.h"
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"
#include "system/orv_system_internal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kOwn[] = "\\Brakmar\\T.R.I.O.N.(R) Platform\\Generic Application\\2.178\\";

std::string text(const V_STRING& s) { return std::string(s.data(), s.length()); }
bool isFolder(const std::string& p) { return GetFileAttributesA(p.c_str()) & FILE_ATTRIBUTE_DIRECTORY; }

struct Profile {
    explicit Profile(const char* trailing) : key("pathes")
    {
        for (int i = 0; i < 2; ++i) {
            RegCreateKeyA(key.handle(), i ? "lm" : "cu", &roots[i]);
            RegOverridePredefKey(i ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, roots[i]);
        }
        const struct { HKEY root; const char* value; const char* folder; } folders[] = {
            {HKEY_CURRENT_USER, "AppData", "Roaming"}, {HKEY_CURRENT_USER, "Personal", "Docs"},
            {HKEY_LOCAL_MACHINE, "Common AppData", "Common"}};
        for (const auto& f : folders) {
            CreateDirectoryA(dir.file(f.folder).c_str(), nullptr);
            const std::string v = dir.file(f.folder) + trailing;
            RegSetKeyValueA(f.root, kShellFolders, f.value, REG_SZ, v.c_str(), static_cast<DWORD>(v.size() + 1));
        }
    }
    ~Profile()
    {
        for (int i = 0; i < 2; ++i) {
            RegOverridePredefKey(i ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, nullptr);
            RegCloseKey(roots[i]);
        }
    }
    orvtest::TempDir dir;
    orvtest::TestRegKey key;
    HKEY roots[2] = {};
};

HRESULT WINAPI noFolder(HWND, int, void**) { return E_FAIL; }

}  // namespace

TEST(Pathes, StandardFoldersBelowATemporaryProfile)
{
    for (const char* trailing : {"", "\\"}) {   // shell folders given with and without a final separator
        Profile p(trailing);
        EXPECT_EQ(p.dir.file("Docs\\"), text(VSYST_Pathes::getBaseDocumentsPath()));
        const std::string user = p.dir.file("Roaming") + kOwn, common = p.dir.file("Common") + kOwn;
        EXPECT_EQ(user, text(VSYST_Pathes::getAppDataPath()));
        EXPECT_EQ(common, text(VSYST_Pathes::getCommonAppDataPath()));
        EXPECT_TRUE(isFolder(user) && isFolder(common));
        VSYST_VersionInfo self(true);
        EXPECT_EQ(user + "|" + common, text(self.getApplUserBaseFilename()) + "|" + text(self.getApplGlobalBaseFilename()));
    }
}

TEST(Pathes, WithoutShellFoldersAndTheApplicationPath)
{
    orvtest::TempDir dir;
    orvtest::IatHook hook("OrvCore_Rudaru20.dll", "shell32.dll", "SHGetSpecialFolderLocation",
                          reinterpret_cast<void*>(&noFolder));
    const std::string full(259, 'x');
    DebugCapture log;
    const std::string over = full + "y", app = dir.file("App");
    const struct { const char* path; std::string want; } paths[] = {
        {full.c_str(), full}, {over.c_str(), full}, {nullptr, ""}, {app.c_str(), app}};
    for (const auto& c : paths) {
        VSYST_Pathes::setAppPath(c.path);
        EXPECT_EQ(c.want, VSYST_Pathes::getAppPath());
    }
    EXPECT_EQ(dir.file("App\\.CommonData") + kOwn, text(VSYST_Pathes::getCommonAppDataPath()));
    EXPECT_TRUE(isFolder(dir.file("App\\.CommonData") + kOwn));
    EXPECT_TRUE(VSYST_Pathes::getBaseDocumentsPath().isEmpty() && VSYST_Pathes::getAppDataPath().isEmpty());
    EXPECT_EQ(orvtest::crlf("VSYST_Pathes::setAppPath: a path of 260 characters is refused!\n"
                            "VSYST_Pathes::getBaseDocumentsPath fails! Uses working directory!\n"
                            "VSYST_Pathes::getAppDataPath fails! Uses working directory!\n"), log.all());
    VSYST_Pathes::setAppPath(full.c_str());   // a path that cannot be extended
    EXPECT_EQ("", text(VSYST_Pathes::getCommonAppDataPath()));
    EXPECT_NE(std::string::npos, log.all().find("getCommonAppDataPath: the path \"" + full + "\\.CommonData"));
    VSYST_Pathes::setAppPath("");
}

TEST(Pathes, FolderCreationAndSeparators)
{
    orvtest::TempDir dir;
    const std::string two = dir.file("a\\b");
    EXPECT_TRUE(VSYST_Pathes::EnsureThatDirectoryExists((two + "/").c_str()));
    EXPECT_TRUE(isFolder(two));
    EXPECT_TRUE(VSYST_Pathes::EnsureThatDirectoryExists(two.c_str()));
    orvtest::writeFile(dir.file("file"), "x");
    DebugCapture log;
    EXPECT_FALSE(VSYST_Pathes::EnsureThatDirectoryExists(dir.file("file\\sub").c_str()));
    EXPECT_EQ(orvtest::crlf("EnsureThatDirectoryExists \"" + dir.file("file") + "\" fails!\n" +
                            orvtest::systemText(ERROR_ALREADY_EXISTS) + "\n"), log.all());
    const char* cases[][2] = {{"", ""}, {"a", "a\\"}, {"a\\", "a\\"}, {"a/", "a/"}, {"C:", "C:\\"}};
    for (auto& c : cases) EXPECT_EQ(c[1], text(VSYST_Pathes::ensureTrailingSeparator(c[0])));
}

TEST(Pathes, BaseProjectPathDefaultAndStoredValues)
{
    Profile p("");
    char windows[MAX_PATH], cwd[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    ASSERT_EQ(std::string(windows, 2), p.dir.path().substr(0, 2)) << "the default is relative to that drive";
    GetCurrentDirectoryA(MAX_PATH, cwd);
    SetCurrentDirectoryA(p.dir.path().c_str());
    const std::string defaultPath = std::string(windows, 2) + "Projects";
    const std::string block = orvtest::crlf("VSYST_Pathes::getBaseProjectPath\n\tno BaseProjectPath found in "
        "registry!\n\tWindows directory is \"" + std::string(windows) + "\"\n\tset BaseProjectPath to \"" +
        defaultPath + "\"\n");
    const struct { bool key; const char* value; std::string want, log, stored; } cases[] = {
        {false, nullptr, defaultPath + "\\", block, "(no key)"}, {true, nullptr, defaultPath + "\\", block, defaultPath},
        {true, "D:\\Work", "D:\\Work\\", "", "D:\\Work"}, {true, "D:\\Work/", "D:\\Work/", "", "D:\\Work/"}};
    for (const auto& c : cases) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Brakmar");
        HKEY k;
        if (c.key && RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Brakmar", &k) == ERROR_SUCCESS) RegCloseKey(k);
        if (c.value)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\Brakmar", "BaseProjectPath", REG_SZ, c.value,
                            DWORD(strlen(c.value) + 1));
        DebugCapture log;
        EXPECT_EQ(c.want, text(VSYST_Pathes::getBaseProjectPath()));
        EXPECT_EQ(c.log, log.all());
        char stored[MAX_PATH] = "(no key)";
        DWORD size = sizeof stored;
        RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Brakmar", "BaseProjectPath", RRF_RT_REG_SZ, nullptr, stored, &size);
        EXPECT_EQ(c.stored, stored) << c.want;
    }
    EXPECT_TRUE(isFolder(p.dir.file("Projects")));
    SetCurrentDirectoryA(cwd);
}
