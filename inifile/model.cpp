// The document in memory: sections in order, entries in order, lookups by
// name through the index the document keeps, and removal that fills the
// hole with the last element.
#include "dialect.h"
#include "internal.h"
#include "layout.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// Every pointer array starts with room for this many elements and grows by
// this many when it is full; callers see that in the capacity fields.
enum { INI_ARRAY_STEP = 10 };

// Pointer slots actually allocated behind a heap array of the given
// capacity. The capacity grows by 10 at a time, but the block underneath
// doubles (10, 20, 40, 80, ...) and is only moved when capacity passes the
// next size: a long run of appends then moves each pointer a bounded
// number of times, on any C runtime. The array always has room for at
// least capacity elements. (An array a load put in its document's arena
// has exactly capacity slots, and is copied to the heap when it grows.)
size_t inifile_internal_slots_for(int32_t capacity)
{
    size_t slots = INI_ARRAY_STEP;
    while (slots < (size_t)capacity)
        slots *= 2;
    return slots;
}

static void *ini_new_pointer_array(void)
{
    return inifile_internal_alloc(inifile_internal_slots_for(INI_ARRAY_STEP) * sizeof(void *));
}

// The arena of the document that holds a section, or null when it has
// none: then every block of the section is on the heap.
static const IniArena *ini_arena_of(const IniDocument *owner)
{
    return owner != NULL && owner->arena.count > 0 ? &owner->arena : NULL;
}

static int ini_on_heap(const IniArena *arena, const void *block)
{
    return arena == NULL || !inifile_internal_arena_owns(arena, block);
}

static void ini_free_block(const IniArena *arena, void *block)
{
    if (ini_on_heap(arena, block))
        free(block);
}

// Makes room for one more pointer in an array holding count of them.
static void *ini_make_room(void *array, int32_t count, int32_t *capacity, const IniArena *arena)
{
    if (count < *capacity)
        return array;
    // Past 2^31 elements, or a block the size of the address space (where
    // size_t is narrow), no array can grow.
    if (*capacity > INT32_MAX - INI_ARRAY_STEP)
        inifile_internal_out_of_memory();
    size_t old_slots = inifile_internal_slots_for(*capacity);
    *capacity += INI_ARRAY_STEP;
    size_t slots = inifile_internal_slots_for(*capacity);
    if (slots > SIZE_MAX / sizeof(void *))
        inifile_internal_out_of_memory();
    if (!ini_on_heap(arena, array)) {
        void *moved = inifile_internal_alloc(slots * sizeof(void *));
        memcpy(moved, array, (size_t)count * sizeof(void *));
        return moved;
    }
    if (slots != old_slots)
        array = inifile_internal_realloc(array, slots * sizeof(void *));
    return array;
}

static IniNamed ini_sections_named(const IniFile *ini)
{
    return {(void *const *)ini->sections, ini->count, offsetof(IniSection, name)};
}

static IniNamed ini_entries_named(const IniSection *section)
{
    return {(void *const *)section->entries, section->count, offsetof(IniEntry, key)};
}

// ---- Document ----------------------------------------------------------

IniDocument *inifile_internal_document_new(void)
{
    IniDocument *document = (IniDocument *)inifile_internal_alloc(sizeof *document);
    memset(document, 0, sizeof *document);
    document->file.capacity = INI_ARRAY_STEP;
    document->file.sections = (IniSection **)ini_new_pointer_array();
    return document;
}

IniFile *ini_create(void)
{
    return &inifile_internal_document_new()->file;
}

IniFile *ini_create_with_options(const IniOptions *options)
{
    if (!inifile_internal_options_known(options))
        return NULL;
    IniDocument *document = inifile_internal_document_new();
    if (options != NULL)
        document->options = *options;
    return &document->file;
}

void ini_options_of(const IniFile *ini, IniOptions *options)
{
    *options = inifile_internal_document(ini)->options;
}

void inifile_internal_document_loaded(IniDocument *document)
{
    document->names = inifile_internal_index_build(ini_sections_named(&document->file), NULL);
}

void ini_destroy(IniFile *ini)
{
    // Null is accepted as free() accepts it.
    if (ini == NULL)
        return;
    IniDocument *document = inifile_internal_document(ini);
    // A loaded document that no call has changed lies in its arena whole.
    if (document->arena.count == 0 || document->changed) {
        for (int32_t i = 0; i < ini->count; ++i)
            section_destroy(ini->sections[i]);
    }
    free(ini->sections);
    free(document->names);
    inifile_internal_layout_free(document);
    inifile_internal_arena_release(&document->arena);
    free(document);
}

void inifile_internal_append_section(IniFile *ini, IniSection *section)
{
    IniDocument *document = inifile_internal_document(ini);
    ini->sections = (IniSection **)ini_make_room(ini->sections, ini->count, &ini->capacity,
                                                 ini_arena_of(document));
    ini->sections[ini->count++] = section;
    inifile_internal_section_state(section)->owner = document;
}

int32_t ini_find_section_index_n(const IniFile *ini, const char *name, size_t length)
{
    return inifile_internal_index_find(inifile_internal_document(ini)->names,
                                       ini_sections_named(ini), name, length);
}

int32_t ini_find_section_index(const IniFile *ini, const char *name)
{
    return ini_find_section_index_n(ini, name, strlen(name));
}

IniSection *ini_get_section(const IniFile *ini, const char *name)
{
    int32_t index = ini_find_section_index(ini, name);
    return index < 0 ? NULL : ini->sections[index];
}

int32_t ini_put_section(IniFile *ini, IniSection *section)
{
    // A section that a document holds already is left where it is:
    // replacing would destroy the very section being kept.
    if (inifile_internal_section_state(section)->owner != NULL)
        return 0;
    IniDocument *document = inifile_internal_document(ini);
    document->changed = 1;
    int32_t index = ini_find_section_index(ini, section->name);
    if (index < 0) {
        inifile_internal_append_section(ini, section);
        document->names =
            inifile_internal_index_added(document->names, ini_sections_named(ini), ini->count - 1);
        return 1;
    }
    // The same name at the same place: the index stays as it is.
    inifile_internal_layout_section_replace(document, ini->sections[index], section);
    section_destroy(ini->sections[index]);
    ini->sections[index] = section;
    inifile_internal_section_state(section)->owner = document;
    return 0;
}

// Removes the first section called name: the last one takes its place, or
// (ordered) every one after it moves up.
static int32_t ini_remove(IniFile *ini, const char *name, int ordered)
{
    int32_t index = ini_find_section_index(ini, name);
    if (index < 0)
        return 1;
    IniDocument *document = inifile_internal_document(ini);
    document->changed = 1;
    // name may be the section's own: it is hashed before the section goes.
    uint32_t hash = inifile_internal_hash(name, strlen(name));
    size_t kept_length = 0;
    char *kept =
        inifile_internal_layout_section_removing(document, ini->sections[index], &kept_length);
    section_destroy(ini->sections[index]);
    if (ordered)
        inifile_internal_index_shifted(document->names, ini_sections_named(ini), hash, index);
    ini->count -= 1;
    if (ordered) {
        memmove(ini->sections + index, ini->sections + index + 1,
                (size_t)(ini->count - index) * sizeof(IniSection *));
    } else {
        ini->sections[index] = ini->sections[ini->count];
        inifile_internal_index_removed(document->names, ini_sections_named(ini), hash, index,
                                       ini->count);
    }
    ini->sections[ini->count] = NULL;
    inifile_internal_layout_section_removed(document, index, kept, kept_length);
    return 0;
}

int32_t ini_remove_section(IniFile *ini, const char *name)
{
    return ini_remove(ini, name, 0);
}

int32_t ini_remove_section_ordered(IniFile *ini, const char *name)
{
    return ini_remove(ini, name, 1);
}

const char *ini_section_name_at(const IniFile *ini, int32_t index)
{
    if (index < 0 || index >= ini->count)
        return NULL;
    return ini->sections[index]->name;
}

// ---- Section -----------------------------------------------------------

IniSection *section_create(const char *name)
{
    size_t size = strlen(name) + 1;
    char *copy = (char *)inifile_internal_alloc(size);
    memcpy(copy, name, size);
    IniSectionState *state = (IniSectionState *)inifile_internal_alloc(sizeof *state);
    memset(state, 0, sizeof *state);
    state->section.capacity = INI_ARRAY_STEP;
    state->section.name = copy;
    state->section.entries = (IniEntry **)ini_new_pointer_array();
    return &state->section;
}

void section_destroy(IniSection *section)
{
    // Null is accepted as free() accepts it.
    if (section == NULL)
        return;
    IniSectionState *state = inifile_internal_section_state(section);
    const IniArena *arena = ini_arena_of(state->owner);
    for (int32_t i = 0; i < section->count; ++i) {
        ini_free_block(arena, section->entries[i]->key);  // the block that holds the value too
        ini_free_block(arena, section->entries[i]);
    }
    ini_free_block(arena, section->entries);
    ini_free_block(arena, section->name);
    inifile_internal_index_free(state->keys);
    ini_free_block(arena, state);
}

int32_t section_find_key_index_n(const IniSection *section, const char *key, size_t length)
{
    return inifile_internal_index_find(inifile_internal_section_state(section)->keys,
                                       ini_entries_named(section), key, length);
}

int32_t section_find_key_index(const IniSection *section, const char *key)
{
    return section_find_key_index_n(section, key, strlen(key));
}

const char *section_get_value(const IniSection *section, const char *key)
{
    int32_t index = section_find_key_index(section, key);
    return index < 0 ? NULL : section->entries[index]->value;
}

// Appends an entry that owns block, the key followed by the value.
static void ini_append_entry(IniSection *section, char *block, char *value)
{
    IniSectionState *state = inifile_internal_section_state(section);
    IniEntry *entry = (IniEntry *)inifile_internal_alloc(sizeof *entry);
    entry->key = block;
    entry->value = value;
    section->entries = (IniEntry **)ini_make_room(section->entries, section->count,
                                                  &section->capacity, ini_arena_of(state->owner));
    section->entries[section->count++] = entry;
    state->keys =
        inifile_internal_index_added(state->keys, ini_entries_named(section), section->count - 1);
}

int32_t section_set_value(IniSection *section, const char *key, const char *value)
{
    // The new block is built before anything is searched or freed, so key
    // and value may point into the entry that is about to be replaced.
    size_t key_size = strlen(key) + 1;
    size_t value_size = strlen(value) + 1;
    char *block = (char *)inifile_internal_alloc(key_size + value_size);
    memcpy(block, key, key_size);
    memcpy(block + key_size, value, value_size);

    IniDocument *owner = inifile_internal_section_state(section)->owner;
    if (owner != NULL)
        owner->changed = 1;
    int32_t index = section_find_key_index_n(section, block, key_size - 1);
    if (index < 0) {
        ini_append_entry(section, block, block + key_size);
        return 1;
    }
    IniEntry *entry = section->entries[index];
    ini_free_block(ini_arena_of(owner), entry->key);
    entry->key = block;
    entry->value = block + key_size;
    return 0;
}

const char *section_key_at(const IniSection *section, int32_t index)
{
    if (index < 0 || index >= section->count)
        return NULL;
    return section->entries[index]->key;
}

// Removes the first entry with that key: the last one takes its place, or
// (ordered) every one after it moves up.
static int32_t section_remove(IniSection *section, const char *key, int ordered)
{
    int32_t index = section_find_key_index(section, key);
    if (index < 0)
        return 1;
    // key may be the entry's own: it is hashed before the entry goes.
    uint32_t hash = inifile_internal_hash(key, strlen(key));
    IniSectionState *state = inifile_internal_section_state(section);
    IniDocument *owner = state->owner;
    if (owner != NULL)
        owner->changed = 1;
    size_t kept_length = 0;
    char *kept =
        inifile_internal_layout_entry_removing(owner, section->entries[index], &kept_length);
    const IniArena *arena = ini_arena_of(owner);
    ini_free_block(arena, section->entries[index]->key);
    ini_free_block(arena, section->entries[index]);
    if (ordered)
        inifile_internal_index_shifted(state->keys, ini_entries_named(section), hash, index);
    section->count -= 1;
    if (ordered) {
        memmove(section->entries + index, section->entries + index + 1,
                (size_t)(section->count - index) * sizeof(IniEntry *));
    } else {
        section->entries[index] = section->entries[section->count];
        inifile_internal_index_removed(state->keys, ini_entries_named(section), hash, index,
                                       section->count);
    }
    section->entries[section->count] = NULL;
    inifile_internal_layout_entry_removed(owner, section, index, kept, kept_length);
    return 0;
}

int32_t section_remove_key(IniSection *section, const char *key)
{
    return section_remove(section, key, 0);
}

int32_t section_remove_key_ordered(IniSection *section, const char *key)
{
    return section_remove(section, key, 1);
}

IniSection *section_clone(const IniSection *source, const char *name)
{
    // Each key once, with the value of its first appearance, in order of
    // first appearance: the clone's own index tells a repeat.
    IniSection *clone = section_create(name);
    for (int32_t i = 0; i < source->count; ++i) {
        const IniEntry *entry = source->entries[i];
        if (section_find_key_index(clone, entry->key) < 0)
            section_set_value(clone, entry->key, entry->value);
    }
    return clone;
}
