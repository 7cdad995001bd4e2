// Standard keys and the basic key name. This program carries its own version
// resource (stdkeys_app.rc: RegBase OrvCoreTest\StdKeyApp, version 3.4.0.9).
// Tests of keys at fixed places redirect the process's root keys below a
// private test key, so nothing outside it is touched.
#include "VSYST_RegistryKey.h"
#include "reg_test_util.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

using namespace regtest;

namespace {

const char kOwnBasic[] = "Software\\OrvCoreTest\\StdKeyApp\\3.4";
const char kGenericBasic[] = "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Generic Application\\2.178";

}  // namespace

TEST(StandardKeys, EveryStandardKeySubKeysAndTheNonSpecificBase)
{
    RootOverride roots("stdkeys-table");
    ASSERT_TRUE(roots.ok);
    // The table, spelled out independently of the library.
    const std::string basic = kOwnBasic, platform = "Software\\Brakmar\\T.R.I.O.N.(R) Platform";
    struct Expected { VSYST_RegistryStandardKey key; HKEY root; std::string path; } table[] = {
        {VSYST_RSK_LocalMachineCompany, HKEY_LOCAL_MACHINE, "Software\\Brakmar"},
        {VSYST_RSK_LocalMachineBase, HKEY_LOCAL_MACHINE, basic},
        {VSYST_RSK_LocalMachineSettings, HKEY_LOCAL_MACHINE, basic + "\\Settings"},
        {VSYST_RSK_DefaultUserBase, HKEY_USERS, ".DEFAULT\\" + basic},
        {VSYST_RSK_DefaultUserSettings, HKEY_USERS, ".DEFAULT\\" + basic + "\\Settings"},
        {VSYST_RSK_CurrentUserCompany, HKEY_CURRENT_USER, "Software\\Brakmar"},
        {VSYST_RSK_CurrentUserBase, HKEY_CURRENT_USER, basic},
        {VSYST_RSK_CurrentUserSession, HKEY_CURRENT_USER, basic + "\\Session"},
        {VSYST_RSK_CurrentUserSettings, HKEY_CURRENT_USER, basic + "\\Settings"},
        {VSYST_RSK_LocalMachinePlatform, HKEY_LOCAL_MACHINE, platform},
        {VSYST_RSK_CurrentUserPlatform, HKEY_CURRENT_USER, platform},
        {VSYST_RSK_LocalMachineExplorer, HKEY_LOCAL_MACHINE, platform + "\\Explorer"},
        {VSYST_RSK_CurrentUserExplorer, HKEY_CURRENT_USER, platform + "\\Explorer"},
        {VSYST_RSK_CurrentUserExplorerSettings, HKEY_CURRENT_USER, platform + "\\Explorer\\Settings"},
    };
    // Nothing is opened or created without create; values outside the table
    // open nothing even with it.
    const V_STRING sub("sub");
    for (const Expected& e : table)
        EXPECT_FALSE(VSYST_RegistryKey(e.key, false).isValid() || VSYST_RegistryKey(e.key, false, VSYST_RegReadOnly).isValid() ||
                     VSYST_RegistryKey(e.key, false, &sub).isValid() ||
                     VSYST_RegistryKey(e.key, false, sub, VSYST_RegReadOnly).isValid())
            << e.path;
    for (int value : {9, 0x0FFF, 0x1005, -1, 0x7FFFFFFF}) {
        const auto outside = static_cast<VSYST_RegistryStandardKey>(value);
        EXPECT_FALSE(VSYST_RegistryKey(outside, true).isValid() || VSYST_RegistryKey(outside, true, sub).isValid()) << value;
    }

    // Created, with every missing parent, exactly there; found again without
    // create, read-only when asked.
    for (const Expected& e : table) {
        const std::string marker = "marker-" + std::to_string(e.key);
        ASSERT_TRUE(VSYST_RegistryKey(e.key, true).setIntValue(marker.c_str(), e.key)) << e.path;
        EXPECT_TRUE(readRaw(roots.of(e.root), e.path, marker)) << e.path;
        VSYST_RegistryKey again(e.key, false, VSYST_RegReadOnly);
        EXPECT_EQ(e.key, again.getIntValue(marker.c_str(), -1L)) << e.path;
        EXPECT_FALSE(again.setIntValue("x", 1)) << e.path;
    }

    // Sub-keys below a standard key, in every form.
    HKEY cu = roots.of(HKEY_CURRENT_USER);
    const std::string settings = basic + "\\Settings";
    V_STRING grid("Tools\\Grid");
    ASSERT_TRUE(VSYST_RegistryKey(VSYST_RSK_CurrentUserSettings, true, &grid).setIntValue("size", 10));
    EXPECT_TRUE(keyExists(cu, settings + "\\Tools\\Grid"));
    // The reference form reaches the same key; a null pointer means no sub-key (the marker above).
    EXPECT_EQ(10, VSYST_RegistryKey(VSYST_RSK_CurrentUserSettings, false, grid).getIntValue("size", 0L));
    EXPECT_EQ(8, VSYST_RegistryKey(VSYST_RSK_CurrentUserSettings, false, static_cast<const V_STRING*>(nullptr))
                     .getIntValue("marker-8", 0L));
    // Read-only when asked, for every form.
    VSYST_RegistryKey ro1(VSYST_RSK_CurrentUserSettings, false, &grid, VSYST_RegReadOnly);
    VSYST_RegistryKey ro2(VSYST_RSK_CurrentUserSettings, true, grid, VSYST_RegReadOnly);
    for (const VSYST_RegistryKey* k : {&ro1, &ro2}) EXPECT_TRUE(k->getIntValue("size", 0L) == 10 && !k->setIntValue("size", 11));
    EXPECT_TRUE(VSYST_RegistryKey(VSYST_RSK_CurrentUserSettings, false, grid, VSYST_RegReadWrite).setIntValue("size", 12));
    // A missing key created on a read-only request comes back writable:
    // creation always asks for read and write.
    V_STRING fresh("Fresh");
    EXPECT_TRUE(VSYST_RegistryKey(VSYST_RSK_CurrentUserSettings, true, &fresh, VSYST_RegReadOnly).setIntValue("v", 1));

    // A non-specific base moves the keys opened after it; one opened before keeps its place.
    VSYST_RegistryKey before(VSYST_RSK_CurrentUserSettings, true);
    VSYST_RegistryKey::setNonSpecificRegBase("Software\\X\\Y");
    EXPECT_TRUE(VSYST_RegistryKey(VSYST_RSK_CurrentUserSettings, true).isValid());
    EXPECT_TRUE(keyExists(cu, "Software\\X\\Y\\Settings"));
    ASSERT_TRUE(before.setIntValue("old", 1));
    EXPECT_TRUE(readRaw(cu, settings, "old"));
    // Null changes nothing.
    VSYST_RegistryKey::setNonSpecificRegBase(nullptr);
    EXPECT_EQ("Software\\X\\Y", text(VSYST_RegistryKey::getBasicKeyName()));
    // Short paths: nothing after the first nine characters, and no reading past the end.
    const char* const shortPaths[][2] = {{"Soft", ""}, {"Software\\", ""}, {"S", ""}, {"Software\\Z", "Z"}};
    for (const auto& p : shortPaths) {
        VSYST_RegistryKey::setNonSpecificRegBase(p[0]);
        EXPECT_EQ(std::string(p[0]) + "|" + p[1],
                  text(VSYST_RegistryKey::getBasicKeyName()) + "|" + text(VSYST_RegistryKey::getBasicKeyNameSoftware()));
    }
    // An empty path gives the executable's own name back.
    VSYST_RegistryKey::setNonSpecificRegBase("");
    EXPECT_EQ(kOwnBasic, text(VSYST_RegistryKey::getBasicKeyName()));
}

TEST(StandardKeys, RegistryBaseModule)
{
    if (!orvtest::aloneInProcess()) return;
    RootOverride roots("stdkeys-module");
    ASSERT_TRUE(roots.ok);
    const std::string dir = orvtest::exeDir() + "\\";
    HMODULE full = LoadLibraryA((dir + "vi_full.dll").c_str()), v800 = LoadLibraryA((dir + "vi_v800.dll").c_str());
    HMODULE none = LoadLibraryA((dir + "vi_none.dll").c_str());
    // Without force, a module set before any key is opened decides that key's place.
    EXPECT_EQ(nullptr, VSYST_RegistryKey::setNonSpecificRegBaseModule(full, false));
    EXPECT_TRUE(VSYST_RegistryKey(VSYST_RSK_CurrentUserSession, true).isValid());
    EXPECT_TRUE(keyExists(roots.of(HKEY_CURRENT_USER), "Software\\Brakmar\\VITest\\7.1\\Session"));
    EXPECT_EQ("Software\\Brakmar\\VITest\\7.1", text(VSYST_RegistryKey::getBasicKeyName()));
    // Once a module is set (and the name computed), only force changes it.
    EXPECT_EQ(full, VSYST_RegistryKey::setNonSpecificRegBaseModule(v800, false));
    EXPECT_EQ("Software\\Brakmar\\VITest\\7.1", text(VSYST_RegistryKey::getBasicKeyName()));
    EXPECT_EQ(full, VSYST_RegistryKey::setNonSpecificRegBaseModule(v800, true));
    EXPECT_EQ("Software\\Brakmar\\VITest\\8.0", text(VSYST_RegistryKey::getBasicKeyName()));
    // A module without a version resource gives the generic base; forcing null goes back to the executable.
    EXPECT_EQ(v800, VSYST_RegistryKey::setNonSpecificRegBaseModule(none, true));
    EXPECT_EQ(kGenericBasic, text(VSYST_RegistryKey::getBasicKeyName()));
    EXPECT_EQ(none, VSYST_RegistryKey::setNonSpecificRegBaseModule(nullptr, true));
    EXPECT_EQ(kOwnBasic, text(VSYST_RegistryKey::getBasicKeyName()));
    // With the name computed, a module without force is not set, then or later.
    EXPECT_EQ(nullptr, VSYST_RegistryKey::setNonSpecificRegBaseModule(full, false));
    EXPECT_EQ(kOwnBasic, text(VSYST_RegistryKey::getBasicKeyName()));
    EXPECT_EQ(nullptr, VSYST_RegistryKey::setNonSpecificRegBaseModule(full, true));
    // A non-specific base clears the module and wins over any module set later.
    VSYST_RegistryKey::setNonSpecificRegBase("Software\\Fixed");
    EXPECT_EQ(nullptr, VSYST_RegistryKey::setNonSpecificRegBaseModule(full, true));
    EXPECT_EQ("Software\\Fixed", text(VSYST_RegistryKey::getBasicKeyName()));
}
