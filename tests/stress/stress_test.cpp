// The process-wide tables under 8 threads: open keys, module levels, the
// debug-info registry, the string pools, the static instance table and the
// feature set.
#include "registry/reg_test_util.h"
#include "support/OrvTestSupport.h"
#include "strings/orv_si_internal.h"

#include "OrvCore.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

using Diag = VDIAG_FailureDiagnostics;

namespace {

const char kApp[] = "Software\\Brakmar\\T.R.I.O.N.(R) Platform\\Diagnostics\\Application";
std::atomic<long> g_calls{0};
void countCall(VSYST_DumpStream&, unsigned long) { ++g_calls; }

// What one thread did, kept by the thread itself.
struct Model {
    std::set<std::string> infos;   // its entries left in the group "Stress"
    std::vector<std::pair<const char*, std::string>> copies;
    long increments = 0, inserts = 0, calls = 0, errors = 0;
    long features[8] = {};   // the states of its own features
};

void work(int t, const VSYST_RegistryKey& shared, const std::vector<std::string>& modules, Model& m)
{
    unsigned x = 2463534242u + 977u * static_cast<unsigned>(t);   // the same operations on every run
    VSYST_DumpStream quiet(nullptr, 0);
    VSYST_RegistryKey mine;
    int refs[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    for (int i = 0; i < 20000; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        const unsigned j = x % 8;
        const bool flip = x & 0x100000;
        const std::string tag = std::to_string(t) + "." + std::to_string(i);
        const std::string entry = std::to_string(t) + "." + std::to_string(j);
        switch ((x >> 8) % 7) {
        case 0: {   // copies and assignments of one handle on every thread
            VSYST_RegistryKey copy(shared);
            mine = copy;
            m.errors += j == 0 && !VSYST_RegistryKey(copy, V_STRING("sub"), false).isValid();
            break;
        }
        case 1:
            m.errors += j != static_cast<unsigned>(flip ? Diag::getModuleDiagLevel(modules[j].c_str())
                                                        : Diag::getModuleDiagLevelFromRef(refs[j], modules[j].c_str()));
            break;
        case 2:
            for (unsigned k = 0; k < 8; ++k) {   // bursts: list changes of two threads meet often
                const std::string info = std::to_string(t) + "." + std::to_string(k);
                if (x >> (k + 20) & 1) {
                    VSYST_DIManager::add("Stress", info.c_str(), "b\na", &countCall);
                    m.infos.insert(info);
                } else {
                    VSYST_DIManager::remove("Stress", info.c_str());
                    m.infos.erase(info);
                }
            }
            VSYST_DIManager::call("Stress", "shared", "a", quiet);
            ++m.calls;
            break;
        case 3: {   // long texts: two threads placing at once would overlap
            const std::string text = "text " + tag + std::string(200, '.');
            m.copies.emplace_back(V_StringPool_CHAR::allocCopy(text.c_str()), text);
            break;
        }
        case 4:
            InterlockedIncrement(&V_SIFind(("stress." + std::to_string(j)).c_str())->value1);
            ++m.increments;
            break;
        case 5: {   // its own features, new ones, and one that all threads ask for
            const std::string name = "stress.f" + entry;
            m.errors += VSYST_FeatureSet::getState(name.c_str()) != m.features[j];
            VSYST_FeatureSet::setState(name.c_str(), ++m.features[j]);
            VSYST_FeatureSet::setState(("stress.n" + tag).c_str(), i);   // the map grows under setState alone
            m.errors += VSYST_FeatureSet::getState(("stress.n" + tag).c_str()) != i;
            m.errors += VSYST_FeatureSet::getState("stress.shared") != 0;
            break;
        }
        default:
            m.errors += !V_SIFind(("stress.t" + tag).c_str());
            ++m.inserts;
        }
    }
}

}  // namespace

TEST(Stress, EightThreadsLeaveEveryTableConsistent)
{
    const bool hadApp = regtest::keyExists(HKEY_LOCAL_MACHINE, kApp);
    std::vector<std::string> modules;
    for (DWORD j = 0; j < 8; ++j) {
        modules.push_back("OrvStress-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(j));
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, kApp, modules.back().c_str(), REG_DWORD, &j, 4);
    }
    orvtest::TestRegKey reg("Stress");
    HKEY raw = regtest::openRaw(HKEY_CURRENT_USER, reg.subPath());
    std::unique_ptr<VSYST_RegistryKey> shared(new VSYST_RegistryKey(raw, false));   // adopts raw
    ASSERT_TRUE(VSYST_RegistryKey(*shared, V_STRING("sub"), true).isValid());
    VSYST_DIManager::add("Stress", "shared", "a", &countCall);

    std::vector<Model> models(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(work, t, std::cref(*shared), std::cref(modules), std::ref(models[t]));
    for (std::thread& th : threads) th.join();
    for (const std::string& m : modules) RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kApp, m.c_str());
    if (!hadApp) orvtest::removeEmptyKeys(HKEY_LOCAL_MACHINE, kApp, 4);

    // The shared handle outlived every copy and closes with its last holder.
    EXPECT_TRUE(shared->setIntValue(V_STRING("v"), 7));
    shared.reset();
    EXPECT_FALSE(regtest::handleOpen(raw));

    std::set<std::string> infos, listed;
    long increments = 0, inserts = 0, calls = 0, counted = 0, records = 0;
    for (const Model& m : models) {
        EXPECT_EQ(0, m.errors);
        infos.insert(m.infos.begin(), m.infos.end());
        increments += m.increments, inserts += m.inserts, calls += m.calls;
        for (const auto& c : m.copies) ASSERT_EQ(c.second, c.first);
    }
    EXPECT_EQ(calls, g_calls.load());

    // The registry holds exactly the entries the threads left.
    for (VSYST_DICursor c; c.validG(); c.nextG())
        for (; std::strcmp(c.getG(), "Stress") == 0 && c.validD(); c.nextD())
            if (std::strcmp(c.getD(), "shared") != 0) listed.insert(c.getD());
    EXPECT_EQ(infos, listed);
    for (const std::string& info : listed) VSYST_DIManager::remove("Stress", info.c_str());
    VSYST_DIManager::remove("Stress", "shared");

    // Every record once, in byte order; the shared counters lost no increment.
    for (unsigned long i = 0; i < V_SICount(); ++i) {
        ASSERT_TRUE(!i || std::strcmp(V_SIAt(i - 1)->name, V_SIAt(i)->name) < 0) << i;
        records += std::strncmp(V_SIAt(i)->name, "stress.t", 8) == 0;
    }
    for (int j = 0; j < 8; ++j) counted += V_SIFind(("stress." + std::to_string(j)).c_str())->value1;
    EXPECT_EQ(increments, counted);
    EXPECT_EQ(inserts, records);
}
