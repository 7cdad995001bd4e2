// Module levels against the machine's registry (fixed keys, under a lock), and orvtool diag.
#include "VDIAG_FailureDiagnostics.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

using Diag = VDIAG_FailureDiagnostics;

namespace {

const std::string kPath[] = {"Software\\Brakmar", "Software\\Brakmar\\T.R.I.O.N.(R) Platform",
                             "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Diagnostics",
                             "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Diagnostics\\Application"};
const char* const kApp = kPath[3].c_str();

DWORD stored(const std::string& name)   // 0xDEAD: no REG_DWORD value
{
    DWORD value = 0xDEAD, size = sizeof value;
    return RegGetValueA(HKEY_LOCAL_MACHINE, kApp, name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) ? 0xDEAD : value;
}
void store(const std::string& name, DWORD value) { RegSetKeyValueA(HKEY_LOCAL_MACHINE, kApp, name.c_str(), REG_DWORD, &value, 4); }
void drop(const std::string& name) { RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kApp, name.c_str()); }

// The library only opens the platform key, so it is made here. Puts back every
// value named through it and removes the keys that were not there before.
class Levels {
public:
    Levels()
    {
        for (const std::string& p : kPath) {
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, p.c_str(), 0, KEY_READ, &m_key)) ++m_missing;
            else RegCloseKey(m_key);
        }
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPath[1].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
    }
    ~Levels()
    {
        RegCloseKey(m_key);
        m_restorers.clear();
        for (int i = 3; i >= 4 - m_missing; --i) orvtest::removeEmptyKeys(HKEY_LOCAL_MACHINE, kPath[i], 1);
    }
    std::string watch(const std::string& name)
    {
        m_restorers.emplace_back(new orvtest::RegValueRestorer(HKEY_LOCAL_MACHINE, kApp, name));
        return name;
    }
    std::string module(const std::string& tag) { return watch("OrvTest-" + std::to_string(GetCurrentProcessId()) + "-" + tag); }

private:
    int m_missing = 0;
    HKEY m_key = nullptr;
    std::vector<std::unique_ptr<orvtest::RegValueRestorer>> m_restorers;
};

}  // namespace

TEST(ModuleLevels, RegistryRulesReferencesAndGrowth)
{
    Levels levels;
    // No value: level 0 and a value 0 is made; while it stays, the slot is not read again.
    const std::string missing = levels.module("missing"), three = levels.module("three"), minus = levels.module("minus");
    int& a = Diag::getModuleDiagLevel(missing.c_str());
    EXPECT_TRUE(a == 0 && stored(missing) == 0);
    a = 7;
    EXPECT_TRUE(&a == &Diag::getModuleDiagLevel(missing.c_str()) && a == 7);
    drop(missing);   // missing again: the same slot, back to 0, the value made again
    EXPECT_TRUE(&a == &Diag::getModuleDiagLevel(missing.c_str()) && a == 0 && stored(missing) == 0);

    // The first level read stays for the process; -1 is a level like any other.
    store(three, 3);
    store(minus, 0xFFFFFFFF);
    int& b = Diag::getModuleDiagLevel(three.c_str());
    EXPECT_EQ(3, b);
    store(three, 5);
    EXPECT_TRUE(&b == &Diag::getModuleDiagLevel(three.c_str()) && b == 3);
    EXPECT_EQ(-1, Diag::getModuleDiagLevel(minus.c_str()));

    // References round trip; an index never given out counts as -1; a given one reads no registry.
    const int refThree = Diag::getModuleDiagLevelRef(three.c_str());
    EXPECT_GE(Diag::getModuleDiagLevelRef(minus.c_str()), 0);
    for (int start : {-1, 100000, -7}) {
        int ref = start;
        EXPECT_TRUE(&b == &Diag::getModuleDiagLevelFromRef(ref, three.c_str()) && ref == refThree) << start;
    }
    int ref = Diag::getModuleDiagLevelRef(missing.c_str());
    drop(missing);
    EXPECT_EQ(&a, &Diag::getModuleDiagLevelFromRef(ref, "another name"));
    EXPECT_EQ(0xDEADu, stored(missing));

    drop(levels.watch(""));   // a null module is the empty name, at level 0, and writes no value
    EXPECT_EQ(&Diag::getModuleDiagLevel(""), &Diag::getModuleDiagLevel(nullptr));
    EXPECT_TRUE(Diag::getModuleDiagLevel(nullptr) == 0 && stored("") == 0xDEAD);

    // Past 100 modules the table grows; slots and references stay.
    std::vector<std::string> names;
    for (int i = 0; i < 130; ++i) store(names.emplace_back(levels.module(std::to_string(i))), static_cast<DWORD>(i));
    const int firstRef = Diag::getModuleDiagLevelRef(names[0].c_str());
    for (int i = 0; i < 130; ++i) {
        EXPECT_EQ(i, Diag::getModuleDiagLevel(names[i].c_str()));
        EXPECT_EQ(firstRef + i, Diag::getModuleDiagLevelRef(names[i].c_str()));
    }
    EXPECT_EQ(&b, &Diag::getModuleDiagLevel(three.c_str())) << "a slot moved as the table grew";
    for (int i = 0; i < 130; ++i) {
        int ref = firstRef + i;
        EXPECT_EQ(i, Diag::getModuleDiagLevelFromRef(ref, nullptr));
    }
}

TEST(ModuleLevels, UnopenableKeysGiveLevelZero)
{
    // HKEY_LOCAL_MACHINE seen through an empty key.
    orvtest::TestRegKey empty("diaglevels");
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, empty.handle()));
    Diag::getModuleDiagLevel("OrvTest-unopenable") = 4;
    EXPECT_EQ(0, Diag::getModuleDiagLevel("OrvTest-unopenable"));
    HKEY k;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(empty.handle(), "Software", 0, KEY_READ, &k)) << "something was written";
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
}

TEST(OrvtoolDiag, LevelEventAndTour)
{
    Levels levels;
    const std::string module = levels.module("tool");
    auto orvtool = [](const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        const orvtest::ChildResult r = orvtest::runOrvtool(args, env);
        return std::make_pair(r.exitCode, r.out);
    };
    EXPECT_EQ(std::make_pair(0ul, "module \"" + module + "\": level 6 (slot 0)\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Brakmar\\"
                                  "T.R.I.O.N.(R) Platform\\Diagnostics\\Application: \"" + module + "\" = 6\n"),
              orvtool({"diag", "level", module, "6"}));
    EXPECT_EQ(6u, stored(module));
    EXPECT_EQ(0u, orvtool({"diag", "level", module}).second.find("module \"" + module + "\": level 6 (slot 0)\n"));
    EXPECT_EQ(2u, orvtool({"diag", "level", module, "six"}).first);
    EXPECT_EQ(2u, orvtool({"diag", "frobnicate"}).first);
    EXPECT_EQ(std::make_pair(0ul, std::string("event 1 (information) written under the source \"Orv Test\": from the test\n")),
              orvtool({"diag", "event", "from the test", "--source", "Orv Test"}));

    orvtest::TempDir logs;
    const std::string tour = orvtool({"tour"}, {"ORV_DIR_LOGFILES=" + logs.path()}).second;
    for (const char* text : {"nested context:  number 1, nesting 2, header hidden: yes\n",
                             "hresult(0): the thread's error information says (none)\n",
                             "orvtool: diagnostics of request 1\n{\n}\nReturn code: HRESULT = 0x80070005\n"
                             "Return code: HRESULT = 0x00000000\n"})
        EXPECT_NE(std::string::npos, tour.find(text)) << text << tour;
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 2);
}
