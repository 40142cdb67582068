#include "app/debugmode.h"

#ifndef TAVRIN_DEBUGMODE
#define TAVRIN_DEBUGMODE 0
#endif

bool debugmode = TAVRIN_DEBUGMODE != 0;
