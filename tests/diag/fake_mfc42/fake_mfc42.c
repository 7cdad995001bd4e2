/* A stand-in for the "MFC42" module, exporting what the library looks up by
   ordinal: 1100 (end the process) and 1200 (show a message box). Each call is
   appended to the file named by ORV_FAKE_MFC42_LOG as one line:
     "1200|<type>|<help>|<text with \n as \\n>"  or  "1100".
   ORV_FAKE_MFC42_ANSWER is what 1200 returns (default 1, OK);
   ORV_FAKE_MFC42_EXIT, when set, makes 1100 end the process with that code
   (otherwise 1100 returns to its caller). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static void record(const char* line)
{
    const char* path = getenv("ORV_FAKE_MFC42_LOG");
    if (!path) return;
    HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD n;
    WriteFile(h, line, (DWORD)strlen(line), &n, NULL);
    WriteFile(h, "\n", 1, &n, NULL);
    CloseHandle(h);
}

void WINAPI FakeAbort(void)
{
    record("1100");
    const char* code = getenv("ORV_FAKE_MFC42_EXIT");
    if (code) ExitProcess((UINT)atoi(code));
}

int WINAPI FakeMessageBox(const char* text, unsigned int type, unsigned int help)
{
    char line[8192];
    int n = snprintf(line, 4096, "1200|%u|%u|", type, help);
    for (const char* p = text ? text : "(null)"; *p && n < (int)sizeof line - 3; ++p) {
        if (*p == '\n') { line[n++] = '\\'; line[n++] = 'n'; }
        else line[n++] = *p;
    }
    line[n] = '\0';
    record(line);
    const char* answer = getenv("ORV_FAKE_MFC42_ANSWER");
    return answer ? atoi(answer) : IDOK;
}
