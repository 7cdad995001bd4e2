// A client module with its own guard and handler, loaded and unloaded while the library stays.
#include "diag/LogCapture.h"
#include "strings/orv_pool_internal.h"

#include "VSYST_ApplInitExit.h"
#include "VSYST_DIManager.h"
#include "V_SIManager.h"
#include "V_StringPool.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

long counter(const char* name) { return V_SIFind(name)->value1; }

}  // namespace

TEST(ClientModule, RegistriesSurviveTheModulesUnload)
{
    const char* hostText = V_StringPool_CHAR::allocCopy("text of the host");
    V_SIFind("host.record")->value1 = 3;
    const V_StringPool_CHAR* pool = _vsyst_PoolView::instance<V_StringPool_CHAR>();

    HMODULE client = LoadLibraryA("orvtest_client.dll");
    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    FARPROC clientText = GetProcAddress(client, "orvtestClientText");
    ASSERT_NE(nullptr, clientText);
    const char* text = reinterpret_cast<const char* (*)()>(reinterpret_cast<void*>(clientText))();
    VSYST_ApplInitExit::doExit();
    VSYST_DIManager::add("Host", "kept", nullptr, [](VSYST_DumpStream& s, unsigned long) { s << "host"; });

    ASSERT_TRUE(FreeLibrary(client));
    EXPECT_TRUE(_vsyst_GI::s_count == 4 && pool == _vsyst_PoolView::instance<V_StringPool_CHAR>());
    EXPECT_EQ("text of the host|text of the client|3 1|host",
              std::string(hostText) + "|" + text + "|" + std::to_string(counter("host.record")) + " " +
                  std::to_string(counter("orvtest.client.inits")) + "|" + orvtest::diCall("Host", "kept"));

    // Unloaded between doInit and doExit, the module takes its handler with it.
    client = LoadLibraryA("orvtest_client.dll");
    ASSERT_TRUE(VSYST_ApplInitExit::doInit());
    EXPECT_EQ(2, counter("orvtest.client.inits"));
    ASSERT_TRUE(FreeLibrary(client));
    EXPECT_EQ(std::string::npos, orvtest::written(VSYST_ApplInitExit::dump).find("orvtest client module"));
    VSYST_ApplInitExit::doExit();
    EXPECT_EQ(1, counter("orvtest.client.exits"));
}
