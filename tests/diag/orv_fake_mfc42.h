// Loads the "MFC42" stand-in from bin/fake and reads what it recorded.
#ifndef ORV_FAKE_MFC42_H
#define ORV_FAKE_MFC42_H

#include "support/OrvTestSupport.h"

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

inline HMODULE loadFakeMfc42() { return LoadLibraryA((orvtest::exeDir() + "\\fake\\MFC42.DLL").c_str()); }

// The recorded calls, one per line.
inline std::vector<std::string> fakeMfc42Calls(const std::string& logPath)
{
    std::vector<std::string> lines;
    std::istringstream in(orvtest::readFile(logPath));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

#endif
