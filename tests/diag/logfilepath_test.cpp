// The per-user "LogFilePath" value: it switches the per-run log on and wins
// over the environment; only a plain string value counts.
#include "VSYST_DumpStream.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

const char kPlatformKey[] = "Software\\Brakmar\\T.R.I.O.N.(R) Platform";

ORV_TEST_CHILD(openStdLog)
{
    VSYST_DumpStream::openStdStream();
    VSYST_DumpStream::getStdStream() << "logged\n";
    std::printf("%s", VSYST_DumpStream::getStdStream().filePath());
    VSYST_DumpStream::closeStdStream();
    return 0;
}

TEST(LogFilePath, PlainNonEmptyStringSwitchesTheLogOnAndWins)
{
    orvtest::TempDir regDir, envDir;
    orvtest::RegValueRestorer restore(HKEY_CURRENT_USER, kPlatformKey, "LogFilePath");
    const struct { DWORD type; std::string value; bool counts; } cases[] = {
        {REG_EXPAND_SZ, regDir.path(), false},
        {REG_SZ, "", false},
        {REG_SZ, regDir.path(), true},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, kPlatformKey, "LogFilePath", c.type, c.value.c_str(),
                                                 static_cast<DWORD>(c.value.size() + 1)));
        orvtest::ChildResult r =
            orvtest::runChild("openStdLog", {}, {"ORV_STDLOGFILE=", "ORV_DIR_LOGFILES=" + envDir.path()});
        ASSERT_EQ(0u, r.exitCode);
        EXPECT_TRUE(envDir.list().empty()) << c.type;
        ASSERT_EQ(c.counts ? 1u : 0u, regDir.list().size()) << c.type;
        EXPECT_EQ(c.counts ? regDir.file(regDir.list()[0]) : "", r.out);
        EXPECT_EQ(c.counts, orvtest::readFile(r.out).find("logged\r\n") != std::string::npos);
    }
}
