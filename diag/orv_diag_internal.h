// Internal helpers shared by the dump stream, the exceptions and the message boxes.
#ifndef ORV_DIAG_INTERNAL_H
#define ORV_DIAG_INTERNAL_H

#include "V_String.h"

#include <deque>
#include <map>
#include <string>
#include <typeinfo>

namespace orv {

// "class " + the demangled name of the type, as the Microsoft compiler spells it.
V_STRING className(const std::type_info& type);

// "[ Process: %d (0x%x), Thread: %d (0x%x) ]" for the calling thread.
V_STRING processThreadText();

// The system's text for a Win32 error code without its closing CR LF, or
// "ERROR #<code>" when the system has none; cut to fit size bytes.
void systemErrorText(unsigned long code, char* buffer, unsigned size);

// The system-error box: the code's text (and a location when file is given)
// shown with OrvMessageBox; Cancel ends the process.
void systemErrorBox(unsigned long code, const char* file, int line);

// The process-wide message-box permission (true at load).
bool canUseMsgBoxes();
void setCanUseMsgBoxes(bool can);

// Writes "(!MSGBOX!)" + text + "\n" to the standard stream and beeps twice;
// never throws, whether or not the log can be written.
void logInsteadOfBox(const char* text);

// Ends the process after an assertion: "MFC42" ordinal 1100, else abort().
void endProcessAfterAssertion();

// The diagnostic levels of the modules. Slots live in a deque so that growing
// the table never moves a slot a caller holds a reference to.
struct DiagLevelTable {
    std::map<std::string, int> names;   // module name -> slot index
    std::deque<int> slots;
    int lastUsed;
    DiagLevelTable() : slots(100, 0), lastUsed(-1) {}
};

// Defined among the ordered statics (dllmain/OrvStatics.cpp).
extern DiagLevelTable g_diagLevels;
extern const long g_diagRequestSlot;   // offset of the request pointer in the thread data

// True on a Windows 9x platform or when the version cannot be read; asked once.
bool isWin9xPlatform();

}  // namespace orv

#endif
