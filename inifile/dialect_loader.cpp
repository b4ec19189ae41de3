// The load of a dialect: the logical lines of the whole text, the
// structure its switches allow, and indented continuation lines joined to
// the value they continue.
#include "builder.h"
#include "dialect.h"
#include "internal.h"
#include "reader.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// The entry being read, held until a line comes that does not continue it.
typedef struct Pending {
    IniLineText text;  // the key, then the value
    size_t key_length;
    size_t indent;        // of its entry line
    int64_t blank_lines;  // since its last line: kept when a continuation follows
    int open;
} Pending;

static void pending_put(Pending *pending, const char *bytes, size_t count)
{
    IniLineText *text = &pending->text;
    while (text->capacity - text->length < count) {
        if (text->capacity > SIZE_MAX / 2)
            inifile_internal_out_of_memory();
        text->capacity = text->capacity == 0 ? 256 : text->capacity * 2;
        text->bytes = (char *)inifile_internal_realloc(text->bytes, text->capacity);
    }
    if (count > 0)
        memcpy(text->bytes + text->length, bytes, count);
    text->length += count;
}

static void pending_flush(Pending *pending, IniBuilder *builder)
{
    if (!pending->open)
        return;
    const char *bytes = pending->text.bytes;
    inifile_internal_builder_entry(builder, bytes, pending->key_length, bytes + pending->key_length,
                                   pending->text.length - pending->key_length);
    pending->open = 0;
}

// Starts an entry: the key is what stands before the delimiter (all of the
// line without one) less the blanks before it, the value what follows it
// less the blanks after it.
static void pending_start(Pending *pending, const DialectLine *line, const char *delimiter,
                          uint32_t flags)
{
    const char *end = line->text + line->length;
    const char *key_end = delimiter != NULL ? delimiter : end;
    while (key_end > line->text && inifile_internal_is_blank(key_end[-1], flags))
        key_end -= 1;
    const char *value = delimiter != NULL ? delimiter + 1 : end;
    while (value < end && inifile_internal_is_blank(*value, flags))
        value += 1;
    pending->text.length = 0;
    pending->key_length = (size_t)(key_end - line->text);
    pending_put(pending, line->text, pending->key_length);
    pending_put(pending, value, (size_t)(end - value));
    pending->indent = line->indent;
    pending->blank_lines = 0;
    pending->open = 1;
}

// The first '=' of the line, or ':' where it delimits too; null if none.
static const char *dialect_delimiter(const DialectLine *line, uint32_t flags)
{
    for (size_t i = 0; i < line->length; ++i) {
        if (line->text[i] == '=' || (line->text[i] == ':' && (flags & INI_COLON_DELIMITS) != 0))
            return line->text + i;
    }
    return NULL;
}

// "[name]", longer than 2 bytes; or, where a header may carry a comment,
// "[name]" then blanks and a comment. 1 and the name's length, or 0.
static int dialect_header(const DialectLine *line, uint32_t flags, size_t *name_length)
{
    const char *text = line->text;
    if (line->length <= 2 || text[0] != '[')
        return 0;
    if (text[line->length - 1] == ']') {
        *name_length = line->length - 2;
        return 1;
    }
    if ((flags & INI_COMMENT_AFTER_HEADER) == 0)
        return 0;
    for (size_t close = 2; close < line->length; ++close) {
        if (text[close] != ']')
            continue;
        size_t after = close + 1;
        while (after < line->length && inifile_internal_is_blank(text[after], flags))
            after += 1;
        if (after < line->length && (text[after] == ';' || text[after] == '#')) {
            *name_length = close - 1;
            return 1;
        }
    }
    return 0;
}

IniFile *inifile_internal_load_dialect(const char *text, size_t length, uint32_t flags,
                                       IniError *error)
{
    IniByteOrderMark mark = inifile_internal_mark_of(text, length < 4 ? (uint32_t)length : 4, 1);
    if (inifile_internal_mark_unreadable(mark)) {
        inifile_internal_report_mark(error, mark);
        return NULL;
    }
    DialectReader reader;
    inifile_internal_dialect_start(&reader, text, length, mark == INI_MARK_UTF8 ? 3 : 0, flags);
    IniBuilder builder;
    inifile_internal_builder_start(&builder, (int64_t)length);
    Pending pending;
    memset(&pending, 0, sizeof pending);
    const int continuing = (flags & INI_INDENTED_CONTINUATION) != 0;
    // Where ':' delimits too, "[program:x]" is a header wherever it stands.
    const int headers_first = (flags & INI_COLON_DELIMITS) != 0;
    int failed = 0;
    DialectLine line;
    while (inifile_internal_dialect_next(&reader, &line)) {
        if (line.blank) {
            pending.blank_lines += pending.open;
            continue;
        }
        if (continuing && pending.open && line.indent > pending.indent) {
            for (int64_t i = 0; i <= pending.blank_lines; ++i)
                pending_put(&pending, "\n", 1);
            pending_put(&pending, line.text, line.length);
            pending.blank_lines = 0;
            continue;
        }
        pending_flush(&pending, &builder);
        const char *delimiter = dialect_delimiter(&line, flags);
        int entry =
            delimiter != NULL ? delimiter != line.text : (flags & INI_KEY_WITHOUT_DELIMITER) != 0;
        size_t name_length = 0;
        int header = dialect_header(&line, flags, &name_length);
        if (header && (builder.section == NULL || !entry || headers_first)) {
            inifile_internal_builder_progress(&builder, (int64_t)line.start);
            inifile_internal_builder_header(&builder, line.text + 1, name_length);
        } else if (entry && (builder.section != NULL || (flags & INI_ENTRIES_BEFORE_HEADER) != 0)) {
            if (builder.section == NULL)
                inifile_internal_builder_header(&builder, "", 0);
            pending_start(&pending, &line, delimiter, flags);
        } else {
            inifile_internal_report_syntax(error, line.number, line.text, line.length,
                                           builder.section != NULL);
            failed = 1;
            break;
        }
    }
    if (!failed)
        pending_flush(&pending, &builder);
    free(pending.text.bytes);
    if (!failed && reader.zero_line != 0) {
        inifile_internal_report_zero(error, reader.zero_line);
        failed = 1;
    }
    inifile_internal_dialect_end(&reader);
    IniFile *ini = inifile_internal_builder_finish(&builder, !failed);
    if (ini != NULL)
        inifile_internal_document(ini)->options.flags = flags;
    return ini;
}
