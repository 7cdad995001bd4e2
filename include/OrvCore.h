// OrvCore.h - all public headers of OrvCore.
#ifndef ORVCORE_H
#define ORVCORE_H

#include "XP_Param.h"

#endif
