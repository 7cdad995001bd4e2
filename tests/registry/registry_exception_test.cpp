// The registry exceptions: their texts, and the report displayReason writes
// to the standard log.
#include "VSYST_RegistryKey.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

TEST(RegistryException, DisplayReasonWritesTheReport)
{
    orvtest::ScopedEnv quiet("ORV_VerboseException", nullptr);
    orvtest::TestRegKey tk("exception-report");
    orvtest::StdLogCapture log;
    const size_t start = log.size();
    // What the key throws is caught as any of its bases.
    VSYST_RegistryKey key(VSYST_RegistryKey(VSYST_RegCurrentUser), tk.subPath().c_str(), false);
    EXPECT_THROW(key.getFloatValue("absent"), V_Exception);
    std::string line;
    try {
        key.getIntValue("absent");
    } catch (const VSYST_RegistryException& e) {
        EXPECT_EQ(0x80004005L, e.mapToHRESULT());
        line = std::to_string(dynamic_cast<const VSYST_RegistryInvalidKey&>(e).getLine());
        e.displayReason();
    }
    EXPECT_NE("0", line);
    VSYST_RegistryInvalidKey("", nullptr, 0).displayReason();
    VSYST_RegistryException("some/file.cpp", -7).displayReason();
    // Copies and assignments carry everything; the report goes through the base.
    VSYST_RegistryInvalidKey original("K", "f", 40000);
    VSYST_RegistryInvalidKey copy(original), assigned("other", nullptr, 0);
    assigned = copy;
    const VSYST_RegistryException& asBase = assigned;
    asBase.displayReason();
    // Constructing and throwing wrote nothing: no "THROW EXCEPTION" report.
    EXPECT_EQ("\r\n!E\tEXCEPTION class VSYST_RegistryInvalidKey\r\n"
              "!E\tLOCATION    : \"common/v_tools/v_etc/registry\" (line " + line + ").\r\n"
              "!E\tDESCRIPTION : \"The specified Registry key \"\\absent\" is invalid\"\r\n"
              "\r\n!E\tEXCEPTION class VSYST_RegistryInvalidKey\r\n"
              "!E\tDESCRIPTION : \"The specified Registry key is invalid\"\r\n"
              "\r\n!E\tEXCEPTION class VSYST_RegistryException\r\n"
              "!E\tLOCATION    : \"some/file.cpp\" (line -7).\r\n"
              "\r\n!E\tEXCEPTION class VSYST_RegistryInvalidKey\r\n"
              "!E\tLOCATION    : \"f\" (line 40000).\r\n"
              "!E\tDESCRIPTION : \"The specified Registry key \"K\" is invalid\"\r\n",
              log.since(start));
}
