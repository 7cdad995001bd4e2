// Message boxes: the "MFC42" path, the MessageBoxA fallbacks and their titles,
// the permission, and the countdown panel (its calls to the system observed
// and steered through the library's import table, so no 20-second wait).
#include "V_MsgBox.h"
#include "VSYST_DumpStream.h"
#include "diag/orv_fake_mfc42.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

using orvtest::IatHook;

namespace {

const char kDll[] = "OrvCore_Rudaru20.dll";
const char kFallbackTitle[] = "Brakmar AG - T.R.I.O.N.\xAE";

struct BoxCall { std::string text, title; UINT type; };
std::vector<BoxCall> s_boxes;
int WINAPI fakeMessageBoxA(HWND, LPCSTR text, LPCSTR title, UINT type)
{
    s_boxes.push_back({text ? text : "", title ? title : "", type});
    return IDRETRY;
}

std::vector<std::pair<DWORD, DWORD>> s_beeps;
BOOL WINAPI fakeBeep(DWORD freq, DWORD ms) { s_beeps.emplace_back(freq, ms); return TRUE; }

DWORD WINAPI consoleTitle(LPSTR buf, DWORD size) { lstrcpynA(buf, "My Console", static_cast<int>(size)); return 10; }
DWORD WINAPI noModuleName(HMODULE, LPSTR, DWORD) { SetLastError(ERROR_INVALID_HANDLE); return 0; }

std::string expectedDebugTitle(const std::string& name)
{
    char buf[512];
    DWORD pid = GetCurrentProcessId(), tid = GetCurrentThreadId();
    std::snprintf(buf, sizeof buf, "%s [ Process: %lu (0x%lx), Thread: %lu (0x%lx) ]", name.c_str(), pid, pid, tid, tid);
    return buf;
}

// ---- countdown panel observation -------------------------------------------
struct PanelLog {
    int dcs = 0, deleted = 0, cycles = 0, pressAtCycle = -1;
    bool cursorInside = true;
    std::vector<DWORD> sleeps;
    std::vector<RECT> fills;
    std::vector<std::pair<std::string, UINT>> texts;
    std::vector<COLORREF> textColours;
};
PanelLog s_panel;
HDC (WINAPI* s_realCreateDC)(LPCSTR, LPCSTR, LPCSTR, const DEVMODEA*);
BOOL (WINAPI* s_realDeleteDC)(HDC);
COLORREF (WINAPI* s_realSetTextColor)(HDC, COLORREF);

HDC WINAPI countCreateDC(LPCSTR a, LPCSTR b, LPCSTR c, const DEVMODEA* d) { ++s_panel.dcs; return s_realCreateDC(a, b, c, d); }
BOOL WINAPI countDeleteDC(HDC dc) { ++s_panel.deleted; return s_realDeleteDC(dc); }
VOID WINAPI noSleep(DWORD ms) { s_panel.sleeps.push_back(ms); ++s_panel.cycles; }
SHORT WINAPI button(int key)
{
    return key == VK_LBUTTON && s_panel.cycles == s_panel.pressAtCycle ? static_cast<SHORT>(0x8000) : 0;
}
BOOL WINAPI cursor(LPPOINT pt)
{
    RECT desk;
    GetWindowRect(GetDesktopWindow(), &desk);
    pt->x = s_panel.cursorInside ? (desk.left + desk.right) / 2 : desk.left + 1;
    pt->y = s_panel.cursorInside ? (desk.top + desk.bottom) / 2 : desk.top + 1;
    return TRUE;
}
BOOL WINAPI recordFill(HDC, int, int, UINT, const RECT* r, LPCSTR, UINT, const INT*)
{
    if (r) s_panel.fills.push_back(*r);
    return TRUE;
}
COLORREF WINAPI recordColour(HDC dc, COLORREF c) { s_panel.textColours.push_back(c); return s_realSetTextColor(dc, c); }
int WINAPI recordText(HDC, LPCSTR text, int, LPRECT, UINT format)
{
    s_panel.texts.emplace_back(text, format);
    return 1;
}

struct PanelHooks {
    IatHook create{kDll, "gdi32.dll", "CreateDCA", reinterpret_cast<void*>(countCreateDC)};
    IatHook del{kDll, "gdi32.dll", "DeleteDC", reinterpret_cast<void*>(countDeleteDC)};
    IatHook fill{kDll, "gdi32.dll", "ExtTextOutA", reinterpret_cast<void*>(recordFill)};
    IatHook colour{kDll, "gdi32.dll", "SetTextColor", reinterpret_cast<void*>(recordColour)};
    IatHook sleep{kDll, "kernel32.dll", "Sleep", reinterpret_cast<void*>(noSleep)};
    IatHook key{kDll, "user32.dll", "GetAsyncKeyState", reinterpret_cast<void*>(button)};
    IatHook pos{kDll, "user32.dll", "GetCursorPos", reinterpret_cast<void*>(cursor)};
    IatHook draw{kDll, "user32.dll", "DrawTextA", reinterpret_cast<void*>(recordText)};
    PanelHooks()
    {
        s_panel = PanelLog();
        s_realCreateDC = reinterpret_cast<decltype(s_realCreateDC)>(create.original());
        s_realDeleteDC = reinterpret_cast<decltype(s_realDeleteDC)>(del.original());
        s_realSetTextColor = reinterpret_cast<decltype(s_realSetTextColor)>(colour.original());
    }
};

}  // namespace

TEST(MsgBox, Mfc42OrdinalShowsTheBox)
{
    orvtest::TempDir dir;
    std::string rec = dir.file("calls.txt");
    orvtest::ScopedEnv log("ORV_FAKE_MFC42_LOG", rec.c_str());
    orvtest::ScopedEnv answer("ORV_FAKE_MFC42_ANSWER", "7");
    IatHook box(kDll, "user32.dll", "MessageBoxA", reinterpret_cast<void*>(fakeMessageBoxA));
    HMODULE mfc = loadFakeMfc42();
    ASSERT_NE(nullptr, mfc);
    EXPECT_EQ(7, OrvMessageBox("two\nlines", MB_YESNO | MB_ICONQUESTION, 1234));
    EXPECT_EQ(std::vector<std::string>{"1200|36|1234|two\\nlines"}, fakeMfc42Calls(rec));
    EXPECT_TRUE(s_boxes.empty());
    FreeLibrary(mfc);

    // Once the module is gone the fallback takes over.
    EXPECT_EQ(IDRETRY, OrvMessageBox("after", MB_OK, 0));
    ASSERT_EQ(1u, s_boxes.size());
    EXPECT_EQ("after", s_boxes[0].text);
}

TEST(MsgBox, FallbackTitles)
{
    s_boxes.clear();
    IatHook box(kDll, "user32.dll", "MessageBoxA", reinterpret_cast<void*>(fakeMessageBoxA));
    EXPECT_EQ(IDRETRY, OrvMessageBox("no console", MB_OK, 0));
    {
        IatHook title(kDll, "kernel32.dll", "GetConsoleTitleA", reinterpret_cast<void*>(consoleTitle));
        OrvMessageBox("with console", MB_OKCANCEL, 0);
    }
    ASSERT_EQ(2u, s_boxes.size());
    EXPECT_EQ(kFallbackTitle, s_boxes[0].title);
    EXPECT_EQ("My Console", s_boxes[1].title);
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL), s_boxes[1].type);

    // The debug box names the executable, process and thread.
    EXPECT_EQ(IDRETRY, V_DbgMsgBox("dbg", MB_ICONSTOP));
    EXPECT_EQ(expectedDebugTitle("test_msgbox.exe"), s_boxes[2].title);
    EXPECT_EQ("dbg", s_boxes[2].text);
    {
        IatHook name(kDll, "kernel32.dll", "GetModuleFileNameA", reinterpret_cast<void*>(noModuleName));
        V_DbgMsgBox("dbg2", 0);
    }
    EXPECT_EQ(expectedDebugTitle(kFallbackTitle), s_boxes[3].title);
}

TEST(MsgBox, PermissionReplacesBoxesByALogLineAndTwoBeeps)
{
    orvtest::StdLogCapture log;
    s_boxes.clear();
    IatHook box(kDll, "user32.dll", "MessageBoxA", reinterpret_cast<void*>(fakeMessageBoxA));
    IatHook beep(kDll, "kernel32.dll", "Beep", reinterpret_cast<void*>(fakeBeep));
    EXPECT_TRUE(V_CanUseMsgBoxes());
    EXPECT_EQ(IDRETRY, V_MsgBox("shown", MB_OK, 0));
    EXPECT_EQ(1u, s_boxes.size());
    EXPECT_TRUE(s_beeps.empty());

    V_SetCanUseMsgBoxes(false);
    size_t at = log.size();
    EXPECT_EQ(0, V_MsgBox("logged", MB_OK, 0));
    EXPECT_EQ("(!MSGBOX!)logged\r\n", log.since(at));
    EXPECT_EQ(1u, s_boxes.size());
    std::vector<std::pair<DWORD, DWORD>> twice = {{1000, 100}, {1000, 100}};
    EXPECT_EQ(twice, s_beeps);
    V_SetCanUseMsgBoxes(true);
}

TEST(CountdownPanel, RunsEightyCyclesAndReleasesEveryDC)
{
    V_SetCanUseMsgBoxes(false);
    PanelHooks hooks;
    EXPECT_EQ(0, V_DbgMsgBox("panel text", MB_OK));
    V_SetCanUseMsgBoxes(true);

    EXPECT_EQ(80, s_panel.cycles);
    EXPECT_EQ(std::vector<DWORD>(80, 250), s_panel.sleeps);
    EXPECT_EQ(80, s_panel.dcs);
    EXPECT_EQ(80, s_panel.deleted);

    RECT desk;
    GetWindowRect(GetDesktopWindow(), &desk);
    int cx = (desk.left + desk.right) / 2, cy = (desk.top + desk.bottom) / 2;
    ASSERT_EQ(80u, s_panel.fills.size());
    EXPECT_EQ(cx - 256, s_panel.fills[0].left);
    EXPECT_EQ(cy - 128, s_panel.fills[0].top);
    EXPECT_EQ(cx + 256, s_panel.fills[0].right);
    EXPECT_EQ(cy + 128, s_panel.fills[0].bottom);

    ASSERT_EQ(160u, s_panel.texts.size());
    EXPECT_EQ(expectedDebugTitle("test_msgbox.exe") + "\npanel text", s_panel.texts[0].first);
    EXPECT_EQ(static_cast<UINT>(DT_WORDBREAK | DT_NOPREFIX), s_panel.texts[0].second);
    const char* countdown = "Click on the red area to continue working!\nAutomatic continuing in %s seconds!\n";
    char expect[200];
    std::snprintf(expect, sizeof expect, countdown, "20.0");
    EXPECT_EQ(expect, s_panel.texts[1].first);
    EXPECT_EQ(static_cast<UINT>(DT_WORDBREAK | DT_NOPREFIX | DT_BOTTOM), s_panel.texts[1].second);
    std::snprintf(expect, sizeof expect, countdown, "19.25");   // counter 77
    EXPECT_EQ(expect, s_panel.texts[7].first);
    std::snprintf(expect, sizeof expect, countdown, "1.0");     // counter 4
    EXPECT_EQ(expect, s_panel.texts[153].first);
    std::snprintf(expect, sizeof expect, countdown, "0.25");    // the last cycle
    EXPECT_EQ(expect, s_panel.texts[159].first);
    ASSERT_GE(s_panel.textColours.size(), 2u);
    EXPECT_EQ(RGB(255, 255, 255), s_panel.textColours[0]);
    EXPECT_EQ(RGB(255, 255, 0), s_panel.textColours[1]);
}

TEST(CountdownPanel, ClickInTheRedAreaEndsIt)
{
    V_SetCanUseMsgBoxes(false);
    {
        PanelHooks hooks;
        s_panel.pressAtCycle = 3;
        s_panel.cursorInside = false;   // a click elsewhere does nothing
        EXPECT_EQ(0, V_DbgMsgBox("outside", MB_OK));
        EXPECT_EQ(80, s_panel.cycles);
    }
    {
        PanelHooks hooks;
        s_panel.pressAtCycle = 3;
        EXPECT_EQ(0, V_DbgMsgBox("inside", MB_OK));
        EXPECT_EQ(3, s_panel.cycles);
        EXPECT_EQ(3, s_panel.dcs);
        EXPECT_EQ(3, s_panel.deleted) << "the DC of the clicked cycle is released too";
    }
    V_SetCanUseMsgBoxes(true);
}

TEST(CountdownPanel, LongTextsAreCut)
{
    V_SetCanUseMsgBoxes(false);
    PanelHooks hooks;
    s_panel.pressAtCycle = 1;
    std::string huge(5000, 'w');
    V_DbgMsgBox(huge.c_str(), MB_OK);
    V_SetCanUseMsgBoxes(true);
    ASSERT_FALSE(s_panel.texts.empty());
    EXPECT_EQ(1023u, s_panel.texts[0].first.size());
}

// ---- run under a real X server by gui-check.sh -----------------------------

ORV_TEST_CHILD(guiMessageBox)
{
    int answer = OrvMessageBox("Hello from OrvCore", MB_OKCANCEL, 0);
    std::printf("answer=%d\n", answer);
    return 0;
}

ORV_TEST_CHILD(guiPanel)
{
    V_SetCanUseMsgBoxes(false);
    DWORD start = GetTickCount();
    int r = V_DbgMsgBox("OrvCore countdown panel test", MB_OK);
    std::printf("result=%d elapsed=%lu\n", r, GetTickCount() - start);
    return 0;
}
