/*
 * Fault injection for test builds: the library and the tool's platform
 * layer, built with INIFILE_FAULT_INJECTION and PLATFORM_FAULT_INJECTION,
 * ask fault_check() once before each file operation and each heap
 * allocation, so that a test can make the Nth operation of a kind fail and
 * see what the code above does with it. Shipped builds compile every check down to "never
 * fail" and never see this header.
 */
#ifndef QUORVEL_FAULT_H
#define QUORVEL_FAULT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The kinds of call that tests can make fail. */
typedef enum FaultKind {
    FAULT_ALLOC,     /* every heap allocation of the library */
    FAULT_OWN_PATH,  /* the tool's own path */
    FAULT_MKDIR,     /* creating a directory */
    FAULT_EXISTS,    /* the check of a source: fails as if it were missing */
    FAULT_COPY,      /* copying a file */
    FAULT_LOCK,      /* locking a file */
    FAULT_OPEN,      /* opening a file for reading: the library, Install.ini */
    FAULT_CREATE,    /* creating a file for writing: the library's save, the platform's write */
    FAULT_READ,      /* reading a file: the library, Install.ini */
    FAULT_WRITE,     /* the library writing */
    FAULT_CLOSE,     /* the library closing a file it wrote */
    FAULT_RENAME,    /* the library renaming a saved file over the old one */
    FAULT_FULL_PATH, /* the full path of a relative root */
    FAULT_FLUSH,     /* forcing a written file to the disk before its rename */
    FAULT_KIND_COUNT
} FaultKind;

/* The kind as a fault plan and the counts file spell it ("copy"). */
const char *fault_kind_name(FaultKind kind);

/* Counts one call of the given kind; 1 when this call must fail. */
int fault_check(FaultKind kind);

/* Makes the nth call of kind after this one fail (counted from 1; that call
 * only); 0 disarms. Resets the count of that kind. */
void fault_arm(FaultKind kind, uint32_t nth);

/* Number of calls of kind counted since start or the last arm. */
uint32_t fault_count(FaultKind kind);

#ifdef __cplusplus
}
#endif

#endif
