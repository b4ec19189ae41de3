/*
 * Shared by the library's own files only: the one allocation function and
 * the appends that the loader and the document operations have in common.
 */
#ifndef INIFILE_INTERNAL_H
#define INIFILE_INTERNAL_H

#include "inifile.h"

#include <stddef.h>

/* Writes "Out of memory\n" to standard error and ends the process with
 * status 1: the library's one answer to an exhausted heap. */
[[noreturn]] void ini_out_of_memory(void);

/* The library's one allocation function: realloc that never returns null
 * (block may be null for a new block). Every allocation passes the fault
 * seam here, so tests can make any of them fail. */
void *ini_realloc(void *block, size_t size);

static inline void *ini_alloc(size_t size)
{
    return ini_realloc(NULL, size);
}

/* A new section that takes over name, a heap block, as its own. */
IniSection *ini_section_adopt_name(char *name);

/* Appends a section to the document without looking at its name. */
void ini_append_section(IniFile *ini, IniSection *section);

/* Appends an entry without looking at its key: key is the heap block the
 * entry takes over, value points into it. */
void ini_append_entry(IniSection *section, char *key, char *value);

#endif
