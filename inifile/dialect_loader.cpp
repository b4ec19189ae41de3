// The load of a dialect: the logical lines of the whole text, the
// structure its switches allow, and indented continuation lines joined to
// the value they continue.
#include "builder.h"
#include "dialect.h"
#include "internal.h"
#include "layout.h"
#include "reader.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// The entry being read, held until a line comes that does not continue it.
typedef struct Pending {
    IniLineText text;  // the key, then the value
    LayoutSpan span;   // where its lines stand
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

// Hands the entry to the builder: with its place where the layout is kept.
// The end of the last element read, where the next one's lead begins.
static void pending_flush(Pending *pending, IniBuilder *builder, int keep, uint32_t *last_end)
{
    if (!pending->open)
        return;
    const char *bytes = pending->text.bytes;
    inifile_internal_builder_entry(builder, bytes, pending->key_length, bytes + pending->key_length,
                                   pending->text.length - pending->key_length,
                                   keep ? &pending->span : NULL);
    *last_end = pending->span.end;
    pending->open = 0;
}

// The parts of an entry line: the key is what stands before the delimiter
// (all of the line without one) less the blanks before it, the value what
// follows it less the blanks after it.
typedef struct EntryParts {
    size_t key_length;
    const char *value;
    size_t value_length;
} EntryParts;

static EntryParts entry_parts(const DialectLine *line, const char *delimiter, uint32_t flags)
{
    const char *end = line->text + line->length;
    const char *key_end = delimiter != NULL ? delimiter : end;
    while (key_end > line->text && inifile_internal_is_blank(key_end[-1], flags))
        key_end -= 1;
    const char *value = delimiter != NULL ? delimiter + 1 : end;
    while (value < end && inifile_internal_is_blank(*value, flags))
        value += 1;
    return {(size_t)(key_end - line->text), value, (size_t)(end - value)};
}

// Starts an entry that continuation lines may still add to.
static void pending_start(Pending *pending, const DialectLine *line, const char *delimiter,
                          uint32_t flags)
{
    EntryParts parts = entry_parts(line, delimiter, flags);
    pending->text.length = 0;
    pending->key_length = parts.key_length;
    pending_put(pending, line->text, parts.key_length);
    pending_put(pending, parts.value, parts.value_length);
    pending->indent = line->indent;
    pending->blank_lines = 0;
    pending->open = 1;
    pending->span.start = (uint32_t)line->start;
    pending->span.end = (uint32_t)line->end;
}

// Whether the lines from..to hold one made of blanks alone.
static int dialect_blank_line_in(const char *text, size_t from, size_t to)
{
    int blank = 1;
    for (size_t i = from; i < to; ++i) {
        if (text[i] == '\n') {
            if (blank)
                return 1;
            blank = 1;
        } else if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r') {
            blank = 0;
        }
    }
    return 0;
}

// Keeps the text for a document loaded with its layout: where the text
// after its last element begins, its line ends, whether its later
// sections stand after blank lines.
static void dialect_keep(IniFile *ini, char *text, size_t length, uint32_t prologue_end,
                         uint32_t trailer_start, int separated)
{
    IniDocument *document = inifile_internal_document(ini);
    inifile_internal_layout_start(document, text, length, prologue_end);
    document->layout->trailer_start = trailer_start;
    document->layout->separated = separated;
    const char *feed = (const char *)memchr(text, '\n', length);
    document->layout->line_end = feed != NULL && feed > text && feed[-1] == '\r' ? "\r\n" : "\n";
}

// The first '=' of the line, or ':' where it delimits too; null if none.
static const char *dialect_delimiter(const DialectLine *line, uint32_t flags)
{
    const char *equals = (const char *)memchr(line->text, '=', line->length);
    if ((flags & INI_COLON_DELIMITS) == 0)
        return equals;
    size_t before = equals != NULL ? (size_t)(equals - line->text) : line->length;
    const char *colon = (const char *)memchr(line->text, ':', before);
    return colon != NULL ? colon : equals;
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

IniFile *inifile_internal_load_dialect(const char *text, size_t length, uint32_t flags, char *owned,
                                       IniError *error)
{
    const int keep = (flags & INI_KEEP_LAYOUT) != 0;
    IniByteOrderMark mark = inifile_internal_mark_of(text, length < 4 ? (uint32_t)length : 4, 1);
    if (keep && length >= UINT32_MAX) {
        inifile_internal_report(error, INI_ERROR_OPTIONS, 0, 0,
                                "INI_KEEP_LAYOUT keeps the layout of texts under 4 GiB only");
        free(owned);
        return NULL;
    }
    if (inifile_internal_mark_unreadable(mark)) {
        inifile_internal_report_mark(error, mark);
        free(owned);
        return NULL;
    }
    const uint32_t prologue_end = mark == INI_MARK_UTF8 ? 3 : 0;
    uint32_t last_end = prologue_end;  // where the next element's lead begins
    int separated = 0;
    DialectReader reader;
    inifile_internal_dialect_start(&reader, text, length, prologue_end, flags);
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
            pending.span.end = (uint32_t)line.end;
            continue;
        }
        pending_flush(&pending, &builder, keep, &last_end);
        LayoutSpan span = {last_end, (uint32_t)line.start, (uint32_t)line.end};
        const char *delimiter = dialect_delimiter(&line, flags);
        int entry =
            delimiter != NULL ? delimiter != line.text : (flags & INI_KEY_WITHOUT_DELIMITER) != 0;
        size_t name_length = 0;
        int header = dialect_header(&line, flags, &name_length);
        if (header && (builder.section == NULL || delimiter == NULL || headers_first)) {
            inifile_internal_builder_progress(&builder, (int64_t)line.start);
            separated |=
                builder.section != NULL && dialect_blank_line_in(text, span.gap_start, span.start);
            inifile_internal_builder_header(&builder, line.text + 1, name_length,
                                            keep ? &span : NULL);
            last_end = span.end;
        } else if (entry && (builder.section != NULL || (flags & INI_ENTRIES_BEFORE_HEADER) != 0)) {
            if (builder.section == NULL) {
                // The nameless first section has no line of its own.
                LayoutSpan none = {last_end, last_end, last_end};
                inifile_internal_builder_header(&builder, "", 0, keep ? &none : NULL);
            }
            if (continuing) {
                pending_start(&pending, &line, delimiter, flags);
                pending.span.gap_start = last_end;
            } else {
                // With no continuation lines the entry is complete already.
                EntryParts parts = entry_parts(&line, delimiter, flags);
                inifile_internal_builder_entry(&builder, line.text, parts.key_length, parts.value,
                                               parts.value_length, keep ? &span : NULL);
                last_end = span.end;
            }
        } else {
            inifile_internal_report_syntax(error, line.number, line.text, line.length,
                                           builder.section != NULL);
            failed = 1;
            break;
        }
    }
    if (!failed)
        pending_flush(&pending, &builder, keep, &last_end);
    free(pending.text.bytes);
    if (!failed && reader.zero_line != 0) {
        inifile_internal_report_zero(error, reader.zero_line);
        failed = 1;
    }
    inifile_internal_dialect_end(&reader);
    IniFile *ini = inifile_internal_builder_finish(&builder, !failed);
    if (ini != NULL)
        inifile_internal_document(ini)->options.flags = flags;
    if (ini != NULL && keep)
        dialect_keep(ini, owned != NULL ? owned : inifile_internal_copy(text, length), length,
                     prologue_end, last_end, separated);
    else
        free(owned);
    return ini;
}
