// Module levels in the machine's registry (seen through a key of the test's
// own), and orvtool diag against the real machine key, under a lock.
#include "VDIAG_FailureDiagnostics.h"
#include "registry/reg_test_util.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

using Diag = VDIAG_FailureDiagnostics;

namespace {

const char kPlatform[] = "Software\\Brakmar\\T.R.I.O.N.(R) Platform";
const char kApp[] = "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Diagnostics\\Application";

DWORD stored(const std::string& name)   // 0xDEAD: no REG_DWORD value
{
    DWORD value = 0xDEAD, size = sizeof value;
    return RegGetValueA(HKEY_LOCAL_MACHINE, kApp, name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) ? 0xDEAD : value;
}
void store(const std::string& name, DWORD value) { RegSetKeyValueA(HKEY_LOCAL_MACHINE, kApp, name.c_str(), REG_DWORD, &value, 4); }
void drop(const std::string& name) { RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kApp, name.c_str()); }

}  // namespace

TEST(ModuleLevels, RegistryRulesReferencesGrowthAndOrvtoolsLevelEventAndTour)
{
    {
        regtest::RootOverride roots("diaglevels");
        ASSERT_TRUE(roots.ok);
        // Without the platform key: level 0, whatever was set, and nothing written.
        Diag::getModuleDiagLevel("unopenable") = 4;
        EXPECT_EQ(0, Diag::getModuleDiagLevel("unopenable"));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(roots.of(HKEY_LOCAL_MACHINE), "Software")) << "something was written";

        // The library only opens the platform key.
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, kPlatform, nullptr, REG_SZ, "", 1));
        // No value: level 0 and a value 0 is made; while it stays, the slot is not read again.
        const std::string missing = "missing", three = "three", minus = "minus";
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
        for (int start : {-1, 100000, -7}) {
            int ref = start;
            EXPECT_TRUE(&b == &Diag::getModuleDiagLevelFromRef(ref, three.c_str()) && ref == refThree) << start;
        }
        int ref = Diag::getModuleDiagLevelRef(missing.c_str());
        drop(missing);
        EXPECT_EQ(&a, &Diag::getModuleDiagLevelFromRef(ref, "another name"));
        EXPECT_EQ(0xDEADu, stored(missing));

        // A null module is the empty name, at level 0, and writes no value.
        EXPECT_EQ(&Diag::getModuleDiagLevel(""), &Diag::getModuleDiagLevel(nullptr));
        EXPECT_TRUE(Diag::getModuleDiagLevel(nullptr) == 0 && stored("") == 0xDEAD);

        // Past 100 modules the table grows; slots and references stay.
        for (int i = 0; i < 130; ++i) store("m" + std::to_string(i), static_cast<DWORD>(i));
        const int firstRef = Diag::getModuleDiagLevelRef("m0");
        for (int i = 0; i < 130; ++i) {
            EXPECT_EQ(i, Diag::getModuleDiagLevel(("m" + std::to_string(i)).c_str()));
            int ref = firstRef + i;
            EXPECT_EQ(i, Diag::getModuleDiagLevelFromRef(ref, nullptr));
        }
        EXPECT_EQ(&b, &Diag::getModuleDiagLevel(three.c_str())) << "a slot moved as the table grew";
    }

    // orvtool runs in a process of its own: the machine key itself, made here.
    ASSERT_TRUE(regtest::createRaw(HKEY_LOCAL_MACHINE, kPlatform));
    const std::string module = "OrvTest-" + std::to_string(GetCurrentProcessId());
    auto orvtool = [](const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        const orvtest::ChildResult r = orvtest::runOrvtool(args, env);
        return std::make_pair(r.exitCode, r.out);
    };
    EXPECT_EQ(std::make_pair(0ul, "module \"" + module + "\": level 6 (slot 0)\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Brakmar\\"
                                  "T.R.I.O.N.(R) Platform\\Diagnostics\\Application: \"" + module + "\" = 6\n"),
              orvtool({"diag", "level", module, "6"}));
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
    drop(module);
    orvtest::removeEmptyKeys(HKEY_LOCAL_MACHINE, kApp, 4);
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, kPlatform, 2);
}
