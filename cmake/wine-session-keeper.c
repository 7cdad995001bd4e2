/* Started by wine-run.sh, detached from every test's output: it attaches to
   the session's desktop so that the desktop process is started here, not by a
   test (whose output pipe it would inherit and hold), and keeps it alive while
   other programs run. It ends after 30 seconds without any. */
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>

static int isSessionService(const char* exe)
{
    static const char* const names[] = {"services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe",
                                        "rpcss.exe",    "explorer.exe",   "conhost.exe",  "tabtip.exe"};
    for (unsigned i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (lstrcmpiA(exe, names[i]) == 0) return 1;
    return 0;
}

static int othersRunning(void)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 1;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    int others = 0;
    for (BOOL more = Process32First(snap, &entry); more && !others; more = Process32Next(snap, &entry))
        others = entry.th32ProcessID != GetCurrentProcessId() && !isSessionService(entry.szExeFile);
    CloseHandle(snap);
    return others;
}

int main(void)
{
    GetDesktopWindow();
    fputs("ready\n", stdout);
    fflush(stdout);
    for (int idle = 0; idle < 30; idle = othersRunning() ? 0 : idle + 1) Sleep(1000);
    return 0;
}
