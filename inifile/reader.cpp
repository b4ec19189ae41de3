// The logical-line reader: turns the bytes of a file into logical lines,
// with comments removed, escapes resolved, continuation lines joined, blank
// lines dropped and outer spaces trimmed.
#include "reader.h"

#include "file.h"
#include "internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The bytes of one logical line while it is gathered, when it cannot be
// handed over where it stands in the chunk: a buffer of the source's,
// kept from line to line, that doubles whenever it is full, so that a line
// of any length costs linear time.
static void line_grow(IniLineText *text)
{
    // A line of half the address space cannot grow further.
    if (text->capacity > SIZE_MAX / 2)
        inifile_internal_out_of_memory();
    size_t capacity = text->capacity == 0 ? 256 : text->capacity * 2;
    text->bytes = (char *)inifile_internal_realloc(text->bytes, capacity);
    text->capacity = capacity;
}

static inline void line_store(IniLineText *text, char byte)
{
    if (text->length == text->capacity)
        line_grow(text);
    text->bytes[text->length++] = byte;
}

// Appends count bytes at once, growing the same way as line_store.
static inline void line_append(IniLineText *text, const char *bytes, size_t count)
{
    while (text->capacity - text->length < count)
        line_grow(text);
    memcpy(text->bytes + text->length, bytes, count);
    text->length += count;
}

// Bytes that are stored as they are once a line has begun: everything but
// the line feed, the carriage return, the semicolon, the backslash and the
// zero byte. (A space is stored too, as long as the text is not empty, and
// a '#' as long as it does not begin the line.)
struct PlainBytes {
    bool is[256];
};
static constexpr PlainBytes line_plain = [] {
    PlainBytes plain{};
    for (int byte = 0; byte < 256; ++byte)
        plain.is[byte] = byte != '\n' && byte != '\r' && byte != ';' && byte != '\\' && byte != 0;
    return plain;
}();

// The end of the run of plain bytes that starts at position: the index of
// the first byte from there that is not plain, or filled. Where the machine
// stores words with their lowest byte first, eight bytes are looked at
// together: a byte equal to c is zero in word ^ (c * ones), and the lowest
// zero byte of x is the lowest byte whose top bit is set in
// (x - ones) & ~x & highs (bytes above it may be flagged too, never below).
static inline int32_t plain_run_end(const char *chunk, int32_t position, int32_t filled)
{
#if defined(__SSE2__)
    // Sixteen bytes at a time where every x86-64 processor can.
    const __m128i feed = _mm_set1_epi8('\n');
    const __m128i carriage = _mm_set1_epi8('\r');
    const __m128i semicolon = _mm_set1_epi8(';');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i zero = _mm_setzero_si128();
    while (filled - position >= 16) {
        __m128i bytes = _mm_loadu_si128((const __m128i *)(const void *)(chunk + position));
        __m128i special =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, feed), _mm_cmpeq_epi8(bytes, carriage)),
                         _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, semicolon),
                                                   _mm_cmpeq_epi8(bytes, backslash)),
                                      _mm_cmpeq_epi8(bytes, zero)));
        int found = _mm_movemask_epi8(special);
        if (found != 0)
            return position + __builtin_ctz((unsigned)found);
        position += 16;
    }
#endif
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    const uint64_t ones = 0x0101010101010101u;
    const uint64_t highs = 0x8080808080808080u;
    while (filled - position >= 8) {
        uint64_t word;
        memcpy(&word, chunk + position, sizeof word);
        uint64_t feed = word ^ (ones * '\n');
        uint64_t carriage = word ^ (ones * '\r');
        uint64_t semicolon = word ^ (ones * ';');
        uint64_t backslash = word ^ (ones * '\\');
        uint64_t special = (((feed - ones) & ~feed) | ((carriage - ones) & ~carriage) |
                            ((semicolon - ones) & ~semicolon) | ((backslash - ones) & ~backslash) |
                            ((word - ones) & ~word)) &
                           highs;
        if (special != 0)
            return position + (int32_t)(__builtin_ctzll(special) / 8);
        position += 8;
    }
#endif
    while (position < filled && line_plain.is[(unsigned char)chunk[position]])
        position += 1;
    return position;
}

// The length of bytes without its trailing spaces (spaces only: a tab is
// text).
static inline size_t line_trimmed(const char *bytes, size_t length)
{
    while (length > 0 && bytes[length - 1] == ' ')
        length -= 1;
    return length;
}

// Hands over bytes without their trailing spaces: 1, or 0 when nothing is
// left.
static int line_deliver(IniLineView *line, const char *bytes, size_t length)
{
    line->text = bytes;
    line->length = line_trimmed(bytes, length);
    return line->length > 0;
}

// ---- Input ---------------------------------------------------------------

// Text in memory is read in pieces of at most this many bytes, so that a
// position in a chunk always fits its 32 bits.
enum { TEXT_PIECE = 1 << 30 };

// Reads the next bytes of the input into the chunk, after the first kept
// bytes of it: 1 and their count in *got (0 at the end), or 0 on a read
// error. Text in memory is not copied: the chunk is the next piece of it,
// and since the pieces follow each other in the text, one read after kept
// bytes only makes the chunk longer.
static int source_read(IniLineSource *source, uint32_t kept, uint32_t *got)
{
    if (source->handle != INIFILE_INVALID_FILE) {
        if (!inifile_internal_read(source->handle, source->buffer + kept, source->capacity - kept,
                                   got, &source->system_error))
            return 0;
        source->taken += *got;
        return 1;
    }
    size_t room = source->capacity - kept;
    *got = (uint32_t)(source->rest_length < room ? source->rest_length : room);
    if (kept == 0)
        source->chunk = source->rest;
    source->rest += *got;
    source->rest_length -= *got;
    source->taken += *got;
    return 1;
}

// ---- Byte-order marks ---------------------------------------------------

// The marks, longest first among those that share their first bytes: a
// UTF-32 little-endian mark begins with the UTF-16 little-endian one.
static const struct {
    const char *bytes;
    uint32_t length;
    IniByteOrderMark mark;
} byte_order_marks[] = {
    {"\xFF\xFE\0\0", 4, INI_MARK_UTF32_LE}, {"\0\0\xFE\xFF", 4, INI_MARK_UTF32_BE},
    {"\xEF\xBB\xBF", 3, INI_MARK_UTF8},     {"\xFF\xFE", 2, INI_MARK_UTF16_LE},
    {"\xFE\xFF", 2, INI_MARK_UTF16_BE},
};

// The mark that the first count bytes of a file begin with. While they are
// the start of a longer mark and more bytes may come (complete clear), it
// cannot be told yet.
IniByteOrderMark inifile_internal_mark_of(const char *bytes, uint32_t count, int complete)
{
    for (const auto &known : byte_order_marks) {
        uint32_t compared = count < known.length ? count : known.length;
        if (memcmp(bytes, known.bytes, compared) != 0)
            continue;
        if (compared == known.length)
            return known.mark;
        if (!complete)
            return INI_MARK_UNDECIDED;
    }
    return INI_MARK_NONE;
}

// Reads the first bytes of the file and looks at them for a byte-order
// mark. A short read (a pipe, a terminal) may give fewer bytes than a mark
// has, so reading goes on until the mark can be told. 1 to go on reading
// lines, past a UTF-8 mark; 0 when reading ends here: after a read error,
// or for UTF-16 or UTF-32 text, which reads as no line at all rather than
// as lines of a different text.
static int source_open_text(IniLineSource *source)
{
    int complete = 0;
    IniByteOrderMark mark;
    while ((mark = inifile_internal_mark_of(source->chunk, source->filled, complete)) ==
           INI_MARK_UNDECIDED) {
        uint32_t got = 0;
        if (!source_read(source, source->filled, &got)) {
            source->at_end = 1;
            source->read_failed = 1;
            return 0;
        }
        complete = got == 0;
        source->filled += got;
    }
    // A terminal gives its end once: it is not asked a second time.
    source->end_seen = complete;
    source->mark = mark;
    if (mark == INI_MARK_UTF8)
        source->position = 3;
    if (inifile_internal_mark_unreadable(mark)) {
        source->at_end = 1;
        return 0;
    }
    return 1;
}

// ---- Logical lines -----------------------------------------------------

void inifile_internal_line_source_start(IniLineSource *source, intptr_t handle, char *buffer,
                                        uint32_t capacity)
{
    memset(source, 0, sizeof *source);
    source->handle = handle;
    source->buffer = buffer;
    source->chunk = buffer;
    source->capacity = capacity;
    source->mark = INI_MARK_UNDECIDED;
    source->next_line = 1;
}

void inifile_internal_line_source_end(IniLineSource *source)
{
    free(source->text.bytes);
    source->text.bytes = NULL;
    source->text.capacity = 0;
}

void inifile_internal_line_source_text(IniLineSource *source, const char *text, size_t length)
{
    inifile_internal_line_source_start(source, INIFILE_INVALID_FILE, NULL, TEXT_PIECE);
    if (text == NULL)  // allowed for no text at all; the bytes are compared
        text = "";
    source->chunk = text;
    source->rest = text;
    source->rest_length = length;
}

int inifile_internal_next_line(IniLineSource *source, IniLineView *view)
{
    if (source->at_end)
        return 0;
    // Nothing has been read before the first line is asked for: every
    // later read either fills the buffer or ends the reading.
    if (source->filled == 0 && !source_open_text(source))
        return 0;
    IniLineText &text = source->text;
    text.length = 0;
    int escaped = 0;     // the last byte was an unescaped backslash
    int in_comment = 0;  // a comment runs to the end of this physical line
    int64_t line = source->next_line;
    int64_t start = line;  // where the text begins: moves on while nothing is gathered

    for (;;) {
        if ((uint32_t)source->position >= source->filled) {
            uint32_t got = 0;
            int ok = source->end_seen || source_read(source, 0, &got);
            if (!ok || got == 0) {
                source->at_end = 1;
                source->next_line = line;
                source->line_start = start;
                if (ok)
                    return line_deliver(view, text.bytes, text.length);
                // A read error is no end of file: the caller must not take
                // what came before it for the whole file.
                source->read_failed = 1;
                return 0;
            }
            source->filled = got;
            source->position = 0;
        }
        const char *chunk = source->chunk;
        int32_t filled = (int32_t)source->filled;
        int32_t position = source->position;
        while (position < filled) {
            if (in_comment) {
                // Everything up to the line feed is dropped, but a zero byte
                // there is still no text.
                const char *from = chunk + position;
                size_t left = (size_t)(filled - position);
                const char *feed = (const char *)memchr(from, '\n', left);
                const char *zero =
                    (const char *)memchr(from, '\0', feed != NULL ? (size_t)(feed - from) : left);
                if (zero == NULL && feed == NULL) {
                    position = filled;
                    break;
                }
                position = (int32_t)((zero != NULL ? zero : feed) - chunk);
            }
            char byte = chunk[position++];
            switch (byte) {
            case '\n':
                line += 1;
                // Inside a comment the escape flag is always clear, so a
                // backslash at the end of a comment continues nothing.
                if (text.length == 0) {
                    start = line;  // a blank, comment-only or lone-backslash line
                    escaped = 0;
                    in_comment = 0;
                    break;
                }
                if (escaped) {  // a continuation: the next physical line joins this one
                    escaped = 0;
                    in_comment = 0;
                    break;
                }
                source->position = position;
                source->next_line = line;
                source->line_start = start;
                return line_deliver(view, text.bytes, text.length);
            case '\r':
                break;  // dropped wherever it stands; neither flag changes
            case '\0':
                // No text of a single-byte code page or of UTF-8 holds one:
                // the input is refused where it stands (most often UTF-16
                // without a byte-order mark).
                source->at_end = 1;
                source->zero_line = line;
                return 0;
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
                // A '#' that begins a logical line begins a comment, as ';'
                // does anywhere; elsewhere it is text.
                if (byte == '#' && text.length == 0 && !escaped) {
                    in_comment = 1;
                    break;
                }
                // This byte and every plain byte after it in the chunk are
                // stored unchanged, and each clears the escape flag.
                int32_t first = position - 1;
                position = plain_run_end(chunk, position, filled);
                // The common line, plain bytes from its first to its line
                // feed (or CR LF) inside the chunk, is copied once, straight
                // from the chunk: it ends exactly as it would below.
                if (text.length == 0) {
                    int32_t end = position;
                    if (end + 1 < filled && chunk[end] == '\r')
                        end += 1;
                    if (end < filled && chunk[end] == '\n') {
                        source->position = end + 1;
                        source->next_line = line + 1;
                        source->line_start = start;
                        return line_deliver(view, chunk + first, (size_t)(position - first));
                    }
                }
                line_append(&text, chunk + first, (size_t)(position - first));
                escaped = 0;
                break;
            }
            }
        }
        source->position = position;
    }
}

char *ini_read_line(IniLineReader *reader)
{
    // The public record carries the reader's state from call to call; the
    // line numbers are not part of it and start afresh each time.
    IniLineSource source;
    inifile_internal_line_source_start(&source, reader->handle, reader->buffer, INI_READ_CHUNK);
    source.at_end = reader->at_end;
    source.filled = reader->filled;
    source.position = reader->position;
    source.read_failed = reader->read_failed;
    IniLineView view;
    char *line = NULL;
    if (inifile_internal_next_line(&source, &view)) {
        line = (char *)inifile_internal_alloc(view.length + 1);
        memcpy(line, view.text, view.length);
        line[view.length] = '\0';
    }
    inifile_internal_line_source_end(&source);
    reader->at_end = source.at_end;
    reader->filled = source.filled;
    reader->position = source.position;
    // Text in UTF-16 or UTF-32, or with a zero byte, gives no further line;
    // it must no more pass for the whole file than a file cut short by a
    // read error.
    reader->read_failed = source.read_failed || inifile_internal_mark_unreadable(source.mark) ||
                          source.zero_line != 0;
    return line;
}
