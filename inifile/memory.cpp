// Every heap block of the library comes from here, so that an exhausted
// heap ends the process the same way wherever it happens: none of the
// operations has a result that could report it.
#include "internal.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

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
    char *copy = (char *)inifile_internal_alloc_large(length > 0 ? length : 1);
    if (length > 0)
        memcpy(copy, bytes, length);
    return copy;
}

// Blocks this large are laid on whole 2 MiB pages where Linux can (the
// kernel's transparent huge pages, when it grants them): a page fault then
// fills 2 MiB rather than 4 KiB, which on a virtual machine that charges
// microseconds a fault is most of what a large load costs, and releasing
// the block unmaps a few pages rather than thousands.
enum { LARGE_BLOCK = 4 << 20, HUGE_PAGE = 2 << 20 };

void *inifile_internal_alloc_large(size_t size)
{
    void *block = inifile_internal_alloc(size);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (size >= LARGE_BLOCK) {
        // The whole huge pages inside the block; a hint the kernel may refuse.
        uintptr_t first = ((uintptr_t)block + HUGE_PAGE - 1) & ~(uintptr_t)(HUGE_PAGE - 1);
        uintptr_t last = ((uintptr_t)block + size) & ~(uintptr_t)(HUGE_PAGE - 1);
        if (last > first)
            madvise((void *)first, last - first, MADV_HUGEPAGE);
    }
#endif
    return block;
}
