// Test main: runs GoogleTest, or a child entry point when started by runChild.
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <map>

namespace orvtest {

static std::map<std::string, ChildFn>& children()
{
    static std::map<std::string, ChildFn> m;
    return m;
}

ChildRegistrar::ChildRegistrar(const char* name, ChildFn fn) { children()[name] = fn; }

bool aloneInProcess()
{
    const ::testing::UnitTest& all = *::testing::UnitTest::GetInstance();
    if (all.test_to_run_count() == 1) return true;
    const ::testing::TestInfo& t = *all.current_test_info();
    const std::string name = std::string(t.test_suite_name()) + "." + t.name();
    const ChildResult r = runProgram(exePath(), {"--gtest_filter=" + name});
    EXPECT_EQ(0u, r.exitCode) << name << " in a process of its own:\n" << r.out << r.err;
    return false;
}

}  // namespace orvtest

// Set once a thread other than the main one has started running.
static HANDLE s_threadStarted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
static void NTAPI onThreadEvent(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_THREAD_ATTACH) SetEvent(s_threadStarted);
}
extern "C" __attribute__((section(".CRT$XLY"), used)) const PIMAGE_TLS_CALLBACK orvThreadEvent = onThreadEvent;

// A crash ends the process at once, with its code on standard error and exit
// code 3: left to Wine's crash handler it ends after a backtrace, by a timeout,
// or now and then with exit code 0, which the test runner counts as passed (the
// exception code itself would reach it cut to its low byte).
static LONG WINAPI endOnCrash(EXCEPTION_POINTERS* e)
{
    std::fprintf(stderr, "unhandled exception 0x%08lx\n", e->ExceptionRecord->ExceptionCode);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(int argc, char** argv)
{
    SetUnhandledExceptionFilter(endOnCrash);
    if (argc >= 3 && std::strcmp(argv[1], "--orv-child") == 0) {
        // Children report exact bytes on standard output.
        _setmode(_fileno(stdout), _O_BINARY);
        return orvtest::children().at(argv[2])(argc - 3, argv + 3);   // an unknown name throws
    }
    ::testing::InitGoogleTest(&argc, argv);
    // GoogleTest starts a watcher thread when a thread first uses SCOPED_TRACE; the
    // 32-bit Wine dies of SIGSEGV when a process ends while a thread is still
    // starting, as a quick test's did. So the main thread's watcher runs first.
    { ::testing::ScopedTrace first(__FILE__, __LINE__, ""); }
    WaitForSingleObject(s_threadStarted, INFINITE);
    return RUN_ALL_TESTS();
}
