// V_MsgBox.h - the library's message boxes and the process-wide permission to
// show them. Without the permission a box becomes a "(!MSGBOX!)" log line and
// two beeps, and the debug box becomes a red countdown panel on the screen.
#ifndef V_MSGBOX_H
#define V_MSGBOX_H

#include "OrvCoreDefs.h"

// Shows a box through "MFC42" ordinal 1200 when that module is loaded, else
// MessageBoxA titled with the console title (or the platform title). Returns the answer.
ORVCORE_API int OrvMessageBox(const char* text, unsigned int type, unsigned int helpContext);
// OrvMessageBox with the permission; without it a log line, two beeps and 0.
// None of these functions throws, not even when the log cannot be written.
ORVCORE_API int V_MsgBox(const char* text, unsigned int type, unsigned int helpContext);
// A box titled "<exe> [ Process: .., Thread: .. ]"; without the permission the
// 20-second red countdown panel, then 0.
ORVCORE_API int V_DbgMsgBox(const char* text, unsigned int type);
ORVCORE_API void V_SetCanUseMsgBoxes(bool can);
ORVCORE_API bool V_CanUseMsgBoxes();

#endif
