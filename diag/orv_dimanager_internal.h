// orv_dimanager_internal.h - what the library, its tests and orvtool reach in
// the debug-info registry beyond the client interface. Not installed: clients
// walk the registry with VSYST_DICursor.
#ifndef ORV_DIMANAGER_INTERNAL_H
#define ORV_DIMANAGER_INTERNAL_H

#include "VSYST_DIManager.h"

// Exported for the tests and orvtool, so named as the library's internal
// helpers are.

// The first group of the root list, or null.
ORVCORE_API _vsyst_DINodeG* _vsyst_DIFirstGroup();
// The library's own entry "Dump all registrated Debug-Info Callbacks": writes
// the tree to stream and flushes its file (OrvDumpFileException on failure).
ORVCORE_API void _vsyst_DIDumpRegistry(VSYST_DumpStream& stream, unsigned long alternative);
// Destroys every group with its infos and alternatives; the root stays.
ORVCORE_API void _vsyst_DIRemoveAll();

#endif
