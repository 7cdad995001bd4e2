// A client module with its own guard and handlers, loaded and unloaded while
// the library stays: the registries outlive the module.
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include "VSYST_ApplInitExit.h"
#include "VSYST_DIManager.h"
#include "V_SIManager.h"
#include "V_StringPool.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using orvtest::crlf;

namespace {

std::string handlerDump()
{
    orvtest::CaptureStream cap;
    VSYST_ApplInitExit::dump(cap.stream());
    return cap.text();
}

std::vector<std::string> infosOf(const char* group)
{
    std::vector<std::string> r;
    for (VSYST_DICursor c; c.validG(); c.nextG())
        if (std::strcmp(c.getG(), group) == 0)
            for (; c.validD(); c.nextD()) r.push_back(c.getD());
    return r;
}

void hostDump(VSYST_DumpStream& stream, unsigned long) { stream << "host"; }

long counter(const char* name) { return V_SIFind(name)->value1; }

HMODULE loadClient() { return LoadLibraryA((orvtest::exeDir() + "\\orvtest_client.dll").c_str()); }

const char* const kClientLine = "\tHandler for \"orvtest client module\" (Priority=100)";

}  // namespace

TEST(ClientModule, RegistriesSurviveTheModulesUnload)
{
    const unsigned long libraryGuards = _vsyst_GI::s_count;
    EXPECT_EQ(4ul, libraryGuards);
    const char* hostText = V_StringPool_CHAR::allocCopy("text of the host");
    V_SIFind("host.record")->value1 = 3;
    const V_StringPool_CHAR* pool = V_StringPool_CHAR::instance();

    HMODULE client = loadClient();
    ASSERT_NE(nullptr, client);
    EXPECT_EQ(libraryGuards + 1, _vsyst_GI::s_count);
    EXPECT_NE(std::string::npos, handlerDump().find(crlf(kClientLine)));

    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    EXPECT_EQ(1, counter("orvtest.client.inits"));
    EXPECT_EQ(std::vector<std::string>{"Client state"}, infosOf("Client"));
    {
        orvtest::CaptureStream cap;
        VSYST_DIManager::call("Client", "Client state", nullptr, cap.stream());
        EXPECT_EQ(crlf("client module state\n"), cap.text());
    }
    auto clientTextFn = reinterpret_cast<const char* (*)()>(reinterpret_cast<void*>(GetProcAddress(client, "orvtestClientText")));
    ASSERT_NE(nullptr, clientTextFn);
    const char* clientText = clientTextFn();
    EXPECT_STREQ("text of the client", clientText);

    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(1, counter("orvtest.client.exits"));
    EXPECT_TRUE(infosOf("Client").empty());
    VSYST_DIManager::add("Host", "kept", "a\nb", &hostDump);

    ASSERT_TRUE(FreeLibrary(client));
    EXPECT_EQ(nullptr, GetModuleHandleA("orvtest_client.dll"));
    EXPECT_EQ(libraryGuards, _vsyst_GI::s_count);
    EXPECT_EQ(std::string::npos, handlerDump().find("orvtest client module"));

    // Pools, static instance table and debug-info tree are still those of before.
    EXPECT_EQ(pool, V_StringPool_CHAR::instance());
    EXPECT_STREQ("text of the host", hostText);
    EXPECT_STREQ("text of the client", clientText);
    EXPECT_EQ(3, counter("host.record"));
    EXPECT_EQ(1, counter("orvtest.client.inits"));
    EXPECT_EQ(std::vector<std::string>{"kept"}, infosOf("Host"));

    // A second load of the module works on the same registries.
    client = loadClient();
    ASSERT_NE(nullptr, client);
    EXPECT_EQ(libraryGuards + 1, _vsyst_GI::s_count);
    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    EXPECT_EQ(2, counter("orvtest.client.inits"));
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(2, counter("orvtest.client.exits"));
    ASSERT_TRUE(FreeLibrary(client));
    EXPECT_EQ(libraryGuards, _vsyst_GI::s_count);
}

TEST(ClientModule, UnloadBeforeDoExitLeavesNothingToCall)
{
    orvtest::LogFolderCapture log;
    orvtest::ScopedEnv trace("ORVFT_TRACE_APPLINITEXIT", "1");
    HMODULE client = loadClient();
    ASSERT_NE(nullptr, client);
    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    EXPECT_EQ(1, counter("orvtest.client.inits"));
    ASSERT_TRUE(FreeLibrary(client));

    // The module's handler and callback went with it; the library's entries stay.
    EXPECT_EQ(std::string::npos, handlerDump().find("orvtest client module"));
    EXPECT_TRUE(infosOf("Client").empty());
    EXPECT_EQ(5u, infosOf("System").size());
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(0, counter("orvtest.client.exits"));

    std::string text = log.text();
    EXPECT_NE(std::string::npos, text.find(crlf("\tInitializing \"orvtest client module\" (Priority=100,State=OK)\n")));
    EXPECT_EQ(std::string::npos, text.find("Terminating \"orvtest client module\""));
    EXPECT_NE(std::string::npos, text.find(crlf("Ending ZANDrel-FT termination : part 1\n\n")));
}
