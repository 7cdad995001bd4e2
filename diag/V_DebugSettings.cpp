// V_DebugSettings: the CM_DEBUG_* switches. Its two statics are defined among
// the library's ordered static objects (dllmain/OrvStatics.cpp).
#include "VSYST_DIManager.h"
#include "V_Exception.h"

#include <cstdlib>

void V_DebugSettings::init()
{
    if (values.size() != VFCKE_NumValues) values.assign(VFCKE_NumValues, 0);
    if (std::getenv("CM_DEBUG_UPDATE_TASKLIST")) values[VFCKE_UpdateTaskList] = 1;
    if (std::getenv("CM_DEBUG_READONLY_TASKLIST")) values[VFCKE_ReadOnlyTaskList] = 1;
    if (const char* level = std::getenv("CM_DEBUG_VERBOSITYLEVEL")) values[VFCKE_VerbosityLevel] = std::atoi(level);
    s_init = true;
}

long& V_DebugSettings::entry(VFCKE_value index)
{
    if (!s_init) init();
    int i = static_cast<int>(index);
    if (i < 0 || i >= VFCKE_NumValues) throw VSYST_OutOfBounds(i, "V_DebugSettings::VFCKE_value", __FILE__, __LINE__);
    return values[i];
}

long V_DebugSettings::getValue(VFCKE_value index) { return entry(index); }

void V_DebugSettings::setValue(VFCKE_value index, long value) { entry(index) = value; }
