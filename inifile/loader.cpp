// The loads: their entry points, and the load of the installer's format,
// whose logical lines are streamed from a file or a text in memory, checked
// against the structure and built into the document as they arrive. Other
// dialects read the whole text first (dialect_loader.cpp).
#include "builder.h"
#include "dialect.h"
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

// An entry line split at its first '=': the key without the spaces before
// it, the value without the spaces after it.
static void ini_add_entry(IniBuilder *builder, const IniLineView *line, const char *equals)
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
    inifile_internal_builder_entry(builder, line->text, (size_t)(key_end - line->text), value,
                                   (size_t)(end - value), NULL);
}

// Bytes of the input the lines delivered so far came from.
static int64_t ini_consumed(const IniLineSource *source)
{
    return source->taken - (int64_t)(source->filled - (uint32_t)source->position);
}

// The loader reads in chunks this large: far fewer system calls than the
// 1,024 bytes of ini_read_line's public buffer, and the same lines.
enum { LOAD_CHUNK = 64 * 1024 };

// Builds the document out of every line of source, or reports why there
// is none. The first line that breaks the structure throws away what was
// built: the same outcome as checking every line first, without holding
// all the lines twice.
static IniFile *ini_load_lines(IniLineSource *source, int64_t input_size, IniError *error)
{
    IniBuilder builder;
    inifile_internal_builder_start(&builder, input_size);
    int failed = 0;
    IniLineView line;
    while (inifile_internal_next_line(source, &line)) {
        // After a header every line is tested as an entry first, so that
        // "[a=b]" there is the entry "[a" = "b]".
        const char *equals =
            builder.section != NULL ? (const char *)memchr(line.text, '=', line.length) : NULL;
        if (equals != NULL && equals != line.text) {
            ini_add_entry(&builder, &line, equals);
            if ((builder.count & 1023) == 0)
                inifile_internal_builder_progress(&builder, ini_consumed(source));
        } else if (ini_is_header(&line)) {
            inifile_internal_builder_progress(&builder, ini_consumed(source));
            inifile_internal_builder_header(&builder, line.text + 1, line.length - 2, NULL);
        } else {
            inifile_internal_report_syntax(error, source->line_start, line.text, line.length,
                                           builder.section != NULL);
            failed = 1;
            break;
        }
    }
    inifile_internal_line_source_end(source);
    if (!failed && inifile_internal_mark_unreadable(source->mark)) {
        inifile_internal_report_mark(error, source->mark);
        failed = 1;
    } else if (!failed && source->zero_line != 0) {
        inifile_internal_report_zero(error, source->zero_line);
        failed = 1;
    } else if (!failed && source->read_failed) {
        inifile_internal_report_system(error, INI_ERROR_READ, source->system_error,
                                       "reading failed");
        failed = 1;
    }
    return inifile_internal_builder_finish(&builder, !failed);
}

int inifile_internal_options_known(const IniOptions *options)
{
    if (options == NULL)
        return 1;
    uint32_t reserved = 0;
    for (uint32_t word : options->reserved)
        reserved |= word;
    return (options->flags & ~(uint32_t)INI_KNOWN_OPTIONS) == 0 && reserved == 0;
}

// 1 for options this library knows; otherwise 0 with error filled.
static int ini_options_known(const IniOptions *options, IniError *error)
{
    if (inifile_internal_options_known(options))
        return 1;
    uint32_t reserved = 0;
    for (uint32_t word : options->reserved)
        reserved |= word;
    inifile_internal_report(error, INI_ERROR_OPTIONS, 0, 0,
                            "the options hold a switch this library does not know "
                            "(flags 0x%x, reserved fields %s)",
                            (unsigned)options->flags, reserved != 0 ? "not 0" : "0");
    return 0;
}

// The whole of an open file in one heap block, for a dialect's reader:
// 1, or 0 with error filled when reading failed.
static int ini_read_whole(intptr_t file, int64_t size, char **text, size_t *length, IniError *error)
{
    size_t capacity =
        size > 0 && (uint64_t)size < SIZE_MAX / 2 ? (size_t)size + 1 : (size_t)LOAD_CHUNK;
    char *bytes = (char *)inifile_internal_alloc_large(capacity);
    size_t used = 0;
    for (;;) {
        if (used == capacity) {
            if (capacity > SIZE_MAX / 2)
                inifile_internal_out_of_memory();
            capacity *= 2;
            bytes = (char *)inifile_internal_realloc(bytes, capacity);
        }
        size_t room = capacity - used;
        uint32_t got = 0;
        int32_t system_error = 0;
        if (!inifile_internal_read(file, bytes + used,
                                   room > UINT32_MAX ? UINT32_MAX : (uint32_t)room, &got,
                                   &system_error)) {
            inifile_internal_report_system(error, INI_ERROR_READ, system_error, "reading failed");
            free(bytes);
            return 0;
        }
        if (got == 0)
            break;
        used += got;
    }
    *text = bytes;
    *length = used;
    return 1;
}

// Loads the file open as file, of the size it was opened with, and closes
// it.
static IniFile *ini_load_open_file(intptr_t file, int64_t size, const IniOptions *options,
                                   IniError *error)
{
    IniFile *ini = NULL;
    if (options == NULL || options->flags == 0) {
        char *buffer = (char *)inifile_internal_alloc(LOAD_CHUNK);
        IniLineSource source;
        inifile_internal_line_source_start(&source, file, buffer, LOAD_CHUNK);
        ini = ini_load_lines(&source, size, error);
        free(buffer);
    } else {
        char *text = NULL;
        size_t length = 0;
        if (ini_read_whole(file, size, &text, &length, error))
            ini = inifile_internal_load_dialect(text, length, options->flags, text, error);
    }
    inifile_internal_close(file);
    return ini;
}

// ini_load_with_options from a path in the system's form, or from the
// narrow path when there is one.
static IniFile *ini_load_path(const char *narrow, const InifilePathUnit *path,
                              const IniOptions *options, IniError *error)
{
    inifile_internal_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    if (!ini_options_known(options, error))
        return NULL;
    int32_t system_error = 0;
    int64_t size = 0;
    intptr_t file = INIFILE_INVALID_FILE;
    InifileNativePath native = {path, NULL};
    if (narrow == NULL || inifile_internal_native_path(narrow, &native, &system_error))
        file = inifile_internal_open_read(native.text, &size, &system_error);
    free(native.owned);
    if (file == INIFILE_INVALID_FILE) {
        inifile_internal_report_system(error, INI_ERROR_OPEN, system_error, "cannot open the file");
        return NULL;
    }
    return ini_load_open_file(file, size, options, error);
}

IniFile *ini_load_with_options(const char *path, const IniOptions *options, IniError *error)
{
    return ini_load_path(path, NULL, options, error);
}

#ifdef _WIN32
IniFile *ini_load_wide(const wchar_t *path, const IniOptions *options, IniError *error)
{
    return ini_load_path(NULL, path, options, error);
}
#endif

IniFile *ini_load_from_memory_with_options(const char *text, size_t length,
                                           const IniOptions *options, IniError *error)
{
    inifile_internal_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    if (!ini_options_known(options, error))
        return NULL;
    if (options != NULL && options->flags != 0)
        return inifile_internal_load_dialect(text != NULL ? text : "", length, options->flags, NULL,
                                             error);
    IniLineSource source;
    inifile_internal_line_source_text(&source, text, length);
    return ini_load_lines(&source, (int64_t)length, error);
}

IniFile *ini_load_with_error(const char *path, IniError *error)
{
    return ini_load_with_options(path, NULL, error);
}

IniFile *ini_load_from_memory(const char *text, size_t length, IniError *error)
{
    return ini_load_from_memory_with_options(text, length, NULL, error);
}

IniFile *ini_load(const char *path)
{
    return ini_load_with_options(path, NULL, NULL);
}

void ini_options_common(IniOptions *options)
{
    memset(options, 0, sizeof *options);
    options->flags = INI_BACKSLASH_IS_TEXT | INI_COMMENT_AT_LINE_START | INI_TAB_IS_BLANK |
                     INI_COLON_DELIMITS | INI_INDENTED_CONTINUATION | INI_ENTRIES_BEFORE_HEADER |
                     INI_KEY_WITHOUT_DELIMITER | INI_COMMENT_AFTER_HEADER | INI_KEEP_LAYOUT;
}
