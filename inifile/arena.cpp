// The storage of a loaded document: a few large blocks from the heap, each
// filled with records from its front and text from its back, so that
// neither pads the other. Nothing in them is freed alone; the document
// releases them all at once.
#include "internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static const size_t ARENA_ALIGN = INI_ARENA_ALIGN;
static const size_t ARENA_SMALLEST = 4096;
// Without an estimate blocks double, up to this size: a block that is
// mostly unused costs no more than this.
static const size_t ARENA_LARGEST_GUESS = 8 << 20;

// The size of the next block. Blocks double, so that few are taken; while
// the loader's estimate of what is still to come is smaller, the block is
// that size and a little more for the estimate to be short, so that the
// last block of a load is nearly full. Without an estimate a block is at
// most ARENA_LARGEST_GUESS: one mostly unused costs no more than that.
static size_t arena_next_size(const IniArena *arena, size_t wanted)
{
    size_t size = arena->taken > ARENA_SMALLEST ? arena->taken : ARENA_SMALLEST;
    if (arena->expected != 0) {
        size_t estimate = arena->expected + arena->expected / 16;
        if (estimate < size)
            size = estimate;
    } else if (size > ARENA_LARGEST_GUESS) {
        size = ARENA_LARGEST_GUESS;
    }
    if (size < ARENA_SMALLEST)
        size = ARENA_SMALLEST;
    if (size < wanted + ARENA_ALIGN)
        size = wanted + ARENA_ALIGN;
    return size;
}

// Starts a new block with room for wanted bytes and makes it the current
// one. An empty arena has no block: its two ends meet at null.
void inifile_internal_arena_grow(IniArena *arena, size_t wanted)
{
    if (wanted > SIZE_MAX / 2)
        inifile_internal_out_of_memory();
    size_t size = arena_next_size(arena, wanted);
    char *start = (char *)inifile_internal_alloc_large(size);
    if (arena->count == arena->capacity) {
        int32_t capacity = arena->capacity == 0 ? 16 : arena->capacity * 2;
        arena->blocks = (IniArenaBlock *)inifile_internal_realloc(
            arena->blocks, (size_t)capacity * sizeof *arena->blocks);
        arena->capacity = capacity;
    }
    // Kept in address order for inifile_internal_arena_owns.
    int32_t at = arena->count;
    while (at > 0 && (uintptr_t)arena->blocks[at - 1].start > (uintptr_t)start) {
        arena->blocks[at] = arena->blocks[at - 1];
        at -= 1;
    }
    arena->blocks[at].start = start;
    arena->blocks[at].end = start + size;
    arena->count += 1;
    arena->taken += size;
    arena->records = start;
    arena->text = start + size;
}

int inifile_internal_arena_owns(const IniArena *arena, const void *block)
{
    // Addresses as numbers: blocks of different allocations are compared.
    uintptr_t at = (uintptr_t)block;
    int32_t low = 0;
    int32_t high = arena->count;
    while (low < high) {
        int32_t middle = low + (high - low) / 2;
        if (at < (uintptr_t)arena->blocks[middle].start)
            high = middle;
        else if (at >= (uintptr_t)arena->blocks[middle].end)
            low = middle + 1;
        else
            return 1;
    }
    return 0;
}

void inifile_internal_arena_release(IniArena *arena)
{
    for (int32_t i = 0; i < arena->count; ++i)
        free(arena->blocks[i].start);
    free(arena->blocks);
    memset(arena, 0, sizeof *arena);
}
