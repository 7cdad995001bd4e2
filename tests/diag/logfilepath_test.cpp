// The per-user "LogFilePath" value: it switches the per-run log on and wins
// over the environment; only a plain string value counts.
#include "VSYST_DumpStream.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const char kPlatformKey[] = "Software\\Brakmar\\T.R.I.O.N.(R) Platform";

void setValue(DWORD type, const std::string& text)
{
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kPlatformKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    RegSetValueExA(k, "LogFilePath", 0, type, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
    RegCloseKey(k);
}

}  // namespace

ORV_TEST_CHILD(openStdLog)
{
    VSYST_DumpStream::openStdStream();
    VSYST_DumpStream::getStdStream() << "logged\n";
    std::printf("%s", VSYST_DumpStream::getStdStream().filePath());
    VSYST_DumpStream::closeStdStream();
    return 0;
}

TEST(LogFilePath, RegistryValueSwitchesTheLogOnAndWins)
{
    orvtest::TempDir regDir, envDir;
    orvtest::RegValueRestorer restore(HKEY_CURRENT_USER, kPlatformKey, "LogFilePath");
    setValue(REG_SZ, regDir.path());

    orvtest::ChildResult r = orvtest::runChild("openStdLog", {}, {"ORV_STDLOGFILE=", "ORV_DIR_LOGFILES=" + envDir.path()});
    ASSERT_EQ(0u, r.exitCode);
    ASSERT_EQ(1u, regDir.list().size());
    EXPECT_TRUE(envDir.list().empty());
    EXPECT_EQ(regDir.path() + "\\" + regDir.list()[0], r.out);
    std::string text = orvtest::readFile(r.out);
    EXPECT_NE(std::string::npos, text.find("logged\r\n"));
    EXPECT_NE(std::string::npos, text.find("APPLICATION DUMP FINISHED AT : "));
}

TEST(LogFilePath, OnlyPlainNonEmptyStringsCount)
{
    orvtest::TempDir regDir, envDir;
    orvtest::RegValueRestorer restore(HKEY_CURRENT_USER, kPlatformKey, "LogFilePath");
    for (DWORD type : {static_cast<DWORD>(REG_EXPAND_SZ), static_cast<DWORD>(REG_SZ)}) {
        setValue(type, type == REG_SZ ? std::string() : regDir.path());
        orvtest::ChildResult r = orvtest::runChild("openStdLog", {}, {"ORV_STDLOGFILE=", "ORV_DIR_LOGFILES=" + envDir.path()});
        ASSERT_EQ(0u, r.exitCode);
        EXPECT_EQ("", r.out) << "type " << type;
        EXPECT_TRUE(regDir.list().empty());
        EXPECT_TRUE(envDir.list().empty());
    }
}
