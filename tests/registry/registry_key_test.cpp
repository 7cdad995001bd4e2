// VSYST_RegistryKey below a private test key, checked with the Win32 API
// and with Wine's own reg tool.
#include "VSYST_RegistryKey.h"
#include "reg_test_util.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <set>

using namespace regtest;

namespace {

// A test key and the library's key object for it.
struct Fixture {
    explicit Fixture(const char* name) : tk(name), root(VSYST_RegCurrentUser), key(root, tk.subPath().c_str(), false)
    {
    }
    std::string path(const std::string& sub = "") const { return sub.empty() ? tk.subPath() : tk.subPath() + "\\" + sub; }
    orvtest::TestRegKey tk;
    VSYST_RegistryKey root;
    VSYST_RegistryKey key;
};

std::string doubleBytes(double v)
{
    std::string b(sizeof v, '\0');
    std::memcpy(&b[0], &v, sizeof v);
    return b;
}

uint64_t bitsOf(double v)
{
    uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    return u;
}

}  // namespace

TEST(RegistryKey, InvalidKeyFailsSoftly)
{
    orvtest::TestRegKey tk("invalid");
    VSYST_RegistryKey key;
    EXPECT_FALSE(key.isValid());
    EXPECT_FALSE(key.setStringValue("s", "x"));
    EXPECT_FALSE(key.setEnvStringValue("s", "x"));
    EXPECT_FALSE(key.setIntValue("i", 1));
    EXPECT_FALSE(key.setFloatValue("f", 1.0));
    EXPECT_FALSE(key.setBinaryValue("b", "ab", 2));

    bool ok = true;
    EXPECT_EQ(0, key.getIntValue("i", ok));
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ("", text(key.getStringValue("s", ok)));
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ(0.0, key.getFloatValue("f", ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(17, key.getIntValue("i", 17L));
    EXPECT_EQ("dflt", text(key.getStringValue("s", "dflt")));
    EXPECT_EQ(VSYST_RegValNone, key.getTypeOf("s"));
    EXPECT_EQ("<Cannot get class name>", text(key.getClassName()));

    try {
        key.getStringValue("value");
        FAIL() << "no exception";
    } catch (const VSYST_RegistryInvalidKey& e) {
        EXPECT_EQ("<Cannot get class name>\\value", text(e.getKeyName()));
    }
    try {
        key.getNumberOfSubKeys();
        FAIL() << "no exception";
    } catch (const VSYST_RegistryInvalidKey& e) {
        EXPECT_EQ("<Cannot get class name>", text(e.getKeyName()));
    }
    EXPECT_THROW(key.getNumberOfValues(), VSYST_RegistryInvalidKey);
    EXPECT_THROW(key.getIntValue("i"), VSYST_RegistryInvalidKey);
    EXPECT_THROW(key.getFloatValue("f"), VSYST_RegistryInvalidKey);
    EXPECT_THROW(key.getEnvStringValue("e"), VSYST_RegistryInvalidKey);

    EXPECT_FALSE(key.deleteValue("s"));
    EXPECT_FALSE(key.deleteAllValues());
    EXPECT_FALSE(key.deleteAllValuesAndSubKeys());
    EXPECT_FALSE(key.deleteAllValuesAndSubKeys("x"));
    unsigned long index = 0;
    V_STRING name("unchanged"), value;
    long number = 5;
    EXPECT_TRUE(key.getKeyByIndex(index, name));
    EXPECT_TRUE(key.getStringValueByIndex(index, name, value));
    EXPECT_TRUE(key.getIntValueByIndex(index, name, number));
    EXPECT_EQ(0u, index);
    EXPECT_EQ("unchanged", text(name));
    EXPECT_FALSE(key.setValuesBegin());
    key.setValuesEnd();

    // Copies to or from an invalid key fail without touching the valid one.
    VSYST_RegistryKey valid(VSYST_RegistryKey(VSYST_RegCurrentUser), tk.subPath().c_str(), false);
    ASSERT_TRUE(valid.setIntValue("kept", 1));
    EXPECT_FALSE(key.copyAllValuesTo(valid));
    EXPECT_FALSE(valid.copyAllValuesTo(key));
    EXPECT_FALSE(key.copyAllValuesAndSubKeysTo(valid));
    EXPECT_FALSE(valid.copyAllValuesAndSubKeysTo(key));
    EXPECT_EQ(std::vector<std::string>{"kept"}, valueNames(HKEY_CURRENT_USER, tk.subPath()));

    // A sub-key of an invalid parent is invalid, even with create.
    VSYST_RegistryKey child(key, "child", true);
    EXPECT_FALSE(child.isValid());
}

TEST(RegistryKey, StoredBytesOfEveryKind)
{
    Fixture f("bytes");
    ASSERT_TRUE(f.key.isValid());
    ASSERT_TRUE(f.key.setStringValue("str", "abc"));
    ASSERT_TRUE(f.key.setStringValue("empty", ""));
    ASSERT_TRUE(f.key.setEnvStringValue("env", "%TEMP%\\x"));
    ASSERT_TRUE(f.key.setIntValue("int", -2));
    ASSERT_TRUE(f.key.setIntValue("max", 0x7FFFFFFFL));
    ASSERT_TRUE(f.key.setFloatValue("float", 1.5));
    ASSERT_TRUE(f.key.setFloatValue("neg", -2.5));
    const unsigned char payload[] = {1, 0, 0xFF, 'B', ':'};
    ASSERT_TRUE(f.key.setBinaryValue("bin", payload, sizeof payload));
    ASSERT_TRUE(f.key.setBinaryValue("nobytes", nullptr, 0));
    ASSERT_TRUE(f.key.setStringValue("", "default value"));

    struct Expect { const char* name; DWORD type; std::string data; } expected[] = {
        {"str", REG_SZ, std::string("abc\0", 4)},
        {"empty", REG_SZ, std::string("\0", 1)},
        {"env", REG_SZ, std::string("%TEMP%\\x\0", 9)},
        {"int", REG_DWORD, bytes({0xFE, 0xFF, 0xFF, 0xFF})},
        {"max", REG_DWORD, bytes({0xFF, 0xFF, 0xFF, 0x7F})},
        {"float", REG_BINARY, bytes({'F', ':', 0, 0, 0, 0, 0, 0, 0xF8, 0x3F})},
        {"neg", REG_BINARY, bytes({'F', ':', 0, 0, 0, 0, 0, 0, 0x04, 0xC0})},
        {"bin", REG_BINARY, bytes({'B', ':', 1, 0, 0xFF, 'B', ':'})},
        {"nobytes", REG_BINARY, "B:"},
        {"", REG_SZ, std::string("default value\0", 14)},
    };
    for (const Expect& e : expected) {
        DWORD type = 0;
        std::string data;
        ASSERT_TRUE(readRaw(HKEY_CURRENT_USER, f.path(), e.name, type, data)) << e.name;
        EXPECT_EQ(e.type, type) << e.name;
        EXPECT_EQ(e.data, data) << e.name;
    }

    // Out-of-range arguments are refused without writing anything.
    EXPECT_FALSE(f.key.setBinaryValue("nodata", nullptr, 4));
    EXPECT_FALSE(f.key.setBinaryValue("huge", payload, 0xFFFFFFFFul));
    EXPECT_EQ(VSYST_RegValNone, f.key.getTypeOf("nodata"));
    EXPECT_EQ(VSYST_RegValNone, f.key.getTypeOf("huge"));

    // Doubles come back bit for bit.
    const double samples[] = {0.1, -0.0, DBL_MAX, DBL_MIN / 4, std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN(), 1e300, -123456.789};
    for (double v : samples) {
        ASSERT_TRUE(f.key.setFloatValue("sample", v));
        DWORD type = 0;
        std::string data;
        ASSERT_TRUE(readRaw(HKEY_CURRENT_USER, f.path(), "sample", type, data));
        EXPECT_EQ("F:" + doubleBytes(v), data);
        bool ok = false;
        EXPECT_EQ(bitsOf(v), bitsOf(f.key.getFloatValue("sample", ok)));
        EXPECT_TRUE(ok);
    }
}

TEST(RegistryKey, ReadsValuesWrittenByRegTool)
{
    Fixture f("regtool");
    const std::string reg = "C:\\windows\\system32\\reg.exe";
    const std::string where = "HKCU\\" + f.path();
    auto add = [&](const char* name, const char* type, const char* data) {
        orvtest::ChildResult r = orvtest::runProgram(reg, {"add", where, "/v", name, "/t", type, "/d", data, "/f"});
        return r.exitCode == 0;
    };
    ASSERT_TRUE(add("str", "REG_SZ", "written by reg"));
    ASSERT_TRUE(add("exp", "REG_EXPAND_SZ", "%ORVTEST_REGTOOL%-x"));
    ASSERT_TRUE(add("dword", "REG_DWORD", "0xfffffffe"));
    ASSERT_TRUE(add("float", "REG_BINARY", "463A0000000000000440"));     // 2.5
    ASSERT_TRUE(add("bin", "REG_BINARY", "423A00010203"));
    ASSERT_TRUE(add("shortfloat", "REG_BINARY", "463A00000000000004"));  // 7 bytes after the tag
    ASSERT_TRUE(add("untagged", "REG_BINARY", "0102030405"));
    ASSERT_TRUE(add("multi", "REG_MULTI_SZ", "a\\0b"));

    orvtest::ScopedEnv env("ORVTEST_REGTOOL", "expanded");
    VSYST_RegistryKey& k = f.key;
    EXPECT_EQ("written by reg", text(k.getStringValue("str")));
    EXPECT_EQ("expanded-x", text(k.getEnvStringValue("exp")));
    EXPECT_EQ("nothing", text(k.getStringValue("exp", "nothing")));   // REG_EXPAND_SZ is no plain string
    EXPECT_EQ(-2, k.getIntValue("dword"));
    EXPECT_EQ(2.5, k.getFloatValue("float"));
    unsigned char buf[8] = {0};
    unsigned long size = sizeof buf;
    EXPECT_TRUE(k.getBinaryValue("bin", buf, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(bytes({0, 1, 2, 3}), std::string(reinterpret_cast<char*>(buf), 4));

    bool ok = true;
    k.getFloatValue("shortfloat", ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(VSYST_RegValFloat, k.getTypeOf("shortfloat"));   // the tag alone decides the kind
    EXPECT_EQ(VSYST_RegValOther, k.getTypeOf("untagged"));
    EXPECT_EQ(VSYST_RegValOther, k.getTypeOf("multi"));
    EXPECT_EQ(VSYST_RegValString, k.getTypeOf("exp"));
    EXPECT_EQ(VSYST_RegValInt, k.getTypeOf("dword"));
    EXPECT_EQ(VSYST_RegValBinary, k.getTypeOf("bin"));

    // And the other way: what the library wrote, reg reads.
    ASSERT_TRUE(k.setIntValue("fromlib", 0x1234));
    orvtest::ChildResult q = orvtest::runProgram(reg, {"query", where, "/v", "fromlib"});
    EXPECT_EQ(0u, q.exitCode);
    EXPECT_NE(std::string::npos, q.out.find("REG_DWORD")) << q.out;
    EXPECT_NE(std::string::npos, q.out.find("0x1234")) << q.out;
}

TEST(RegistryKey, ReadersInTheirThreeForms)
{
    Fixture f("readers");
    VSYST_RegistryKey& k = f.key;
    ASSERT_TRUE(k.setStringValue("s", "text"));
    ASSERT_TRUE(k.setIntValue("i", -77));
    ASSERT_TRUE(k.setFloatValue("f", 0.25));
    ASSERT_TRUE(k.setBinaryValue("b", "xy", 2));
    // Values the library does not write itself.
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "shortdword", REG_DWORD, bytes({1, 2})));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "longdword", REG_DWORD, bytes({5, 0, 0, 0, 9, 9})));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "embedded", REG_SZ, std::string("ab\0cd\0", 6)));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "unterminated", REG_SZ, "xyz"));

    bool ok = false;
    EXPECT_EQ("text", text(k.getStringValue("s", ok)));
    EXPECT_TRUE(ok);
    EXPECT_EQ("text", text(k.getStringValue("s")));
    EXPECT_EQ("text", text(k.getStringValue("s", "d")));
    EXPECT_EQ(-77, k.getIntValue("i", ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(-77, k.getIntValue("i"));
    EXPECT_EQ(-77, k.getIntValue("i", 3L));
    EXPECT_EQ(0.25, k.getFloatValue("f", ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(0.25, k.getFloatValue("f"));
    EXPECT_EQ("ab", text(k.getStringValue("embedded")));    // up to the first NUL
    EXPECT_EQ("xyz", text(k.getStringValue("unterminated")));
    EXPECT_EQ(5, k.getIntValue("longdword"));               // the first 4 bytes

    // No conversion between kinds: another kind reads as missing.
    struct Missing { const char* name; } names[] = {{"i"}, {"f"}, {"b"}, {"nothing"}};
    for (const Missing& m : names) {
        ok = true;
        EXPECT_EQ("", text(k.getStringValue(m.name, ok))) << m.name;
        EXPECT_FALSE(ok) << m.name;
        EXPECT_EQ("dflt", text(k.getStringValue(m.name, "dflt"))) << m.name;
        EXPECT_EQ("", text(k.getStringValue(m.name, static_cast<const char*>(nullptr)))) << m.name;
        EXPECT_THROW(k.getStringValue(m.name), VSYST_RegistryInvalidKey) << m.name;
    }
    for (const char* name : {"s", "f", "b", "shortdword", "nothing"}) {
        ok = true;
        EXPECT_EQ(0, k.getIntValue(name, ok)) << name;
        EXPECT_FALSE(ok) << name;
        EXPECT_EQ(42, k.getIntValue(name, 42L)) << name;
        EXPECT_THROW(k.getIntValue(name), VSYST_RegistryInvalidKey) << name;
    }
    for (const char* name : {"s", "i", "b", "nothing"}) {
        ok = true;
        EXPECT_EQ(0.0, k.getFloatValue(name, ok)) << name;
        EXPECT_FALSE(ok) << name;
        EXPECT_THROW(k.getFloatValue(name), VSYST_RegistryInvalidKey) << name;
    }

    // The thrown key name is the class string (empty for keys made without
    // one), a backslash and the value name.
    try {
        k.getIntValue("absent");
        FAIL() << "no exception";
    } catch (const VSYST_RegistryInvalidKey& e) {
        EXPECT_EQ("\\absent", text(e.getKeyName()));
        EXPECT_STREQ("common/v_tools/v_etc/registry", e.getFile());
        EXPECT_GT(e.getLine(), 0);
    }
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path("classy"), "MyClass"));
    VSYST_RegistryKey classy(k, "classy", false);
    try {
        classy.getStringValue("absent");
        FAIL() << "no exception";
    } catch (const VSYST_RegistryInvalidKey& e) {
        EXPECT_EQ("MyClass\\absent", text(e.getKeyName()));
    }
}

TEST(RegistryKey, EnvironmentStrings)
{
    Fixture f("env");
    VSYST_RegistryKey& k = f.key;
    orvtest::ScopedEnv shortVar("ORVTEST_SHORT", "v");
    const std::string longText(3000, 'L');
    orvtest::ScopedEnv longVar("ORVTEST_LONG", longText.c_str());
    char temp[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableA("TEMP", temp, sizeof temp), 0u);

    ASSERT_TRUE(k.setEnvStringValue("sz", "%TEMP%\\sub"));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "expand", REG_EXPAND_SZ, std::string("%TEMP%\\sub\0", 11)));
    // Far longer once expanded than twice its stored length: a second expansion.
    ASSERT_TRUE(k.setEnvStringValue("long", "<%ORVTEST_LONG%>"));
    ASSERT_TRUE(k.setEnvStringValue("undefined", "%ORVTEST_NOT_SET_ANYWHERE%"));
    ASSERT_TRUE(k.setEnvStringValue("plain", "no references"));
    ASSERT_TRUE(k.setEnvStringValue("empty", ""));
    ASSERT_TRUE(k.setIntValue("int", 1));

    bool ok = false;
    EXPECT_EQ(std::string(temp) + "\\sub", text(k.getEnvStringValue("sz", ok)));
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(temp) + "\\sub", text(k.getEnvStringValue("expand")));
    EXPECT_EQ("<" + longText + ">", text(k.getEnvStringValue("long")));
    EXPECT_EQ("%ORVTEST_NOT_SET_ANYWHERE%", text(k.getEnvStringValue("undefined")));
    EXPECT_EQ("no references", text(k.getEnvStringValue("plain")));
    EXPECT_EQ("", text(k.getEnvStringValue("empty", ok)));
    EXPECT_TRUE(ok);
    // The plain reader leaves references alone.
    EXPECT_EQ("%TEMP%\\sub", text(k.getStringValue("sz")));

    ok = true;
    EXPECT_EQ("", text(k.getEnvStringValue("int", ok)));
    EXPECT_FALSE(ok);
    EXPECT_THROW(k.getEnvStringValue("missing"), VSYST_RegistryInvalidKey);
}

TEST(RegistryKey, BinaryReaderProtocol)
{
    Fixture f("binary");
    VSYST_RegistryKey& k = f.key;
    const unsigned char five[] = {10, 20, 30, 40, 50};
    ASSERT_TRUE(k.setBinaryValue("five", five, 5));
    ASSERT_TRUE(k.setBinaryValue("none", five, 0));
    ASSERT_TRUE(k.setFloatValue("float", 3.0));
    ASSERT_TRUE(k.setStringValue("str", "abcdefgh"));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "untagged", REG_BINARY, "XY123"));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "onebyte", REG_BINARY, "B"));

    unsigned char buf[16];
    unsigned long size;
    auto fill = [&] { std::memset(buf, 0xCC, sizeof buf); };
    auto zeroUpTo = [&](unsigned n) {
        for (unsigned i = 0; i < n; ++i)
            if (buf[i] != 0) return false;
        return true;
    };

    // A null buffer asks for the size.
    size = 100;
    EXPECT_FALSE(k.getBinaryValue("five", nullptr, &size));
    EXPECT_EQ(5u, size);
    size = 0;
    EXPECT_FALSE(k.getBinaryValue("five", nullptr, &size));
    EXPECT_EQ(5u, size);

    // Too small: the caller's bytes are zeroed, the size needed reported.
    fill();
    size = 4;
    EXPECT_FALSE(k.getBinaryValue("five", buf, &size));
    EXPECT_EQ(5u, size);
    EXPECT_TRUE(zeroUpTo(4));
    EXPECT_EQ(0xCC, buf[4]);

    // Exactly enough, and more than enough.
    for (unsigned long capacity : {5ul, 16ul}) {
        fill();
        size = capacity;
        EXPECT_TRUE(k.getBinaryValue("five", buf, &size));
        EXPECT_EQ(5u, size);
        EXPECT_EQ(0, std::memcmp(buf, five, 5));
        EXPECT_EQ(0xCC, buf[5]);
    }
    fill();
    size = 3;
    EXPECT_TRUE(k.getBinaryValue("none", buf, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(0xCC, buf[0]);

    // Not a binary value of the library: false, size 0, and the caller's bytes
    // zeroed - as far as the capacity for a missing value or another type, as
    // far as the stored payload for an untagged or float value.
    struct NotBinary { const char* name; unsigned zeroed; } notBinary[] = {
        {"missing", 16}, {"str", 16}, {"onebyte", 16}, {"float", 8}, {"untagged", 3}};
    for (const NotBinary& n : notBinary) {
        fill();
        size = sizeof buf;
        EXPECT_FALSE(k.getBinaryValue(n.name, buf, &size)) << n.name;
        EXPECT_EQ(0u, size) << n.name;
        EXPECT_TRUE(zeroUpTo(n.zeroed)) << n.name;
        if (n.zeroed < sizeof buf) {
            EXPECT_EQ(0xCC, buf[n.zeroed]) << n.name;
        }
    }
    // The float and the string were only zeroed as far as the capacity reached.
    fill();
    size = 3;
    EXPECT_FALSE(k.getBinaryValue("str", buf, &size));
    EXPECT_EQ(0u, size);
    EXPECT_TRUE(zeroUpTo(3));
    EXPECT_EQ(0xCC, buf[3]);

    EXPECT_FALSE(k.getBinaryValue("five", buf, nullptr));
    VSYST_RegistryKey invalid;
    fill();
    size = 2;
    EXPECT_FALSE(invalid.getBinaryValue("five", buf, &size));
    EXPECT_EQ(0u, size);
    EXPECT_TRUE(zeroUpTo(2));
}

TEST(RegistryKey, TypeOfEveryKind)
{
    Fixture f("types");
    VSYST_RegistryKey& k = f.key;
    ASSERT_TRUE(k.setStringValue("s", "x"));
    ASSERT_TRUE(k.setEnvStringValue("e", "%TEMP%"));
    ASSERT_TRUE(k.setIntValue("i", 1));
    ASSERT_TRUE(k.setFloatValue("f", 1.0));
    ASSERT_TRUE(k.setBinaryValue("b", "z", 1));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "x", REG_EXPAND_SZ, std::string("y\0", 2)));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "m", REG_MULTI_SZ, std::string("a\0b\0\0", 5)));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "q", REG_QWORD, std::string(8, '\1')));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "n", REG_NONE, "abc"));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "raw", REG_BINARY, "C:xx"));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "one", REG_BINARY, "F"));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "zero", REG_BINARY, ""));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "tagonly", REG_BINARY, "B:"));

    EXPECT_EQ(VSYST_RegValString, k.getTypeOf("s"));
    EXPECT_EQ(VSYST_RegValString, k.getTypeOf("e"));
    EXPECT_EQ(VSYST_RegValString, k.getTypeOf("x"));
    EXPECT_EQ(VSYST_RegValInt, k.getTypeOf("i"));
    EXPECT_EQ(VSYST_RegValFloat, k.getTypeOf("f"));
    EXPECT_EQ(VSYST_RegValBinary, k.getTypeOf("b"));
    EXPECT_EQ(VSYST_RegValBinary, k.getTypeOf("tagonly"));
    for (const char* other : {"m", "q", "n", "raw", "one", "zero"}) EXPECT_EQ(VSYST_RegValOther, k.getTypeOf(other)) << other;
    EXPECT_EQ(VSYST_RegValNone, k.getTypeOf("missing"));
}

TEST(RegistryKey, OpeningSubKeys)
{
    Fixture f("open");
    // Without create a missing key stays missing.
    VSYST_RegistryKey missing(f.key, "a\\b", false);
    EXPECT_FALSE(missing.isValid());
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, f.path("a")));

    // With create every missing level is made, without a class string.
    VSYST_RegistryKey created(f.key, "a\\b", true);
    ASSERT_TRUE(created.isValid());
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, f.path("a\\b")));
    EXPECT_EQ("", classOf(HKEY_CURRENT_USER, f.path("a\\b")));
    EXPECT_EQ("", text(created.getClassName()));
    ASSERT_TRUE(created.setStringValue("v", "1"));

    // Existing keys open with or without create; read-only ones cannot be written.
    VSYST_RegistryKey again(f.key, "a\\b", false);
    EXPECT_EQ("1", text(again.getStringValue("v")));
    VSYST_RegistryKey readOnly(f.key, "a\\b", true, VSYST_RegReadOnly);
    ASSERT_TRUE(readOnly.isValid());
    EXPECT_EQ("1", text(readOnly.getStringValue("v")));
    EXPECT_FALSE(readOnly.setStringValue("v", "2"));
    EXPECT_FALSE(readOnly.setIntValue("w", 2));
    EXPECT_FALSE(readOnly.deleteValue("v"));
    EXPECT_FALSE(readOnly.deleteAllValues());   // and it does not loop
    EXPECT_EQ("1", text(again.getStringValue("v")));
    // Any access other than 0 means read-only.
    VSYST_RegistryKey odd(f.key, "a\\b", false, static_cast<VSYST_RegistryAccess>(7));
    ASSERT_TRUE(odd.isValid());
    EXPECT_FALSE(odd.setIntValue("w", 2));
    VSYST_RegistryKey readWrite(f.key, "a\\b", false, VSYST_RegReadWrite);
    EXPECT_TRUE(readWrite.setIntValue("w", 2));

    // A read-only parent still creates sub-keys read-write.
    VSYST_RegistryKey child(readOnly, "c", true);
    ASSERT_TRUE(child.isValid());
    EXPECT_TRUE(child.setIntValue("z", 1));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, f.path("a\\b\\c")));
}

TEST(RegistryKey, RootKeysAndForeignHandles)
{
    Fixture f("roots");
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "v", REG_SZ, std::string("root\0", 5)));

    for (VSYST_RegistryRootKey root : {VSYST_RegCurrentUser, VSYST_RegLocalMachine, VSYST_RegUsers, VSYST_RegClassesRoot}) {
        VSYST_RegistryKey rw(root);
        EXPECT_TRUE(rw.isValid()) << root;
        VSYST_RegistryKey ro(root, VSYST_RegReadOnly);
        EXPECT_TRUE(ro.isValid()) << root;
    }
    VSYST_RegistryKey hkcu(VSYST_RegCurrentUser, VSYST_RegReadOnly);
    VSYST_RegistryKey viaRoot(hkcu, f.path().c_str(), false);
    EXPECT_EQ("root", text(viaRoot.getStringValue("v")));
    EXPECT_FALSE(VSYST_RegistryKey(static_cast<VSYST_RegistryRootKey>(0x12345678ul)).isValid());

    // Duplicating leaves the caller's handle alone.
    HKEY mine = openRaw(HKEY_CURRENT_USER, f.path());
    ASSERT_NE(nullptr, mine);
    {
        VSYST_RegistryKey dup(mine, true);
        ASSERT_TRUE(dup.isValid());
        EXPECT_EQ("root", text(dup.getStringValue("v")));
    }
    EXPECT_TRUE(handleOpen(mine));
    // Adopting hands the handle over: it is closed with the last key holding it.
    {
        VSYST_RegistryKey adopted(mine, false);
        EXPECT_EQ("root", text(adopted.getStringValue("v")));
        EXPECT_TRUE(handleOpen(mine));
    }
    EXPECT_FALSE(handleOpen(mine));

    EXPECT_FALSE(VSYST_RegistryKey(static_cast<HKEY>(nullptr), true).isValid());
    EXPECT_FALSE(VSYST_RegistryKey(static_cast<HKEY>(nullptr), false).isValid());
}

TEST(RegistryKey, ClassNamesAndCounts)
{
    Fixture f("class");
    const std::string cls1023(1023, 'k'), cls1024(1024, 'k');
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path("named"), "Some Class"));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path("c1023"), cls1023.c_str()));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path("c1024"), cls1024.c_str()));

    EXPECT_EQ("Some Class", text(VSYST_RegistryKey(f.key, "named", false).getClassName()));
    EXPECT_EQ("Some Class\\v", text(VSYST_RegistryKey(f.key, "named", false).getClassName("v")));
    EXPECT_EQ(cls1023, text(VSYST_RegistryKey(f.key, "c1023", false).getClassName()));
    // One character more than the buffer holds.
    EXPECT_EQ("<Cannot get class name>", text(VSYST_RegistryKey(f.key, "c1024", false).getClassName()));
    EXPECT_EQ("\\", text(f.key.getClassName("")));

    EXPECT_EQ(3, f.key.getNumberOfSubKeys());
    EXPECT_EQ(0, f.key.getNumberOfValues());
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(f.key.setIntValue(V_STRING(static_cast<long>(i)), i));
    EXPECT_EQ(7, f.key.getNumberOfValues());

    // A handle that went bad cannot be queried: the counts throw, the class name says so.
    HKEY h = openRaw(HKEY_CURRENT_USER, f.path());
    VSYST_RegistryKey broken(h, false);
    RegCloseKey(h);
    EXPECT_EQ("<Cannot get class name>", text(broken.getClassName()));
    try {
        broken.getNumberOfValues();
        FAIL() << "no exception";
    } catch (const VSYST_RegistryInvalidKey& e) {
        EXPECT_EQ("<Cannot get class name>", text(e.getKeyName()));
    }
    EXPECT_THROW(broken.getNumberOfSubKeys(), VSYST_RegistryInvalidKey);
}

TEST(RegistryKey, DeletingValuesAndTrees)
{
    Fixture f("delete");
    VSYST_RegistryKey& k = f.key;
    for (const char* n : {"a", "b", "c", "d", ""}) ASSERT_TRUE(k.setStringValue(n, n));
    EXPECT_TRUE(k.deleteValue("b"));
    EXPECT_FALSE(k.deleteValue("b"));
    EXPECT_EQ((std::vector<std::string>{"", "a", "c", "d"}), valueNames(HKEY_CURRENT_USER, f.path()));
    EXPECT_TRUE(k.deleteAllValues());
    EXPECT_TRUE(valueNames(HKEY_CURRENT_USER, f.path()).empty());
    EXPECT_TRUE(k.deleteAllValues());   // nothing left is fine

    // A tree three levels deep with values at every level.
    for (const char* p : {"t", "t\\x", "t\\x\\deep", "t\\y", "keep"}) {
        ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(p), "v", REG_SZ, std::string("1\0", 2)));
        ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(p), "w", REG_DWORD, "1234"));
    }
    VSYST_RegistryKey t(k, "t", false);
    EXPECT_TRUE(t.deleteAllValuesAndSubKeys());
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, f.path("t")));   // the key itself stays
    EXPECT_TRUE(subKeyNames(HKEY_CURRENT_USER, f.path("t")).empty());
    EXPECT_TRUE(valueNames(HKEY_CURRENT_USER, f.path("t")).empty());
    EXPECT_TRUE(t.setIntValue("still usable", 1));

    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path("t\\again\\deeper")));
    EXPECT_TRUE(k.deleteAllValuesAndSubKeys("t"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, f.path("t")));
    EXPECT_EQ(std::vector<std::string>{"keep"}, subKeyNames(HKEY_CURRENT_USER, f.path()));
    EXPECT_FALSE(k.deleteAllValuesAndSubKeys("t"));          // gone already
    // An empty name would be this key itself: refused, nothing touched.
    EXPECT_FALSE(k.deleteAllValuesAndSubKeys(""));
    EXPECT_EQ((std::vector<std::string>{"v", "w"}), valueNames(HKEY_CURRENT_USER, f.path("keep")));

    // Names longer than the buffers end the deletion with false instead of looping.
    const std::string longValue(200, 'v');
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path("long"), longValue, REG_SZ, std::string("x\0", 2)));
    VSYST_RegistryKey longKey(k, "long", false);
    EXPECT_FALSE(longKey.deleteAllValues());
    EXPECT_FALSE(longKey.deleteAllValuesAndSubKeys());
    // Deleting it by name reports the deletion of the key alone, which values do not prevent.
    EXPECT_TRUE(k.deleteAllValuesAndSubKeys("long"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, f.path("long")));
    const std::string longSub(256, 's');
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path("longsub\\" + longSub)));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path("longsub"), "v", REG_SZ, std::string("x\0", 2)));
    VSYST_RegistryKey longSubKey(k, "longsub", false);
    EXPECT_FALSE(longSubKey.deleteAllValuesAndSubKeys());
    EXPECT_TRUE(valueNames(HKEY_CURRENT_USER, f.path("longsub")).empty());   // values went first
}

TEST(RegistryKey, CopyingValuesAndTrees)
{
    Fixture f("copy");
    // Source: every registry type, a default value, and a tree with class strings.
    ASSERT_TRUE(f.key.setStringValue("s", "text"));
    ASSERT_TRUE(f.key.setIntValue("i", 9));
    ASSERT_TRUE(f.key.setFloatValue("f", 1.25));
    ASSERT_TRUE(f.key.setBinaryValue("b", "\0\1", 2));
    ASSERT_TRUE(f.key.setStringValue("", "default"));
    struct Raw { const char* name; DWORD type; std::string data; } raws[] = {
        {"x", REG_EXPAND_SZ, std::string("%TEMP%\0", 7)},
        {"m", REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
        {"q", REG_QWORD, bytes({1, 2, 3, 4, 5, 6, 7, 8})},
        {"n", REG_NONE, ""},
        {"raw", REG_BINARY, bytes({0, 0xFF})},
    };
    for (const Raw& r : raws) ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), r.name, r.type, r.data));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path("sub"), "ClassA"));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path("sub\\inner"), "ClassB"));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path("sub\\inner"), "deep", REG_DWORD, bytes({7, 0, 0, 0})));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path("empty")));

    orvtest::TestRegKey values("copy-values"), tree("copy-tree");
    VSYST_RegistryKey valuesKey(f.root, values.subPath().c_str(), false);
    VSYST_RegistryKey treeKey(f.root, tree.subPath().c_str(), false);

    auto sameValues = [&](const std::string& from, const std::string& to) {
        std::vector<std::string> names = valueNames(HKEY_CURRENT_USER, from);
        if (names != valueNames(HKEY_CURRENT_USER, to)) return false;
        for (const std::string& n : names) {
            DWORD t1 = 0, t2 = 0;
            std::string d1, d2;
            if (!readRaw(HKEY_CURRENT_USER, from, n, t1, d1) || !readRaw(HKEY_CURRENT_USER, to, n, t2, d2)) return false;
            if (t1 != t2 || d1 != d2) return false;
        }
        return true;
    };

    EXPECT_TRUE(f.key.copyAllValuesTo(valuesKey));
    EXPECT_EQ(10u, valueNames(HKEY_CURRENT_USER, values.subPath()).size());
    EXPECT_TRUE(sameValues(f.path(), values.subPath()));
    EXPECT_TRUE(subKeyNames(HKEY_CURRENT_USER, values.subPath()).empty());

    EXPECT_TRUE(f.key.copyAllValuesAndSubKeysTo(treeKey));
    EXPECT_TRUE(sameValues(f.path(), tree.subPath()));
    EXPECT_EQ((std::vector<std::string>{"empty", "sub"}), subKeyNames(HKEY_CURRENT_USER, tree.subPath()));
    EXPECT_TRUE(sameValues(f.path("sub\\inner"), tree.subPath() + "\\sub\\inner"));
    EXPECT_EQ("ClassA", classOf(HKEY_CURRENT_USER, tree.subPath() + "\\sub"));
    EXPECT_EQ("ClassB", classOf(HKEY_CURRENT_USER, tree.subPath() + "\\sub\\inner"));
    EXPECT_EQ("", classOf(HKEY_CURRENT_USER, tree.subPath() + "\\empty"));

    // Copying over existing values replaces them; others stay.
    ASSERT_TRUE(valuesKey.setStringValue("s", "old"));
    ASSERT_TRUE(valuesKey.setStringValue("only-here", "1"));
    EXPECT_TRUE(f.key.copyAllValuesTo(valuesKey));
    EXPECT_EQ("text", text(valuesKey.getStringValue("s")));
    EXPECT_EQ("1", text(valuesKey.getStringValue("only-here")));

    // A value name longer than the buffer stops the copy with false.
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path("sub"), std::string(200, 'n'), REG_SZ, std::string("x\0", 2)));
    VSYST_RegistryKey sub(f.key, "sub", false);
    EXPECT_FALSE(sub.copyAllValuesTo(valuesKey));

    // A read-only target: the writes fail.
    VSYST_RegistryKey readOnlyTarget(f.root, values.subPath().c_str(), false, VSYST_RegReadOnly);
    EXPECT_FALSE(f.key.copyAllValuesTo(readOnlyTarget));
}

TEST(RegistryKey, CopyingATreeIntoItselfEnds)
{
    Fixture f("selfcopy");
    ASSERT_TRUE(f.key.setIntValue("v", 1));
    VSYST_RegistryKey inside(f.key, "inside", true);
    ASSERT_TRUE(inside.isValid());
    // Each level copied creates the next one below it; the copy must give up.
    EXPECT_FALSE(f.key.copyAllValuesAndSubKeysTo(inside));
    EXPECT_EQ(1, inside.getIntValue("v"));
    EXPECT_TRUE(f.key.deleteAllValuesAndSubKeys("inside"));
}

TEST(RegistryKey, StaticCopyClosesAdoptedHandles)
{
    Fixture f("staticcopy");
    orvtest::TestRegKey target("staticcopy-target");
    ASSERT_TRUE(f.key.setStringValue("s", "v"));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path("sub"), "Cls"));

    // Handles no key object holds are closed when the copy returns.
    HKEY from = openRaw(HKEY_CURRENT_USER, f.path());
    HKEY to = openRaw(HKEY_CURRENT_USER, target.subPath());
    ASSERT_TRUE(from && to);
    EXPECT_TRUE(VSYST_RegistryKey::copyAllValuesAndSubKeysTo(from, to));
    EXPECT_FALSE(handleOpen(from));
    EXPECT_FALSE(handleOpen(to));
    EXPECT_EQ("Cls", classOf(HKEY_CURRENT_USER, target.subPath() + "\\sub"));
    DWORD type;
    std::string data;
    EXPECT_TRUE(readRaw(HKEY_CURRENT_USER, target.subPath(), "s", type, data));

    // A handle some key object holds survives.
    HKEY held = openRaw(HKEY_CURRENT_USER, f.path());
    VSYST_RegistryKey holder(held, false);
    HKEY other = openRaw(HKEY_CURRENT_USER, target.subPath());
    EXPECT_TRUE(VSYST_RegistryKey::copyAllValuesAndSubKeysTo(held, other));
    EXPECT_TRUE(handleOpen(held));
    EXPECT_FALSE(handleOpen(other));
    EXPECT_EQ("v", text(holder.getStringValue("s")));

    // A null handle: no copy, and the other handle is still taken over.
    HKEY lone = openRaw(HKEY_CURRENT_USER, f.path());
    EXPECT_FALSE(VSYST_RegistryKey::copyAllValuesAndSubKeysTo(lone, nullptr));
    EXPECT_FALSE(handleOpen(lone));
    EXPECT_FALSE(VSYST_RegistryKey::copyAllValuesAndSubKeysTo(nullptr, nullptr));
}

TEST(RegistryKey, EnumerationByIndex)
{
    Fixture f("enum");
    VSYST_RegistryKey& k = f.key;
    ASSERT_TRUE(k.setStringValue("a", "first"));
    ASSERT_TRUE(k.setIntValue("b", 22));
    ASSERT_TRUE(k.setStringValue("c", "third"));
    ASSERT_TRUE(k.setFloatValue("d", 1.0));
    ASSERT_TRUE(k.setIntValue("e", -5));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "f", REG_EXPAND_SZ, std::string("x\0", 2)));
    ASSERT_TRUE(writeRaw(HKEY_CURRENT_USER, f.path(), "g", REG_SZ, ""));   // no bytes at all

    // The registry's own order of the values, to know the indexes.
    std::vector<std::string> order = valueNames(HKEY_CURRENT_USER, f.path(), true);
    ASSERT_EQ((std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}), order);

    unsigned long index = 0;
    V_STRING name, value;
    EXPECT_FALSE(k.getStringValueByIndex(index, name, value));
    EXPECT_EQ("a", text(name));
    EXPECT_EQ("first", text(value));
    EXPECT_EQ(1u, index);
    EXPECT_FALSE(k.getStringValueByIndex(index, name, value));
    EXPECT_EQ("c", text(name));
    EXPECT_EQ("third", text(value));
    EXPECT_EQ(3u, index);
    EXPECT_FALSE(k.getStringValueByIndex(index, name, value));
    EXPECT_EQ("g", text(name));
    EXPECT_EQ("", text(value));
    EXPECT_EQ(7u, index);
    EXPECT_TRUE(k.getStringValueByIndex(index, name, value));

    index = 0;
    long number = 0;
    EXPECT_FALSE(k.getIntValueByIndex(index, name, number));
    EXPECT_EQ("b", text(name));
    EXPECT_EQ(22, number);
    EXPECT_EQ(2u, index);
    EXPECT_FALSE(k.getIntValueByIndex(index, name, number));
    EXPECT_EQ("e", text(name));
    EXPECT_EQ(-5, number);
    EXPECT_EQ(5u, index);
    EXPECT_TRUE(k.getIntValueByIndex(index, name, number));
    // Starting beyond the end.
    index = 100;
    EXPECT_TRUE(k.getIntValueByIndex(index, name, number));

    for (const char* sub : {"k1", "k2", "k3"}) ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path(sub)));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, f.path(std::string(256, 'z'))));
    std::set<std::string> keys;
    index = 0;
    while (!k.getKeyByIndex(index, name)) {
        keys.insert(text(name));
        ASSERT_LT(index, 10u);
    }
    EXPECT_EQ((std::set<std::string>{"k1", "k2", "k3", std::string(256, 'z')}), keys);
    EXPECT_EQ(4u, index);
}

TEST(RegistryKey, EnumerationEndsOnFailures)
{
    Fixture f("enumfail");
    VSYST_RegistryKey& k = f.key;
    // The middle value's name is longer than the enumeration buffer.
    ASSERT_TRUE(k.setStringValue("a", "1"));
    ASSERT_TRUE(k.setStringValue(("b" + std::string(199, 'x')).c_str(), "2"));
    ASSERT_TRUE(k.setStringValue("c", "3"));
    ASSERT_TRUE(k.setIntValue("d", 4));

    std::vector<std::string> seen;
    unsigned long index = 0;
    V_STRING name, value;
    int calls = 0;
    while (!k.getStringValueByIndex(index, name, value) && ++calls < 10) seen.push_back(text(name) + "=" + text(value));
    EXPECT_EQ(std::vector<std::string>{"a=1"}, seen);

    index = 0;
    long number = 0;
    calls = 0;
    // The integer lies beyond the long name: the enumeration ends before it.
    while (!k.getIntValueByIndex(index, name, number) && ++calls < 10) {}
    EXPECT_EQ(0, calls);

    // A handle closed behind the key's back ends every enumeration at once.
    HKEY h = openRaw(HKEY_CURRENT_USER, f.path());
    VSYST_RegistryKey broken(h, false);
    RegCloseKey(h);
    index = 0;
    name = "kept";
    EXPECT_TRUE(broken.getKeyByIndex(index, name));
    EXPECT_TRUE(broken.getStringValueByIndex(index, name, value));
    EXPECT_TRUE(broken.getIntValueByIndex(index, name, number));
    EXPECT_EQ(0u, index);
    EXPECT_EQ("kept", text(name));
    EXPECT_FALSE(broken.deleteAllValues());
    EXPECT_FALSE(broken.deleteAllValuesAndSubKeys());
    EXPECT_FALSE(broken.copyAllValuesTo(k));
    EXPECT_FALSE(broken.copyAllValuesAndSubKeysTo(k));
    EXPECT_EQ(VSYST_RegValNone, broken.getTypeOf("a"));
}

TEST(RegistryKey, HandleAccounting)
{
    Fixture f("handles");
    HKEY h1 = openRaw(HKEY_CURRENT_USER, f.path());
    HKEY h2 = openRaw(HKEY_CURRENT_USER, f.path());
    ASSERT_TRUE(h1 && h2 && h1 != h2);

    std::unique_ptr<VSYST_RegistryKey> first(new VSYST_RegistryKey(h1, false));
    std::vector<VSYST_RegistryKey> copies;
    for (int i = 0; i < 50; ++i) copies.push_back(*first);   // reallocations copy and destroy too
    first.reset();
    EXPECT_TRUE(handleOpen(h1));

    VSYST_RegistryKey second(h2, false);
    VSYST_RegistryKey invalid;
    for (size_t i = 0; i < copies.size(); i += 2) copies[i] = second;
    copies[1] = copies[1];                                    // self-assignment changes nothing
    copies[3] = invalid;
    copies[3] = copies[5];                                    // h1 again
    EXPECT_TRUE(handleOpen(h1));
    for (size_t i = 1; i < copies.size(); i += 2) {
        EXPECT_TRUE(handleOpen(h1)) << i;
        copies[i] = second;
    }
    // The last holder of h1 has let go: closed.
    EXPECT_FALSE(handleOpen(h1));
    EXPECT_TRUE(handleOpen(h2));

    // Open handles until one reuses h1's value; a second close of h1 would hit it.
    std::vector<HKEY> fresh;
    for (int i = 0; i < 8; ++i) fresh.push_back(openRaw(HKEY_CURRENT_USER, f.path()));

    {
        VSYST_RegistryKey copy(second);
        VSYST_RegistryKey assigned;
        assigned = copy;
        assigned = invalid;
        VSYST_RegistryKey invalidCopy(invalid);
        EXPECT_FALSE(invalidCopy.isValid());
    }
    copies.clear();
    EXPECT_TRUE(handleOpen(h2));
    EXPECT_NO_THROW(second.getNumberOfValues());
    second = invalid;
    EXPECT_FALSE(handleOpen(h2));
    for (HKEY k : fresh) {
        EXPECT_TRUE(handleOpen(k));
        RegCloseKey(k);
    }

    // Keys opened by name share nothing: each closes its own handle.
    {
        VSYST_RegistryKey a(f.key, "", false), b(f.key, "", false);
        EXPECT_TRUE(a.isValid() && b.isValid());
        VSYST_RegistryKey c(a);
        a = b;
        EXPECT_TRUE(c.setIntValue("x", 1));
        EXPECT_TRUE(a.setIntValue("y", 1));
    }
    EXPECT_EQ(2, f.key.getNumberOfValues());
}
