// The category, colour and pen tables, the feature set, and mail through our
// MAPI32.DLL beside the test, which records what it receives (or the no-client
// result without any). A child takes its parent's WINEDLLOVERRIDES whatever its
// own environment says, so each gets its MAPI32 through Wine's registry.
#include "support/OrvTestSupport.h"

#include "OrvCore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kFake[] = "native", kNone[] = "";   // our MAPI32, or none at all

// A program's MAPI32 load order in Wine's registry, for the processes started meanwhile.
struct MapiOrder {
    MapiOrder(const char* exe, const char* order)
        : key(std::string("Software\\Wine\\AppDefaults\\") + exe + "\\DllOverrides")
    {
        RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "mapi32", REG_SZ, order, DWORD(std::strlen(order) + 1));
    }
    ~MapiOrder()
    {
        RegDeleteKeyValueA(HKEY_CURRENT_USER, key.c_str(), "mapi32");
        orvtest::removeEmptyKeys(HKEY_CURRENT_USER, key, 3);   // up to AppDefaults, when empty
    }
    const std::string key;
};

// Prints sendMail's result, step and last result, and whether MAPI32.DLL is loaded after it.
ORV_TEST_CHILD(mail)
{
    const std::vector<V_STRING> two = {V_STRING("C:\\a b.txt"), V_STRING("D:\\second.log")};
    VSYST_SendMail m;
    switch (argc > 0 ? std::atoi(argv[0]) : -1) {
    case 0: m.setWhere("al@x.org"), m.setSubject("Hi"), m.setBody("0123456789"), m.addAttachment(two); break;
    case 1: m.setBody(""), m.addAttachment({V_STRING("C:\\only.txt")}), m.addAttachment({}); break;
    default: {
        VSYST_SendMail empty({}, nullptr, nullptr, nullptr), full(two, "bob", "S", "B");
        full.addAttachment({V_STRING("E:\\third")});
        const bool first = empty.sendMail(), second = full.sendMail();
        std::printf("%d %d %d|", first, second, full.sendMail());   // sending keeps the message
    }
    }
    const bool sent = m.sendMail();
    std::printf("%d %d %lu %d", sent, m.getLastStep(), m.getLastResult(), GetModuleHandleA("MAPI32.DLL") != nullptr);
    return 0;
}

}  // namespace

TEST(CategoryTable, TheWholeTreeDepthFirst)
{
    VSYST_CategoryTable& t = VSYST_CategoryTable::instance();
    // Each entry is a node of the tree and follows the one before in depth-first
    // order (with one-digit levels, the order of the texts); 438 is the tree's
    // number of nodes, so every node is there.
    const int fourth[4] = {2, 4, 4, 3};
    std::string before;
    for (unsigned long i = 0; i < 438; ++i) {
        const std::string id = t.getCategoryIDAsString(i).data();
        const size_t n = (id.size() + 1) / 2;
        const int limit[5] = {1, 6, 4, 4, n == 5 ? fourth[id[6] - '0'] : 0};
        bool node = n >= 2 && n <= 5 && id.size() == 2 * n - 1;
        for (size_t k = 0; node && k < n; ++k)
            node = id[2 * k] >= '0' && id[2 * k] - '0' < limit[k] && (k == 0 || id[2 * k - 1] == '-');
        EXPECT_TRUE(node && before < id) << i << ": " << id << " after " << before;
        before = id;
    }
}

TEST(ColorTable, ShadesValuesAndPens)
{
    VSYST_ColorTable& t = VSYST_ColorTable::instance();
    EXPECT_EQ(266ul, t.getMaxColorIndex());
    struct { VSYST_ColorName name; long shade; unsigned long index; } shades[] = {
        {VCN_Yellow, -1, 39}, {VCN_Yellow, 20, 47}, {VCN_Yellow, 0, 2}, {VCN_Yellow, -8, 32}, {VCN_Yellow, -9, 32},
        {VCN_Black, 8, 23}, {VCN_White, -8, 22}, {VCN_Violet, 8, 255}, {VCN_Orange, 1, 136}};
    for (const auto& s : shades) EXPECT_EQ(s.index, t.getSystemColorIndex(s.name, s.shade)) << s.name << " " << s.shade;
    // All entries at once: two sums over the standard table, worked out apart from the library.
    long sum = 0, weighted = 0;
    for (unsigned long i = 0; i <= 266; ++i) {
        double r, g, b;
        t.getSystemColor(i, r, g, b);
        sum += std::lround(255 * (r + g + b));
        weighted += static_cast<long>(i) * std::lround(255 * (r + 3 * g + 7 * b));
    }
    EXPECT_EQ(111309, sum);
    EXPECT_EQ(48134737, weighted);
    const double widths[15] = {0.0, 0.13, 0.18, 0.25, 0.35, 0.5, 0.7, 1.0, 1.4, 2.0, 2.1, 2.2, 2.3, 2.4, 2.5};
    for (unsigned long p = 0; p < 15; ++p) EXPECT_EQ(widths[p], VSYST_PenTable::instance().getPenWidth(p)) << p;
}

TEST(SendMail, TheSimpleMapiSequenceAsTheMailClientSeesIt)
{
    const auto call = [](const std::string& texts, const std::string& counts, const std::string& rest) {
        return "load\nlogon 0 (null) (null) 3 0\nsend ours 0 9 0 |" + texts + "| (null) (null) (null) 0 (null) " + counts +
               "\n" + rest + "logoff ours 0 0 0\nunload\n";
    };
    const std::string none = call("|", "0 (null) 0 (null)", ""), bob = call("S|B", "1 set 3 set",
        "to 1 bob (null) 0\nfile 0 C:\\a b.txt || 0 (null)\nfile 0 D:\\second.log || 0 (null)\nfile 0 E:\\third || 0 (null)\n");
    struct { const char* arg; const char* order; std::string logon, out, record; } cases[] = {
        {"0", kFake, "", "1 4 0 0", call("Hi|0123456789", "1 set 2 set", "to 1 al@x.org (null) 0\n"
                                         "file 9 C:\\a b.txt || 0 (null)\nfile 9 D:\\second.log || 0 (null)\n")},
        {"1", kFake, "", "1 4 0 0", call("|", "0 (null) 1 set", "file 4294967295 C:\\only.txt || 0 (null)\n")},
        {"2", kFake, "", "1 1 1|1 4 0 0", none + bob + bob + none},
        {"1", kFake, "3", "0 3 3 0", "load\nlogon 0 (null) (null) 3 0\nunload\n"},
        {"0", kNone, "", "0 1 0 0", ""},
    };
    for (const auto& c : cases) {
        orvtest::TempDir dir;
        MapiOrder order("test_tables_mail.exe", c.order);
        const orvtest::ChildResult r = orvtest::runChild(
            "mail", {c.arg}, {"ORV_FAKE_MAPI_LOGON=" + c.logon, "ORV_FAKE_MAPI_LOG=" + dir.file("m")});
        EXPECT_EQ(std::make_pair(0ul, c.out), std::make_pair(r.exitCode, r.out)) << c.arg << " " << c.order << r.err;
        EXPECT_EQ(c.record, orvtest::readFile(dir.file("m"))) << c.arg << " " << c.order;
    }
}

TEST(Orvtool, FeaturesColorsAndMailWithTheirResultsInWords)
{
    orvtest::TempDir dir;
    orvtest::writeFile(dir.file("a.txt"), "x");
    auto mail = [&](const char* file) {
        return std::vector<std::string>{"mail", "--to", "al", "--subject", "S", "--attach", dir.file(file), "B"};
    };
    struct { std::vector<std::string> args; const char* order; const char* logon; unsigned long status; std::string text; }
    cases[] = {
        {{"features", "Min", "-2147483648"}, kNone, "", 0, "Min: state -2147483648\n\nVSYST_FeatureSet : start of dump of "
         "all available features\n\tFeature \"Min\" state == -2147483648\nVSYST_FeatureSet : end of dump of all available "
         "features\n\n"},
        {{"features", "Asked"}, kNone, "", 0, "Asked: state 0\n\nVSYST_FeatureSet : start of dump of all available features\n"
         "\tFeature \"Asked\" state == 0\nVSYST_FeatureSet : end of dump of all available features\n\n"},
        {{"features", "X", "2147483648"}, kNone, "", 2, "orvtool: STATE must be a whole number from -2147483648 to "
         "2147483647, not '2147483648'\nusage: orvtool features [NAME [STATE]]\n"},
        {{"colors", "--html", "Q:\\c.html"}, kNone, "", 1, "orvtool: cannot write the page Q:\\c.html: No such file or directory\n"},
        {mail("a.txt"), kFake, "", 0, "handed to the mail client: MAPISendMail gave 0 (success)\n"},
        {mail("a.txt"), kFake, "26", 1, "orvtool: the mail client refused the log-on: MAPILogon gave 26 (not supported)\n"},
        {mail("a.txt"), kNone, "", 1, "orvtool: no mail client: MAPI32.DLL cannot be loaded (system error 126)\n"},
        {mail("none"), kFake, "", 1, "orvtool: cannot attach " + dir.file("none") + ": no such file\n"},
    };
    for (const auto& c : cases) {
        MapiOrder order("orvtool.exe", c.order);
        const orvtest::ChildResult r = orvtest::runOrvtool(c.args, {"ORV_FAKE_MAPI_LOGON=" + std::string(c.logon),
            "ORV_FAKE_MAPI_LOG=" + dir.file("m"), "ORVFT_TRACE_APPLINITEXIT=", "ORV_STDLOGFILE="});
        EXPECT_EQ(std::make_pair(c.status, c.text), std::make_pair(r.exitCode, r.out + r.err));
    }
    // Only one mail reached the mail client, with the file's full path.
    EXPECT_NE(std::string::npos, orvtest::readFile(dir.file("m")).find("\nfile 0 " + dir.file("a.txt") + " |"));
}
