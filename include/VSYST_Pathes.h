// VSYST_Pathes.h - the platform's standard folders: the base folder of
// projects (registry value "BaseProjectPath"), the user's documents folder, the
// per-user and machine-wide data folders of the running application (named
// after its registry base and version, created on demand), and the
// application path the host sets at start-up.
#ifndef VSYST_PATHES_H
#define VSYST_PATHES_H

#include "OrvCoreDefs.h"
#include "V_String.h"

// Every folder comes back with a trailing separator. Nothing is cached: each
// call asks the registry, the shell and the version resource again. Paths of
// 260 characters or more do not fit the platform's path buffers and are never
// handed out.
namespace VSYST_Pathes {

// The application path; "" until setAppPath. The pointer stays valid for the process.
ORVCORE_API const char* getAppPath();
// Copies path (null: ""). A path of 260 characters or more is refused: the
// application path stays as it was and a line is logged. Unguarded: the host
// sets it once at start-up, before other threads use it.
ORVCORE_API void setAppPath(const char* path);

// "BaseProjectPath" of HKLM Software\Brakmar. When missing, the default "X:Projects"
// (X the drive of the Windows folder, relative to that drive's current folder)
// is logged, stored when the key exists and is writable, and created.
ORVCORE_API V_STRING getBaseProjectPath();
// The user's documents folder (not created); "" and a log line on failure.
ORVCORE_API V_STRING getBaseDocumentsPath();
// <per-user data folder>\<registry base>\<major.minor>\, created when missing;
// "" and a log line when the shell has no such folder.
ORVCORE_API V_STRING getAppDataPath();
// The same below the machine-wide data folder, or below
// <application path>\.CommonData when the shell has none.
ORVCORE_API V_STRING getCommonAppDataPath();

}  // namespace VSYST_Pathes

#endif
