// Every heap block of the library comes from here, so that an exhausted
// heap ends the process the same way wherever it happens: none of the
// operations has a result that could report it.
#include "internal.h"

#include <stdio.h>
#include <stdlib.h>

void inifile_internal_out_of_memory(void)
{
    fputs("Out of memory\n", stderr);
    exit(1);
}

void *inifile_internal_realloc(void *block, size_t size)
{
    // realloc with size 0 may free the block and return null. No caller in
    // the library asks for 0 bytes; this keeps it so.
    if (size == 0)  // GCOVR_EXCL_BR_LINE
        size = 1;   // GCOVR_EXCL_LINE
    if (INIFILE_FAULT(ALLOC))
        inifile_internal_out_of_memory();
    void *grown = realloc(block, size);
    if (grown == NULL)
        inifile_internal_out_of_memory();
    return grown;
}
