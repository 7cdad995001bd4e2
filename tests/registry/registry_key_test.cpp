// VSYST_RegistryKey below a private test key, checked with the Win32 API.
#include "VSYST_RegistryKey.h"
#include "reg_test_util.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace regtest;

namespace {

// Each test works below a test key of its own; key is the library's object for it.
class RegistryKey : public ::testing::Test {
protected:
    std::string path(const std::string& sub = "") const { return tk.subPath() + (sub.empty() ? "" : "\\" + sub); }
    bool raw(const std::string& sub, const std::string& name, DWORD type, const std::string& data) const
    {
        return writeRaw(HKEY_CURRENT_USER, path(sub), name, type, data);
    }
    std::vector<std::string> values(const std::string& sub = "") const { return namesIn(HKEY_CURRENT_USER, path(sub), false); }
    bool exists(const std::string& sub) const { return keyExists(HKEY_CURRENT_USER, path(sub)); }
    orvtest::TestRegKey tk{::testing::UnitTest::GetInstance()->current_test_info()->name()};
    VSYST_RegistryKey root{VSYST_RegCurrentUser}, key{root, tk.subPath().c_str(), false};
};

// What a call returns, or "thrown <key name>" for VSYST_RegistryInvalidKey.
template <class F> std::string orThrown(F call)
{
    try {
        return call();
    } catch (const VSYST_RegistryInvalidKey& e) {
        return "thrown " + text(e.getKeyName());
    }
}

// Every reader on one value: "string | environment string | integer | float";
// "-" where a reader fails and gives the empty value, "?" and the value where it gives another.
std::string readings(const VSYST_RegistryKey& k, const char* name)
{
    bool s = false, e = false, i = false, f = false;
    const std::string got[4] = {text(k.getStringValue(name, s)), text(k.getEnvStringValue(name, e)),
                                std::to_string(k.getIntValue(name, i)), std::to_string(k.getFloatValue(name, f))};
    const bool ok[4] = {s, e, i, f};
    const char* const empty[4] = {"", "", "0", "0.000000"};
    std::string all;
    for (int r = 0; r < 4; ++r) all += (r ? " | " : "") + (ok[r] ? got[r] : got[r] == empty[r] ? "-" : "?" + got[r]);
    return all;
}

// Results of several calls as "1" and "0".
std::string bits(std::initializer_list<bool> results)
{
    std::string r;
    for (bool b : results) r += b ? '1' : '0';
    return r;
}

// Every value of a key as "name=type:bytes", in name order.
std::vector<std::string> dump(const std::string& path)
{
    std::vector<std::string> all;
    for (const std::string& n : namesIn(HKEY_CURRENT_USER, path, false)) {
        DWORD type = 0;
        std::string data;
        readRaw(HKEY_CURRENT_USER, path, n, &type, &data);
        all.push_back(n + "=" + std::to_string(type) + ":" + data);
    }
    return all;
}

// What an enumeration from index delivers, as "name=value@index after the
// call": string values, integer values or ("=" alone) sub-keys.
std::vector<std::string> enumerated(const VSYST_RegistryKey& k, char what, unsigned long index = 0)
{
    std::vector<std::string> seen;
    V_STRING name, value;
    long number = 0;
    while (seen.size() < 10) {
        if (what == 's' ? k.getStringValueByIndex(index, name, value)
                        : what == 'i' ? k.getIntValueByIndex(index, name, number) : k.getKeyByIndex(index, name))
            break;
        const std::string shown = what == 's' ? text(value) : what == 'i' ? std::to_string(number) : "";
        seen.push_back(text(name) + "=" + shown + "@" + std::to_string(index));
    }
    return seen;
}

}  // namespace

TEST_F(RegistryKey, InvalidAndBrokenKeysFailSoftly)
{
    ASSERT_TRUE(key.setIntValue("kept", 1));
    VSYST_RegistryKey invalid;
    // A key deleted behind the object's back: its handle stays open but refuses everything.
    ASSERT_TRUE(raw("gone", "kept", REG_DWORD, bytes({1, 0, 0, 0})));
    VSYST_RegistryKey broken(key, "gone", false);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, path("gone").c_str()));
    for (VSYST_RegistryKey* dead : {&invalid, &broken}) {
        SCOPED_TRACE(dead == &invalid ? "invalid" : "broken");
        // Enumerations end at once and leave index and name alone; copies to or
        // from it fail without touching the valid key.
        unsigned long index = 0;
        V_STRING name("unchanged"), value;
        long number = 5;
        EXPECT_EQ("000000000111000",
                  bits({dead->setStringValue("s", "x"), dead->setEnvStringValue("s", "x"), dead->setIntValue("i", 1),
                        dead->setFloatValue("f", 1.0), dead->setBinaryValue("b", "ab", 2), dead->deleteValue("kept"),
                        dead->deleteAllValues(), dead->deleteAllValuesAndSubKeys(),
                        dead->deleteAllValuesAndSubKeys("x"), dead->getKeyByIndex(index, name),
                        dead->getStringValueByIndex(index, name, value), dead->getIntValueByIndex(index, name, number),
                        dead->copyAllValuesTo(key), key.copyAllValuesTo(*dead), dead->copyAllValuesAndSubKeysTo(key)}));
        EXPECT_EQ("unchanged", text(name) + (index ? "moved" : ""));
        EXPECT_EQ("- | - | - | -", readings(*dead, "kept"));
        EXPECT_EQ("thrown <Cannot get class name>\\value", orThrown([&] { return text(dead->getStringValue("value")); }));
        EXPECT_EQ("thrown <Cannot get class name>", orThrown([&] { return std::to_string(dead->getNumberOfSubKeys()); }));
        EXPECT_EQ("thrown <Cannot get class name>", orThrown([&] { return std::to_string(dead->getNumberOfValues()); }));
    }
    EXPECT_FALSE(key.copyAllValuesAndSubKeysTo(invalid));
    EXPECT_EQ(std::vector<std::string>{"kept"}, values());
    EXPECT_FALSE(invalid.setValuesBegin());
    // A sub-key of an invalid parent is invalid, even with create.
    EXPECT_FALSE(VSYST_RegistryKey(invalid, "child", true).isValid());
}

TEST_F(RegistryKey, EveryKindStoredAndRead)
{
    const std::string longText(3000, 'L');
    orvtest::ScopedEnv shortVar("ORVTEST_SHORT", "v"), longVar("ORVTEST_LONG", longText.c_str());
    const unsigned char payload[] = {1, 0, 0xFF, 'B', ':'};
    ASSERT_EQ("1111111",
              bits({key.setStringValue("str", "abc"), key.setStringValue("empty", ""),
                    key.setEnvStringValue("env", "%ORVTEST_SHORT%\\x"), key.setIntValue("int", -2),
                    key.setFloatValue("float", 1.5), key.setBinaryValue("bin", payload, sizeof payload),
                    key.setBinaryValue("nobytes", nullptr, 0)}));

    // What the library wrote, byte for byte; then values other writers leave.
    // No conversion between kinds; the tag alone decides a binary value's kind.
    struct Value { const char* name; DWORD type; std::string data; VSYST_RegistryValueType kind; std::string readings; };
    const Value values[] = {
        {"str", REG_SZ, std::string("abc\0", 4), VSYST_RegValString, "abc | abc | - | -"},
        {"empty", REG_SZ, std::string("\0", 1), VSYST_RegValString, " |  | - | -"},
        {"env", REG_SZ, std::string("%ORVTEST_SHORT%\\x\0", 18), VSYST_RegValString, "%ORVTEST_SHORT%\\x | v\\x | - | -"},
        {"int", REG_DWORD, bytes({0xFE, 0xFF, 0xFF, 0xFF}), VSYST_RegValInt, "- | - | -2 | -"},
        {"float", REG_BINARY, bytes({'F', ':', 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}), VSYST_RegValFloat, "- | - | - | 1.500000"},
        {"bin", REG_BINARY, bytes({'B', ':', 1, 0, 0xFF, 'B', ':'}), VSYST_RegValBinary, "- | - | - | -"},
        {"nobytes", REG_BINARY, "B:", VSYST_RegValBinary, "- | - | - | -"},
        {"shortdword", REG_DWORD, bytes({1, 2}), VSYST_RegValInt, "- | - | - | -"},
        {"longdword", REG_DWORD, bytes({5, 0, 0, 0, 9, 9}), VSYST_RegValInt, "- | - | 5 | -"},
        {"embedded", REG_SZ, std::string("ab\0cd\0", 6), VSYST_RegValString, "ab | ab | - | -"},
        {"unterminated", REG_SZ, "xyz", VSYST_RegValString, "xyz | xyz | - | -"},
        {"expand", REG_EXPAND_SZ, std::string("%ORVTEST_SHORT%\\y\0", 18), VSYST_RegValString, "- | v\\y | - | -"},
        // Far longer once expanded than twice its stored length: a second expansion.
        {"long", REG_SZ, std::string("<%ORVTEST_LONG%>\0", 17), VSYST_RegValString,
         "<%ORVTEST_LONG%> | <" + longText + "> | - | -"},
        {"multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5), VSYST_RegValOther, "- | - | - | -"},
        {"untagged", REG_BINARY, "C:xx", VSYST_RegValOther, "- | - | - | -"},
        {"onebyte", REG_BINARY, "F", VSYST_RegValOther, "- | - | - | -"},
        {"shortfloat", REG_BINARY, "F:" + std::string(7, '\4'), VSYST_RegValFloat, "- | - | - | -"},
    };
    for (const Value& v : values) {
        SCOPED_TRACE(v.name);
        DWORD type = 0;
        std::string data;
        const bool ours = &v < values + 7;   // the first seven, written above; the others raw here
        ASSERT_TRUE(ours ? readRaw(HKEY_CURRENT_USER, path(), v.name, &type, &data) : raw("", v.name, v.type, v.data));
        if (ours) {
            EXPECT_EQ(std::make_pair(v.type, v.data), std::make_pair(type, data));
        }
        EXPECT_EQ(v.kind, key.getTypeOf(v.name));
        EXPECT_EQ(v.readings, readings(key, v.name));
    }
    // The default and throwing forms: the value, else the default, or an exception naming
    // the key's class string (empty here), a backslash and the value name.
    EXPECT_EQ("abc|dflt||v\\x|thrown \\missing|-2|42|1.500000",
              text(key.getStringValue("str", "dflt")) + "|" + text(key.getStringValue("missing", "dflt")) + "|" +
                  text(key.getStringValue("missing", static_cast<const char*>(nullptr))) + "|" +
                  text(key.getEnvStringValue("env")) + "|" + orThrown([&] { return text(key.getEnvStringValue("missing")); }) +
                  "|" + std::to_string(key.getIntValue("int", 42L)) + "|" + std::to_string(key.getIntValue("missing", 42L)) +
                  "|" + std::to_string(key.getFloatValue("float")));

    // Out-of-range arguments are refused.
    EXPECT_FALSE(key.setBinaryValue("nodata", nullptr, 4) || key.setBinaryValue("huge", payload, 0xFFFFFFFFul));

    // The binary reader: capacity in, size out, result, and the buffer (0xCC before).
    // Too small: the size needed, the bytes zeroed. Not a binary value of ours: size 0,
    // the bytes zeroed as far as the capacity, or the stored payload of an untagged or float value.
    VSYST_RegistryKey invalid;
    const std::string five(reinterpret_cast<const char*>(payload), sizeof payload);
    struct Case { const VSYST_RegistryKey& key; const char* name; unsigned long in, out; bool ok; std::string buffer; };
    const Case cases[] = {
        {key, "bin", 4, 5, false, std::string(4, '\0')},        {key, "bin", 5, 5, true, five},
        {key, "bin", 16, 5, true, five},                        {key, "nobytes", 3, 0, true, ""},
        {key, "str", 3, 0, false, std::string(3, '\0')},        {key, "onebyte", 16, 0, false, std::string(16, '\0')},
        {key, "float", 16, 0, false, std::string(8, '\0')},     {invalid, "bin", 2, 0, false, std::string(2, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " in " + std::to_string(c.in));
        char buf[16];
        std::memset(buf, 0xCC, sizeof buf);
        unsigned long size = c.in;
        EXPECT_EQ(c.ok, c.key.getBinaryValue(c.name, buf, &size));
        EXPECT_EQ(c.out, size);
        EXPECT_EQ(c.buffer + std::string(sizeof buf - c.buffer.size(), '\xCC'), std::string(buf, sizeof buf));
    }
    // A null buffer asks for the size; a null size is refused.
    unsigned long size = 100;
    char buf[8];
    EXPECT_FALSE(key.getBinaryValue("bin", nullptr, &size) || key.getBinaryValue("bin", buf, nullptr));
    EXPECT_EQ(5u, size);
}

TEST_F(RegistryKey, OpeningSubKeysClassNamesAndCounts)
{
    // Without create a missing key stays missing; with create every missing
    // level is made, without a class string.
    EXPECT_FALSE(VSYST_RegistryKey(key, "a\\b", false).isValid() || exists("a"));
    VSYST_RegistryKey created(key, "a\\b", true);
    EXPECT_EQ("|", classOf(HKEY_CURRENT_USER, path("a\\b")) + "|" + text(created.getClassName()));
    ASSERT_TRUE(created.setStringValue("v", "1"));
    // Existing keys open with or without create; any access other than 0 means
    // read-only, and deleting all values then does not loop.
    VSYST_RegistryKey readOnly(key, "a\\b", true, VSYST_RegReadOnly);
    VSYST_RegistryKey odd(key, "a\\b", false, static_cast<VSYST_RegistryAccess>(7));
    for (const VSYST_RegistryKey* k : {&readOnly, &odd}) {
        EXPECT_EQ("1", text(k->getStringValue("v")));
        EXPECT_EQ("0000", bits({k->setStringValue("v", "2"), k->setIntValue("w", 2), k->deleteValue("v"),
                                k->deleteAllValues()}));
    }
    EXPECT_TRUE(VSYST_RegistryKey(key, "a\\b", false, VSYST_RegReadWrite).setIntValue("w", 2));
    // A read-only parent still creates sub-keys read-write.
    EXPECT_TRUE(VSYST_RegistryKey(readOnly, "c", true).setIntValue("z", 1) && exists("a\\b\\c"));

    const std::string cls1023(1023, 'k');
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, path("named"), "Some Class"));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, path("c1023"), cls1023.c_str()));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, path("c1024"), (cls1023 + "k").c_str()));
    VSYST_RegistryKey named(key, "named", false);
    EXPECT_EQ("Some Class|Some Class\\v|\\", text(named.getClassName()) + "|" + text(named.getClassName("v")) + "|" +
                                                 text(key.getClassName("")));
    EXPECT_EQ(cls1023, text(VSYST_RegistryKey(key, "c1023", false).getClassName()));
    // One character more than the buffer holds.
    EXPECT_EQ("<Cannot get class name>", text(VSYST_RegistryKey(key, "c1024", false).getClassName()));
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(key.setIntValue(V_STRING(static_cast<long>(i)), i));
    EXPECT_EQ("47", std::to_string(key.getNumberOfSubKeys()) + std::to_string(key.getNumberOfValues()));
}

TEST_F(RegistryKey, DeletingValuesAndTrees)
{
    for (const char* n : {"a", "b", "c", "d", ""}) ASSERT_TRUE(key.setStringValue(n, n));
    EXPECT_EQ("10", bits({key.deleteValue("b"), key.deleteValue("b")}));
    EXPECT_EQ((std::vector<std::string>{"", "a", "c", "d"}), values());
    EXPECT_EQ("11", bits({key.deleteAllValues(), key.deleteAllValues()}));   // nothing left is fine
    EXPECT_TRUE(values().empty());

    // A tree three levels deep with values at every level.
    for (const char* p : {"t", "t\\x", "t\\x\\deep", "t\\y", "keep"})
        ASSERT_TRUE(raw(p, "v", REG_SZ, std::string("1\0", 2)) && raw(p, "w", REG_DWORD, "1234"));
    VSYST_RegistryKey t(key, "t", false);
    EXPECT_TRUE(t.deleteAllValuesAndSubKeys());
    // The key itself stays, empty.
    EXPECT_TRUE(exists("t") && namesIn(HKEY_CURRENT_USER, path("t"), true).empty() && values("t").empty());
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, path("t\\again\\deeper")));
    // Deleting by name; gone already; an empty name would be this key itself.
    EXPECT_EQ("100", bits({key.deleteAllValuesAndSubKeys("t"), key.deleteAllValuesAndSubKeys("t"),
                           key.deleteAllValuesAndSubKeys("")}));
    EXPECT_EQ(std::vector<std::string>{"keep"}, namesIn(HKEY_CURRENT_USER, path(), true));
    EXPECT_EQ((std::vector<std::string>{"v", "w"}), values("keep"));

    // Names longer than the buffers end the deletion with false instead of
    // looping; deleting such a key by name reports the deletion of the key
    // alone, which values do not prevent.
    ASSERT_TRUE(raw("long", std::string(200, 'v'), REG_SZ, std::string("x\0", 2)));
    VSYST_RegistryKey longKey(key, "long", false);
    EXPECT_EQ("001", bits({longKey.deleteAllValues(), longKey.deleteAllValuesAndSubKeys(),
                           key.deleteAllValuesAndSubKeys("long")}));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, path("longsub\\" + std::string(256, 's'))));
    ASSERT_TRUE(raw("longsub", "v", REG_SZ, std::string("x\0", 2)));
    EXPECT_FALSE(VSYST_RegistryKey(key, "longsub", false).deleteAllValuesAndSubKeys());
    EXPECT_TRUE(values("longsub").empty());   // values went first
}

TEST_F(RegistryKey, CopyingValuesAndTrees)
{
    // Source: every registry type, a default value, and a tree with class strings.
    ASSERT_TRUE(key.setStringValue("s", "text") && key.setIntValue("i", 9) && key.setFloatValue("f", 1.25) &&
                key.setBinaryValue("b", "\0\1", 2) && key.setStringValue("", "default"));
    ASSERT_TRUE(raw("", "x", REG_EXPAND_SZ, std::string("%TEMP%\0", 7)) &&
                raw("", "m", REG_MULTI_SZ, std::string("a\0bc\0\0", 6)) &&
                raw("", "q", REG_QWORD, bytes({1, 2, 3, 4, 5, 6, 7, 8})) && raw("", "n", REG_NONE, ""));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, path("sub"), "ClassA"));
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, path("sub\\inner"), "ClassB"));
    ASSERT_TRUE(VSYST_RegistryKey(key, "sub\\inner", false).setIntValue("deep", 7));   // keeps the class
    ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, path("empty")));
    const std::vector<std::string> source = dump(path());

    orvtest::TestRegKey values("copy-values"), tree("copy-tree"), viaHandles("copy-handles");
    VSYST_RegistryKey valuesKey(root, values.subPath().c_str(), false);
    EXPECT_TRUE(key.copyAllValuesTo(valuesKey) && namesIn(HKEY_CURRENT_USER, values.subPath(), true).empty());
    EXPECT_EQ(source, dump(values.subPath()));
    // Tree copies between key objects, and between handles: one a key object
    // holds survives, one no key object holds is closed when the copy returns.
    HKEY held = openRaw(HKEY_CURRENT_USER, path()), other = openRaw(HKEY_CURRENT_USER, viaHandles.subPath());
    VSYST_RegistryKey holder(held, false);
    EXPECT_TRUE(key.copyAllValuesAndSubKeysTo(VSYST_RegistryKey(root, tree.subPath().c_str(), false)));
    EXPECT_TRUE(VSYST_RegistryKey::copyAllValuesAndSubKeysTo(held, other));
    EXPECT_TRUE(handleOpen(held) && !handleOpen(other));
    for (const std::string& copy : {tree.subPath(), viaHandles.subPath()}) {
        SCOPED_TRACE(copy);
        EXPECT_EQ(source, dump(copy));
        EXPECT_EQ((std::vector<std::string>{"empty", "sub"}), namesIn(HKEY_CURRENT_USER, copy, true));
        EXPECT_EQ(dump(path("sub\\inner")), dump(copy + "\\sub\\inner"));
        EXPECT_EQ("ClassA|ClassB|", classOf(HKEY_CURRENT_USER, copy + "\\sub") + "|" +
                                        classOf(HKEY_CURRENT_USER, copy + "\\sub\\inner") + "|" +
                                        classOf(HKEY_CURRENT_USER, copy + "\\empty"));
    }
    // With a null handle there is no copy, and the other handle is still taken over.
    HKEY lone = openRaw(HKEY_CURRENT_USER, path());
    EXPECT_FALSE(VSYST_RegistryKey::copyAllValuesAndSubKeysTo(lone, nullptr) || handleOpen(lone) ||
                 VSYST_RegistryKey::copyAllValuesAndSubKeysTo(nullptr, nullptr));

    // A value name longer than the buffer stops the copy with false, and so does a read-only target.
    ASSERT_TRUE(raw("sub", std::string(200, 'n'), REG_SZ, std::string("x\0", 2)));
    EXPECT_FALSE(VSYST_RegistryKey(key, "sub", false).copyAllValuesTo(valuesKey));
    EXPECT_FALSE(key.copyAllValuesTo(VSYST_RegistryKey(root, values.subPath().c_str(), false, VSYST_RegReadOnly)));
    // A target inside the source: each level copied creates the next one below it; the copy gives up.
    VSYST_RegistryKey loop(key, "loop", true), inside(loop, "inside", true);
    ASSERT_TRUE(loop.setIntValue("v", 1));
    EXPECT_FALSE(loop.copyAllValuesAndSubKeysTo(inside));
    EXPECT_TRUE(inside.getIntValue("v") == 1 && key.deleteAllValuesAndSubKeys("loop"));
}

TEST_F(RegistryKey, EnumerationByIndex)
{
    ASSERT_TRUE(key.setStringValue("a", "first") && key.setIntValue("b", 22) && key.setStringValue("c", "third") &&
                key.setFloatValue("d", 1.0) && key.setIntValue("e", -5));
    ASSERT_TRUE(raw("", "f", REG_EXPAND_SZ, std::string("x\0", 2)) && raw("", "g", REG_SZ, ""));   // g: no bytes at all
    // The indexes follow the registry's own order of the values: as written.
    EXPECT_EQ((std::vector<std::string>{"a=first@1", "c=third@3", "g=@7"}), enumerated(key, 's'));
    EXPECT_EQ((std::vector<std::string>{"b=22@2", "e=-5@5"}), enumerated(key, 'i'));
    EXPECT_TRUE(enumerated(key, 'i', 100).empty());   // starting beyond the end

    const std::string longName(256, 'z');
    for (const std::string& sub : {std::string("k1"), std::string("k2"), std::string("k3"), longName})
        ASSERT_TRUE(createRaw(HKEY_CURRENT_USER, path(sub)));
    EXPECT_EQ((std::vector<std::string>{"k1=@1", "k2=@2", "k3=@3", longName + "=@4"}), enumerated(key, 'k'));

    // A value name longer than the enumeration buffer ends the enumeration;
    // the integer beyond it is never reached.
    VSYST_RegistryKey longNames(key, "k1", false);
    ASSERT_TRUE(longNames.setStringValue("a", "1") && longNames.setStringValue(("b" + std::string(199, 'x')).c_str(), "2") &&
                longNames.setStringValue("c", "3") && longNames.setIntValue("d", 4));
    EXPECT_EQ(std::vector<std::string>{"a=1@1"}, enumerated(longNames, 's'));
    EXPECT_EQ(std::vector<std::string>{}, enumerated(longNames, 'i'));
}

TEST_F(RegistryKey, RootKeysHandlesAndTheirAccounting)
{
    ASSERT_TRUE(raw("", "v", REG_SZ, std::string("root\0", 5)));
    VSYST_RegistryKey hkcu(VSYST_RegCurrentUser, VSYST_RegReadOnly);
    EXPECT_EQ("root", text(VSYST_RegistryKey(hkcu, path().c_str(), false).getStringValue("v")));
    EXPECT_EQ("00", bits({VSYST_RegistryKey(static_cast<VSYST_RegistryRootKey>(0x12345678ul)).isValid(),
                          VSYST_RegistryKey(static_cast<HKEY>(nullptr), true).isValid()}));

    // Duplicating leaves the caller's handle alone; an adopted one is closed
    // with the last key holding it, and only once.
    HKEY h1 = openRaw(HKEY_CURRENT_USER, path()), h2 = openRaw(HKEY_CURRENT_USER, path());
    EXPECT_EQ("root", text(VSYST_RegistryKey(h1, true).getStringValue("v")));
    std::unique_ptr<VSYST_RegistryKey> first(new VSYST_RegistryKey(h1, false));
    std::vector<VSYST_RegistryKey> copies(4, *first);
    first.reset();
    VSYST_RegistryKey second(h2, false), invalid;
    copies[0] = copies[0];   // self-assignment changes nothing
    copies[1] = invalid;
    copies[1] = copies[2];   // h1 again
    for (VSYST_RegistryKey& copy : copies) {
        EXPECT_TRUE(handleOpen(h1));
        copy = second;
    }
    EXPECT_TRUE(!handleOpen(h1) && handleOpen(h2));

    // Open handles until one reuses h1's value; a second close of h1 would hit it.
    std::vector<HKEY> fresh;
    for (int i = 0; i < 8; ++i) fresh.push_back(openRaw(HKEY_CURRENT_USER, path()));
    copies.clear();
    EXPECT_TRUE(handleOpen(h2) && second.getNumberOfValues() == 1);
    second = invalid;
    EXPECT_FALSE(handleOpen(h2));
    for (HKEY k : fresh) {
        EXPECT_TRUE(handleOpen(k));
        RegCloseKey(k);
    }
}
