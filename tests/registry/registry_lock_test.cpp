// The writer lock: the named mutex "Brakmar!FT!Registry" shared by all
// processes. Children of this test program hold it while the test waits; the
// library's waits are seen through its import table.
#include "VSYST_RegistryKey.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace {

const char kMutex[] = "Brakmar!FT!Registry";

VSYST_RegistryKey openTestKey(const std::string& path)
{
    return VSYST_RegistryKey(VSYST_RegistryKey(VSYST_RegCurrentUser), path.c_str(), false);
}

// "time-out:result" of each wait of the library.
std::vector<std::string> s_waits;
DWORD(WINAPI* s_realWait)(HANDLE, DWORD);
DWORD WINAPI recordWait(HANDLE h, DWORD ms)
{
    const DWORD r = s_realWait(h, ms);
    s_waits.push_back(std::to_string(ms) + ":" + std::to_string(r));
    return r;
}

}  // namespace

// args: key path, then "try" (take the lock and let go at once), or "release"
// (hold it until told) or "die" (end the process while holding it) with the
// "held" and "release" events.
ORV_TEST_CHILD(lock)
{
    const std::string mode = argv[1];
    VSYST_RegistryKey key = openTestKey(argv[0]);
    if (!key.setValuesBegin()) return 1;
    if (mode == "try") return 0;   // the destructor lets go
    HANDLE held = argc > 3 ? OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]) : nullptr;
    HANDLE release = argc > 3 ? OpenEventA(SYNCHRONIZE, FALSE, argv[3]) : nullptr;
    if (!held || !release) return 4;
    SetEvent(held);
    if (mode == "die") ExitProcess(0);   // no destructor, no setValuesEnd
    if (WaitForSingleObject(release, 60000) != WAIT_OBJECT_0) return 5;
    key.setValuesEnd();
    return 0;
}

TEST(RegistryLock, WhoHoldsWaitsAndReleases)
{
    orvtest::TestRegKey tk("lock");
    const std::string pid = std::to_string(GetCurrentProcessId());
    const std::string heldName = "OrvCoreTest-lock-held-" + pid, releaseName = "OrvCoreTest-lock-release-" + pid;
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, heldName.c_str());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    VSYST_RegistryKey key = openTestKey(tk.subPath());
    // Exit status of a child that tries the lock once: 0 taken, 1 not taken.
    auto tryInChild = [&] { return orvtest::runChild("lock", {tk.subPath(), "try"}).exitCode; };

    // Held: another process cannot take it. A second begin lets go and takes it again.
    ASSERT_TRUE(key.setValuesBegin());
    EXPECT_EQ(1u, tryInChild());
    EXPECT_TRUE(key.setValuesBegin());
    // Copies do not carry the lock, so destroying one releases nothing.
    EXPECT_TRUE(VSYST_RegistryKey(key).isValid());
    EXPECT_EQ(1u, tryInChild());
    key.setValuesEnd();
    EXPECT_EQ(0u, tryInChild());
    // Assignment releases it, and so does destruction.
    ASSERT_TRUE(key.setValuesBegin());
    key = openTestKey(tk.subPath());
    EXPECT_EQ(0u, tryInChild());
    ASSERT_TRUE(openTestKey(tk.subPath()).setValuesBegin());
    EXPECT_EQ(0u, tryInChild());

    orvtest::IatHook hook("OrvCore_Rudaru20.dll", "kernel32.dll", "WaitForSingleObject",
                          reinterpret_cast<void*>(&recordWait));
    s_realWait = reinterpret_cast<decltype(s_realWait)>(hook.original());
    s_waits.clear();
    orvtest::ChildResult holder;
    std::thread child([&] { holder = orvtest::runChild("lock", {tk.subPath(), "release", heldName, releaseName}); });
    if (WaitForSingleObject(held, 60000) == WAIT_OBJECT_0) {
        EXPECT_FALSE(key.setValuesBegin());
        EXPECT_TRUE(key.setIntValue("anyway", 1)) << "without the lock a writer may still write";
        key.setValuesEnd();
    } else {
        ADD_FAILURE() << "the child never held the lock";
    }
    SetEvent(release);
    child.join();
    EXPECT_EQ(0u, holder.exitCode) << holder.err;
    // Released by the holder: ours at once.
    EXPECT_TRUE(key.setValuesBegin());
    key.setValuesEnd();

    // A holder that dies leaves the mutex abandoned (a handle of ours keeps it
    // in existence), which counts as taken for the next writer.
    HANDLE keep = CreateMutexA(nullptr, FALSE, kMutex);
    orvtest::ChildResult r = orvtest::runChild("lock", {tk.subPath(), "die", heldName, releaseName});
    EXPECT_EQ(0u, r.exitCode) << r.err;   // it did hold the lock
    EXPECT_TRUE(key.setValuesBegin());
    key.setValuesEnd();
    EXPECT_EQ((std::vector<std::string>{"1000:258", "1000:0", "1000:128"}), s_waits);
    CloseHandle(keep);
    CloseHandle(held);
    CloseHandle(release);
}
