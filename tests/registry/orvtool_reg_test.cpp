// orvtool reg, run as a separate program, checked against the registry API.
#include "reg_test_util.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

using namespace regtest;

namespace {

orvtest::ChildResult orvtool(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
{
    return orvtest::runProgram(orvtest::exeDir() + "\\orvtool.exe", args, env);
}

std::string firstLine(const std::string& s) { return s.substr(0, s.find_first_of("\r\n")); }

// Standard output in text mode ends lines with CR LF.
std::string lines(const orvtest::ChildResult& r)
{
    std::string out;
    for (char c : r.out)
        if (c != '\r') out += c;
    return out;
}

}  // namespace

TEST(OrvtoolReg, WritesReadsListsCopiesAndDeletes)
{
    orvtest::TestRegKey tk("orvtool-reg");
    const std::string key = "HKCU\\" + tk.subPath();
    struct Set { const char* name; const char* kind; const char* data; DWORD type; std::string bytes; } sets[] = {
        {"s", "string", "hello world", REG_SZ, std::string("hello world\0", 12)},
        {"e", "envstring", "%ORVTEST_TOOL%-x", REG_SZ, std::string("%ORVTEST_TOOL%-x\0", 17)},
        {"i", "int", "-5", REG_DWORD, bytes({0xFB, 0xFF, 0xFF, 0xFF})},
        {"u", "int", "0xFFFFFFFF", REG_DWORD, bytes({0xFF, 0xFF, 0xFF, 0xFF})},
        {"f", "float", "2.5", REG_BINARY, bytes({'F', ':', 0, 0, 0, 0, 0, 0, 4, 0x40})},
        {"b", "binary", "00ff10", REG_BINARY, bytes({'B', ':', 0, 0xFF, 0x10})},
        {"n", "binary", "", REG_BINARY, "B:"},
    };
    for (const Set& s : sets) {
        orvtest::ChildResult r = orvtool({"reg", "set", key, s.name, s.kind, s.data});
        ASSERT_EQ(0u, r.exitCode) << s.name << ": " << r.err;
        DWORD type = 0;
        std::string data;
        ASSERT_TRUE(readRaw(HKEY_CURRENT_USER, tk.subPath(), s.name, type, data)) << s.name;
        EXPECT_EQ(s.type, type) << s.name;
        EXPECT_EQ(s.bytes, data) << s.name;
    }
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, tk.subPath(), "m", REG_MULTI_SZ, std::string("a\0\0", 3)));

    struct Get { const char* name; const char* out; } gets[] = {
        {"s", "hello world"}, {"i", "-5"}, {"u", "-1"}, {"f", "2.5"}, {"b", "00ff10"}, {"n", ""}, {"e", "%ORVTEST_TOOL%-x"},
    };
    for (const Get& g : gets) {
        orvtest::ChildResult r = orvtool({"reg", "get", key, g.name});
        EXPECT_EQ(0u, r.exitCode) << g.name << ": " << r.err;
        EXPECT_EQ(g.out, firstLine(r.out)) << g.name;
    }
    orvtest::ChildResult expanded = orvtool({"reg", "get", key, "e", "--expand"}, {"ORVTEST_TOOL=tool"});
    EXPECT_EQ("tool-x", firstLine(expanded.out));
    EXPECT_EQ(1u, orvtool({"reg", "get", key, "missing"}).exitCode);
    EXPECT_EQ(1u, orvtool({"reg", "get", key, "m"}).exitCode);   // not a kind of the library
    EXPECT_EQ(1u, orvtool({"reg", "get", key + "\\nosuch", "s"}).exitCode);

    ASSERT_EQ(0u, orvtool({"reg", "set", key + "\\sub\\deep", "v", "int", "7"}).exitCode);
    orvtest::ChildResult list = orvtool({"reg", "list", key});
    ASSERT_EQ(0u, list.exitCode) << list.err;
    EXPECT_EQ("HKEY_CURRENT_USER\\" + tk.subPath(), firstLine(list.out));
    for (const char* line : {"key\tsub", "value\ts\tstring\thello world", "value\ti\tint\t-5", "value\tf\tfloat\t2.5",
                             "value\tb\tbinary\t00ff10", "value\tm\tother\t"})
        EXPECT_NE(std::string::npos, lines(list).find(std::string(line) + "\n")) << line << "\n" << list.out;

    ASSERT_EQ(0u, orvtool({"reg", "copy", key + "\\sub", key + "\\copied"}).exitCode);
    DWORD type = 0;
    std::string data;
    EXPECT_TRUE(readRaw(HKEY_CURRENT_USER, tk.subPath() + "\\copied\\deep", "v", type, data));
    EXPECT_EQ(bytes({7, 0, 0, 0}), data);
    EXPECT_EQ(1u, orvtool({"reg", "copy", key + "\\nosuch", key + "\\x"}).exitCode);

    EXPECT_EQ(0u, orvtool({"reg", "delete", key + "\\copied"}).exitCode);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, tk.subPath() + "\\copied"));
    EXPECT_EQ(0u, orvtool({"reg", "delete", key, "s"}).exitCode);
    EXPECT_FALSE(readRaw(HKEY_CURRENT_USER, tk.subPath(), "s", type, data));
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
    EXPECT_FALSE(readRaw(HKEY_CURRENT_USER, tk.subPath(), "x", type, data));
}

TEST(OrvtoolReg, StandardKeysOfOrvtool)
{
    // orvtool's version resource: RegBase Brakmar\OrvTool, version 2.0.
    const std::string base = "Software\\Brakmar\\OrvTool\\2.0";
    const bool brakmarExisted = keyExists(HKEY_CURRENT_USER, "Software\\Brakmar");
    const bool baseExisted = keyExists(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool");

    ASSERT_EQ(0u, orvtool({"reg", "set", "CurrentUserSettings\\OrvCoreTest", "v", "string", "x"}).exitCode);
    DWORD type = 0;
    std::string data;
    EXPECT_TRUE(readRaw(HKEY_CURRENT_USER, base + "\\Settings\\OrvCoreTest", "v", type, data));
    EXPECT_EQ("x", firstLine(orvtool({"reg", "get", "VSYST_RSK_CurrentUserSettings\\OrvCoreTest", "v"}).out));
    orvtest::ChildResult list = orvtool({"reg", "list", "currentusersettings"});
    EXPECT_EQ("HKEY_CURRENT_USER\\" + base + "\\Settings", firstLine(list.out));
    EXPECT_NE(std::string::npos, lines(list).find("key\tOrvCoreTest\n"));
    EXPECT_EQ(0u, orvtool({"reg", "delete", "CurrentUserSettings\\OrvCoreTest"}).exitCode);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, base + "\\Settings\\OrvCoreTest"));

    if (!baseExisted) {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool");
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool");
    }
    if (!brakmarExisted) RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Brakmar");   // only when empty
}

TEST(OrvtoolReg, TourShowsTheBasicKeyName)
{
    // The tour's other steps open the standard log, whose registry lookup
    // creates the platform key: remove what this run created.
    const char* platform = "Software\\Brakmar\\T.R.I.O.N.(R) Platform";
    const bool brakmarExisted = keyExists(HKEY_CURRENT_USER, "Software\\Brakmar");
    const bool platformExisted = keyExists(HKEY_CURRENT_USER, platform);
    const bool orvtoolExisted = keyExists(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool");
    orvtest::TempDir logs;
    orvtest::ChildResult r = orvtool({"tour"}, {"ORV_DIR_LOGFILES=" + logs.path()});
    const std::string out = lines(r);
    EXPECT_NE(std::string::npos, out.find("   registry base:      Brakmar\\OrvTool (from the version resource), version 2.0\n"))
        << out;
    EXPECT_NE(std::string::npos, out.find("   basic key name:     Software\\Brakmar\\OrvTool\\2.0\n")) << out;
    EXPECT_TRUE(out.find("   settings key:       HKEY_CURRENT_USER\\Software\\Brakmar\\OrvTool\\2.0\\Settings (not present)\n") !=
                    std::string::npos ||
                out.find("   settings key:       HKEY_CURRENT_USER\\Software\\Brakmar\\OrvTool\\2.0\\Settings (present)\n") !=
                    std::string::npos)
        << out;
    // The step looked at the settings key without creating it.
    if (!orvtoolExisted) {
        EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\Brakmar\\OrvTool"));
    }

    if (!platformExisted) RegDeleteKeyA(HKEY_CURRENT_USER, platform);   // only when empty
    if (!brakmarExisted) RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Brakmar");
}
