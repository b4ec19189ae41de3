// Every heap block of the library comes from here, so that an exhausted
// heap ends the process the same way wherever it happens: none of the
// operations has a result that could report it.
#include "internal.h"

#include "platform.h"

#include <stdio.h>
#include <stdlib.h>

void ini_out_of_memory(void)
{
    fputs("Out of memory\n", stderr);
    exit(1);
}

void *ini_realloc(void *block, size_t size)
{
    // realloc with size 0 may free the block and return null. No caller in
    // the library asks for 0 bytes; this keeps it so.
    if (size == 0)  // GCOVR_EXCL_BR_LINE
        size = 1;   // GCOVR_EXCL_LINE
    if (platform_fault_check(PLATFORM_CALL_ALLOC))
        ini_out_of_memory();
    void *grown = realloc(block, size);
    if (grown == NULL)
        ini_out_of_memory();
    return grown;
}
