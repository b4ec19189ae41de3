/*
 * Shared by the library's own files only: the one allocation function, the
 * appends that the loader and the document operations have in common, the
 * reports of loads and saves, and the fault seam. Every name here that the
 * linker sees carries the prefix inifile_internal_, which inifile.h
 * reserves to the library.
 */
#ifndef INIFILE_INTERNAL_H
#define INIFILE_INTERNAL_H

#include "inifile.h"

#include <stddef.h>

/* Test builds (INIFILE_FAULT_INJECTION) ask the fault seam before every
 * allocation and file operation, so that a test can make the Nth one fail;
 * every other build compiles the question away. */
#ifdef INIFILE_FAULT_INJECTION
#include "fault.h"
#define INIFILE_FAULT(kind) fault_check(FAULT_##kind)
#else
#define INIFILE_FAULT(kind) 0
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Writes "Out of memory\n" to standard error and ends the process with
 * status 1: the library's one answer to an exhausted heap. */
[[noreturn]] void inifile_internal_out_of_memory(void);

/* The library's allocation functions: malloc and realloc that never
 * return null. size is never 0. */
void *inifile_internal_alloc(size_t size);
void *inifile_internal_realloc(void *block, size_t size);

/* A new section that takes over name, a heap block, as its own. */
IniSection *inifile_internal_section_adopt_name(char *name);

/* Appends a section to the document without looking at its name. */
void inifile_internal_append_section(IniFile *ini, IniSection *section);

/* Appends an entry without looking at its key: key is the heap block the
 * entry takes over, value points into it. */
void inifile_internal_append_entry(IniSection *section, char *key, char *value);

/* Fills error, when there is one, with its kind, line, system code and a
 * message made as printf makes it, cut to fit. */
void inifile_internal_report(IniError *error, IniErrorKind kind, int64_t line, int32_t system_error,
                             const char *format, ...) __attribute__((format(printf, 5, 6)));

/* Reports an error of the system: what failed, then the system's own text
 * for system_error ("cannot open the file: No such file or directory"). */
void inifile_internal_report_system(IniError *error, IniErrorKind kind, int32_t system_error,
                                    const char *what);

#ifdef __cplusplus
}
#endif

#endif
