// VSYST_VersionInfo against modules with version resources compiled by windres
// (see CMakeLists.txt for what each one holds).
#include "VSYST_VersionInfo.h"
#include "diag/orv_fake_mfc42.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::string module(const char* file) { return orvtest::exeDir() + "\\" + file; }

std::string text(const V_STRING& s) { return std::string(s.data(), s.length()); }

const char kGenericBase[] = "Brakmar\\T.R.I.O.N.(R) Platform\\Generic Application";

// Every field of an object, for compact comparisons.
std::string describe(const VSYST_VersionInfo& vi)
{
    return text(vi.getVersionString(VSYST_VersionInfo::VSF_Full)) + "|" + text(vi.getInternalName()) + "|" +
           text(vi.getRunInfo()) + "|" + text(vi.getRegBase()) + "|" + (vi.isDefaultRegBase() ? "generic" : "own") +
           "|" + (vi.fromVersionResource() ? "resource" : "none");
}

}  // namespace

TEST(VersionInfo, CompleteResourceWithStrings)
{
    VSYST_VersionInfo vi(module("vi_full.dll").c_str(), true);
    // The product version, not the file version (9.8.7.6).
    EXPECT_EQ(7, vi.getMajorRelease());
    EXPECT_EQ(1, vi.getMinorRelease());
    EXPECT_EQ(3, vi.getUpdateRelease());
    EXPECT_EQ(12, vi.getBuildRelease());
    EXPECT_EQ("7.1.3.12|VIFull|ModA,ModB|Brakmar\\VITest|own|resource", describe(vi));
    EXPECT_EQ("Brakmar\\VITest\\7.1", text(vi.getRegBaseVersion('\\')));
    EXPECT_EQ("Brakmar\\VITest/7.1", text(vi.getRegBaseVersion('/')));
    EXPECT_EQ("7.1.3.12-full", text(vi.getProductVersionString()));

    const char* expected[] = {"7", "7.1", "7.1.3", "7.1.3.12"};
    for (int f = 0; f < 8; ++f)
        EXPECT_EQ(expected[f & 3], text(vi.getVersionString(static_cast<VSYST_VersionInfo::VSF>(f)))) << f;
    for (int f : {8, 9, -1, 0x7FFFFFFF, -0x7FFFFFFF - 1})
        EXPECT_EQ("", text(vi.getVersionString(static_cast<VSYST_VersionInfo::VSF>(f)))) << f;

    // Without the strings the numbers still come from the resource; the rest stays generic.
    VSYST_VersionInfo numbers(module("vi_full.dll").c_str(), false);
    EXPECT_EQ(std::string("7.1.3.12|Generic Application||") + kGenericBase + "|generic|resource", describe(numbers));
}

TEST(VersionInfo, ModuleHandlesAndTheExecutable)
{
    HMODULE h = LoadLibraryA(module("vi_full.dll").c_str());
    ASSERT_NE(nullptr, h);
    EXPECT_EQ("7.1.3.12|VIFull|ModA,ModB|Brakmar\\VITest|own|resource", describe(VSYST_VersionInfo(h, true)));
    EXPECT_EQ(std::string("7.1.3.12|Generic Application||") + kGenericBase + "|generic|resource",
              describe(VSYST_VersionInfo(h, false)));
    FreeLibrary(h);

    // A null module leaves every field at its initial value.
    VSYST_VersionInfo none(static_cast<HINSTANCE>(nullptr), true);
    EXPECT_EQ("0.0.0.0||||generic|none", describe(none));

    // This test program has no version resource of its own.
    EXPECT_EQ(std::string("2.178.0.0|Generic Application||") + kGenericBase + "|generic|none",
              describe(VSYST_VersionInfo(true)));
    EXPECT_EQ(std::string("2.178.0.0|Generic Application||") + kGenericBase + "|generic|none",
              describe(VSYST_VersionInfo()));
}

TEST(VersionInfo, ModuleHandleWhoseNameCannotBeFetched)
{
    // GetModuleFileName fails for a handle that is no module: the failure is
    // reported in a system-error box with OK alone (shown here by the
    // recording "MFC42" stand-in) and the generic values stand in.
    orvtest::TempDir dir;
    const std::string record = dir.file("mfc42.log");
    orvtest::ScopedEnv env("ORV_FAKE_MFC42_LOG", record.c_str());
    HMODULE mfc = loadFakeMfc42();
    ASSERT_NE(nullptr, mfc);
    VSYST_VersionInfo vi(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10)), true);
    EXPECT_EQ(std::string("2.178.0.0|Generic Application||") + kGenericBase + "|generic|none", describe(vi));
    std::vector<std::string> boxes = fakeMfc42Calls(record);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, boxes[0].find("1200|16|0|")) << boxes[0];
    EXPECT_GT(boxes[0].size(), std::string("1200|16|0|").size());

    // A module whose name is fetched shows nothing.
    VSYST_VersionInfo fine(GetModuleHandleA(nullptr), true);
    EXPECT_EQ(1u, fakeMfc42Calls(record).size());
    FreeLibrary(mfc);
}

TEST(VersionInfo, PartialResourcesFallBackToGenericValues)
{
    // No RegBase: generic major, minor, name and base; update and build and
    // the run info stay, and the numbers count as read from the resource.
    EXPECT_EQ(std::string("2.178.3.12|Generic Application|ModA|") + kGenericBase + "|generic|resource",
              describe(VSYST_VersionInfo(module("vi_noregbase.dll").c_str(), true)));
    // No translation table or no InternalName: generic, and not from the resource.
    EXPECT_EQ(std::string("2.178.3.12|Generic Application||") + kGenericBase + "|generic|none",
              describe(VSYST_VersionInfo(module("vi_notrans.dll").c_str(), true)));
    EXPECT_EQ(std::string("2.178.3.12|Generic Application||") + kGenericBase + "|generic|none",
              describe(VSYST_VersionInfo(module("vi_nointernal.dll").c_str(), true)));
    // No resource at all, a missing file, a null path.
    EXPECT_EQ(std::string("2.178.0.0|Generic Application||") + kGenericBase + "|generic|none",
              describe(VSYST_VersionInfo(module("vi_none.dll").c_str(), true)));
    EXPECT_EQ(std::string("2.178.0.0|Generic Application||") + kGenericBase + "|generic|none",
              describe(VSYST_VersionInfo(module("no_such_module.dll").c_str(), true)));
    EXPECT_EQ(std::string("2.178.0.0|Generic Application||") + kGenericBase + "|generic|none",
              describe(VSYST_VersionInfo(static_cast<const char*>(nullptr), true)));
}

TEST(VersionInfo, StageModulesAreKnownByFileName)
{
    VSYST_VersionInfo staged(module("QSTAGED.EXE").c_str(), true);
    EXPECT_EQ("2004.0.0.0|ZovIdiv FT||Brakmar\\ZovIdiv FT|generic|none", describe(staged));
    EXPECT_EQ("Brakmar\\ZovIdiv FT\\2004.0", text(staged.getRegBaseVersion('\\')));

    // Any case, any extension, any folder; names that merely resemble them are generic.
    orvtest::TempDir dir;
    struct Case { const char* source; const char* copy; const char* expected; } cases[] = {
        {"vi_none.dll", "qmainx.dll", "2004.0.0.0|ZovIdiv FT||Brakmar\\ZovIdiv FT|generic|none"},
        {"vi_none.dll", "QStage.ocx", "2004.0.0.0|ZovIdiv FT||Brakmar\\ZovIdiv FT|generic|none"},
        {"vi_none.dll", "qstaged", "2004.0.0.0|ZovIdiv FT||Brakmar\\ZovIdiv FT|generic|none"},
        {"vi_none.dll", "qstaged.exe.bak", "2.178.0.0|Generic Application||Brakmar\\T.R.I.O.N.(R) Platform\\Generic Application|generic|none"},
        {"vi_none.dll", "qstagedx.dll", "2.178.0.0|Generic Application||Brakmar\\T.R.I.O.N.(R) Platform\\Generic Application|generic|none"},
        // A complete resource wins over the name; a missing RegBase gives the stage values.
        {"vi_full.dll", "qmainx.dll", "7.1.3.12|VIFull|ModA,ModB|Brakmar\\VITest|own|resource"},
        {"vi_noregbase.dll", "qstage.dll", "2004.0.3.12|ZovIdiv FT|ModA|Brakmar\\ZovIdiv FT|generic|resource"},
    };
    for (const Case& c : cases) {
        std::string copy = dir.file(c.copy);
        ASSERT_TRUE(CopyFileA(module(c.source).c_str(), copy.c_str(), FALSE)) << c.copy;
        EXPECT_EQ(c.expected, describe(VSYST_VersionInfo(copy.c_str(), true))) << c.copy;
        DeleteFileA(copy.c_str());
    }
}

TEST(VersionInfo, ResourceLargerThanTheBlockIsReadInPart)
{
    // RegBase lies beyond the first 8000 bytes: it is not seen.
    VSYST_VersionInfo cut(module("vi_bigfirst.dll").c_str(), true);
    EXPECT_EQ(std::string("2.178.3.12|Generic Application||") + kGenericBase + "|generic|resource", describe(cut));
    EXPECT_EQ("7.1.3.12-big", text(cut.getProductVersionString()));
    // RegBase within the first 8000 bytes, the long entry after it.
    VSYST_VersionInfo whole(module("vi_biglast.dll").c_str(), true);
    EXPECT_EQ("7.1.3.12|VIBig||Brakmar\\VITest|own|resource", describe(whole));
    // The translation table after the long strings is out of reach: nothing of the strings counts.
    VSYST_VersionInfo tail(module("vi_bigtail.dll").c_str(), true);
    EXPECT_EQ(std::string("2.178.3.12|Generic Application||") + kGenericBase + "|generic|none", describe(tail));
    // The numbers lie at the start and are read either way.
    EXPECT_EQ(std::string("7.1.3.12|Generic Application||") + kGenericBase + "|generic|resource",
              describe(VSYST_VersionInfo(module("vi_bigtail.dll").c_str(), false)));
}

TEST(VersionInfo, NumbersPrintAsSigned16Bit)
{
    VSYST_VersionInfo vi(module("vi_high.dll").c_str(), true);
    EXPECT_EQ(40000, vi.getMajorRelease());
    EXPECT_EQ(65535, vi.getMinorRelease());
    EXPECT_EQ(32768, vi.getUpdateRelease());
    EXPECT_EQ("-25536.-1.-32768.1", text(vi.getVersionString(VSYST_VersionInfo::VSF_Full)));
    EXPECT_EQ("-25536", text(vi.getVersionString(VSYST_VersionInfo::VSF_Major)));
    EXPECT_EQ("Brakmar\\VITest\\-25536.-1", text(vi.getRegBaseVersion('\\')));
}

TEST(VersionInfo, Comparisons)
{
    VSYST_VersionInfo v7_1_3_12(module("vi_full.dll").c_str(), false);
    VSYST_VersionInfo v7_1_3_99(module("vi_v713.dll").c_str(), false);
    VSYST_VersionInfo v7_1_5(module("vi_v715.dll").c_str(), false);
    VSYST_VersionInfo v7_0_2(module("vi_v702.dll").c_str(), false);
    VSYST_VersionInfo v8_0_0(module("vi_v800.dll").c_str(), false);

    EXPECT_TRUE(v7_1_3_12 == v7_1_3_99);   // the build is not compared
    EXPECT_FALSE(v7_1_3_12 == v7_1_5);
    EXPECT_FALSE(v7_1_3_12 == v8_0_0);

    EXPECT_TRUE(v7_1_3_12 <= v7_1_5);
    EXPECT_FALSE(v7_1_5 <= v7_1_3_12);
    EXPECT_TRUE(v7_1_3_12 <= v7_1_3_99);
    EXPECT_TRUE(v7_1_3_99 <= v7_1_3_12);
    // Another major or minor is never "less or equal", in either direction.
    EXPECT_FALSE(v7_1_3_12 <= v8_0_0);
    EXPECT_FALSE(v8_0_0 <= v7_1_3_12);
    EXPECT_FALSE(v7_0_2 <= v7_1_3_12);
    EXPECT_FALSE(v7_1_3_12 <= v7_0_2);
}

TEST(VersionInfo, CheckRunInfo)
{
    VSYST_VersionInfo vi(module("vi_full.dll").c_str(), true);
    EXPECT_EQ(VSYST_VersionInfo::CS_Contained, vi.checkRunInfo("ModB"));
    EXPECT_EQ(VSYST_VersionInfo::CS_Contained, vi.checkRunInfo("A,Mo"));
    EXPECT_EQ(VSYST_VersionInfo::CS_Contained, vi.checkRunInfo(""));
    EXPECT_EQ(VSYST_VersionInfo::CS_NotContained, vi.checkRunInfo("ModC"));
    EXPECT_EQ(VSYST_VersionInfo::CS_NotContained, vi.checkRunInfo("moda"));   // case matters
    EXPECT_EQ(VSYST_VersionInfo::CS_NotContained, vi.checkRunInfo("ModA,ModB,"));

    VSYST_VersionInfo without(module("vi_full.dll").c_str(), false);
    EXPECT_EQ(VSYST_VersionInfo::CS_NoRunInfo, without.checkRunInfo("ModB"));
    EXPECT_EQ(VSYST_VersionInfo::CS_NoRunInfo, without.checkRunInfo(""));
}

TEST(VersionInfo, ProductVersionTextIsProcessWide)
{
    // Before any ProductVersion entry was read: major.minor.update.
    VSYST_VersionInfo first(module("vi_full.dll").c_str(), false);
    EXPECT_EQ("7.1.3", text(first.getProductVersionString()));
    VSYST_VersionInfo generic(module("vi_none.dll").c_str(), true);
    EXPECT_EQ("2.178.0", text(generic.getProductVersionString()));

    VSYST_VersionInfo full(module("vi_full.dll").c_str(), true);
    EXPECT_EQ("7.1.3.12-full", text(full.getProductVersionString()));
    EXPECT_EQ("7.1.3.12-full", text(first.getProductVersionString()));

    // The entry read last wins for every object, even one whose own RegBase is missing.
    VSYST_VersionInfo other(module("vi_noregbase.dll").c_str(), true);
    EXPECT_EQ("7.1.3.12-noregbase", text(full.getProductVersionString()));
    EXPECT_EQ("7.1.3.12-noregbase", text(other.getProductVersionString()));

    // Readings without strings, or of modules without the entry, change nothing.
    VSYST_VersionInfo quiet(module("vi_full.dll").c_str(), false);
    VSYST_VersionInfo notrans(module("vi_notrans.dll").c_str(), true);
    EXPECT_EQ("7.1.3.12-noregbase", text(quiet.getProductVersionString()));
}
