// Load and unload at run time: "Console Log" of the machine's diagnostics key, the TLS index.
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

TEST(DllLoad, ConsoleLogFromLoadUntilDoInit)
{
    const std::string kDiagnostics = "SOFTWARE\\Brakmar\\T.R.I.O.N.(R) Platform\\Diagnostics";
    const struct { DWORD type; std::string bytes; bool console; } cases[] = {
        {REG_SZ, std::string("oN", 3), true},
        {REG_SZ, std::string("on ", 4), false},
        {REG_SZ, std::string("on, and longer", 15), false},   // does not fit the 15 bytes read
        {REG_NONE, "", false},                                 // no value
    };
    {
        orvtest::RegValueRestorer restore(HKEY_LOCAL_MACHINE, kDiagnostics, "Console Log");
        for (const auto& c : cases) {
            if (c.type == REG_NONE) RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kDiagnostics.c_str(), "Console Log");
            else ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, kDiagnostics.c_str(), "Console Log", c.type,
                                                          c.bytes.data(), static_cast<DWORD>(c.bytes.size())));
            orvtest::ChildResult r = orvtest::runProgram(orvtest::exeDir() + "\\dllload_host.exe", {},
                                                         {"ORV_STDLOGFILE=", "ORVFT_TRACE_APPLINITEXIT="});
            // The console output ends inside doInit, where the standard log opens.
            EXPECT_EQ(c.console ? "before doInit\r\n\r\nVSYST_ApplInitExit::doInit s_initCounter==1" : "", r.out)
                << c.bytes;
            EXPECT_EQ("tls index freed at unload: yes\r\ndebugger received the text before doInit: yes\r\n", r.err)
                << c.bytes;
        }
    }
    orvtest::removeEmptyKeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brakmar\\T.R.I.O.N.(R) Platform", 2);   // above the value's key
    // doInit opened the standard log, which reads its per-user value.
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 2);
}
