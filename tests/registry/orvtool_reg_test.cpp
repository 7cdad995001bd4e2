// orvtool reg, run as a separate program, checked against the registry API.
#include "reg_test_util.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using namespace regtest;

namespace {

// orvtool run as a program, CR LF line ends of its standard output made LF.
orvtest::ChildResult orvtool(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
{
    orvtest::ChildResult r = orvtest::runProgram(orvtest::exeDir() + "\\orvtool.exe", args, env);
    r.out.erase(std::remove(r.out.begin(), r.out.end(), '\r'), r.out.end());
    return r;
}

}  // namespace

TEST(OrvtoolReg, WritesReadsListsCopiesAndDeletes)
{
    orvtest::TestRegKey tk("orvtool-reg");
    const std::string key = "HKCU\\" + tk.subPath();
    // What reg set stores and reg get shows.
    struct Set { const char* name; const char* kind; const char* data; DWORD type; std::string raw; const char* shown; };
    const Set sets[] = {
        {"s", "string", "hello world", REG_SZ, std::string("hello world\0", 12), "hello world"},
        {"e", "envstring", "%ORVTEST_TOOL%-x", REG_SZ, std::string("%ORVTEST_TOOL%-x\0", 17), "%ORVTEST_TOOL%-x"},
        {"i", "int", "-5", REG_DWORD, bytes({0xFB, 0xFF, 0xFF, 0xFF}), "-5"},
        {"u", "int", "0xFFFFFFFF", REG_DWORD, bytes({0xFF, 0xFF, 0xFF, 0xFF}), "-1"},
        {"f", "float", "2.5", REG_BINARY, bytes({'F', ':', 0, 0, 0, 0, 0, 0, 4, 0x40}), "2.5"},
        {"b", "binary", "00ff10", REG_BINARY, bytes({'B', ':', 0, 0xFF, 0x10}), "00ff10"},
        {"n", "binary", "", REG_BINARY, "B:", ""},
    };
    for (const Set& s : sets) {
        SCOPED_TRACE(s.name);
        ASSERT_EQ(0u, orvtool({"reg", "set", key, s.name, s.kind, s.data}).exitCode);
        DWORD type = 0;
        std::string data;
        ASSERT_TRUE(readRaw(HKEY_CURRENT_USER, tk.subPath(), s.name, &type, &data));
        EXPECT_EQ(s.type, type);
        EXPECT_EQ(s.raw, data);
        orvtest::ChildResult get = orvtool({"reg", "get", key, s.name});
        EXPECT_EQ(0u, get.exitCode);
        EXPECT_EQ(s.shown + std::string("\n"), get.out);
    }
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, tk.subPath(), "m", REG_MULTI_SZ, std::string("a\0\0", 3)));
    EXPECT_EQ("tool-x\n", orvtool({"reg", "get", key, "e", "--expand"}, {"ORVTEST_TOOL=tool"}).out);
    EXPECT_EQ(1u, orvtool({"reg", "get", key, "missing"}).exitCode);
    EXPECT_EQ(1u, orvtool({"reg", "get", key, "m"}).exitCode);   // not a kind of the library
    EXPECT_EQ(1u, orvtool({"reg", "get", key + "\\nosuch", "s"}).exitCode);

    ASSERT_EQ(0u, orvtool({"reg", "set", key + "\\sub\\deep", "v", "int", "7"}).exitCode);
    // The values in the registry's own order.
    orvtest::ChildResult list = orvtool({"reg", "list", key});
    EXPECT_EQ(0u, list.exitCode);
    std::istringstream in(list.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin() + std::min<size_t>(2, lines.size()), lines.end());
    EXPECT_EQ((std::vector<std::string>{"HKEY_CURRENT_USER\\" + tk.subPath(), "key\tsub", "value\tb\tbinary\t00ff10",
                                        "value\te\tstring\t%ORVTEST_TOOL%-x", "value\tf\tfloat\t2.5",
                                        "value\ti\tint\t-5", "value\tm\tother\t", "value\tn\tbinary\t",
                                        "value\ts\tstring\thello world", "value\tu\tint\t-1"}),
              lines);

    ASSERT_EQ(0u, orvtool({"reg", "copy", key + "\\sub", key + "\\copied"}).exitCode);
    std::string data;
    EXPECT_TRUE(readRaw(HKEY_CURRENT_USER, tk.subPath() + "\\copied\\deep", "v", nullptr, &data));
    EXPECT_EQ(bytes({7, 0, 0, 0}), data);
    EXPECT_EQ(1u, orvtool({"reg", "copy", key + "\\nosuch", key + "\\x"}).exitCode);

    EXPECT_EQ(0u, orvtool({"reg", "delete", key + "\\copied"}).exitCode);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, tk.subPath() + "\\copied"));
    EXPECT_EQ(0u, orvtool({"reg", "delete", key, "s"}).exitCode);
    EXPECT_FALSE(readRaw(HKEY_CURRENT_USER, tk.subPath(), "s"));
    EXPECT_EQ(1u, orvtool({"reg", "delete", key, "s"}).exitCode);
    EXPECT_EQ(1u, orvtool({"reg", "delete", key + "\\copied"}).exitCode);

    // Usage errors change nothing and exit with 2.
    const std::vector<std::vector<std::string>> bad = {
        {"reg"}, {"reg", "bogus"}, {"reg", "get", key}, {"reg", "get", "NoSuchRoot\\x", "v"},
        {"reg", "set", key, "x", "int", "12abc"}, {"reg", "set", key, "x", "int", "4294967296"},
        {"reg", "set", key, "x", "float", "one"}, {"reg", "set", key, "x", "binary", "abc"},
        {"reg", "set", key, "x", "binary", "zz"}, {"reg", "set", key, "x", "qword", "1"},
        {"reg", "delete", "HKCU"}, {"reg", "list"},
    };
    for (const auto& args : bad) EXPECT_EQ(2u, orvtool(args).exitCode) << args.back();
    EXPECT_FALSE(readRaw(HKEY_CURRENT_USER, tk.subPath(), "x"));
}

TEST(OrvtoolReg, StandardKeysAndTheTour)
{
    // orvtool's version resource: RegBase Brakmar\OrvTool, version 2.0. The
    // tour opens the standard log, whose registry lookup creates the platform
    // key: remove what this run created.
    const std::string base = "Software\\Brakmar\\OrvTool\\2.0", platform = "Software\\Brakmar\\T.R.I.O.N.(R) Platform";
    const bool brakmarExisted = keyExists(HKEY_CURRENT_USER, "Software\\Brakmar");
    const bool platformExisted = keyExists(HKEY_CURRENT_USER, platform);
    const bool baseExisted = keyExists(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool");
    const bool settingsExisted = keyExists(HKEY_CURRENT_USER, base + "\\Settings");

    // The tour looks at the settings key without creating it.
    orvtest::TempDir logs;
    const std::string tour = orvtool({"tour"}, {"ORV_DIR_LOGFILES=" + logs.path()}).out;
    EXPECT_NE(std::string::npos,
              tour.find("   registry base:      Brakmar\\OrvTool (from the version resource), version 2.0\n"
                        "   basic key name:     " + base + "\n   settings key:       HKEY_CURRENT_USER\\" + base +
                        (settingsExisted ? "\\Settings (present)\n" : "\\Settings (not present)\n")))
        << tour;
    EXPECT_EQ(baseExisted, keyExists(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool"));

    ASSERT_EQ(0u, orvtool({"reg", "set", "CurrentUserSettings\\OrvCoreTest", "v", "string", "x"}).exitCode);
    EXPECT_TRUE(readRaw(HKEY_CURRENT_USER, base + "\\Settings\\OrvCoreTest", "v"));
    EXPECT_EQ("x\n", orvtool({"reg", "get", "VSYST_RSK_CurrentUserSettings\\OrvCoreTest", "v"}).out);
    const std::string list = orvtool({"reg", "list", "currentusersettings"}).out;
    EXPECT_EQ(0u, list.find("HKEY_CURRENT_USER\\" + base + "\\Settings\n")) << list;
    EXPECT_NE(std::string::npos, list.find("key\tOrvCoreTest\n")) << list;
    EXPECT_EQ(0u, orvtool({"reg", "delete", "CurrentUserSettings\\OrvCoreTest"}).exitCode);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, base + "\\Settings\\OrvCoreTest"));

    if (!baseExisted) RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool");
    if (!platformExisted) RegDeleteKeyA(HKEY_CURRENT_USER, platform.c_str());   // only when empty
    if (!brakmarExisted) RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Brakmar");
}
