// Building a loaded document in its arena, and the words of a load that
// fails.
#include "builder.h"

#include "internal.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

void inifile_internal_builder_start(IniBuilder *builder, int64_t input_size)
{
    memset(builder, 0, sizeof *builder);
    builder->document = inifile_internal_document_new();
    builder->input_size = input_size;
}

// Gives the section being read its entries and their index.
static void builder_finish_section(IniBuilder *builder)
{
    IniSection *section = builder->section;
    if (section == NULL)
        return;
    int32_t count = builder->count;
    int32_t capacity = count <= 10 ? 10 : (int32_t)(((int64_t)count + 9) / 10 * 10);
    IniArena *arena = &builder->document->arena;
    section->entries =
        (IniEntry **)inifile_internal_arena_record(arena, (size_t)capacity * sizeof(IniEntry *));
    if (count > 0)
        memcpy(section->entries, builder->entries, (size_t)count * sizeof(IniEntry *));
    section->count = count;
    section->capacity = capacity;
    IniNamed named = {(void *const *)section->entries, count, offsetof(IniEntry, key)};
    inifile_internal_section_state(section)->keys = inifile_internal_index_build(named, arena);
    builder->count = 0;
}

void inifile_internal_builder_progress(IniBuilder *builder, int64_t consumed)
{
    IniArena *arena = &builder->document->arena;
    if (builder->input_size <= consumed || consumed <= 0)
        return;
    double used = (double)(arena->taken - (size_t)(arena->text - arena->records));
    arena->expected = (size_t)(used / (double)consumed * (double)(builder->input_size - consumed));
}

void inifile_internal_builder_header(IniBuilder *builder, const char *name, size_t length,
                                     const LayoutSpan *span)
{
    builder_finish_section(builder);
    IniArena *arena = &builder->document->arena;
    // A section with a place in the text has it laid right after its state.
    size_t size = sizeof(IniSectionState) + (span != NULL ? sizeof(LayoutSection) : 0);
    IniSectionState *state = (IniSectionState *)inifile_internal_arena_record(arena, size);
    memset(state, 0, sizeof *state);
    if (span != NULL)
        ((LayoutSection *)(state + 1))->span = *span;
    char *copy = inifile_internal_arena_text(arena, length + 1);
    memcpy(copy, name, length);
    copy[length] = '\0';
    state->section.name = copy;
    inifile_internal_append_section(&builder->document->file, &state->section);
    builder->section = &state->section;
}

void inifile_internal_builder_entry(IniBuilder *builder, const char *key, size_t key_length,
                                    const char *value, size_t value_length, const LayoutSpan *span)
{
    IniArena *arena = &builder->document->arena;
    char *block = inifile_internal_arena_text(arena, key_length + value_length + 2);
    memcpy(block, key, key_length);
    block[key_length] = '\0';
    memcpy(block + key_length + 1, value, value_length);
    block[key_length + 1 + value_length] = '\0';
    size_t size = sizeof(IniEntry) + (span != NULL ? sizeof(LayoutEntry) : 0);
    IniEntry *entry = (IniEntry *)inifile_internal_arena_record(arena, size);
    if (span != NULL) {
        LayoutEntry *place = (LayoutEntry *)(entry + 1);
        place->gap_start = span->gap_start;
        place->end = span->end;
    }
    entry->key = block;
    entry->value = block + key_length + 1;
    if (builder->count == builder->capacity) {
        if (builder->capacity > INT32_MAX / 2 - 10)
            inifile_internal_out_of_memory();
        builder->capacity = builder->capacity == 0 ? 64 : builder->capacity * 2;
        builder->entries = (IniEntry **)inifile_internal_realloc(
            builder->entries, (size_t)builder->capacity * sizeof(IniEntry *));
    }
    builder->entries[builder->count++] = entry;
}

IniFile *inifile_internal_builder_finish(IniBuilder *builder, int complete)
{
    builder_finish_section(builder);
    free(builder->entries);
    builder->entries = NULL;
    IniFile *ini = &builder->document->file;
    if (!complete) {
        ini_destroy(ini);
        return NULL;
    }
    inifile_internal_document_loaded(builder->document);
    return ini;
}

// ---- When a load fails ---------------------------------------------------------

void inifile_internal_report_syntax(IniError *error, int64_t line, const char *text, size_t length,
                                    int in_section)
{
    const char *fault = "neither a [section] header nor a key=value line";
    const char *equals = (const char *)memchr(text, '=', length);
    if (length == 2 && memcmp(text, "[]", 2) == 0)
        fault = "[] is not a section header: a section needs a name";
    else if (!in_section && equals != NULL && equals != text)
        fault = "key=value before the first [section] header";
    inifile_internal_report(error, INI_ERROR_SYNTAX, line, 0, "line %lld: %s", (long long)line,
                            fault);
}

void inifile_internal_report_mark(IniError *error, IniByteOrderMark mark)
{
    int utf32 = mark == INI_MARK_UTF32_LE || mark == INI_MARK_UTF32_BE;
    int little = mark == INI_MARK_UTF16_LE || mark == INI_MARK_UTF32_LE;
    inifile_internal_report(error, INI_ERROR_ENCODING, 0, 0,
                            "the file is UTF-%d text (%s-endian); save it as ANSI or UTF-8",
                            utf32 ? 32 : 16, little ? "little" : "big");
}

void inifile_internal_report_zero(IniError *error, int64_t line)
{
    inifile_internal_report(error, INI_ERROR_ENCODING, line, 0,
                            "line %lld: a zero byte, which no ANSI or UTF-8 text holds "
                            "(UTF-16 without a byte-order mark?)",
                            (long long)line);
}
