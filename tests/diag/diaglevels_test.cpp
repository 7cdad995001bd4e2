// Module levels against the machine's registry, and orvtool diag. The keys are
// fixed, so this suite runs under a lock; module names carry the process id.
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
const std::string& kApplication = kPath[3];

bool keyExists(const std::string& path)
{
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

// Makes the platform key exist (the library only opens it), restores every
// module value named through it and removes the keys it or the library created.
class Levels {
public:
    Levels()
    {
        for (const std::string& p : kPath) m_missing += keyExists(p) ? 0 : 1;
        HKEY k;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPath[1].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) ==
            ERROR_SUCCESS)
            RegCloseKey(k);
    }
    ~Levels()
    {
        m_restorers.clear();
        for (int i = 3; i >= 4 - m_missing; --i) orvtest::removeEmptyKeys(HKEY_LOCAL_MACHINE, kPath[i], 1);
    }
    std::string module(const std::string& tag) { return watch("OrvTest-" + std::to_string(GetCurrentProcessId()) + "-" + tag); }
    std::string watch(const std::string& name)
    {
        m_restorers.emplace_back(new orvtest::RegValueRestorer(HKEY_LOCAL_MACHINE, kApplication, name));
        return name;
    }
    static bool read(const std::string& name, DWORD& value)
    {
        DWORD type = 0, size = sizeof value;
        return RegGetValueA(HKEY_LOCAL_MACHINE, kApplication.c_str(), name.c_str(), RRF_RT_ANY, &type, &value, &size) ==
                   ERROR_SUCCESS && type == REG_DWORD;
    }
    static void write(const std::string& name, DWORD value)
    {
        HKEY k;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kApplication.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &k, nullptr));
        RegSetValueExA(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegCloseKey(k);
    }
    static void remove(const std::string& name) { RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kApplication.c_str(), name.c_str()); }

private:
    int m_missing = 0;
    std::vector<std::unique_ptr<orvtest::RegValueRestorer>> m_restorers;
};

}  // namespace

TEST(ModuleLevels, RegistryRulesAndReferences)
{
    Levels levels;
    DWORD stored = 99;
    // No value: level 0, and a REG_DWORD 0 appears.
    const std::string missing = levels.module("missing");
    int& a = Diag::getModuleDiagLevel(missing.c_str());
    EXPECT_EQ(0, a);
    ASSERT_TRUE(Levels::read(missing, stored));
    EXPECT_EQ(0u, stored);
    a = 7;   // the value now exists: the slot is not read again
    EXPECT_EQ(&a, &Diag::getModuleDiagLevel(missing.c_str()));
    EXPECT_EQ(7, a);
    Levels::remove(missing);   // missing again: same slot, back to 0, value made again
    EXPECT_EQ(&a, &Diag::getModuleDiagLevel(missing.c_str()));
    EXPECT_EQ(0, a);
    EXPECT_TRUE(Levels::read(missing, stored));

    // A stored level is read once; later changes do not reach the slot. -1 is a level.
    const std::string three = levels.module("three"), minus = levels.module("minus");
    Levels::write(three, 3);
    Levels::write(minus, 0xFFFFFFFF);
    int& b = Diag::getModuleDiagLevel(three.c_str());
    EXPECT_EQ(3, b);
    Levels::write(three, 5);
    EXPECT_EQ(&b, &Diag::getModuleDiagLevel(three.c_str()));
    EXPECT_EQ(3, b);
    EXPECT_EQ(-1, Diag::getModuleDiagLevel(minus.c_str()));

    // References: the index round trip, no registry read through a given index,
    // and an index never given out treated as -1.
    const int refMinus = Diag::getModuleDiagLevelRef(minus.c_str());
    const int refThree = Diag::getModuleDiagLevelRef(three.c_str());
    EXPECT_GE(refMinus, 0);
    EXPECT_NE(refThree, refMinus);
    for (int start : {-1, 100000, -7}) {
        int ref = start;
        EXPECT_EQ(&b, &Diag::getModuleDiagLevelFromRef(ref, three.c_str())) << start;
        EXPECT_EQ(refThree, ref) << start;
    }
    int ref = Diag::getModuleDiagLevelRef(missing.c_str());
    Levels::remove(missing);
    EXPECT_EQ(&a, &Diag::getModuleDiagLevelFromRef(ref, "another name"));
    EXPECT_FALSE(Levels::read(missing, stored)) << "a given index reads no registry";

    // A null module is the empty name.
    levels.watch("");
    EXPECT_EQ(&Diag::getModuleDiagLevel(""), &Diag::getModuleDiagLevel(nullptr));
}

TEST(ModuleLevels, TableGrowsPast100Modules)
{
    Levels levels;
    std::vector<std::string> names;
    for (int i = 0; i < 130; ++i) {
        names.push_back(levels.module(std::to_string(i)));
        Levels::write(names.back(), static_cast<DWORD>(i));
    }
    int* first = &Diag::getModuleDiagLevel(names[0].c_str());
    const int firstRef = Diag::getModuleDiagLevelRef(names[0].c_str());
    for (int i = 1; i < 130; ++i) {
        EXPECT_EQ(i, Diag::getModuleDiagLevel(names[i].c_str()));
        EXPECT_EQ(firstRef + i, Diag::getModuleDiagLevelRef(names[i].c_str()));
    }
    EXPECT_EQ(first, &Diag::getModuleDiagLevel(names[0].c_str())) << "a slot moved as the table grew";
    for (int i = 0; i < 130; ++i) {
        int ref = firstRef + i;
        EXPECT_EQ(i, Diag::getModuleDiagLevelFromRef(ref, nullptr));
    }
}

TEST(ModuleLevels, UnopenableKeysGiveLevelZero)
{
    // HKEY_LOCAL_MACHINE seen through an empty key: the platform key is missing.
    orvtest::TestRegKey empty("diaglevels");
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, empty.handle()));
    int& level = Diag::getModuleDiagLevel("OrvTest-unopenable");
    level = 4;
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
        orvtest::ChildResult r = orvtest::runProgram(orvtest::exeDir() + "\\orvtool.exe", args, env);
        std::string out;
        for (char c : r.out)
            if (c != '\r') out += c;
        return std::make_pair(r.exitCode, out);
    };
    auto set = orvtool({"diag", "level", module, "6"});
    EXPECT_EQ(0u, set.first);
    EXPECT_EQ(0u, set.second.find("module \"" + module + "\": level 6 (slot 0)\n")) << set.second;
    DWORD stored = 0;
    EXPECT_TRUE(Levels::read(module, stored));
    EXPECT_EQ(6u, stored);
    EXPECT_EQ(0u, orvtool({"diag", "level", module}).second.find("module \"" + module + "\": level 6")) << "shown again";
    EXPECT_EQ(2u, orvtool({"diag", "level", module, "six"}).first);
    EXPECT_EQ(2u, orvtool({"diag", "frobnicate"}).first);

    auto event = orvtool({"diag", "event", "from the test", "--source", "Orv Test"});
    EXPECT_EQ(0u, event.first);
    EXPECT_EQ("event 1 (information) written under the source \"Orv Test\": from the test\n", event.second);

    orvtest::TempDir logs;
    auto tour = orvtool({"tour"}, {"ORV_DIR_LOGFILES=" + logs.path()});
    const std::string& out = tour.second;
    EXPECT_NE(std::string::npos, out.find("nested context:  number 1, nesting 2, header hidden: yes\n")) << out;
    EXPECT_NE(std::string::npos, out.find("hresult(0): the thread's error information says (none)\n"));
    EXPECT_NE(std::string::npos, out.find("orvtool: diagnostics of request 1\n}\nReturn code: HRESULT = 0x80070005\n"
                                          "Return code: HRESULT = 0x00000000\n"));
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 2);
}
