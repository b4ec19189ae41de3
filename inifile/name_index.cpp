// Lookups by name in constant time: an open-addressing table with linear
// probing from the hash of a name to the positions of the elements that
// bear it. Removal shifts the slots that follow back into the hole, so no
// slot is ever marked dead and a probe ends at the first free slot.
#include "internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

uint32_t inifile_internal_hash(const char *name, size_t length)
{
    // FNV-1a over the bytes, folded to 32 bits.
    uint64_t hash = 14695981039346656037u;
    for (size_t i = 0; i < length; ++i)
        hash = (hash ^ (unsigned char)name[i]) * 1099511628211u;
    return (uint32_t)(hash ^ (hash >> 32));
}

static const char *index_name_at(IniNamed named, int32_t position)
{
    const char *record = (const char *)named.elements[position];
    const char *name;
    memcpy(&name, record + named.name_offset, sizeof name);
    return name;
}

// Whether the zero-terminated stored text is exactly the length bytes of
// name; stops at the first difference, so it never reads past stored.
static int index_same(const char *stored, const char *name, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (stored[i] != name[i])
            return 0;
    }
    return stored[length] == '\0';
}

int32_t inifile_internal_index_find(const IniIndex *index, IniNamed named, const char *name,
                                    size_t length)
{
    if (memchr(name, '\0', length) != NULL)
        return -1;  // no stored name holds a zero byte
    if (index == NULL) {
        for (int32_t i = 0; i < named.count; ++i) {
            if (index_same(index_name_at(named, i), name, length))
                return i;
        }
        return -1;
    }
    uint32_t hash = inifile_internal_hash(name, length);
    int32_t first = -1;
    for (uint32_t slot = hash & index->mask; index->slots[slot].position >= 0;
         slot = (slot + 1) & index->mask) {
        int32_t position = index->slots[slot].position;
        if (index->slots[slot].hash == hash && (first < 0 || position < first) &&
            index_same(index_name_at(named, position), name, length))
            first = position;
    }
    return first;
}

static void index_put(IniIndex *index, uint32_t hash, int32_t position)
{
    uint32_t slot = hash & index->mask;
    while (index->slots[slot].position >= 0)
        slot = (slot + 1) & index->mask;
    index->slots[slot].hash = hash;
    index->slots[slot].position = position;
    index->used += 1;
}

// A table with room for count elements, from the arena when there is one.
// It is at most four fifths full: with the hashes in the slots a probe
// rarely compares a name, and a table of a million sections takes 8 MiB,
// not 16.
static IniIndex *index_new(int32_t count, IniArena *arena)
{
    uint32_t slots = 64;
    while (slots < (uint32_t)count + (uint32_t)count / 4)
        slots *= 2;
    size_t size = offsetof(IniIndex, slots) + slots * sizeof(IniIndexSlot);
    IniIndex *index = (IniIndex *)(arena != NULL ? inifile_internal_arena_record(arena, size)
                                                 : inifile_internal_alloc_large(size));
    index->on_heap = arena == NULL;
    index->mask = slots - 1;
    index->used = 0;
    memset(index->slots, 0xff, slots * sizeof(IniIndexSlot));  // every position -1: free
    return index;
}

void inifile_internal_index_free(IniIndex *index)
{
    if (index != NULL && index->on_heap)
        free(index);
}

IniIndex *inifile_internal_index_build(IniNamed named, IniArena *arena)
{
    if (named.count <= INI_INDEX_MIN)
        return NULL;
    IniIndex *index = index_new(named.count, arena);
    for (int32_t i = 0; i < named.count; ++i) {
        const char *name = index_name_at(named, i);
        index_put(index, inifile_internal_hash(name, strlen(name)), i);
    }
    return index;
}

IniIndex *inifile_internal_index_added(IniIndex *index, IniNamed named, int32_t position)
{
    if (index == NULL)
        return inifile_internal_index_build(named, NULL);
    if (5 * (uint64_t)(index->used + 1) > 4 * (uint64_t)(index->mask + 1)) {
        inifile_internal_index_free(index);
        return inifile_internal_index_build(named, NULL);
    }
    const char *name = index_name_at(named, position);
    index_put(index, inifile_internal_hash(name, strlen(name)), position);
    return index;
}

// The slot that holds position, found from the hash of its name.
static uint32_t index_slot_of(const IniIndex *index, uint32_t hash, int32_t position)
{
    uint32_t slot = hash & index->mask;
    while (index->slots[slot].position != position)
        slot = (slot + 1) & index->mask;
    return slot;
}

// Empties a slot, then moves back every slot of the run after it that its
// probe may no longer reach past the hole.
static void index_clear(IniIndex *index, uint32_t hole)
{
    index->slots[hole].position = -1;
    index->used -= 1;
    for (uint32_t slot = (hole + 1) & index->mask; index->slots[slot].position >= 0;
         slot = (slot + 1) & index->mask) {
        uint32_t home = index->slots[slot].hash & index->mask;
        // The slot stays where it is when its home lies cyclically in
        // (hole, slot]; otherwise it belongs in the hole.
        int stays = hole <= slot ? (hole < home && home <= slot) : (hole < home || home <= slot);
        if (!stays) {
            index->slots[hole] = index->slots[slot];
            index->slots[slot].position = -1;
            hole = slot;
        }
    }
}

void inifile_internal_index_removed(IniIndex *index, IniNamed named, uint32_t hash,
                                    int32_t position, int32_t moved_from)
{
    if (index == NULL)
        return;
    index_clear(index, index_slot_of(index, hash, position));
    if (moved_from != position) {
        const char *moved = index_name_at(named, position);
        uint32_t hash = inifile_internal_hash(moved, strlen(moved));
        index->slots[index_slot_of(index, hash, moved_from)].position = position;
    }
}

void inifile_internal_index_shifted(IniIndex *index, IniNamed named, uint32_t hash,
                                    int32_t position)
{
    if (index == NULL)
        return;
    index_clear(index, index_slot_of(index, hash, position));
    // Each moves into the place the one before it has just left.
    for (int32_t i = position + 1; i < named.count; ++i) {
        const char *name = index_name_at(named, i);
        uint32_t name_hash = inifile_internal_hash(name, strlen(name));
        index->slots[index_slot_of(index, name_hash, i)].position = i - 1;
    }
}
