// The backends' one question before each operation: must it fail? Only
// test builds (PLATFORM_FAULT_INJECTION) can say yes; every other build
// compiles the question away.
#ifndef QUORVEL_PLATFORM_FAULT_SEAM_H
#define QUORVEL_PLATFORM_FAULT_SEAM_H

#ifdef PLATFORM_FAULT_INJECTION
#include "fault.h"
#define PLATFORM_FAULT(kind) fault_check(FAULT_##kind)
#else
#define PLATFORM_FAULT(kind) 0
#endif

#endif
