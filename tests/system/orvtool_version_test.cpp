// orvtool version on the version test modules.
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

namespace {

orvtest::ChildResult orvtool(const std::vector<std::string>& args)
{
    return orvtest::runProgram(orvtest::exeDir() + "\\orvtool.exe", args);
}

std::string normalised(std::string s)
{
    std::string out;
    for (char c : s)
        if (c != '\r') out += c;
    return out;
}

}  // namespace

TEST(OrvtoolVersion, ShowsWhatTheLibraryReads)
{
    const std::string full = orvtest::exeDir() + "\\vi_full.dll";
    orvtest::ChildResult r = orvtool({"version", full, "--run-info", "ModB"});
    ASSERT_EQ(0u, r.exitCode) << r.err;
    EXPECT_EQ("file:             " + full + "\n"
              "product version:  7.1.3.12 (from the version resource)\n"
              "product text:     7.1.3.12-full\n"
              "internal name:    VIFull\n"
              "run info:         ModA,ModB\n"
              "registry base:    Brakmar\\VITest (own)\n"
              "basic key name:   Software\\Brakmar\\VITest\\7.1\n"
              "run info check:   contained\n",
              normalised(r.out));

    r = orvtool({"version", orvtest::exeDir() + "\\QSTAGED.EXE", "--run-info", "x"});
    EXPECT_EQ(0u, r.exitCode);
    std::string out = normalised(r.out);
    EXPECT_NE(std::string::npos, out.find("product version:  2004.0.0.0 (generic)\n")) << out;
    EXPECT_NE(std::string::npos, out.find("registry base:    Brakmar\\ZovIdiv FT (generic)\n")) << out;
    EXPECT_NE(std::string::npos, out.find("basic key name:   Software\\Brakmar\\ZovIdiv FT\\2004.0\n")) << out;
    EXPECT_NE(std::string::npos, out.find("run info check:   no run info\n")) << out;

    r = orvtool({"version", orvtest::exeDir() + "\\no_such.dll"});
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_NE(std::string::npos, normalised(r.out).find("registry base:    Brakmar\\T.R.I.O.N.(R) Platform\\Generic Application (generic)\n"));

    EXPECT_EQ(2u, orvtool({"version"}).exitCode);
    EXPECT_EQ(2u, orvtool({"version", full, "--run-info"}).exitCode);
    EXPECT_EQ(2u, orvtool({"version", full, "--other", "x"}).exitCode);
}
