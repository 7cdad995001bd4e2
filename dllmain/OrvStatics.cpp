// The library's static objects, defined in one translation unit so that their
// construction order at load (and the reverse destruction at unload) is fixed
// by this file rather than by link order. Objects of later services take the
// places marked for them below.
#include "VDIAG_FailureDiagnostics.h"
#include "VSYST_ApplInitExit.h"
#include "VSYST_DIManager.h"
#include "VSYST_DLL.h"
#include "VSYST_DateTime.h"
#include "VSYST_DumpStream.h"
#include "VSYST_Tables.h"
#include "V_CapsulatedPointer.h"
#include "V_StringPool.h"
#include "V_UUID.h"
#include "data/orv_features_internal.h"
#include "diag/orv_diag_internal.h"
#include "dllmain/OrvRuntimeInternal.h"
#include "strings/orv_symtab.h"
#include "system/orv_system_internal.h"

#include <vector>

namespace {

// 1. The first guard: debug-info registry root, "Dump string pool data", the
//    static instance table. Destroyed last, it takes them all down.
_vsyst_GI s_globalInstance1;

// 2. The registry's own entry; its exit function empties the registry at doExit.
VSYST_ApplInitExit s_diRegistryHandler(32700, &orv::diRegisterRegistryDump, &orv::diTeardown);

}  // namespace

// 3. The standard dump stream's holder, still empty. Destroyed before the
//    guards above, so the stream's closing banner is written while they live.
V_CapsulatedPointer<VSYST_DumpStream> VSYST_DumpStream::s_stdStreamPtr;

namespace {

// 4. Three further guards.
_vsyst_GI s_globalInstance2;
_vsyst_GI s_globalInstance3;
_vsyst_GI s_globalInstance4;

// 5. The static instance listing.
VSYST_ApplInitExit s_siListingHandler(32700, &orv::siRegisterListing, nullptr);

}  // namespace

// 6. The category identifiers, made from their tree now; then the date and
//    time format strings. The table singletons' holders, constant-initialised,
//    delete the singletons when these are destroyed.
V_STRING VSYST_CategoryTable::s_CategoryTable[VSYST_CategoryTable::VCT_Count];
const bool VSYST_CategoryTable::s_CategoryTableMade = VSYST_CategoryTable::makeCategoryTable();
V_CapsulatedPointer<VSYST_CategoryTable> VSYST_CategoryTable::s_instance;
V_CapsulatedPointer<VSYST_ColorTable> VSYST_ColorTable::s_instance;
V_CapsulatedPointer<VSYST_PenTable> VSYST_PenTable::s_instance;

V_STRING VSYST_DateTime::s_dateFormatLong;
V_STRING VSYST_DateTime::s_dateFormatShort;
V_STRING VSYST_DateTime::s_timeFormat;

// 7. The DLL list, and its exit handler, which destroys the entries at doExit.
V_CapsulatedPointer<_vsyst_DLLList> VSYST_DLL::s_setOfDLLs(new _vsyst_DLLList);

namespace {

VSYST_ApplInitExit s_dllListHandler(32000, nullptr, &VSYST_DLL::atExit);

// 8. The feature-set dump, and the feature map.
VSYST_ApplInitExit s_featureSetHandler(32700, &orv::featureSetRegisterDump, nullptr);

}  // namespace

orv::FeatureMap orv::g_features;

// 9. The debug switches.
std::vector<long> V_DebugSettings::values(V_DebugSettings::VFCKE_NumValues, 0L);
bool V_DebugSettings::s_init = false;

// 10. The diagnostics' thread-local slot, the calling thread's request (a
//     pointer, null at first), and the table of module levels. The TLS index
//     itself is allocated at process attach, after all of these.
const long orv::g_diagRequestSlot = VDIAG_TlsMan::allocSlot(sizeof(void*), nullptr);
orv::DiagLevelTable orv::g_diagLevels;

// 11. The symbol intern tables, 4093 empty slots each, and the null UUID.
//     Destroyed before the guards, which release the pools holding the texts.
orv::InternTable<char> orv::g_symbolsA;
orv::InternTable<wchar_t> orv::g_symbolsW;
const V_UUID V_UUID::s_null;
