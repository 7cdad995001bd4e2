// Message boxes: the "MFC42" path, the MessageBoxA fallbacks and their titles,
// the permission, and the countdown panel (its calls to the system observed
// and steered through the library's import table, so no 20-second wait; its
// colours are checked on a real screen by gui-check.sh).
#include "V_Exception.h"
#include "V_MsgBox.h"
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
const std::string kFallbackTitle = "Brakmar AG - T.R.I.O.N.\xAE";

// "text|title|type" of each MessageBoxA call.
std::vector<std::string> s_boxes;
int WINAPI fakeMessageBoxA(HWND, LPCSTR text, LPCSTR title, UINT type)
{
    s_boxes.push_back(std::string(text) + "|" + title + "|" + std::to_string(type));
    return IDRETRY;
}

std::vector<std::pair<DWORD, DWORD>> s_beeps;
BOOL WINAPI fakeBeep(DWORD freq, DWORD ms) { s_beeps.emplace_back(freq, ms); return TRUE; }

DWORD WINAPI consoleTitle(LPSTR buf, DWORD size) { lstrcpynA(buf, "My Console", static_cast<int>(size)); return 10; }
DWORD WINAPI noModuleName(HMODULE, LPSTR, DWORD) { SetLastError(ERROR_INVALID_HANDLE); return 0; }

std::string debugTitle(const std::string& name) { return name + " " + orvtest::processThreadText(); }

struct PanelLog {
    int dcs = 0, deleted = 0, pressAtCycle = -1;
    POINT cursor = {0, 0};
    std::vector<DWORD> sleeps;   // one a cycle
    std::vector<RECT> fills;
    std::vector<std::pair<std::string, UINT>> texts;
};
PanelLog s_panel;
HDC (WINAPI* s_realCreateDC)(LPCSTR, LPCSTR, LPCSTR, const DEVMODEA*);
BOOL (WINAPI* s_realDeleteDC)(HDC);

HDC WINAPI countCreateDC(LPCSTR a, LPCSTR b, LPCSTR c, const DEVMODEA* d) { ++s_panel.dcs; return s_realCreateDC(a, b, c, d); }
BOOL WINAPI countDeleteDC(HDC dc) { ++s_panel.deleted; return s_realDeleteDC(dc); }
VOID WINAPI noSleep(DWORD ms) { s_panel.sleeps.push_back(ms); }
SHORT WINAPI button(int key)
{
    const bool pressed = key == VK_LBUTTON && static_cast<int>(s_panel.sleeps.size()) == s_panel.pressAtCycle;
    return pressed ? static_cast<SHORT>(0x8000) : 0;
}
BOOL WINAPI cursor(LPPOINT pt)
{
    *pt = s_panel.cursor;
    return TRUE;
}
BOOL WINAPI recordFill(HDC, int, int, UINT, const RECT* r, LPCSTR, UINT, const INT*)
{
    if (r) s_panel.fills.push_back(*r);
    return TRUE;
}
int WINAPI recordText(HDC, LPCSTR text, int, LPRECT, UINT format)
{
    s_panel.texts.emplace_back(text, format);
    return 1;
}

struct PanelHooks {
    IatHook create{kDll, "gdi32.dll", "CreateDCA", reinterpret_cast<void*>(countCreateDC)};
    IatHook del{kDll, "gdi32.dll", "DeleteDC", reinterpret_cast<void*>(countDeleteDC)};
    IatHook fill{kDll, "gdi32.dll", "ExtTextOutA", reinterpret_cast<void*>(recordFill)};
    IatHook sleep{kDll, "kernel32.dll", "Sleep", reinterpret_cast<void*>(noSleep)};
    IatHook key{kDll, "user32.dll", "GetAsyncKeyState", reinterpret_cast<void*>(button)};
    IatHook pos{kDll, "user32.dll", "GetCursorPos", reinterpret_cast<void*>(cursor)};
    IatHook draw{kDll, "user32.dll", "DrawTextA", reinterpret_cast<void*>(recordText)};
    PanelHooks()
    {
        s_panel = PanelLog();
        s_realCreateDC = reinterpret_cast<decltype(s_realCreateDC)>(create.original());
        s_realDeleteDC = reinterpret_cast<decltype(s_realDeleteDC)>(del.original());
    }
};

}  // namespace

TEST(MsgBox, Mfc42OrdinalOrMessageBoxWithItsTitleThePermissionAndTheCountdownPanel)
{
    orvtest::TempDir dir;
    std::string rec = dir.file("calls.txt");
    orvtest::ScopedEnv log("ORV_FAKE_MFC42_LOG", rec.c_str());
    orvtest::ScopedEnv answer("ORV_FAKE_MFC42_ANSWER", "7");
    IatHook box(kDll, "user32.dll", "MessageBoxA", reinterpret_cast<void*>(fakeMessageBoxA));
    IatHook beep(kDll, "kernel32.dll", "Beep", reinterpret_cast<void*>(fakeBeep));
    HMODULE mfc = loadFakeMfc42();
    EXPECT_EQ(7, OrvMessageBox("two\nlines", MB_YESNO | MB_ICONQUESTION, 1234));
    EXPECT_EQ("1200|36|1234|two\\nlines\n", orvtest::readFile(rec));
    FreeLibrary(mfc);

    // Once the module is gone MessageBoxA takes over, titled after the console
    // when there is one. The debug box names the executable, process and thread.
    EXPECT_EQ(IDRETRY, OrvMessageBox("no console", MB_OK, 0));
    {
        IatHook title(kDll, "kernel32.dll", "GetConsoleTitleA", reinterpret_cast<void*>(consoleTitle));
        OrvMessageBox("with console", MB_OKCANCEL, 0);
    }
    EXPECT_EQ(IDRETRY, V_DbgMsgBox("dbg", MB_ICONSTOP));
    {
        IatHook name(kDll, "kernel32.dll", "GetModuleFileNameA", reinterpret_cast<void*>(noModuleName));
        V_DbgMsgBox("dbg2", 0);
    }
    // Boxes while permitted; a log line and two beeps each once forbidden.
    orvtest::StdLogCapture stdLog;
    EXPECT_TRUE(V_CanUseMsgBoxes());
    EXPECT_EQ(IDRETRY, V_MsgBox("shown", MB_OK, 0));
    V_Exception::MsgBox("warned");
    const UINT warning = MB_ICONEXCLAMATION | MB_SETFOREGROUND | MB_TOPMOST;
    const std::vector<std::string> expected = {"no console|" + kFallbackTitle + "|0", "with console|My Console|1",
                                               "dbg|" + debugTitle("test_msgbox.exe") + "|16",
                                               "dbg2|" + debugTitle(kFallbackTitle) + "|0",
                                               "shown|" + kFallbackTitle + "|0",
                                               "warned|" + kFallbackTitle + "|" + std::to_string(warning)};
    EXPECT_EQ(expected, s_boxes);

    V_Exception::setCanUseMsgBoxes(false);
    EXPECT_FALSE(V_CanUseMsgBoxes());
    size_t at = stdLog.size();
    EXPECT_EQ(0, V_MsgBox("logged", MB_OK, 0));
    V_Exception::MsgBox("m");
    EXPECT_EQ("(!MSGBOX!)logged\r\n(!MSGBOX!)m\r\n", stdLog.since(at));
    EXPECT_EQ(expected, s_boxes);
    EXPECT_EQ((std::vector<std::pair<DWORD, DWORD>>(4, {1000, 100})), s_beeps);

    // Without permission the debug box is a countdown panel of 80 cycles, unless clicked in its red area: a
    // click just outside does nothing, one inside ends the panel, the DC of that cycle released too.
    RECT desk;
    GetWindowRect(GetDesktopWindow(), &desk);
    const int cx = (desk.left + desk.right) / 2, cy = (desk.top + desk.bottom) / 2;
    const RECT red = {cx - 256, cy - 128, cx + 256, cy + 128};
    for (bool inside : {true, false}) {
        PanelHooks hooks;
        s_panel.pressAtCycle = 3;
        s_panel.cursor = {red.left - (inside ? 0 : 1), red.top};
        EXPECT_EQ(0, V_DbgMsgBox(std::string(5000, 'w').c_str(), MB_OK));
        const std::string cycles = inside ? "3 3 3" : "80 80 80";
        EXPECT_EQ(cycles, std::to_string(s_panel.sleeps.size()) + " " + std::to_string(s_panel.dcs) + " " +
                              std::to_string(s_panel.deleted));
    }
    // The full run: a quarter second a cycle, the red area, the long text cut, the countdown below it.
    EXPECT_EQ(std::vector<DWORD>(80, 250), s_panel.sleeps);
    ASSERT_EQ(80u, s_panel.fills.size());
    EXPECT_TRUE(EqualRect(&red, &s_panel.fills[0]));
    ASSERT_EQ(160u, s_panel.texts.size());
    EXPECT_EQ((debugTitle("test_msgbox.exe") + "\n" + std::string(5000, 'w')).substr(0, 1023), s_panel.texts[0].first);
    EXPECT_EQ(static_cast<UINT>(DT_WORDBREAK | DT_NOPREFIX), s_panel.texts[0].second);
    EXPECT_EQ(static_cast<UINT>(DT_WORDBREAK | DT_NOPREFIX | DT_BOTTOM), s_panel.texts[1].second);
    // The first cycle, counter 77, counter 4 and the last cycle.
    const std::pair<int, const char*> counts[] = {{1, "20.0"}, {7, "19.25"}, {153, "1.0"}, {159, "0.25"}};
    for (const auto& [index, seconds] : counts)
        EXPECT_EQ("Click on the red area to continue working!\nAutomatic continuing in " + std::string(seconds) +
                      " seconds!\n",
                  s_panel.texts[index].first);
    V_SetCanUseMsgBoxes(true);
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
