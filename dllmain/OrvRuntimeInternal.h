// OrvRuntimeInternal.h - the functions behind the library's own static objects
// (global instance set-up, init/exit handlers). Internal to the DLL.
#ifndef ORV_RUNTIME_INTERNAL_H
#define ORV_RUNTIME_INTERNAL_H

class VSYST_DumpStream;

namespace orv {

// Static instance table holder (strings/V_SIManager.cpp).
void siCreateTable();
void siReleaseTable();
// Init function of the 32700 handler: registers the static-instance listing.
bool siRegisterListing();

// Init and exit functions of the registry's own 32700 handler (diag/VSYST_DIManager.cpp).
bool diRegisterRegistryDump();
void diTeardown();

// Callback of "Dump string pool data" (strings/V_StringPool.cpp).
void poolDumpCallback(VSYST_DumpStream& stream, unsigned long alternative);

// The diagnostics' work at process attach and detach (diag/VDIAG_FailureDiagnostics.cpp):
// the console switch, the TLS index and the loading thread's block; then
// freeing them and closing the standard stream.
void diagStartup();
void diagShutdown();
// Allocates the TLS index (once) and makes the calling thread's block; frees
// the index and every thread block (diag/VDIAG_TlsMan.cpp).
void tlsAttach();
void tlsDetach();

}  // namespace orv

#endif
