// The document in memory: sections in order, entries in order, first-match
// lookups, and removal that fills the hole with the last element.
#include "internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// Every pointer array starts with room for this many elements and grows by
// this many when it is full; callers see that in the capacity fields.
enum { INI_ARRAY_STEP = 10 };

// Pointer slots actually allocated behind an array of the given capacity.
// The capacity grows by 10 at a time, but the block underneath doubles
// (10, 20, 40, 80, ...) and is only moved when capacity passes the next
// size: a long run of appends then moves each pointer a bounded number of
// times, on any C runtime. The array always has room for at least
// capacity elements.
static size_t ini_slots_for(int32_t capacity)
{
    size_t slots = INI_ARRAY_STEP;
    while (slots < (size_t)capacity)
        slots *= 2;
    return slots;
}

static void *ini_new_pointer_array(void)
{
    return inifile_internal_alloc(ini_slots_for(INI_ARRAY_STEP) * sizeof(void *));
}

// Makes room for one more pointer in an array holding count of them.
static void *ini_make_room(void *array, int32_t count, int32_t *capacity)
{
    if (count < *capacity)
        return array;
    // Past 2^31 elements, or a block the size of the address space (where
    // size_t is narrow), no array can grow.
    if (*capacity > INT32_MAX - INI_ARRAY_STEP)
        inifile_internal_out_of_memory();
    size_t old_slots = ini_slots_for(*capacity);
    *capacity += INI_ARRAY_STEP;
    size_t slots = ini_slots_for(*capacity);
    if (slots > SIZE_MAX / sizeof(void *))
        inifile_internal_out_of_memory();
    if (slots != old_slots)
        array = inifile_internal_realloc(array, slots * sizeof(void *));
    return array;
}

static void ini_free_entry(IniEntry *entry)
{
    free(entry->key);  // the block that holds the value too
    free(entry);
}

// ---- Document ----------------------------------------------------------

IniFile *ini_create(void)
{
    IniFile *ini = (IniFile *)inifile_internal_alloc(sizeof *ini);
    ini->count = 0;
    ini->capacity = INI_ARRAY_STEP;
    ini->sections = (IniSection **)ini_new_pointer_array();
    return ini;
}

void ini_destroy(IniFile *ini)
{
    // Null is accepted as free() accepts it.
    if (ini == NULL)
        return;
    for (int32_t i = 0; i < ini->count; ++i)
        section_destroy(ini->sections[i]);
    free(ini->sections);
    free(ini);
}

void inifile_internal_append_section(IniFile *ini, IniSection *section)
{
    ini->sections = (IniSection **)ini_make_room(ini->sections, ini->count, &ini->capacity);
    ini->sections[ini->count++] = section;
}

int32_t ini_find_section_index(const IniFile *ini, const char *name)
{
    for (int32_t i = 0; i < ini->count; ++i) {
        if (strcmp(ini->sections[i]->name, name) == 0)
            return i;
    }
    return -1;
}

IniSection *ini_get_section(const IniFile *ini, const char *name)
{
    int32_t index = ini_find_section_index(ini, name);
    return index < 0 ? NULL : ini->sections[index];
}

int32_t ini_put_section(IniFile *ini, IniSection *section)
{
    // A section the document holds already, under any index, is left where
    // it is: replacing would destroy the very section being kept.
    for (int32_t i = 0; i < ini->count; ++i) {
        if (ini->sections[i] == section)
            return 0;
    }
    int32_t index = ini_find_section_index(ini, section->name);
    if (index < 0) {
        inifile_internal_append_section(ini, section);
        return 1;
    }
    section_destroy(ini->sections[index]);
    ini->sections[index] = section;
    return 0;
}

int32_t ini_remove_section(IniFile *ini, const char *name)
{
    int32_t index = ini_find_section_index(ini, name);
    if (index < 0)
        return 1;
    section_destroy(ini->sections[index]);
    ini->count -= 1;
    ini->sections[index] = ini->sections[ini->count];
    ini->sections[ini->count] = NULL;
    return 0;
}

const char *ini_section_name_at(const IniFile *ini, int32_t index)
{
    if (index < 0 || index >= ini->count)
        return NULL;
    return ini->sections[index]->name;
}

// ---- Section -----------------------------------------------------------

IniSection *inifile_internal_section_adopt_name(char *name)
{
    IniSection *section = (IniSection *)inifile_internal_alloc(sizeof *section);
    section->count = 0;
    section->capacity = INI_ARRAY_STEP;
    section->name = name;
    section->entries = (IniEntry **)ini_new_pointer_array();
    return section;
}

IniSection *section_create(const char *name)
{
    size_t size = strlen(name) + 1;
    char *copy = (char *)inifile_internal_alloc(size);
    memcpy(copy, name, size);
    return inifile_internal_section_adopt_name(copy);
}

void section_destroy(IniSection *section)
{
    // Null is accepted as free() accepts it.
    if (section == NULL)
        return;
    for (int32_t i = 0; i < section->count; ++i)
        ini_free_entry(section->entries[i]);
    free(section->entries);
    free(section->name);
    free(section);
}

void inifile_internal_append_entry(IniSection *section, char *key, char *value)
{
    IniEntry *entry = (IniEntry *)inifile_internal_alloc(sizeof *entry);
    entry->key = key;
    entry->value = value;
    section->entries =
        (IniEntry **)ini_make_room(section->entries, section->count, &section->capacity);
    section->entries[section->count++] = entry;
}

int32_t section_find_key_index(const IniSection *section, const char *key)
{
    for (int32_t i = 0; i < section->count; ++i) {
        if (strcmp(section->entries[i]->key, key) == 0)
            return i;
    }
    return -1;
}

const char *section_get_value(const IniSection *section, const char *key)
{
    int32_t index = section_find_key_index(section, key);
    return index < 0 ? NULL : section->entries[index]->value;
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

    int32_t index = section_find_key_index(section, block);
    if (index < 0) {
        inifile_internal_append_entry(section, block, block + key_size);
        return 1;
    }
    IniEntry *entry = section->entries[index];
    free(entry->key);
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

int32_t section_remove_key(IniSection *section, const char *key)
{
    int32_t index = section_find_key_index(section, key);
    if (index < 0)
        return 1;
    ini_free_entry(section->entries[index]);
    section->count -= 1;
    section->entries[index] = section->entries[section->count];
    section->entries[section->count] = NULL;
    return 0;
}

// FNV-1a over the bytes of a zero-terminated key.
static uint64_t ini_key_hash(const char *key)
{
    uint64_t hash = 14695981039346656037u;
    for (const unsigned char *byte = (const unsigned char *)key; *byte != 0; ++byte)
        hash = (hash ^ *byte) * 1099511628211u;
    return hash;
}

// Appends to clone a copy of the entry: one block, key then value, as
// section_set_value makes it.
static void ini_append_copy(IniSection *clone, const IniEntry *entry)
{
    size_t key_size = strlen(entry->key) + 1;
    size_t value_size = strlen(entry->value) + 1;
    char *block = (char *)inifile_internal_alloc(key_size + value_size);
    memcpy(block, entry->key, key_size);
    memcpy(block + key_size, entry->value, value_size);
    inifile_internal_append_entry(clone, block, block + key_size);
}

IniSection *section_clone(const IniSection *source, const char *name)
{
    // The keys copied so far sit in an open-addressing table of entry
    // indexes into the clone, at least twice as large as the source: each
    // key is looked up once, in constant time on average, so a repeated
    // key is copied once, with the value of its first appearance, and
    // order is that of first appearance.
    IniSection *clone = section_create(name);
    if (source->count == 0)
        return clone;
    size_t slots = 4;
    while (slots < 2 * (size_t)source->count)
        slots *= 2;
    int32_t *table = (int32_t *)inifile_internal_alloc(slots * sizeof *table);
    memset(table, 0xff, slots * sizeof *table);  // every slot -1: free
    for (int32_t i = 0; i < source->count; ++i) {
        const IniEntry *entry = source->entries[i];
        size_t slot = (size_t)ini_key_hash(entry->key) & (slots - 1);
        while (table[slot] >= 0 && strcmp(clone->entries[table[slot]]->key, entry->key) != 0)
            slot = (slot + 1) & (slots - 1);
        if (table[slot] >= 0)
            continue;  // a repeat: the first appearance is in the clone
        table[slot] = clone->count;
        ini_append_copy(clone, entry);
    }
    free(table);
    return clone;
}
