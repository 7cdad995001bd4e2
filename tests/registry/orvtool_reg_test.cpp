// orvtool reg, run as a separate program, checked against the registry API.
#include "reg_test_util.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

using namespace regtest;
using orvtest::runOrvtool;

TEST(OrvtoolReg, WritesReadsListsCopiesAndDeletes)
{
    orvtest::TestRegKey tk("orvtool-reg");
    const std::string key = "HKCU\\" + tk.subPath();
    // What reg set stores; reg list below shows it as read back (kinds included).
    const char* const sets[][3] = {
        {"b", "binary", "00ff10"}, {"e", "envstring", "%ORVTEST_TOOL%-x"}, {"f", "float", "2.5"},
        {"i", "int", "-5"}, {"n", "binary", ""}, {"s", "string", "hello world"}, {"u", "int", "0xFFFFFFFF"},
    };
    for (const auto& s : sets) ASSERT_EQ(0u, runOrvtool({"reg", "set", key, s[0], s[1], s[2]}).exitCode) << s[0];
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, tk.subPath(), "z", REG_MULTI_SZ, std::string("a\0\0", 3)));
    EXPECT_EQ("%ORVTEST_TOOL%-x\ntool-x\n",
              runOrvtool({"reg", "get", key, "e"}, {"ORVTEST_TOOL=tool"}).out +
                  runOrvtool({"reg", "get", key, "e", "--expand"}, {"ORVTEST_TOOL=tool"}).out);

    // The sub-keys, then the values in the registry's own order: as written, and by name.
    ASSERT_EQ(0u, runOrvtool({"reg", "set", key + "\\sub\\deep", "v", "int", "7"}).exitCode);
    EXPECT_EQ("HKEY_CURRENT_USER\\" + tk.subPath() + "\nkey\tsub\nvalue\tb\tbinary\t00ff10\n"
              "value\te\tstring\t%ORVTEST_TOOL%-x\nvalue\tf\tfloat\t2.5\nvalue\ti\tint\t-5\nvalue\tn\tbinary\t\n"
              "value\ts\tstring\thello world\nvalue\tu\tint\t-1\n"
              "value\tz\tother\t(cannot decode: REG_MULTI_SZ, 3 bytes)\n",
              runOrvtool({"reg", "list", key}).out);

    // Copying and deleting a tree, each again where there is nothing to do; reading from a key that is gone.
    EXPECT_EQ(0u, runOrvtool({"reg", "copy", key + "\\sub", key + "\\copied"}).exitCode);
    EXPECT_EQ(1u, runOrvtool({"reg", "copy", key + "\\nosuch", key + "\\x"}).exitCode);
    EXPECT_EQ("7\n", runOrvtool({"reg", "get", key + "\\copied\\deep", "v"}).out);
    EXPECT_EQ(0u, runOrvtool({"reg", "delete", key + "\\copied", "--recursive"}).exitCode);
    EXPECT_EQ(1u, runOrvtool({"reg", "delete", key + "\\copied", "--recursive"}).exitCode);
    EXPECT_EQ(1u, runOrvtool({"reg", "get", key + "\\copied", "s"}).exitCode);

    // Usage errors exit with 2, before anything is written.
    const std::vector<std::vector<std::string>> bad = {
        {"reg"}, {"reg", "get", key}, {"reg", "get", "NoSuchRoot\\x", "v"}, {"reg", "delete", "HKCU"}, {"reg", "list"},
        {"reg", "set", key, "x", "int", "12abc"}, {"reg", "set", key, "x", "int", "4294967296"},
        {"reg", "set", key, "x", "float", "one"}, {"reg", "set", key, "x", "binary", "abc"},
        {"reg", "set", key, "x", "binary", "zz"}, {"reg", "set", key, "x", "qword", "1"},
    };
    for (const auto& args : bad) EXPECT_EQ(2u, runOrvtool(args).exitCode) << args.back();
}

TEST(OrvtoolReg, StandardKeysAndTheTour)
{
    // orvtool's version resource: RegBase Brakmar\OrvTool, version 2.0. The
    // tour opens the standard log, whose registry lookup creates the platform
    // key: remove what this run created.
    const std::string base = "Software\\Brakmar\\OrvTool\\2.0", platform = "Software\\Brakmar\\T.R.I.O.N.(R) Platform";
    const bool baseExisted = keyExists(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool");
    const bool settingsExisted = keyExists(HKEY_CURRENT_USER, base + "\\Settings");

    // The tour looks at the settings key without creating it.
    orvtest::TempDir logs;
    const std::string tour = runOrvtool({"tour"}, {"ORV_DIR_LOGFILES=" + logs.path()}).out;
    EXPECT_NE(std::string::npos,
              tour.find("   registry base:      Brakmar\\OrvTool (from the version resource), version 2.0\n"
                        "   basic key name:     " + base + "\n   settings key:       HKEY_CURRENT_USER\\" + base +
                        (settingsExisted ? "\\Settings (present)\n" : "\\Settings (not present)\n")))
        << tour;
    EXPECT_EQ(baseExisted, keyExists(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool"));

    ASSERT_EQ(0u, runOrvtool({"reg", "set", "CurrentUserSettings\\OrvCoreTest", "v", "string", "x"}).exitCode);
    EXPECT_EQ("x\n", runOrvtool({"reg", "get", "VSYST_RSK_CurrentUserSettings\\OrvCoreTest", "v"}).out);
    const std::string list = runOrvtool({"reg", "list", "currentusersettings"}).out;
    EXPECT_EQ(0u, list.find("HKEY_CURRENT_USER\\" + base + "\\Settings\n")) << list;
    EXPECT_EQ(0u, runOrvtool({"reg", "delete", "CurrentUserSettings\\OrvCoreTest"}).exitCode);

    if (!baseExisted) RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool");
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, platform, 2);
}
