/* A stand-in for "MAPI32.DLL": appends one line per load, unload and Simple
   MAPI call to the file named by ORV_FAKE_MAPI_LOG, the arguments in order
   (texts as given, "(null)" for none); a message's recipients and files
   follow on lines of their own. MAPILogon returns ORV_FAKE_MAPI_LOGON (0). */
#include <windows.h>
#include <mapi.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#define S(text) ((text) ? (text) : "(null)")
#define SET(p) ((p) ? "set" : "(null)")

static void record(const char* fmt, ...)
{
    char line[4096];
    va_list args;
    va_start(args, fmt);
    vsnprintf(line, sizeof line - 1, fmt, args);
    va_end(args);
    FILE* f = getenv("ORV_FAKE_MAPI_LOG") ? fopen(getenv("ORV_FAKE_MAPI_LOG"), "ab") : NULL;
    if (f) fprintf(f, "%s\n", line), fclose(f);
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (reason <= DLL_PROCESS_ATTACH) record(reason ? "load" : "unload");
    return TRUE;
}

ULONG WINAPI MAPILogon(ULONG_PTR ui, LPSTR profile, LPSTR password, FLAGS flags, ULONG reserved, LPLHANDLE session)
{
    record("logon %lu %s %s %lu %lu", (ULONG)ui, S(profile), S(password), flags, reserved);
    *session = 0x5150;
    return getenv("ORV_FAKE_MAPI_LOGON") ? (ULONG)atoi(getenv("ORV_FAKE_MAPI_LOGON")) : SUCCESS_SUCCESS;
}

ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR ui, lpMapiMessage m, FLAGS flags, ULONG reserved)
{
    record("send %s %lu %lu %lu |%s|%s| %s %s %s %lu %s %lu %s %lu %s", session == 0x5150 ? "ours" : "other", (ULONG)ui, flags, reserved,
           S(m->lpszSubject), S(m->lpszNoteText), S(m->lpszMessageType), S(m->lpszDateReceived),
           S(m->lpszConversationID), m->flFlags, SET(m->lpOriginator), m->nRecipCount,
           SET(m->lpRecips), m->nFileCount, SET(m->lpFiles));
    for (ULONG i = 0; m->lpRecips && i < m->nRecipCount; ++i)
        record("to %lu %s %s %lu", m->lpRecips[i].ulRecipClass, S(m->lpRecips[i].lpszName),
               S(m->lpRecips[i].lpszAddress), m->lpRecips[i].ulEIDSize);
    for (ULONG i = 0; m->lpFiles && i < m->nFileCount; ++i)
        record("file %lu %s |%s| %lu %s", m->lpFiles[i].nPosition, S(m->lpFiles[i].lpszPathName),
               S(m->lpFiles[i].lpszFileName), m->lpFiles[i].flFlags, SET(m->lpFiles[i].lpFileType));
    return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPILogoff(LHANDLE session, ULONG_PTR ui, FLAGS flags, ULONG reserved)
{
    record("logoff %s %lu %lu %lu", session == 0x5150 ? "ours" : "other", (ULONG)ui, flags, reserved);
    return SUCCESS_SUCCESS;
}
