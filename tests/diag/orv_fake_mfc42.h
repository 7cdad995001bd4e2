// Loads the "MFC42" stand-in from bin/fake; its record is read with orvtest::readFile.
#ifndef ORV_FAKE_MFC42_H
#define ORV_FAKE_MFC42_H

#include "support/OrvTestSupport.h"

#include <windows.h>

inline HMODULE loadFakeMfc42() { return LoadLibraryA((orvtest::exeDir() + "\\fake\\MFC42.DLL").c_str()); }

#endif
