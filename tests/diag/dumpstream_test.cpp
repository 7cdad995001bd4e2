// The dump stream: text of every operator<<, indentation, piece sizes, the
// outputs, the per-run log file with its banners and open count, named streams.
#include "VSYST_DumpStream.h"
#include "diag/orv_debug_capture.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <cstdint>
#include <regex>
#include <string>

using orvtest::ScopedEnv;
using orvtest::TempDir;

namespace {

const std::string kHyphens(50, '-');
const char kStamp[] = R"(\d\d:\d\d:\d\d \d\d\.\d\d\.\d{4})";

// File content after the opening banner; fails the test when the banner is not there.
std::string afterOpeningBanner(const std::string& text)
{
    std::smatch m;
    std::regex banner(std::string("^APPLICATION DUMP STARTED AT : ") + kStamp + "\r\n" + kHyphens + "\r\n");
    if (!std::regex_search(text, m, banner)) {
        ADD_FAILURE() << "no opening banner in: " << text.substr(0, 120);
        return text;
    }
    return m.suffix();
}

std::regex closingBanner() { return std::regex(std::string("\r\n") + kHyphens + "\r\nAPPLICATION DUMP FINISHED AT : " + kStamp + "\r\n\r\n$"); }

}  // namespace

TEST(DumpStream, EveryOperatorWritesItsExactText)
{
    TempDir dir;
    std::string path = dir.file("table.log");
    {
        VSYST_DumpStream s(path.c_str(), VSYST_DumpStream::DSM_File);
        s << 'A' << "|" << static_cast<char>(0xFF) << "|" << static_cast<unsigned char>(0xFF) << "|"
          << static_cast<short>(-3) << "|" << static_cast<unsigned short>(65535) << "|" << -7 << "|" << 4000000000u
          << "|" << LONG_MIN << "|" << ULONG_MAX << "|" << static_cast<long long>(INT64_MIN) << "|"
          << static_cast<unsigned long long>(UINT64_MAX) << "|";
        s << 0.5f << "|" << 1.0 << "|" << 1e20 << "|" << 0.05 << "|" << -123.456 << "|" << 1.0 / 3 << "|" << 0.0
          << "|" << 123456789012345.0 << "|";
        s << reinterpret_cast<const void*>(static_cast<uintptr_t>(0x1234ABCD)) << "|" << static_cast<const void*>(nullptr)
          << "|" << static_cast<const char*>(nullptr) << "|" << static_cast<const wchar_t*>(nullptr) << "|"
          << L"wide" << "|" << V_STRING("vs") << "|" << "a\nb";
        s.setMode(0);   // keep the closing banner out of the comparison
    }
    EXPECT_EQ("65|-1|255|-3|65535|-7|4000000000|-2147483648|4294967295|-9223372036854775808|18446744073709551615|"
              "0.5|1.|1.e+020|5.e-002|-123.456|0.333333333333333|0.|123456789012345.|"
              "$1234ABCD|$0|(NULL)|(NULL)|wide|vs|a\r\nb",
              afterOpeningBanner(orvtest::readFile(path)));
}

TEST(DumpStream, IndentationAtLineStarts)
{
    TempDir dir;
    std::string path = dir.file("indent.log");
    {
        VSYST_DumpStream s(path.c_str(), VSYST_DumpStream::DSM_File);
        EXPECT_EQ(0, s.setIndent(2, '.'));
        s << "a\nb" << "\n";
        s << "";                      // writes nothing, indentation stays pending
        s << "c" << 5 << "\n" << 7 << "\n";
        EXPECT_EQ(2, s.setIndent(-3, ' '));
        EXPECT_EQ(0, s.getIndent());
        s << "d\n";
        s.setIndent(2, ' ');
        s.changeIndent(-5);
        EXPECT_EQ(0, s.getIndent());
        s.changeIndent(3);
        EXPECT_EQ(3, s.getIndent());
        s << "e";
        s.setMode(0);
    }
    EXPECT_EQ("..a\r\n..b\r\n..c5\r\n..7\r\nd\r\n   e", afterOpeningBanner(orvtest::readFile(path)));
}

TEST(DumpStream, HexDumpLines)
{
    TempDir dir;
    std::string path = dir.file("hex.log");
    const unsigned char data[9] = {0x01, 0x02, 0xAB, 0x04, 0x05, 0xFF, 0x00, 0x10, 0x7F};
    char expectHead[64];
    wsprintfA(expectHead, "<%p>", static_cast<const void*>(data + 4));
    {
        VSYST_DumpStream s(path.c_str(), VSYST_DumpStream::DSM_File);
        s.hexDump("@", data, 5, 4);
        s.hexDump("#", data, 8, 4);     // full last line: no extra line feed
        s.hexDump("=", data, 2, 0);     // below 1: one byte a line
        s.hexDump("!", data, 0, 4);
        s.hexDump("!", data, -3, 4);
        s.hexDump("<%p>", data + 4, 1, 4);
        s.setMode(0);
    }
    EXPECT_EQ(std::string("@ 01 02 AB 04\r\n@ 05\r\n# 01 02 AB 04\r\n# 05 FF 00 10\r\n= 01\r\n= 02\r\n") + expectHead +
                  " 05\r\n",
              afterOpeningBanner(orvtest::readFile(path)));
}

TEST(DumpStream, DebuggerPiecesAreBoundedAndArriveWhole)
{
    VSYST_DumpStream& s = VSYST_DumpStream::getStdStream();
    ASSERT_EQ(VSYST_DumpStream::DSM_Debugger, s.getMode());
    DebugCapture capture;

    std::string plain;
    for (int i = 0; i < 3000; ++i) plain += static_cast<char>('a' + i % 26);
    s << plain.c_str();
    ASSERT_GT(capture.pieces().size(), 1u);
    for (const std::string& p : capture.pieces()) EXPECT_LE(p.size(), 511u);
    EXPECT_EQ(plain, capture.all());

    // Line feeds become CR LF; with a deep indentation the pieces reach 1022.
    DebugCapture lines;
    s.setIndent(1000, '-');
    s << "\nx\ny\nz";
    s.setIndent(0, ' ');
    size_t largest = 0;
    for (const std::string& p : lines.pieces()) largest = std::max(largest, p.size());
    EXPECT_EQ(1022u, largest);
    std::string dashes(1000, '-');
    EXPECT_EQ("\r\n" + dashes + "x\r\n" + dashes + "y\r\n" + dashes + "z", lines.all());
}

ORV_TEST_CHILD(debugText)
{
    VSYST_DumpStream::getStdStream() << "hello from the log\n";
    return 0;
}

// Run by ctest under WINEDEBUG=+debugstr, where Wine prints each debugger text
// on standard error (see tests/diag/CMakeLists.txt).

ORV_TEST_CHILD(consoleText)
{
    VSYST_DumpStream& s = VSYST_DumpStream::getStdStream();
    s.setMode(VSYST_DumpStream::DSM_Console);
    s << "to the console\n" << 42;
    VSYST_DumpStream::closeStdStream();   // releases the console wrapper; the handle stays usable
    s.setMode(VSYST_DumpStream::DSM_Console);
    s << "|again";
    return 0;
}

TEST(DumpStream, ConsoleOutputReachesStandardOutput)
{
    orvtest::ChildResult r = orvtest::runChild("consoleText");
    ASSERT_EQ(0u, r.exitCode);
    EXPECT_EQ("to the console\r\n42|again", r.out);
}

TEST(StdLog, PerRunFileBannersAndOpenCount)
{
    TempDir dir;
    ScopedEnv logDir("ORV_DIR_LOGFILES", dir.path().c_str());
    ScopedEnv on("ORV_STDLOGFILE", "1");
    VSYST_DumpStream& s = VSYST_DumpStream::getStdStream();

    VSYST_DumpStream::openStdStream();
    EXPECT_EQ(1, VSYST_DumpStream::getOpenCount());
    EXPECT_EQ(VSYST_DumpStream::DSM_Debugger | VSYST_DumpStream::DSM_File, s.getMode());
    std::vector<std::string> files = dir.list();
    ASSERT_EQ(1u, files.size());
    EXPECT_TRUE(std::regex_match(files[0], std::regex(R"(test_dumpstream_\d{4}\.\d\d\.\d\d_\d\d\.\d\d\.\d\d_run\.log)")))
        << files[0];
    std::string path = dir.file(files[0]);
    EXPECT_EQ(path, s.filePath());

    s << "first\n";
    VSYST_DumpStream::openStdStream();
    EXPECT_EQ(2, VSYST_DumpStream::getOpenCount());
    VSYST_DumpStream::closeStdStream();
    std::string open = orvtest::readFile(path);
    EXPECT_EQ(std::string::npos, open.find("FINISHED")) << "closed while an opener remains";
    EXPECT_EQ(path, s.filePath());

    VSYST_DumpStream::closeStdStream();
    EXPECT_EQ(0, VSYST_DumpStream::getOpenCount());
    EXPECT_EQ(VSYST_DumpStream::DSM_Debugger, s.getMode());
    EXPECT_STREQ("", s.filePath());
    std::string text = orvtest::readFile(path);
    std::string body = afterOpeningBanner(text);
    EXPECT_EQ(0u, body.find("first\r\n"));
    EXPECT_TRUE(std::regex_search(text, closingBanner())) << text;

    // A close with no opener left writes nothing more.
    VSYST_DumpStream::closeStdStream();
    s << "after\n";
    EXPECT_EQ(text, orvtest::readFile(path));
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 2);
}

TEST(StdLog, NoSwitchNoFile)
{
    TempDir dir;
    ScopedEnv logDir("ORV_DIR_LOGFILES", dir.path().c_str());
    ScopedEnv off("ORV_STDLOGFILE", nullptr);
    VSYST_DumpStream::openStdStream();
    VSYST_DumpStream& s = VSYST_DumpStream::getStdStream();
    EXPECT_EQ(VSYST_DumpStream::DSM_Debugger, s.getMode());
    s << "debugger only\n";
    VSYST_DumpStream::closeStdStream();
    EXPECT_TRUE(dir.list().empty());
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 2);
}

TEST(StdLog, StreamsOpeningTheSamePerRunFileAppend)
{
    TempDir dir;
    ScopedEnv logDir("ORV_DIR_LOGFILES", dir.path().c_str());
    {
        VSYST_DumpStream a(nullptr, VSYST_DumpStream::DSM_File);
        VSYST_DumpStream b(nullptr, VSYST_DumpStream::DSM_File);
        EXPECT_TRUE(dir.list().empty()) << "no file before the first write";
        a << "one\n";
        b << "two\n";
    }
    // Both streams name the file after the second they open it in: either one
    // file holding both texts in order, or two files if the second rolled over.
    std::vector<std::string> files = dir.list();
    ASSERT_GE(files.size(), 1u);
    ASSERT_LE(files.size(), 2u);
    std::string all;
    for (const std::string& f : files) all += orvtest::readFile(dir.file(f));
    size_t one = all.find("one\r\n"), two = all.find("two\r\n");
    ASSERT_NE(std::string::npos, one);
    ASSERT_NE(std::string::npos, two);
    if (files.size() == 1) {
        EXPECT_LT(one, two);
        size_t first = all.find("APPLICATION DUMP FINISHED AT");
        ASSERT_NE(std::string::npos, first);
        EXPECT_NE(std::string::npos, all.find("APPLICATION DUMP FINISHED AT", first + 1))
            << "both closing banners, nothing overwritten: " << all;
    }
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 2);
}

TEST(NamedStream, AppendBitKeepsTheFileOtherwiseItIsEmptied)
{
    TempDir dir;
    ScopedEnv logDir("ORV_DIR_LOGFILES", dir.path().c_str());
    std::string path = dir.file("named.log");

    orvtest::writeFile(path, "old\r\n");
    {
        VSYST_DumpStream s("named.log", VSYST_DumpStream::DSM_File | VSYST_DumpStream::DSM_Append);
        EXPECT_EQ(path, s.filePath());
        s << "new";
    }
    std::string kept = orvtest::readFile(path);
    ASSERT_EQ(0u, kept.find("old\r\n"));
    std::string body = afterOpeningBanner(kept.substr(5));
    EXPECT_EQ(0u, body.find("new"));
    EXPECT_TRUE(std::regex_search(kept, closingBanner()));

    {
        VSYST_DumpStream s(path.c_str(), VSYST_DumpStream::DSM_File);
        s << "fresh";
        s.setMode(0);
    }
    EXPECT_EQ("fresh", afterOpeningBanner(orvtest::readFile(path)));

    // Without the file bit the file is opened but receives no banner at all.
    orvtest::writeFile(path, "untouched");
    { VSYST_DumpStream s(path.c_str(), VSYST_DumpStream::DSM_Debugger | VSYST_DumpStream::DSM_Append); }
    EXPECT_EQ("untouched", orvtest::readFile(path));
}

TEST(NamedStream, UnopenableFileLeavesAStreamWithoutFile)
{
    TempDir dir;
    ScopedEnv logDir("ORV_DIR_LOGFILES", dir.path().c_str());
    std::string path = dir.file("a folder");
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    for (long mode : {0x0004L, 0x1004L}) {
        VSYST_DumpStream s(path.c_str(), mode);
        EXPECT_EQ(nullptr, s.file());
        s << "lost";   // a named stream never falls back to a per-run file
        EXPECT_EQ(nullptr, s.file());
    }
    EXPECT_EQ(1u, dir.list().size());

    std::string missing = dir.file("no\\such\\folder\\x.log");
    VSYST_DumpStream t(missing.c_str(), VSYST_DumpStream::DSM_File);
    EXPECT_EQ(nullptr, t.file());
}

TEST(DumpFile, FailuresCarryTheWin32Code)
{
    TempDir dir;
    try {
        OrvDupmFile f(dir.file("missing.log").c_str(), OrvDupmFile::OM_OpenExisting);
        FAIL() << "opening a missing file succeeded";
    } catch (const OrvDumpFileException& e) {
        EXPECT_EQ(2ul, e.getErrorCode());
        EXPECT_EQ(static_cast<long>(0x80070002), e.mapToHRESULT());
    }

    std::string path = dir.file("ro.log");
    orvtest::writeFile(path, "x");
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    {
        OrvDupmFile wrapped(h);
        try {
            wrapped.write("abc", 3);
            FAIL() << "writing to a read-only handle succeeded";
        } catch (const OrvDumpFileException& e) {
            EXPECT_NE(0ul, e.getErrorCode());
            EXPECT_EQ(static_cast<long>(0x80070000 | e.getErrorCode()), e.mapToHRESULT());
        }
    }
    // The wrapper did not own the handle.
    EXPECT_NE(0, CloseHandle(h));

    OrvDupmFile ok(path.c_str(), OrvDupmFile::OM_OpenOrCreate);
    ok.write("yz", 2);
    ok.flush();
    EXPECT_EQ("xyz", orvtest::readFile(path)) << "opened at the end of the file";
}

TEST(DumpFile, ExceptionReportOnRequestOnly)
{
    orvtest::StdLogCapture log;
    size_t before = log.size();
    OrvDumpFileException silent(5, false);
    EXPECT_EQ(before, log.size());
    OrvDumpFileException loud(112, true);
    EXPECT_EQ("!E  THROW EXCEPTION class OrvDumpFileException\r\n!E      " + orvtest::processThreadText() +
                  "\r\nStandard log file error: 112\r\n\r\n",
              log.since(before));
}

TEST(DumpStream, TimeMarksAndTimeStamps)
{
    orvtest::StdLogCapture log;
    size_t before = log.size();
    _orv_timestamp_("here.cpp", 42);
    _orv_timestamp_("there.cpp", 7);
    VSYST_DumpStream::getStdStream().timeStamp();
    std::string text = log.since(before);
    EXPECT_TRUE(std::regex_match(text, std::regex(std::string(R"(---> [ \d]{5}\d\.\d{3} ms here\.cpp\[42\]\r\n)") +
                                                  R"(---> [ \d]{5}\d\.\d{3} ms there\.cpp\[7\]\r\n)" + kStamp)))
        << text;
}

ORV_TEST_CHILD(defaultDirStream)
{
    VSYST_DumpStream s(nullptr, VSYST_DumpStream::DSM_File);
    s << "x";
    std::printf("%s", s.filePath());
    return 0;
}

TEST(StdLog, LogDirectoryFallsBackToTempThenCurrentFolder)
{
    TempDir tempDir, cwd;
    orvtest::ChildResult viaTemp = orvtest::runChild("defaultDirStream", {}, {"ORV_DIR_LOGFILES=", "TEMP=" + tempDir.path()});
    ASSERT_EQ(0u, viaTemp.exitCode);
    ASSERT_EQ(1u, tempDir.list().size());
    EXPECT_EQ(tempDir.path() + "\\" + tempDir.list()[0], viaTemp.out);

    orvtest::ChildResult viaDot = orvtest::runChild("defaultDirStream", {}, {"ORV_DIR_LOGFILES=", "TEMP="}, cwd.path());
    ASSERT_EQ(0u, viaDot.exitCode);
    ASSERT_EQ(1u, cwd.list().size());
    EXPECT_EQ(".\\" + cwd.list()[0], viaDot.out);
    orvtest::removeEmptyKeys(HKEY_CURRENT_USER, "Software\\Brakmar\\T.R.I.O.N.(R) Platform", 2);
}
