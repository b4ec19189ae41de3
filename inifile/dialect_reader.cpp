// The logical-line reader of every dialect, over a text held whole in
// memory: a physical line at a time, each byte by the rules the switches
// choose. With every switch off it reads as the streaming reader does.
#include "dialect.h"

#include "internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

void inifile_internal_dialect_start(DialectReader *reader, const char *text, size_t length,
                                    size_t start, uint32_t flags)
{
    memset(reader, 0, sizeof *reader);
    reader->text = text;
    reader->length = length;
    reader->position = start;
    reader->line = 1;
    reader->flags = flags;
}

void inifile_internal_dialect_end(DialectReader *reader)
{
    free(reader->line_text.bytes);
    free(reader->raw);
    reader->line_text.bytes = NULL;
    reader->line_text.capacity = 0;
    reader->raw = NULL;
}

// Makes room for count more bytes of the logical line (and, where asked,
// of their offsets).
static void dialect_grow(DialectReader *reader, size_t count)
{
    IniLineText *text = &reader->line_text;
    while (text->capacity - text->length < count) {
        if (text->capacity > SIZE_MAX / 2 / sizeof *reader->raw)
            inifile_internal_out_of_memory();
        text->capacity = text->capacity == 0 ? 256 : text->capacity * 2;
    }
    text->bytes = (char *)inifile_internal_realloc(text->bytes, text->capacity);
    if (reader->tracking)
        reader->raw =
            (size_t *)inifile_internal_realloc(reader->raw, text->capacity * sizeof *reader->raw);
}

// Stores a byte of the logical line, and where asked, the offset where its
// text begins (its backslash, for an escaped byte).
static inline void dialect_store(DialectReader *reader, char byte, size_t offset)
{
    IniLineText *text = &reader->line_text;
    if (text->length == text->capacity)
        dialect_grow(reader, 1);
    if (reader->tracking)
        reader->raw[text->length] = offset;
    text->bytes[text->length++] = byte;
}

// Bytes that a line stores as they are once its text has begun, unless a
// switch makes them special: all but '\r', ';', '#' and (escaping) '\\'.
struct DialectPlain {
    bool is[256];
};
static constexpr DialectPlain dialect_plain(bool escapes)
{
    DialectPlain plain{};
    for (int byte = 0; byte < 256; ++byte)
        plain.is[byte] = byte != '\r' && byte != ';' && byte != '#' && !(escapes && byte == '\\');
    return plain;
}
static constexpr DialectPlain plain_escaping = dialect_plain(true);
static constexpr DialectPlain plain_literal = dialect_plain(false);

int inifile_internal_dialect_next(DialectReader *reader, DialectLine *line)
{
    const uint32_t flags = reader->flags;
    const int escapes = (flags & INI_BACKSLASH_IS_TEXT) == 0;
    const char *text = reader->text;
    IniLineText *gathered = &reader->line_text;
    gathered->length = 0;
    int escaped = 0;       // the last byte was an unescaped backslash
    size_t escape_at = 0;  // where it stands
    line->start = reader->position;
    line->number = reader->line;
    line->indent = 0;
    line->blank = 0;
    int indenting = 1;  // the blanks before the text are being counted
    const DialectPlain *plain = escapes ? &plain_escaping : &plain_literal;
    for (;;) {
        if (reader->position >= reader->length && gathered->length == 0)
            return 0;
        if (reader->position >= reader->length)
            break;  // the last line, with no line feed (or a backslash) after it
        const char *from = text + reader->position;
        size_t left = reader->length - reader->position;
        const char *feed = (const char *)memchr(from, '\n', left);
        size_t count = feed != NULL ? (size_t)(feed - from) : left;
        if (memchr(from, '\0', count) != NULL) {
            // No text of a single-byte code page or of UTF-8 holds one.
            reader->zero_line = reader->line;
            return 0;
        }
        int after_blank = 1;  // a line's start counts as a blank
        int commented = 0;
        size_t line_offset = reader->position;
        for (size_t i = 0; i < count; ++i) {
            // Once the text has begun, a run of plain bytes is stored at once.
            if (!escaped && !reader->tracking && gathered->length > 0) {
                size_t run = i;
                while (run < count && plain->is[(unsigned char)from[run]])
                    run += 1;
                if (run > i) {
                    if (gathered->capacity - gathered->length < run - i)
                        dialect_grow(reader, run - i);
                    memcpy(gathered->bytes + gathered->length, from + i, run - i);
                    gathered->length += run - i;
                    after_blank = inifile_internal_is_blank(from[run - 1], flags);
                    i = run;
                    if (i == count)
                        break;
                }
            }
            char byte = from[i];
            if (byte == '\r')
                continue;  // dropped wherever it stands; neither flag changes
            int empty = gathered->length == 0;
            if (escaped) {
                escaped = 0;
                after_blank = inifile_internal_is_blank(byte, flags);
                if (!(empty && after_blank))  // leading blanks go, even escaped
                    dialect_store(reader, byte, escape_at);
                continue;
            }
            if (escapes && byte == '\\') {
                escaped = 1;
                escape_at = line_offset + i;
                indenting = 0;
                after_blank = 0;
                continue;
            }
            if (inifile_internal_is_blank(byte, flags)) {
                if (empty) {
                    line->indent += (size_t)indenting;
                } else {
                    dialect_store(reader, byte, line_offset + i);
                }
                after_blank = 1;
                continue;
            }
            indenting = 0;
            if (inifile_internal_comment_starts(byte, flags, empty, after_blank)) {
                commented = 1;
                break;
            }
            if (empty)
                line->number = reader->line;
            dialect_store(reader, byte, line_offset + i);
            after_blank = 0;
        }
        reader->position += count + (feed != NULL);
        reader->line += feed != NULL;
        if (escaped && feed != NULL && !commented) {
            escaped = 0;  // a continuation: the next physical line joins this one
            continue;
        }
        escaped = 0;
        if (gathered->length > 0)
            break;
        if (!commented && (flags & INI_INDENTED_CONTINUATION) != 0) {
            line->blank = 1;
            break;
        }
        // A blank or comment-only line: the logical line begins after it.
        line->start = reader->position;
        line->number = reader->line;
        line->indent = 0;
        indenting = 1;
    }
    size_t length = gathered->length;
    while (length > 0 && inifile_internal_is_blank(gathered->bytes[length - 1], flags))
        length -= 1;
    line->text = gathered->bytes;
    line->length = length;
    line->end = reader->position;
    return 1;
}
