// VSYST_VersionInfo, and orvtool version, against modules with version
// resources compiled by windres (see CMakeLists.txt for what each one holds).
#include "VSYST_VersionInfo.h"
#include "diag/orv_fake_mfc42.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::string module(const char* file) { return orvtest::exeDir() + "\\" + file; }

std::string text(const V_STRING& s) { return std::string(s.data(), s.length()); }

const std::string kGenericBase = "Brakmar\\T.R.I.O.N.(R) Platform\\Generic Application";
const std::string kGeneric = "Generic Application||" + kGenericBase + "|generic|";
const std::string kStage = "2004.0.0.0|ZovIdiv FT||Brakmar\\ZovIdiv FT|generic|none";
const std::string kFull = "7.1.3.12|VIFull|ModA,ModB|Brakmar\\VITest|own|resource";

// Every field of an object, for compact comparisons.
std::string describe(const VSYST_VersionInfo& vi)
{
    return text(vi.getVersionString(VSYST_VersionInfo::VSF_Full)) + "|" + text(vi.getInternalName()) + "|" +
           text(vi.getRunInfo()) + "|" + text(vi.getRegBase()) + "|" + (vi.isDefaultRegBase() ? "generic" : "own") +
           "|" + (vi.fromVersionResource() ? "resource" : "none");
}

}  // namespace

TEST(VersionInfo, WhatEachModuleGives)
{
    // A file is read where it is built, or from a copy under another name.
    struct Case { const char* file; bool strings; std::string expected; const char* copyAs = nullptr; } cases[] = {
        // The product version, not the file version (9.8.7.6). Without the
        // strings the numbers still come from the resource; the rest stays generic.
        {"vi_full.dll", false, "7.1.3.12|" + kGeneric + "resource"},
        // No RegBase: generic major, minor, name and base; update and build and
        // the run info stay, and the numbers count as read from the resource.
        {"vi_noregbase.dll", true, "2.178.3.12|Generic Application|ModA|" + kGenericBase + "|generic|resource"},
        // No translation table or no InternalName: generic, and not from the resource.
        {"vi_notrans.dll", true, "2.178.3.12|" + kGeneric + "none"},
        {"vi_nointernal.dll", true, "2.178.3.12|" + kGeneric + "none"},
        // Larger than the 8000 bytes read: with the translation table beyond them no
        // string counts; the numbers lie at the start and are read either way.
        {"vi_bigtail.dll", true, "2.178.3.12|" + kGeneric + "none"},
        // RegBase ending on the last byte read is seen, one after it is not.
        {"vi_edge.dll", true, "7.1.3.12|VIBig||Brakmar\\Edge1|own|resource"},
        {"vi_pastedge.dll", true, "2.178.3.12|" + kGeneric + "resource"},
        // Stage modules are known by file name: any case, any extension, any
        // folder; names that merely resemble them are generic. A complete
        // resource wins over the name; without RegBase the stage values stand in.
        {"vi_none.dll", true, kStage, "QMainX.dll"},
        {"vi_none.dll", true, kStage, "qstaged"},
        {"vi_none.dll", true, "2.178.0.0|" + kGeneric + "none", "qstaged.exe.bak"},
        {"vi_none.dll", true, "2.178.0.0|" + kGeneric + "none", "qstagedx.dll"},
        {"vi_full.dll", true, kFull, "qmainx.dll"},
        {"vi_noregbase.dll", true, "2004.0.3.12|ZovIdiv FT|ModA|Brakmar\\ZovIdiv FT|generic|resource", "qstage.dll"},
    };
    orvtest::TempDir dir;
    for (const Case& c : cases) {
        const std::string file = c.copyAs ? dir.file(c.copyAs) : module(c.file);
        ASSERT_TRUE(!c.copyAs || CopyFileA(module(c.file).c_str(), file.c_str(), FALSE)) << file;
        EXPECT_EQ(c.expected, describe(VSYST_VersionInfo(file.c_str(), c.strings))) << file;
    }
    // A null module or path leaves every field at its initial value, or gives the generic ones.
    EXPECT_EQ("0.0.0.0||||generic|none", describe(VSYST_VersionInfo(static_cast<HINSTANCE>(nullptr), true)));
    EXPECT_EQ("2.178.0.0|" + kGeneric + "none", describe(VSYST_VersionInfo(static_cast<const char*>(nullptr), true)));

    // GetModuleFileName fails for a handle that is no module: the failure is
    // reported in a system-error box with OK alone (shown here by the
    // recording "MFC42" stand-in) and the generic values stand in.
    const std::string record = dir.file("mfc42.log");
    orvtest::ScopedEnv env("ORV_FAKE_MFC42_LOG", record.c_str());
    HMODULE mfc = loadFakeMfc42();
    // A module whose name is fetched shows nothing: one box.
    VSYST_VersionInfo fine(GetModuleHandleA(nullptr), true);
    VSYST_VersionInfo vi(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10)), true);
    EXPECT_EQ("2.178.0.0|" + kGeneric + "none", describe(vi));
    const std::string boxes = orvtest::readFile(record);
    EXPECT_TRUE(boxes.find("1200|16|0|") == 0 && boxes.size() > 11 && boxes.find('\n') == boxes.size() - 1) << boxes;
    FreeLibrary(mfc);
}

TEST(VersionInfo, NumbersComparisonsAndRunInfo)
{
    VSYST_VersionInfo full(module("vi_full.dll").c_str(), true);
    EXPECT_EQ("Brakmar\\VITest/7.1", text(full.getRegBaseVersion('/')));
    const char* expected[] = {"7", "7.1", "7.1.3", "7.1.3.12"};
    for (int f = 0; f < 8; ++f)
        EXPECT_EQ(expected[f & 3], text(full.getVersionString(static_cast<VSYST_VersionInfo::VSF>(f)))) << f;
    for (int f : {8, 9, -1, 0x7FFFFFFF, -0x7FFFFFFF - 1})
        EXPECT_EQ("", text(full.getVersionString(static_cast<VSYST_VersionInfo::VSF>(f)))) << f;

    // The numbers as read, printed as signed 16-bit values.
    VSYST_VersionInfo high(module("vi_high.dll").c_str(), true);
    EXPECT_EQ("40000 65535 32768 1", std::to_string(high.getMajorRelease()) + " " + std::to_string(high.getMinorRelease()) +
                                         " " + std::to_string(high.getUpdateRelease()) + " " +
                                         std::to_string(high.getBuildRelease()));
    EXPECT_EQ("-25536.-1.-32768.1|-25536|Brakmar\\VITest\\-25536.-1",
              text(high.getVersionString(VSYST_VersionInfo::VSF_Full)) + "|" +
                  text(high.getVersionString(VSYST_VersionInfo::VSF_Major)) + "|" + text(high.getRegBaseVersion('\\')));

    auto vi = [](const char* file) { return VSYST_VersionInfo(module(file).c_str(), false); };
    const VSYST_VersionInfo v7_1_3_12 = vi("vi_full.dll"), v7_1_3_99 = vi("vi_v713.dll"), v7_1_5 = vi("vi_v715.dll"),
                            v7_0_2 = vi("vi_v702.dll"), v8_0_0 = vi("vi_v800.dll");
    // The build is not compared; another major or minor is never "less or
    // equal", in either direction.
    EXPECT_EQ("100" "1011" "0000", std::string() + "01"[v7_1_3_12 == v7_1_3_99] + "01"[v7_1_3_12 == v7_1_5] +
                                       "01"[v7_1_3_12 == v8_0_0] + "01"[v7_1_3_12 <= v7_1_5] + "01"[v7_1_5 <= v7_1_3_12] +
                                       "01"[v7_1_3_12 <= v7_1_3_99] + "01"[v7_1_3_99 <= v7_1_3_12] +
                                       "01"[v7_1_3_12 <= v8_0_0] + "01"[v8_0_0 <= v7_1_3_12] + "01"[v7_0_2 <= v7_1_3_12] +
                                       "01"[v7_1_3_12 <= v7_0_2]);

    // Contained as a substring, case sensitive; without the strings there is no run info.
    for (const char* part : {"ModB", "A,Mo", ""})
        EXPECT_EQ(VSYST_VersionInfo::CS_Contained, full.checkRunInfo(part)) << part;
    for (const char* part : {"ModC", "moda", "ModA,ModB,"})
        EXPECT_EQ(VSYST_VersionInfo::CS_NotContained, full.checkRunInfo(part)) << part;
    EXPECT_EQ(VSYST_VersionInfo::CS_NoRunInfo, v7_1_3_12.checkRunInfo(""));
}

TEST(VersionInfo, ProductVersionTextIsProcessWide)
{
    if (!orvtest::aloneInProcess()) return;
    // Before any ProductVersion entry was read: major.minor.update. Then the
    // entry read last wins for every object, even one whose own RegBase is
    // missing; readings without strings, or of modules without it, change nothing.
    VSYST_VersionInfo first(module("vi_full.dll").c_str(), false);
    std::string seen = text(first.getProductVersionString()) + "|";
    seen += text(VSYST_VersionInfo(module("vi_none.dll").c_str(), true).getProductVersionString()) + "|";
    VSYST_VersionInfo full(module("vi_full.dll").c_str(), true);
    seen += text(full.getProductVersionString()) + "|" + text(first.getProductVersionString()) + "|";
    VSYST_VersionInfo other(module("vi_noregbase.dll").c_str(), true);
    seen += text(full.getProductVersionString()) + "|" + text(other.getProductVersionString()) + "|";
    VSYST_VersionInfo quiet(module("vi_full.dll").c_str(), false);
    VSYST_VersionInfo notrans(module("vi_notrans.dll").c_str(), true);
    EXPECT_EQ("7.1.3|2.178.0|7.1.3.12-full|7.1.3.12-full|7.1.3.12-noregbase|7.1.3.12-noregbase|7.1.3.12-noregbase",
              seen + text(quiet.getProductVersionString()));
}

TEST(OrvtoolVersion, ShowsWhatTheLibraryReads)
{
    auto orvtool = [](const std::vector<std::string>& args) {
        const orvtest::ChildResult r = orvtest::runOrvtool(args);
        return r.out + "exit " + std::to_string(r.exitCode);
    };
    const std::string full = module("vi_full.dll"), staged = module("QSTAGED.EXE");
    EXPECT_EQ("file:             " + full + "\nproduct version:  7.1.3.12 (from the version resource)\n"
              "product text:     7.1.3.12-full\ninternal name:    VIFull\nrun info:         ModA,ModB\n"
              "registry base:    Brakmar\\VITest (own)\nbasic key name:   Software\\Brakmar\\VITest\\7.1\n"
              "run info check:   contained\nexit 0",
              orvtool({"version", full, "--run-info", "ModB"}));
    EXPECT_EQ("file:             " + staged + "\nproduct version:  2004.0.0.0 (generic)\nproduct text:     2004.0.0\n"
              "internal name:    ZovIdiv FT\nrun info:         \nregistry base:    Brakmar\\ZovIdiv FT (generic)\n"
              "basic key name:   Software\\Brakmar\\ZovIdiv FT\\2004.0\nrun info check:   no run info\nexit 0",
              orvtool({"version", staged, "--run-info", "x"}));
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"version"}, {"version", full, "--run-info"}})
        EXPECT_EQ("exit 2", orvtool(bad)) << bad.back();
}
