// The dump stream: text of every operator<<, indentation, piece sizes, the
// outputs, the per-run log file with its banners and open count, named streams.
#include "VSYST_DumpStream.h"
#include "diag/LogCapture.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <regex>
#include <string>

using orvtest::written;

namespace {

// The text with its banners as "<start>" and "<end>".
std::string banners(const std::string& text)
{
    const std::string stamp = R"(\d\d:\d\d:\d\d \d\d\.\d\d\.\d{4})", line = "\r\n" + std::string(50, '-') + "\r\n";
    const std::string r =
        std::regex_replace(text, std::regex("APPLICATION DUMP STARTED AT : " + stamp + line), "<start>");
    return std::regex_replace(r, std::regex(line + "APPLICATION DUMP FINISHED AT : " + stamp + "\r\n\r\n"), "<end>");
}

}  // namespace

TEST(DumpStream, OperatorsIndentationHexDumpPiecesTextsBeforeAnUnreadablePageAndTimeMarks)
{
    EXPECT_EQ("65|-1|255|-3|65535|-7|4000000000|-2147483648|4294967295|-9223372036854775808|18446744073709551615|"
              "0.5|1.|1.e+020|5.e-002|-123.456|0.333333333333333|0.|123456789012345.|"
              "$9234ABCD|$0|(NULL)|(NULL)|wide|vs|a\r\nb",
              written([](VSYST_DumpStream& s) {
                  s << 'A' << "|" << static_cast<char>(0xFF) << "|" << static_cast<unsigned char>(0xFF) << "|"
                    << static_cast<short>(-3) << "|" << static_cast<unsigned short>(65535) << "|" << -7 << "|"
                    << 4000000000u << "|" << LONG_MIN << "|" << ULONG_MAX << "|" << static_cast<long long>(INT64_MIN)
                    << "|" << static_cast<unsigned long long>(UINT64_MAX) << "|";
                  s << 0.5f << "|" << 1.0 << "|" << 1e20 << "|" << 0.05 << "|" << -123.456 << "|" << 1.0 / 3 << "|"
                    << 0.0 << "|" << 123456789012345.0 << "|";
                  s << reinterpret_cast<const void*>(static_cast<uintptr_t>(0x9234ABCDu)) << "|"
                    << static_cast<const void*>(nullptr) << "|" << static_cast<const char*>(nullptr) << "|"
                    << static_cast<const wchar_t*>(nullptr) << "|" << L"wide" << "|" << V_STRING("vs") << "|" << "a\nb";
              }));

    EXPECT_EQ(".a\r\n.b\r\n.c5\r\n.7\r\nd\r\n   e", written([](VSYST_DumpStream& s) {
                  EXPECT_EQ(0, s.setIndent(1, '.'));
                  s << "a\nb" << "\n";
                  s << "";   // writes nothing, indentation stays pending
                  s << "c" << 5 << "\n" << 7 << "\n";
                  EXPECT_EQ(1, s.setIndent(-3, ' '));
                  s << "d\n";
                  s.setIndent(LONG_MAX, ' ');
                  s.changeIndent(1);   // no wrap round
                  EXPECT_EQ(LONG_MAX, s.setIndent(2, ' '));
                  s.changeIndent(-5);
                  s.changeIndent(3);
                  EXPECT_EQ(3, s.getIndent());
                  s << "e";
              }));

    const unsigned char data[9] = {0x01, 0x02, 0xAB, 0x04, 0x05, 0xFF, 0x00, 0x10, 0x7F};
    char pointer[64];
    wsprintfA(pointer, "<%p>", static_cast<const void*>(data + 4));
    EXPECT_EQ(std::string("@ 01 02 AB 04\r\n@ 05\r\n# 01 02 AB 04\r\n# 05 FF 00 10\r\n= 01\r\n= 02\r\n") + pointer +
                  " 05\r\n",
              written([&data](VSYST_DumpStream& s) {
                  s.hexDump("@", data, 5, 4);
                  s.hexDump("#", data, 8, 4);   // full last line: no extra line feed
                  s.hexDump("=", data, 2, 0);   // below 1: one byte a line
                  s.hexDump("!", data, 0, 4);
                  s.hexDump("!", data, -3, 4);
                  s.hexDump("<%p>", data + 4, 1, 4);
              }));

    VSYST_DumpStream s(nullptr, VSYST_DumpStream::DSM_Debugger);
    std::string plain;
    for (int i = 0; i < 3000; ++i) plain += static_cast<char>('a' + i % 26);
    const std::string dashes(1000, '-'), lf509 = std::string(509, 'a') + "\nb";
    // A piece holding more than 509 characters is passed on before the next
    // one goes in, so a line feed at 509 makes 511 with its CR. With a deep
    // indentation the pieces reach 1022.
    const struct { std::string text; long indent; size_t largest; std::string arrives; } cases[] = {
        {plain, 0, 510, plain},
        {lf509, 0, 511, std::string(509, 'a') + "\r\nb"},
        {"\nx\ny\nz", 1000, 1022, "\r\n" + dashes + "x\r\n" + dashes + "y\r\n" + dashes + "z"},
    };
    for (const auto& c : cases) {
        DebugCapture capture;
        s.setIndent(c.indent, '-');
        s << c.text.c_str();
        size_t largest = 0;
        for (const std::string& p : capture.pieces()) largest = std::max(largest, p.size());
        EXPECT_EQ(c.largest, largest);
        EXPECT_EQ(c.arrives, capture.all());
    }

    // The text scans read whole words: none may reach past a text that ends on the
    // last byte before an unreadable page, whatever its alignment. Then a time mark.
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &old));
    orvtest::StdLogCapture log;
    const size_t start = log.size();
    std::string expected;
    for (int n = 1; n <= 17; ++n) {
        const char fill = n == 9 ? '\n' : static_cast<char>('a' + n);
        char* text = pages + 4096 - n;
        std::memset(text, fill, n - 1);
        text[n - 1] = '\0';
        VSYST_DumpStream::getStdStream() << static_cast<const char*>(text);
        for (int i = 1; i < n; ++i) expected += fill == '\n' ? "\r\n" : std::string(1, fill);
    }
    VirtualFree(pages, 0, MEM_RELEASE);
    _orv_timestamp_("here.cpp", 42);
    const std::string all = log.since(start);
    EXPECT_TRUE(std::regex_match(all, std::regex(expected + R"(---> [ \d]{5}\d\.\d{3} ms here\.cpp\[42\]\r\n)"))) << all;
}

// Run by ctest under WINEDEBUG=+debugstr, where Wine prints each debugger text
// on standard error (see tests/diag/CMakeLists.txt).
ORV_TEST_CHILD(debugText)
{
    VSYST_DumpStream::getStdStream() << "hello from the log\n";
    return 0;
}

// The log switch, once on, stays on for the process, and a close without an
// opener leaves the count below zero: a process of its own.
TEST(StdLog, PerRunFileOnlyWithTheSwitchBannersAndOpenCount)
{
    if (!orvtest::aloneInProcess()) return;
    orvtest::StdLogCapture log;   // ORV_STDLOGFILE=1, a log folder of its own, openStdStream
    VSYST_DumpStream& s = VSYST_DumpStream::getStdStream();
    EXPECT_EQ("1 5", std::to_string(VSYST_DumpStream::getOpenCount()) + " " + std::to_string(s.getMode()));
    const std::string path = s.filePath(), name = path.substr(path.rfind('\\') + 1);
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(test_dumpstream_\d{4}\.\d\d\.\d\d_\d\d\.\d\d\.\d\d_run\.log)")))
        << name;

    s << "first\n";
    VSYST_DumpStream::openStdStream();
    VSYST_DumpStream::closeStdStream();
    EXPECT_EQ(path, s.filePath()) << "closed while an opener remains";
    VSYST_DumpStream::closeStdStream();
    EXPECT_EQ("0 1 ", std::to_string(VSYST_DumpStream::getOpenCount()) + " " + std::to_string(s.getMode()) + " " +
                          s.filePath());
    const std::string text = orvtest::readFile(path);
    EXPECT_EQ("<start>first\r\n<start><end>", banners(text));   // each opener writes a banner

    // A close with no opener left writes nothing more.
    VSYST_DumpStream::closeStdStream();
    s << "after\n";
    EXPECT_EQ(text, orvtest::readFile(path));
}

TEST(StdLog, LogFoldersPerRunFilesAppendNamedFilesAppendOrStartEmptyAndFileFailures)
{
    // Without a log folder set the per-run file goes to TEMP, then to the current folder.
    orvtest::TempDir tempDir, cwd;
    orvtest::ChildResult viaTemp =
        orvtest::runChild("defaultDirStream", {}, {"ORV_DIR_LOGFILES=", "TEMP=" + tempDir.path()});
    EXPECT_EQ(tempDir.file(tempDir.list().at(0)), viaTemp.out);

    orvtest::ChildResult viaDot = orvtest::runChild("defaultDirStream", {cwd.path()}, {"ORV_DIR_LOGFILES=", "TEMP="});
    EXPECT_EQ(".\\" + cwd.list().at(0), viaDot.out);

    orvtest::TempDir dir;
    orvtest::ScopedEnv logDir("ORV_DIR_LOGFILES", dir.path().c_str());
    {
        VSYST_DumpStream a(nullptr, VSYST_DumpStream::DSM_File), b(nullptr, VSYST_DumpStream::DSM_File);
        EXPECT_TRUE(dir.list().empty()) << "no file before the first write";
        a << "one\n";
        b << "two\n";
    }
    // Both streams name the file after the second they open it in: one file,
    // or two should the second have rolled over. Either way, in name order, both
    // texts and both closing banners are there, nothing overwritten.
    std::string all;
    for (const std::string& f : dir.list()) all += banners(orvtest::readFile(dir.file(f)));
    EXPECT_TRUE(all == "one\r\ntwo\r\n<end><end>" || all == "one\r\n<end>two\r\n<end>") << all;

    // A named file: the append bit keeps its text, otherwise it is emptied.
    for (const std::string& f : dir.list()) DeleteFileA(dir.file(f).c_str());
    std::string path = dir.file("named.log");

    orvtest::writeFile(path, "old\r\n");
    {
        VSYST_DumpStream s("named.log", VSYST_DumpStream::DSM_File | VSYST_DumpStream::DSM_Append);
        EXPECT_EQ(path, s.filePath());
        s << "new";
    }
    EXPECT_EQ("old\r\n<start>new<end>", banners(orvtest::readFile(path)));

    {
        VSYST_DumpStream s(path.c_str(), VSYST_DumpStream::DSM_File);
        s << "fresh";
        s.setMode(0);   // keeps the closing banner out
    }
    EXPECT_EQ("<start>fresh", banners(orvtest::readFile(path)));

    // Without the file bit the file is opened but receives no banner at all.
    orvtest::writeFile(path, "untouched");
    { VSYST_DumpStream s(path.c_str(), VSYST_DumpStream::DSM_Debugger | VSYST_DumpStream::DSM_Append); }
    EXPECT_EQ("untouched", orvtest::readFile(path));

    // A file that cannot be opened leaves a stream without file, which never
    // falls back to a per-run file.
    for (const std::string& bad : {dir.path(), dir.file("no\\such\\folder\\x.log")})
        for (long mode : {0x0004L, 0x1004L}) {
            VSYST_DumpStream s(bad.c_str(), mode);
            s << "lost";
            EXPECT_EQ(nullptr, s.file()) << bad;
        }
    EXPECT_EQ(std::vector<std::string>{"named.log"}, dir.list());

    // The file class: failures carry the Win32 code and report on request only.
    orvtest::StdLogCapture log;
    const size_t before = log.size();
    try {
        OrvDupmFile f(dir.file("missing.log").c_str(), OrvDupmFile::OM_OpenExisting);
        FAIL() << "opening a missing file succeeded";
    } catch (const OrvDumpFileException& e) {
        EXPECT_EQ(static_cast<long>(0x80070002), static_cast<const V_Exception&>(e).mapToHRESULT());
        EXPECT_EQ(2ul, OrvDumpFileException(e).getErrorCode());
    }

    HANDLE h = CreateFileA(dir.file("x.log").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    { OrvDupmFile wrapped(h); }
    EXPECT_NE(0, CloseHandle(h)) << "the wrapper owned the handle";

    // The library's own failures above and a silent construction report nothing.
    OrvDumpFileException silent(5, false);
    EXPECT_EQ(before, log.size());
    OrvDumpFileException loud(112, true);
    EXPECT_EQ("!E  THROW EXCEPTION class OrvDumpFileException\r\n!E      " + orvtest::processThreadText() +
                  "\r\nStandard log file error: 112\r\n\r\n",
              log.since(before));
}

ORV_TEST_CHILD(defaultDirStream)   // [current folder]
{
    if (argc > 0) SetCurrentDirectoryA(argv[0]);
    VSYST_DumpStream s(nullptr, VSYST_DumpStream::DSM_File);
    s << "x";
    std::printf("%s", s.filePath());
    return 0;
}
