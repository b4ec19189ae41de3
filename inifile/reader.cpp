// The logical-line reader: turns the bytes of a file into logical lines,
// with comments removed, escapes resolved, continuation lines joined, blank
// lines dropped and outer spaces trimmed.
#include "file.h"
#include "internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// Most lines fit on the stack while they are gathered.
enum { LINE_LOCAL_BYTES = 256 };

// The bytes of one logical line while it is gathered: on the stack first,
// then on the heap, doubling whenever it is full, so that a line of any
// length costs linear time. The finished line gets a block of exactly its
// size, which the caller owns.
typedef struct LineText {
    char *bytes;
    size_t length;
    size_t capacity;
    char local[LINE_LOCAL_BYTES];
} LineText;

static void line_grow(LineText *text)
{
    // A line of half the address space cannot be gathered in a test.
    if (text->capacity > SIZE_MAX / 2)  // GCOVR_EXCL_BR_LINE
        inifile_internal_out_of_memory();            // GCOVR_EXCL_LINE
    size_t capacity = text->capacity * 2;
    if (text->bytes == text->local) {
        char *heap = (char *)inifile_internal_alloc(capacity);
        memcpy(heap, text->local, text->length);
        text->bytes = heap;
    } else {
        text->bytes = (char *)inifile_internal_realloc(text->bytes, capacity);
    }
    text->capacity = capacity;
}

static inline void line_store(LineText *text, char byte)
{
    if (text->length == text->capacity)
        line_grow(text);
    text->bytes[text->length++] = byte;
}

// Appends count bytes at once, growing the same way as line_store.
static inline void line_append(LineText *text, const char *bytes, size_t count)
{
    while (text->capacity - text->length < count)
        line_grow(text);
    memcpy(text->bytes + text->length, bytes, count);
    text->length += count;
}

// Bytes that are stored as they are once a line has begun: everything but
// the line feed, the carriage return, the semicolon and the backslash. (A
// space is stored too, as long as the text is not empty.)
struct PlainBytes {
    bool is[256];
};
static constexpr PlainBytes line_plain = [] {
    PlainBytes plain{};
    for (int byte = 0; byte < 256; ++byte)
        plain.is[byte] = byte != '\n' && byte != '\r' && byte != ';' && byte != '\\';
    return plain;
}();

static void line_discard(LineText *text)
{
    if (text->bytes != text->local)
        free(text->bytes);
}

// Trims trailing spaces (spaces only: a tab is text) and hands the line
// over as a zero-terminated heap string; null when nothing is left.
static char *line_finish(LineText *text)
{
    while (text->length > 0 && text->bytes[text->length - 1] == ' ')
        text->length -= 1;
    if (text->length == 0) {
        line_discard(text);
        return NULL;
    }
    char *line;
    if (text->bytes == text->local) {
        line = (char *)inifile_internal_alloc(text->length + 1);
        memcpy(line, text->local, text->length);
    } else {
        line = (char *)inifile_internal_realloc(text->bytes, text->length + 1);
    }
    line[text->length] = '\0';
    return line;
}

char *ini_read_line(IniLineReader *reader)
{
    if (reader->at_end)
        return NULL;
    LineText text;
    text.bytes = text.local;
    text.length = 0;
    text.capacity = sizeof text.local;
    int escaped = 0;     // the last byte was an unescaped backslash
    int in_comment = 0;  // a semicolon started a comment on this physical line

    for (;;) {
        if ((uint32_t)reader->position >= reader->filled) {
            uint32_t got = 0;
            int ok = inifile_internal_read(reader->handle, reader->buffer, INI_READ_CHUNK, &got,
                                           NULL);
            if (!ok || got == 0) {
                reader->at_end = 1;
                if (ok)
                    return line_finish(&text);
                // A read error is no end of file: the caller must not take
                // what came before it for the whole file.
                reader->read_failed = 1;
                line_discard(&text);
                return NULL;
            }
            reader->filled = got;
            reader->position = 0;
        }
        const char *chunk = reader->buffer;
        int32_t filled = (int32_t)reader->filled;
        int32_t position = reader->position;
        while (position < filled) {
            if (in_comment) {
                // Everything up to the line feed is dropped.
                const char *feed =
                    (const char *)memchr(chunk + position, '\n', (size_t)(filled - position));
                if (feed == NULL) {
                    position = filled;
                    break;
                }
                position = (int32_t)(feed - chunk);
            }
            char byte = chunk[position++];
            switch (byte) {
            case '\n':
                // Inside a comment the escape flag is always clear, so a
                // backslash at the end of a comment continues nothing.
                if (escaped || text.length == 0) {
                    escaped = 0;
                    in_comment = 0;
                    break;
                }
                reader->position = position;
                return line_finish(&text);
            case '\r':
                break;  // dropped wherever it stands; neither flag changes
            case ';':
                if (escaped)
                    line_store(&text, ';');
                else
                    in_comment = 1;
                escaped = 0;
                break;
            case '\\':
                if (escaped)
                    line_store(&text, '\\');
                escaped = !escaped;
                break;
            case ' ':
                if (text.length == 0) {
                    escaped = 0;  // leading spaces are dropped
                    break;
                }
                [[fallthrough]];
            default: {
                // This byte and every plain byte after it in the chunk are
                // stored unchanged, and each clears the escape flag.
                int32_t start = position - 1;
                while (position < filled && line_plain.is[(unsigned char)chunk[position]])
                    position += 1;
                line_append(&text, chunk + start, (size_t)(position - start));
                escaped = 0;
                break;
            }
            }
        }
        reader->position = position;
    }
}
