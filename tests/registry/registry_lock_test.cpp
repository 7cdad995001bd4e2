// The writer lock: the named mutex "Brakmar!FT!Registry" shared by all
// processes. Children of this test program hold it while the test waits.
#include "VSYST_RegistryKey.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

namespace {

VSYST_RegistryKey openTestKey(const std::string& path)
{
    return VSYST_RegistryKey(VSYST_RegistryKey(VSYST_RegCurrentUser), path.c_str(), false);
}

std::string eventName(const char* what)
{
    return std::string("OrvCoreTest-lock-") + what + "-" + std::to_string(GetCurrentProcessId());
}

// Measures one setValuesBegin in milliseconds.
bool timedBegin(VSYST_RegistryKey& key, ULONGLONG& elapsed)
{
    ULONGLONG start = GetTickCount64();
    bool got = key.setValuesBegin();
    elapsed = GetTickCount64() - start;
    return got;
}

// Exit status of a child that tries the lock once: 0 taken, 1 not taken.
unsigned long tryLockInChild(const std::string& path)
{
    return orvtest::runChild("trylock", {path}).exitCode;
}

}  // namespace

// args: key path, "held" event, "release" event, then "release" (let go when
// told) or "die" (end the process while holding it).
ORV_TEST_CHILD(holdlock)
{
    if (argc < 4) return 90;
    VSYST_RegistryKey key = openTestKey(argv[0]);
    if (!key.setValuesBegin()) return 3;
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    if (!held || !release) return 4;
    SetEvent(held);
    if (std::string(argv[3]) == "die") ExitProcess(0);   // no destructor, no setValuesEnd
    if (WaitForSingleObject(release, 60000) != WAIT_OBJECT_0) return 5;
    key.setValuesEnd();
    return 0;
}

ORV_TEST_CHILD(trylock)
{
    if (argc < 1) return 90;
    VSYST_RegistryKey key = openTestKey(argv[0]);
    bool got = key.setValuesBegin();
    key.setValuesEnd();
    return got ? 0 : 1;
}

TEST(RegistryLock, SecondProcessWaitsAboutOneSecond)
{
    orvtest::TestRegKey tk("lock-wait");
    const std::string heldName = eventName("held"), releaseName = eventName("release");
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, heldName.c_str());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    ASSERT_TRUE(held && release);

    orvtest::ChildResult holder;
    std::thread child([&] { holder = orvtest::runChild("holdlock", {tk.subPath(), heldName, releaseName, "release"}); });
    bool childHolds = WaitForSingleObject(held, 60000) == WAIT_OBJECT_0;
    EXPECT_TRUE(childHolds);

    VSYST_RegistryKey key = openTestKey(tk.subPath());
    ASSERT_TRUE(key.isValid());
    ULONGLONG elapsed = 0;
    if (childHolds) {
        EXPECT_FALSE(timedBegin(key, elapsed));
        EXPECT_GE(elapsed, 900u);
        // Without the lock a writer may still write.
        EXPECT_TRUE(key.setIntValue("anyway", 1));
        key.setValuesEnd();
    }
    SetEvent(release);
    child.join();
    EXPECT_EQ(0u, holder.exitCode) << holder.err;

    // Released by the holder: ours at once, and again after our own end.
    EXPECT_TRUE(key.setValuesBegin());
    key.setValuesEnd();
    EXPECT_TRUE(key.setValuesBegin());
    key.setValuesEnd();
    CloseHandle(held);
    CloseHandle(release);
}

TEST(RegistryLock, HolderThatDiesLeavesItToTheNextWriter)
{
    orvtest::TestRegKey tk("lock-abandoned");
    const std::string heldName = eventName("held"), releaseName = eventName("release");
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, heldName.c_str());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    ASSERT_TRUE(held && release);

    orvtest::ChildResult r = orvtest::runChild("holdlock", {tk.subPath(), heldName, releaseName, "die"});
    ASSERT_EQ(0u, r.exitCode) << r.err;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 0));   // it did hold the lock

    // The abandoned mutex counts as taken.
    VSYST_RegistryKey key = openTestKey(tk.subPath());
    EXPECT_TRUE(key.setValuesBegin());
    key.setValuesEnd();
    // And is an ordinary free mutex for everyone after that.
    EXPECT_EQ(0u, tryLockInChild(tk.subPath()));
    CloseHandle(held);
    CloseHandle(release);
}

TEST(RegistryLock, WhoReleasesTheLock)
{
    orvtest::TestRegKey tk("lock-release");
    VSYST_RegistryKey key = openTestKey(tk.subPath());
    VSYST_RegistryKey other = openTestKey(tk.subPath());

    // Held: another process cannot take it.
    ASSERT_TRUE(key.setValuesBegin());
    EXPECT_EQ(1u, tryLockInChild(tk.subPath()));
    // A second begin lets go and takes it again.
    EXPECT_TRUE(key.setValuesBegin());
    {
        // Copies do not carry the lock, so destroying one releases nothing.
        VSYST_RegistryKey copy(key);
        EXPECT_TRUE(copy.isValid());
    }
    EXPECT_EQ(1u, tryLockInChild(tk.subPath()));
    key.setValuesEnd();
    EXPECT_EQ(0u, tryLockInChild(tk.subPath()));

    // Assignment releases it.
    ASSERT_TRUE(key.setValuesBegin());
    key = other;
    EXPECT_EQ(0u, tryLockInChild(tk.subPath()));

    // Destruction releases it.
    {
        VSYST_RegistryKey scoped = openTestKey(tk.subPath());
        ASSERT_TRUE(scoped.setValuesBegin());
    }
    EXPECT_EQ(0u, tryLockInChild(tk.subPath()));

    // An end without a begin, or twice, does nothing.
    other.setValuesEnd();
    other.setValuesEnd();
    EXPECT_EQ(0u, tryLockInChild(tk.subPath()));
}
