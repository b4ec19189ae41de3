// Every heap block of the library comes from here, so that an exhausted
// heap ends the process the same way wherever it happens: none of the
// operations has a result that could report it.
#include "internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void inifile_internal_out_of_memory(void)
{
    fputs("Out of memory\n", stderr);
    exit(1);
}

// A block from the C library, or the end of the process.
static void *memory_checked(void *block)
{
    if (block == NULL)
        inifile_internal_out_of_memory();
    return block;
}

// malloc and realloc with size 0 may give null, or free the block: no
// caller in the library asks for 0 bytes (internal.h).

void *inifile_internal_alloc(size_t size)
{
    if (INIFILE_FAULT(ALLOC))
        inifile_internal_out_of_memory();
    return memory_checked(malloc(size));
}

void *inifile_internal_realloc(void *block, size_t size)
{
    if (INIFILE_FAULT(ALLOC))
        inifile_internal_out_of_memory();
    return memory_checked(realloc(block, size));
}

char *inifile_internal_copy(const char *bytes, size_t length)
{
    char *copy = (char *)inifile_internal_alloc(length > 0 ? length : 1);
    if (length > 0)
        memcpy(copy, bytes, length);
    return copy;
}
