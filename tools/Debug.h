#pragma once
// The debug message window shows the lines of the program's debug log.
#include "common/DebugLog.h"
