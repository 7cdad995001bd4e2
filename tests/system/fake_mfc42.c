/* A stand-in for the "MFC42" module: its message box (ordinal 1200) appends
   the text it is shown to the file named by ORVTEST_MFC42_RECORD and answers OK. */
#include <windows.h>

int WINAPI fake_mfc42_message_box(const char* text, unsigned int type, unsigned int help)
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("ORVTEST_MFC42_RECORD", path, sizeof path);
    (void)type;
    (void)help;
    if (n && n < sizeof path) {
        HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written;
            WriteFile(h, text, (DWORD)lstrlenA(text), &written, NULL);
            WriteFile(h, "\n", 1, &written, NULL);
            CloseHandle(h);
        }
    }
    return IDOK;
}
