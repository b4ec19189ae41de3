// The loaders: read the logical lines of a file or of a text in memory,
// check the structure of the whole and build the document out of the lines
// themselves.
#include "file.h"
#include "internal.h"
#include "reader.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// "[name]": longer than 2 bytes, first byte '[', last byte ']'.
static int ini_is_header(const IniLineView *line)
{
    return line->length > 2 && line->text[0] == '[' && line->text[line->length - 1] == ']';
}

// The entries of the section being read, gathered until its run of entry
// lines ends, then put in the arena in an array of the capacity that
// appending them one by one would have given: room for 10, grown by 10.
typedef struct LoadEntries {
    IniEntry **pointers;
    int32_t count;
    int32_t capacity;
} LoadEntries;

// What a load builds: the document, the section whose run of entries goes
// on, and its entries so far.
typedef struct LoadState {
    IniDocument *document;
    IniSection *section;
    LoadEntries entries;
    int64_t input_size;  // bytes the input holds, as far as known; 0 if not
} LoadState;

static void load_push_entry(LoadEntries *entries, IniEntry *entry)
{
    if (entries->count == entries->capacity) {
        if (entries->capacity > INT32_MAX / 2 - 10)
            inifile_internal_out_of_memory();
        entries->capacity = entries->capacity == 0 ? 64 : entries->capacity * 2;
        entries->pointers = (IniEntry **)inifile_internal_realloc(
            entries->pointers, (size_t)entries->capacity * sizeof(IniEntry *));
    }
    entries->pointers[entries->count++] = entry;
}

// Gives the section being read its entries and their index.
static void load_finish_section(LoadState *load)
{
    IniSection *section = load->section;
    if (section == NULL)
        return;
    int32_t count = load->entries.count;
    int32_t capacity = count <= 10 ? 10 : (int32_t)(((int64_t)count + 9) / 10 * 10);
    IniArena *arena = &load->document->arena;
    section->entries =
        (IniEntry **)inifile_internal_arena_record(arena, (size_t)capacity * sizeof(IniEntry *));
    if (count > 0)
        memcpy(section->entries, load->entries.pointers, (size_t)count * sizeof(IniEntry *));
    section->count = count;
    section->capacity = capacity;
    IniNamed named = {(void *const *)section->entries, count, offsetof(IniEntry, key)};
    inifile_internal_section_state(section)->keys = inifile_internal_index_build(named, arena);
    load->entries.count = 0;
}

// Tells the arena how much more the document will take, from how much of
// the input the part built so far came: its blocks are then sized to fit.
static void load_expect(LoadState *load, const IniLineSource *source)
{
    IniArena *arena = &load->document->arena;
    int64_t read = source->taken - (int64_t)(source->filled - (uint32_t)source->position);
    if (load->input_size <= read || read <= 0)
        return;
    double used = (double)(arena->taken - (size_t)(arena->text - arena->records));
    arena->expected = (size_t)(used / (double)read * (double)(load->input_size - read));
}

// A new section named by the header line, in the arena; its entries follow.
static void load_header(LoadState *load, const IniLineView *line)
{
    load_finish_section(load);
    IniArena *arena = &load->document->arena;
    IniSectionState *state = (IniSectionState *)inifile_internal_arena_record(arena, sizeof *state);
    memset(state, 0, sizeof *state);
    size_t length = line->length - 2;
    char *name = inifile_internal_arena_text(arena, length + 1);
    memcpy(name, line->text + 1, length);
    name[length] = '\0';
    state->section.name = name;
    inifile_internal_append_section(&load->document->file, &state->section);
    load->section = &state->section;
}

// An entry of the section being read: the key is what stands before the
// first '=' without the spaces before it, the value what follows it
// without the spaces after it; both go into one block of the arena.
static void load_entry(LoadState *load, const IniLineView *line, const char *equals)
{
    const char *key_end = equals;
    // The start of the line is never passed: a logical line never begins
    // with a space and an entry never with '=', so text[0] stops the walk.
    while (key_end[-1] == ' ')
        key_end -= 1;
    const char *end = line->text + line->length;
    const char *value = equals + 1;
    while (value < end && *value == ' ')
        value += 1;
    size_t key_length = (size_t)(key_end - line->text);
    size_t value_length = (size_t)(end - value);
    IniArena *arena = &load->document->arena;
    char *block = inifile_internal_arena_text(arena, key_length + value_length + 2);
    memcpy(block, line->text, key_length);
    block[key_length] = '\0';
    memcpy(block + key_length + 1, value, value_length);
    block[key_length + 1 + value_length] = '\0';
    IniEntry *entry = (IniEntry *)inifile_internal_arena_record(arena, sizeof *entry);
    entry->key = block;
    entry->value = block + key_length + 1;
    load_push_entry(&load->entries, entry);
}

// The loader reads in chunks this large: far fewer system calls than the
// 1,024 bytes of ini_read_line's public buffer, and the same lines.
enum { LOAD_CHUNK = 64 * 1024 };

// What is wrong with a line the structure does not allow where it stands.
static const char *ini_syntax_fault(const IniLineView *line, int in_section)
{
    if (line->length == 2 && memcmp(line->text, "[]", 2) == 0)
        return "[] is not a section header: a section needs a name";
    const char *equals = (const char *)memchr(line->text, '=', line->length);
    if (!in_section && equals != NULL && equals != line->text)
        return "key=value before the first [section] header";
    return "neither a [section] header nor a key=value line";
}

static void ini_report_encoding(IniError *error, IniByteOrderMark mark)
{
    int utf32 = mark == INI_MARK_UTF32_LE || mark == INI_MARK_UTF32_BE;
    int little = mark == INI_MARK_UTF16_LE || mark == INI_MARK_UTF32_LE;
    inifile_internal_report(error, INI_ERROR_ENCODING, 0, 0,
                            "the file is UTF-%d text (%s-endian); save it as ANSI or UTF-8",
                            utf32 ? 32 : 16, little ? "little" : "big");
}

// Builds the document out of every line of source, or reports why there
// is none.
static IniFile *ini_load_lines(IniLineSource *source, int64_t input_size, IniError *error)
{
    // The document is built while the lines arrive, and the first line
    // that breaks the structure throws all of it away: the same outcome as
    // checking every line first, without holding all the lines twice.
    LoadState load = {inifile_internal_document_new(), NULL, {NULL, 0, 0}, input_size};
    const char *fault = NULL;  // what is wrong with the line at fault
    IniLineView line;
    while (inifile_internal_next_line(source, &line)) {
        // After a header every line is tested as an entry first, so that
        // "[a=b]" there is the entry "[a" = "b]".
        const char *equals =
            load.section != NULL ? (const char *)memchr(line.text, '=', line.length) : NULL;
        if (equals != NULL && equals != line.text) {
            load_entry(&load, &line, equals);
            if ((load.entries.count & 1023) == 0)
                load_expect(&load, source);
        } else if (ini_is_header(&line)) {
            load_expect(&load, source);
            load_header(&load, &line);
        } else {
            fault = ini_syntax_fault(&line, load.section != NULL);
            break;
        }
    }
    load_finish_section(&load);
    free(load.entries.pointers);
    inifile_internal_line_source_end(source);
    IniFile *ini = &load.document->file;
    if (fault != NULL)
        inifile_internal_report(error, INI_ERROR_SYNTAX, source->line_start, 0, "line %lld: %s",
                                (long long)source->line_start, fault);
    else if (inifile_internal_mark_unreadable(source->mark))
        ini_report_encoding(error, source->mark);
    else if (source->zero_line != 0)
        inifile_internal_report(error, INI_ERROR_ENCODING, source->zero_line, 0,
                                "line %lld: a zero byte, which no ANSI or UTF-8 text holds "
                                "(UTF-16 without a byte-order mark?)",
                                (long long)source->zero_line);
    else if (source->read_failed)
        inifile_internal_report_system(error, INI_ERROR_READ, source->system_error,
                                       "reading failed");
    else {
        inifile_internal_document_loaded(load.document);
        return ini;
    }
    ini_destroy(ini);
    return NULL;
}

IniFile *ini_load_with_error(const char *path, IniError *error)
{
    inifile_internal_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    int32_t system_error = 0;
    int64_t size = 0;
    intptr_t file = inifile_internal_open_read(path, &size, &system_error);
    if (file == INIFILE_INVALID_FILE) {
        inifile_internal_report_system(error, INI_ERROR_OPEN, system_error, "cannot open the file");
        return NULL;
    }
    char *buffer = (char *)inifile_internal_alloc(LOAD_CHUNK);
    IniLineSource source;
    inifile_internal_line_source_start(&source, file, buffer, LOAD_CHUNK);
    IniFile *ini = ini_load_lines(&source, size, error);
    inifile_internal_close(file);
    free(buffer);
    return ini;
}

IniFile *ini_load_from_memory(const char *text, size_t length, IniError *error)
{
    inifile_internal_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    IniLineSource source;
    inifile_internal_line_source_text(&source, text, length);
    return ini_load_lines(&source, (int64_t)length, error);
}

IniFile *ini_load(const char *path)
{
    return ini_load_with_error(path, NULL);
}
