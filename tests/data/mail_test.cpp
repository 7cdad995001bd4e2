// Mail through our MAPI32.DLL beside the test, which records what it receives;
// without any, the no-client result. Wine prefers its own MAPI32 unless told
// otherwise: a child takes its parent's WINEDLLOVERRIDES whatever its
// environment says, so each child is told through the program's load order in
// Wine's registry.
#include "support/OrvTestSupport.h"

#include "VSYST_SendMail.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kFake[] = "native", kNone[] = "";
const char kLogon[] = "logon ui=0 profile=(null) password=(null) flags=3 reserved=0\n";
const char kLogoff[] = "logoff session=ours ui=0 flags=0 reserved=0\n";

// Wine's load order of MAPI32 for one program; removed again.
class MapiOrder {
public:
    MapiOrder(const char* exe, const char* order)
        : m_cleanup{std::string("Software\\Wine\\AppDefaults\\") + exe + "\\DllOverrides"},
          m_keep(HKEY_CURRENT_USER, m_cleanup.key, "mapi32")
    {
        HKEY k = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, m_cleanup.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr);
        RegSetValueExA(k, "mapi32", 0, REG_SZ, reinterpret_cast<const BYTE*>(order), DWORD(std::strlen(order) + 1));
        RegCloseKey(k);
    }

private:
    struct Cleanup {
        std::string key;
        ~Cleanup() { orvtest::removeEmptyKeys(HKEY_CURRENT_USER, key, 2); }
    } m_cleanup;
    orvtest::RegValueRestorer m_keep;   // goes first
};

std::string head(const std::string& subject, const std::string& note)
{
    return "send session=ours ui=0 flags=9 reserved=0\n subject=" + subject + " note=" + note +
           " type=(null) date=(null) conversation=(null) flags=0 originator=none\n";
}

// argv: case number; prints sendMail's result, step and last result, and
// whether MAPI32.DLL is still loaded afterwards.
ORV_TEST_CHILD(mail)
{
    const std::vector<V_STRING> two = {V_STRING("C:\\a b.txt"), V_STRING("D:\\second.log")};
    VSYST_SendMail m;
    switch (argc > 0 ? std::atoi(argv[0]) : -1) {
    case 0: m.setWhere(V_STRING("alice@example.org")), m.setSubject(V_STRING("Hi")), m.setBody(V_STRING("0123456789"));
            m.addAttachment(two); break;
    case 1: m.setBody(V_STRING("")), m.addAttachment({V_STRING("C:\\only.txt")}), m.addAttachment({}); break;
    default: {
        VSYST_SendMail c({}, nullptr, nullptr, nullptr);
        VSYST_SendMail d(two, "bob", "S", "B");
        d.addAttachment({V_STRING("E:\\third")});
        const bool first = c.sendMail(), second = d.sendMail();
        std::printf("%d %d %d|", first, second, d.sendMail());   // sending keeps the message
    }
    }
    const bool sent = m.sendMail();
    std::printf("%d %d %lu %d", sent, m.getLastStep(), m.getLastResult(), GetModuleHandleA("MAPI32.DLL") != nullptr);
    return 0;
}

}  // namespace

TEST(SendMail, TheSimpleMapiSequenceAsTheMailClientSeesIt)
{
    const std::string noMessage = head("", "") + " recipients=0 none\n files=0 none\n";
    const std::string third = "load\n" + std::string(kLogon) + head("S", "B") +
        " recipients=1\n to class=1 name=bob address=(null) entry=0\n files=3\n"
        " file position=0 path=C:\\a b.txt name=\"\" flags=0 type=none\n"
        " file position=0 path=D:\\second.log name=\"\" flags=0 type=none\n"
        " file position=0 path=E:\\third name=\"\" flags=0 type=none\n" + kLogoff + "unload\n";
    struct { const char* arg; const char* order; std::vector<std::string> env; std::string out, record; } cases[] = {
        {"0", kFake, {}, "1 4 0 0", "load\n" + std::string(kLogon) + head("Hi", "0123456789") +
         " recipients=1\n to class=1 name=alice@example.org address=(null) entry=0\n files=2\n"
         " file position=9 path=C:\\a b.txt name=\"\" flags=0 type=none\n"
         " file position=9 path=D:\\second.log name=\"\" flags=0 type=none\n" + kLogoff + "unload\n"},
        {"1", kFake, {}, "1 4 0 0", "load\n" + std::string(kLogon) + head("", "") + " recipients=0 none\n files=1\n"
         " file position=4294967295 path=C:\\only.txt name=\"\" flags=0 type=none\n" + kLogoff + "unload\n"},
        {"2", kFake, {}, "1 1 1|1 4 0 0", "load\n" + std::string(kLogon) + noMessage + kLogoff + "unload\n" + third +
         third + "load\n" + kLogon + noMessage + kLogoff + "unload\n"},
        {"1", kFake, {"ORV_FAKE_MAPI_LOGON=3"}, "0 3 3 0", "load\n" + std::string(kLogon) + "unload\n"},
        {"0", kNone, {}, "0 1 0 0", ""},
    };
    for (const auto& c : cases) {
        orvtest::TempDir dir;
        MapiOrder order("test_mail.exe", c.order);
        std::vector<std::string> env = c.env;
        env.push_back("ORV_FAKE_MAPI_LOG=" + dir.file("mapi.txt"));
        const orvtest::ChildResult r = orvtest::runChild("mail", {c.arg}, env);
        EXPECT_EQ(0u, r.exitCode) << r.err;
        EXPECT_EQ(c.out, r.out) << c.arg << " " << c.order;
        EXPECT_EQ(c.record, orvtest::readFile(dir.file("mapi.txt"))) << c.arg << " " << c.order;
    }
}

TEST(SendMail, OrvtoolReportsTheResultInWords)
{
    orvtest::TempDir dir;
    orvtest::writeFile(dir.file("a.txt"), "x");
    const std::string log = "ORV_FAKE_MAPI_LOG=" + dir.file("mapi.txt");
    const std::vector<std::string> mail = {"mail", "--to", "al", "--subject", "S", "--attach", dir.file("a.txt"), "B"};
    struct { std::vector<std::string> args; const char* order; std::vector<std::string> env; unsigned long status;
             std::string text; } cases[] = {
        {mail, kFake, {log}, 0, "handed to the mail client: MAPISendMail gave 0 (success)\n"},
        {mail, kFake, {log, "ORV_FAKE_MAPI_LOGON=3"}, 1,
         "orvtool: the mail client refused the log-on: MAPILogon gave 3 (log-on failed)\n"},
        {mail, kNone, {log}, 1, "orvtool: no mail client: MAPI32.DLL cannot be loaded (system error 126)\n"},
        {{"mail", "--to", "al", "--subject", "S", "--attach", dir.file("none.txt"), "B"}, kFake, {log}, 1,
         "orvtool: cannot attach " + dir.file("none.txt") + ": no such file\n"},
        {{"mail", "--to", "al", "--cc", "x", "B"}, kFake, {log}, 2,
         "orvtool: unknown option '--cc'\nusage: orvtool mail --to ADDRESS --subject TEXT [--attach FILE]... BODY\n"},
        {{"mail", "--help"}, kFake, {log}, 0, "example: orvtool mail "},
    };
    for (const auto& c : cases) {
        MapiOrder order("orvtool.exe", c.order);
        orvtest::ChildResult r = orvtest::runOrvtool(c.args, c.env);
        std::string text = r.out + r.err;
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        EXPECT_EQ(c.status, r.exitCode) << text;
        if (c.args[1] == "--help") EXPECT_NE(std::string::npos, text.find(c.text)) << text;
        else EXPECT_EQ(c.text, text);
    }
    // Only the first reached the mail client, with the file's full path.
    EXPECT_NE(std::string::npos, orvtest::readFile(dir.file("mapi.txt")).find(" files=1\n file position=0 path=" +
                                                                               dir.file("a.txt") + " "));
}
