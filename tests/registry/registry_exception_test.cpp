// The registry exceptions: their texts, and the report displayReason writes
// to the standard log (read back from the per-run log file of a child).
#include "VSYST_DumpStream.h"
#include "VSYST_RegistryKey.h"
#include "reg_test_util.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace regtest;

namespace {

// Opens the protected description to the test.
struct InvalidKeyProbe : VSYST_RegistryInvalidKey {
    using VSYST_RegistryInvalidKey::VSYST_RegistryInvalidKey;
    std::string info() const { return text(getAdditionalInfo()); }
};

struct ExceptionProbe : VSYST_RegistryException {
    using VSYST_RegistryException::VSYST_RegistryException;
    std::string info() const { return text(getAdditionalInfo()); }
};

size_t count(const std::string& haystack, const std::string& needle)
{
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(RegistryException, Descriptions)
{
    EXPECT_EQ("The specified Registry key \"Software\\X\\v\" is invalid",
              InvalidKeyProbe("Software\\X\\v", "f", 1).info());
    EXPECT_EQ("The specified Registry key \"\\\" is invalid", InvalidKeyProbe("\\", "f", 1).info());
    EXPECT_EQ("The specified Registry key is invalid", InvalidKeyProbe("", nullptr, 0).info());
    EXPECT_EQ("", ExceptionProbe("file", 3).info());
    EXPECT_EQ("", ExceptionProbe().info());

    ExceptionProbe plain;
    EXPECT_EQ(nullptr, plain.getFile());
    EXPECT_EQ(0, plain.getLine());

    // Copies carry everything; assignment too.
    VSYST_RegistryInvalidKey original("name", "src.cpp", 12);
    VSYST_RegistryInvalidKey copy(original);
    EXPECT_EQ("name", text(copy.getKeyName()));
    EXPECT_STREQ("src.cpp", copy.getFile());
    EXPECT_EQ(12, copy.getLine());
    VSYST_RegistryInvalidKey assigned("other", nullptr, 0);
    assigned = original;
    EXPECT_EQ("name", text(assigned.getKeyName()));
    EXPECT_EQ(12, assigned.getLine());
}

TEST(RegistryException, ThrownByTheKeyAndCaughtAsItsBases)
{
    orvtest::TestRegKey tk("exception-bases");
    VSYST_RegistryKey key(VSYST_RegistryKey(VSYST_RegCurrentUser), tk.subPath().c_str(), false);
    int caught = 0;
    try {
        key.getStringValue("missing");
    } catch (const VSYST_RegistryException& e) {
        ++caught;
        EXPECT_STREQ("common/v_tools/v_etc/registry", e.getFile());
        EXPECT_EQ(0x80004005L, e.mapToHRESULT());
        const VSYST_RegistryInvalidKey* invalid = dynamic_cast<const VSYST_RegistryInvalidKey*>(&e);
        ASSERT_NE(nullptr, invalid);
        EXPECT_EQ("\\missing", text(invalid->getKeyName()));
    }
    try {
        key.getFloatValue("missing");
    } catch (const V_Exception&) {
        ++caught;
    }
    try {
        VSYST_RegistryKey().getNumberOfValues();
    } catch (const VSYST_Exception&) {
        ++caught;
    }
    EXPECT_EQ(3, caught);
}

// Writes reports into the standard log; prints the line of the library's throw.
ORV_TEST_CHILD(reports)
{
    if (argc < 1) return 90;
    // Root keys lead below the test key, so that the log's own registry
    // lookup creates nothing outside it.
    HKEY below = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, argv[0], 0, KEY_ALL_ACCESS, &below) != ERROR_SUCCESS) return 2;
    if (RegOverridePredefKey(HKEY_CURRENT_USER, below) != ERROR_SUCCESS) return 3;

    VSYST_DumpStream::openStdStream();
    VSYST_DumpStream& log = VSYST_DumpStream::getStdStream();
    log << "[thrown]";
    VSYST_RegistryKey key(VSYST_RegistryKey(VSYST_RegCurrentUser), "", false);
    int line = 0;
    try {
        key.getIntValue("absent");
    } catch (const VSYST_RegistryInvalidKey& e) {
        line = e.getLine();
        log << "[display]";
        e.displayReason();
    }
    log << "[empty]";
    VSYST_RegistryInvalidKey("", nullptr, 0).displayReason();
    log << "[base]";
    VSYST_RegistryException("some/file.cpp", -7).displayReason();
    log << "[through base]";
    const VSYST_RegistryException& asBase = VSYST_RegistryInvalidKey("K", "f", 40000);
    asBase.displayReason();
    log << "[end]";
    VSYST_DumpStream::closeStdStream();
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(below);
    std::printf("%d\n", line);
    return 0;
}

TEST(RegistryException, DisplayReasonWritesTheReport)
{
    orvtest::TempDir logs;
    orvtest::TestRegKey tk("exception-report");
    orvtest::ChildResult r = orvtest::runChild(
        "reports", {tk.subPath()}, {"ORV_STDLOGFILE=1", "ORV_DIR_LOGFILES=" + logs.path(), "ORV_VerboseException="});
    ASSERT_EQ(0u, r.exitCode) << r.err;
    std::vector<std::string> files = logs.list();
    ASSERT_EQ(1u, files.size());
    const std::string log = orvtest::readFile(logs.file(files[0]));
    const std::string line = r.out.substr(0, r.out.find_first_of("\r\n"));

    auto between = [&](const std::string& from, const std::string& to) {
        size_t a = log.find(from), b = log.find(to);
        if (a == std::string::npos || b == std::string::npos || b < a) return std::string("<markers missing>");
        return log.substr(a + from.size(), b - a - from.size());
    };
    // Constructing and throwing wrote nothing.
    EXPECT_EQ("", between("[thrown]", "[display]"));
    EXPECT_EQ("\r\n!E\tEXCEPTION class VSYST_RegistryInvalidKey\r\n"
              "!E\tLOCATION    : \"common/v_tools/v_etc/registry\" (line " + line + ").\r\n"
              "!E\tDESCRIPTION : \"The specified Registry key \"\\absent\" is invalid\"\r\n",
              between("[display]", "[empty]"));
    EXPECT_EQ("\r\n!E\tEXCEPTION class VSYST_RegistryInvalidKey\r\n"
              "!E\tDESCRIPTION : \"The specified Registry key is invalid\"\r\n",
              between("[empty]", "[base]"));
    EXPECT_EQ("\r\n!E\tEXCEPTION class VSYST_RegistryException\r\n"
              "!E\tLOCATION    : \"some/file.cpp\" (line -7).\r\n",
              between("[base]", "[through base]"));
    EXPECT_EQ("\r\n!E\tEXCEPTION class VSYST_RegistryInvalidKey\r\n"
              "!E\tLOCATION    : \"f\" (line 40000).\r\n"
              "!E\tDESCRIPTION : \"The specified Registry key \"K\" is invalid\"\r\n",
              between("[through base]", "[end]"));
    EXPECT_EQ(0u, count(log, "THROW EXCEPTION"));
    EXPECT_NE("0", line);
}
