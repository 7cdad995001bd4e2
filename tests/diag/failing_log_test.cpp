// A log that cannot be written: the standard stream's mode, the init/exit
// sequence's results, message boxes, and a disk that fills up.
#include "support/OrvTestSupport.h"

#include "OrvCore.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

long long g_room = -1;   // bytes the library may still write to disk files; -1: no limit
int g_exits = 0;

BOOL WINAPI fullDiskWriteFile(HANDLE h, LPCVOID data, DWORD n, LPDWORD written, LPOVERLAPPED ov)
{
    if (g_room >= 0 && GetFileType(h) == FILE_TYPE_DISK) {
        if (n > g_room) return SetLastError(ERROR_DISK_FULL), FALSE;
        g_room -= n;
    }
    return WriteFile(h, data, n, written, ov);
}

struct FullDisk {
    orvtest::IatHook hook{"OrvCore_Rudaru20.dll", "KERNEL32.dll", "WriteFile",
                          reinterpret_cast<void*>(&fullDiskWriteFile)};
    explicit FullDisk(long long room) { g_room = room; }
    ~FullDisk() { g_room = -1; }
};

}  // namespace

TEST(FailingLog, NothingEscapesAndTheStandardStreamKeepsItsModes)
{
    orvtest::TempDir dir;
    orvtest::ScopedEnv logDir("ORV_DIR_LOGFILES", dir.path().c_str()), on("ORV_STDLOGFILE", "1"),
        trace("ORVFT_TRACE_APPLINITEXIT", "1");
    VSYST_DumpStream& s = VSYST_DumpStream::getStdStream();
    FullDisk full(0);

    // openStdStream reports the failure yet counts and writes to debugger and file.
    EXPECT_THROW(VSYST_DumpStream::openStdStream(), OrvDumpFileException);
    EXPECT_EQ(5, s.getMode());
    EXPECT_THROW(VSYST_DumpStream::closeStdStream(), OrvDumpFileException);
    EXPECT_TRUE(s.getMode() == 1 && VSYST_DumpStream::getOpenCount() == 0 && s.file() == nullptr);

    // The failing init still makes doInit false; doExit runs the one exit due.
    // A box without permission logs instead, and its failing log changes nothing.
    g_exits = 0;
    {
        VSYST_ApplInitExit ok("ok", 20, [] { return true; }, [] { ++g_exits; });
        VSYST_ApplInitExit fails("fails", 10, [] { return false; }, [] { ++g_exits; });
        bool result = true;
        EXPECT_NO_THROW(result = VSYST_ApplInitExit::doInit());
        EXPECT_TRUE(!result && s.getMode() == 5);
        V_SetCanUseMsgBoxes(false);
        EXPECT_NO_THROW(V_MsgBox("box", 0, 0));
        EXPECT_NO_THROW(VSYST_WinMem(16));
        V_SetCanUseMsgBoxes(true);
        EXPECT_NO_THROW(VSYST_ApplInitExit::doExit());
    }
    EXPECT_TRUE(g_exits == 1 && s.getMode() == 1);
}

// On a small file system mounted for the test (ORV_SMALL_DISK, see
// small-disk.sh), else on a disk the WriteFile hook lets fill up.
TEST(FailingLog, AFullDiskThrowsTheSystemsCodeAndKeepsWhatWasWritten)
{
    const char* small = std::getenv("ORV_SMALL_DISK");
    orvtest::TempDir dir;
    orvtest::ScopedEnv logDir("ORV_DIR_LOGFILES", small ? small : dir.path().c_str()), on("ORV_STDLOGFILE", "1");
    std::unique_ptr<FullDisk> full(small ? nullptr : new FullDisk(20000));
    VSYST_DumpStream::openStdStream();
    VSYST_DumpStream& s = VSYST_DumpStream::getStdStream();
    const std::string path = s.filePath();

    std::string written;
    unsigned long code = 0;
    for (int i = 0; !code; ++i) {
        const std::string line = "line " + std::to_string(100000 + i) + std::string(50, '.');
        try {
            s << (line + "\n").c_str();
            written += line + "\r\n";
        } catch (const OrvDumpFileException& e) {
            code = e.getErrorCode();
        }
    }
    EXPECT_EQ(static_cast<unsigned long>(ERROR_DISK_FULL), code);
    g_room = full ? 0 : -1;
    EXPECT_THROW(VSYST_DumpStream::closeStdStream(), OrvDumpFileException);   // no room for the banner

    const std::string file = orvtest::readFile(path);
    EXPECT_EQ(written, file.substr(file.find("line 100000"), written.size()));
}
