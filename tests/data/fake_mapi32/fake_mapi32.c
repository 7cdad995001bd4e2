/* A stand-in for the system's "MAPI32.DLL": records each load, unload and
   Simple MAPI call, one line each, to the file named by ORV_FAKE_MAPI_LOG.
   ORV_FAKE_MAPI_LOGON is what MAPILogon returns (default 0, success). */
#include <windows.h>
#include <mapi.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#define SESSION 0x5150

static void record(const char* fmt, ...)
{
    char line[4096];
    va_list args;
    va_start(args, fmt);
    int n = vsnprintf(line, sizeof line - 1, fmt, args);
    va_end(args);
    if (n < 0 || n > (int)sizeof line - 2) n = (int)sizeof line - 2;
    line[n++] = '\n';
    const char* path = getenv("ORV_FAKE_MAPI_LOG");
    if (!path) return;
    HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(h, line, (DWORD)n, &written, NULL);
    CloseHandle(h);
}

static const char* text(const char* s) { return s ? s : "(null)"; }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    (void)module, (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) record("load");
    if (reason == DLL_PROCESS_DETACH) record("unload");
    return TRUE;
}

ULONG WINAPI MAPILogon(ULONG_PTR ui, LPSTR profile, LPSTR password, FLAGS flags, ULONG reserved, LPLHANDLE session)
{
    const char* answer = getenv("ORV_FAKE_MAPI_LOGON");
    record("logon ui=%lu profile=%s password=%s flags=%lu reserved=%lu", (unsigned long)ui, text(profile),
           text(password), flags, reserved);
    *session = SESSION;
    return answer ? (ULONG)atoi(answer) : SUCCESS_SUCCESS;
}

ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR ui, lpMapiMessage m, FLAGS flags, ULONG reserved)
{
    record("send session=%s ui=%lu flags=%lu reserved=%lu", session == SESSION ? "ours" : "other", (unsigned long)ui,
           flags, reserved);
    record(" subject=%s note=%s type=%s date=%s conversation=%s flags=%lu originator=%s", text(m->lpszSubject),
           text(m->lpszNoteText), text(m->lpszMessageType), text(m->lpszDateReceived),
           text(m->lpszConversationID), m->flFlags, m->lpOriginator ? "set" : "none");
    record(" recipients=%lu%s", m->nRecipCount, m->lpRecips ? "" : " none");
    for (ULONG i = 0; m->lpRecips && i < m->nRecipCount; ++i)
        record(" to class=%lu name=%s address=%s entry=%lu", m->lpRecips[i].ulRecipClass, text(m->lpRecips[i].lpszName),
               text(m->lpRecips[i].lpszAddress), m->lpRecips[i].ulEIDSize);
    record(" files=%lu%s", m->nFileCount, m->lpFiles ? "" : " none");
    for (ULONG i = 0; m->lpFiles && i < m->nFileCount; ++i)
        record(" file position=%lu path=%s name=\"%s\" flags=%lu type=%s", m->lpFiles[i].nPosition,
               text(m->lpFiles[i].lpszPathName), text(m->lpFiles[i].lpszFileName), m->lpFiles[i].flFlags,
               m->lpFiles[i].lpFileType ? "set" : "none");
    return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPILogoff(LHANDLE session, ULONG_PTR ui, FLAGS flags, ULONG reserved)
{
    record("logoff session=%s ui=%lu flags=%lu reserved=%lu", session == SESSION ? "ours" : "other", (unsigned long)ui,
           flags, reserved);
    return SUCCESS_SUCCESS;
}
