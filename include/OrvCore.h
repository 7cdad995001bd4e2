// OrvCore.h - everything OrvCore_Rudaru20.dll exports. Clients include this
// header (or the single family headers it lists) with only include/ on their path.
#ifndef ORVCORE_H
#define ORVCORE_H

#include "OrvCoreDefs.h"
#include "V_CapsulatedPointer.h"
#include "V_String.h"
#include "V_BSTR.h"
#include "VSYST_Symbol.h"
#include "V_UUID.h"
#include "V_BitSet.h"
#include "V_ASArchive.h"
#include "V_Exception.h"
#include "VSYST_DumpStream.h"
#include "V_MsgBox.h"
#include "XP_Param.h"
#include "V_StringPool.h"
#include "V_SIManager.h"
#include "VSYST_DIManager.h"
#include "VSYST_ApplInitExit.h"
#include "VDIAG_FailureDiagnostics.h"
#include "VSYST_RegistryKey.h"
#include "VSYST_VersionInfo.h"
#include "VSYST_WinMem.h"
#include "VPOOL_MemoryPool.h"
#include "VSYST_Handle.h"
#include "VCOM_Helpers.h"
#include "VSYST_Pathes.h"
#include "VSYST_DLL.h"
#include "VSYST_DateTime.h"
#include "VSYST_User.h"
#include "VSYST_FeatureSet.h"
#include "VSYST_Tables.h"
#include "VSYST_SendMail.h"

#endif
