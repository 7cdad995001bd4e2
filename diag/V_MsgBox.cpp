// Message boxes, the box permission and the red countdown panel.
#include "V_MsgBox.h"
#include "VSYST_DumpStream.h"
#include "diag/orv_diag_internal.h"
#include "strings/orv_numtext.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

bool s_canUseMsgBoxes = true;

const char kFallbackTitle[] = "Brakmar AG - T.R.I.O.N.\xAE";

typedef int(WINAPI* MfcMessageBoxFn)(const char*, unsigned int, unsigned int);
typedef void(WINAPI* MfcAbortFn)();

FARPROC mfc42Ordinal(WORD ordinal)
{
    HMODULE mfc = GetModuleHandleA("MFC42");
    return mfc ? GetProcAddress(mfc, MAKEINTRESOURCEA(ordinal)) : nullptr;
}

void countdownPanel(const char* text, const char* title)
{
    char message[1024];
    orv::crtFormat(message, sizeof message, "%s\n%s", title, text ? text : "");

    for (int counter = 80; counter > 0; --counter) {
        HDC dc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
        RECT desk = {0, 0, 0, 0};
        GetWindowRect(GetDesktopWindow(), &desk);
        int cx = (desk.left + desk.right) / 2;
        int cy = (desk.top + desk.bottom) / 2;
        RECT red = {cx - 256, cy - 128, cx + 256, cy + 128};
        if (dc) {
            SetBkColor(dc, RGB(255, 0, 0));
            ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &red, nullptr, 0, nullptr);

            RECT msg = {red.left + 16, red.top + 16, red.right - 16, red.bottom - 64};
            SetTextColor(dc, RGB(255, 255, 255));
            DrawTextA(dc, message, -1, &msg, DT_WORDBREAK | DT_NOPREFIX);

            char countdown[160];
            orv::crtFormat(countdown, sizeof countdown,
                           "Click on the red area to continue working!\nAutomatic continuing in %d.%d seconds!\n",
                           counter / 4, (counter % 4) * 25);
            RECT down = {red.left + 16, red.top + 176, red.right - 16, red.bottom - 16};
            SetTextColor(dc, RGB(255, 255, 0));
            DrawTextA(dc, countdown, -1, &down, DT_WORDBREAK | DT_NOPREFIX | DT_BOTTOM);
        }
        Sleep(250);
        POINT cursor = {0, 0};
        GetCursorPos(&cursor);
        bool clicked = GetAsyncKeyState(VK_LBUTTON) < 0 && PtInRect(&red, cursor);
        if (dc) DeleteDC(dc);
        if (clicked) break;
    }
}

}  // namespace

namespace orv {

bool canUseMsgBoxes() { return s_canUseMsgBoxes; }
void setCanUseMsgBoxes(bool can) { s_canUseMsgBoxes = can; }

void logInsteadOfBox(const char* text)
{
    try {
        VSYST_DumpStream::getStdStream() << "(!MSGBOX!)" << text << "\n";
    } catch (...) {
        // A box never throws; when the log fails the beeps are all that is left.
    }
    Beep(1000, 100);
    Beep(1000, 100);
}

void endProcessAfterAssertion()
{
    if (FARPROC fn = mfc42Ordinal(1100)) {
        reinterpret_cast<MfcAbortFn>(reinterpret_cast<void*>(fn))();
        return;
    }
    std::abort();
}

}  // namespace orv

int OrvMessageBox(const char* text, unsigned int type, unsigned int helpContext)
{
    if (FARPROC fn = mfc42Ordinal(1200))
        return reinterpret_cast<MfcMessageBoxFn>(reinterpret_cast<void*>(fn))(text, type, helpContext);
    char title[261];
    if (GetConsoleTitleA(title, 260) == 0) std::strcpy(title, kFallbackTitle);
    return MessageBoxA(nullptr, text, title, type);
}

int V_MsgBox(const char* text, unsigned int type, unsigned int helpContext)
{
    if (s_canUseMsgBoxes) return OrvMessageBox(text, type, helpContext);
    orv::logInsteadOfBox(text);
    return 0;
}

int V_DbgMsgBox(const char* text, unsigned int type)
{
    char path[MAX_PATH + 1], full[MAX_PATH + 1];
    const char* name = kFallbackTitle;
    char* namePart = nullptr;
    if (GetModuleFileNameA(nullptr, path, MAX_PATH) != 0 &&
        GetFullPathNameA(path, MAX_PATH, full, &namePart) != 0 && namePart)
        name = namePart;
    char title[MAX_PATH + 128];
    DWORD pid = GetCurrentProcessId(), tid = GetCurrentThreadId();
    orv::crtFormat(title, sizeof title, "%s [ Process: %d (0x%x), Thread: %d (0x%x) ]", name, static_cast<int>(pid),
                   static_cast<unsigned>(pid), static_cast<int>(tid), static_cast<unsigned>(tid));
    if (s_canUseMsgBoxes) return MessageBoxA(nullptr, text, title, type);
    countdownPanel(text, title);
    return 0;
}

void V_SetCanUseMsgBoxes(bool can) { s_canUseMsgBoxes = can; }
bool V_CanUseMsgBoxes() { return s_canUseMsgBoxes; }
