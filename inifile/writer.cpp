// The writer: the text of a document in the format the reader reads back,
// ';' and '\' escaped in names, keys and values, and what that text cannot
// carry. Every name, key and value is scanned once to check it and measure
// it, and once more as it is written: no byte is looked at alone for room.
#include "writer.h"

#include "dialect.h"
#include "file.h"
#include "internal.h"
#include "layout.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---- What can be stored ------------------------------------------------------

// What a refusal says a text cannot do, for the first of the bytes in
// refused that it holds; null when it holds none.
static const char *save_held(const char *text, const char *refused)
{
    const char *found = strpbrk(text, refused);
    if (found == NULL)
        return NULL;
    switch (*found) {
    case '\r':
        return "hold a carriage return";
    case '\n':
        return "hold a line feed";
    default:
        return "hold '='";
    }
}

// A header is "[name]", ';' and '\' escaped as in keys and values: the
// reader would take "[]" for no header, and a name holding '=' for an entry
// line.
static const char *save_name_fault(const char *name)
{
    return name[0] == '\0' ? "be empty" : save_held(name, "=\r\n");
}

// The reader ends a key at its first '=' and trims the spaces around it.
static const char *save_key_fault(const char *key)
{
    size_t length = strlen(key);
    if (length == 0)
        return "be empty";
    if (key[0] == ' ' || key[length - 1] == ' ')
        return "begin or end with a space";
    return save_held(key, "=\r\n");
}

// A name or key is quoted in a message up to this many bytes.
enum { SAVE_QUOTED_MOST = 24 };

// text as a message quotes it, into quoted (2 * SAVE_QUOTED_MOST + 4
// bytes): cut short where it is long, a carriage return and a line feed
// shown as \r and \n so that the message stays one line.
static const char *save_quote(const char *text, char *quoted)
{
    char *at = quoted;
    size_t i = 0;
    for (; text[i] != '\0' && i < SAVE_QUOTED_MOST; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            *at++ = '\\';
            *at++ = text[i] == '\r' ? 'r' : 'n';
        } else {
            *at++ = text[i];
        }
    }
    strcpy(at, text[i] != '\0' ? "..." : "");
    return quoted;
}

// ---- Scanning --------------------------------------------------------------

// What a text holds that the writer escapes or refuses.
enum { HOLDS_EQUALS = 1, HOLDS_CARRIAGE = 2, HOLDS_FEED = 4 };
typedef struct TextScan {
    size_t escapes;  // ';' and '\', each written with a backslash before it
    unsigned holds;  // HOLDS_ bits
} TextScan;

// For each byte: 1 for the two that are escaped, HOLDS_ bits (shifted
// left by one) for the three that may be refused; 0 for the rest.
struct ByteKinds {
    unsigned char of[256];
};
static constexpr ByteKinds byte_kinds = [] {
    ByteKinds kinds{};
    kinds.of[(unsigned char)';'] = 1;
    kinds.of[(unsigned char)'\\'] = 1;
    kinds.of[(unsigned char)'='] = HOLDS_EQUALS << 1;
    kinds.of[(unsigned char)'\r'] = HOLDS_CARRIAGE << 1;
    kinds.of[(unsigned char)'\n'] = HOLDS_FEED << 1;
    return kinds;
}();

static inline void scan_bytes(const char *bytes, size_t count, TextScan *scan)
{
    for (size_t i = 0; i < count; ++i) {
        unsigned kind = byte_kinds.of[(unsigned char)bytes[i]];
        scan->escapes += kind & 1;
        scan->holds |= kind >> 1;
    }
}

// Whether any of the eight bytes of word is one of the five: a byte equal
// to c is zero in word ^ (c * ones), and (x - ones) & ~x & highs is not 0
// when x has a zero byte.
static inline bool word_holds_any(uint64_t word)
{
    const uint64_t ones = 0x0101010101010101u;
    const uint64_t highs = 0x8080808080808080u;
    static const unsigned char special[] = {';', '\\', '=', '\r', '\n'};
    uint64_t found = 0;
    for (unsigned char c : special) {
        uint64_t x = word ^ (ones * c);
        found |= (x - ones) & ~x;
    }
    return (found & highs) != 0;
}

// Scans length bytes of text: sixteen at a time where every x86-64
// processor can, eight at a time elsewhere, and the pieces that hold one
// of the five bytes one byte at a time.
static TextScan scan_text(const char *text, size_t length)
{
    TextScan scan = {0, 0};
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i semicolon = _mm_set1_epi8(';');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i carriage = _mm_set1_epi8('\r');
    const __m128i feed = _mm_set1_epi8('\n');
    for (; length - i >= 16; i += 16) {
        __m128i bytes = _mm_loadu_si128((const __m128i *)(const void *)(text + i));
        __m128i special = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, semicolon), _mm_cmpeq_epi8(bytes, backslash)),
            _mm_or_si128(
                _mm_cmpeq_epi8(bytes, equals),
                _mm_or_si128(_mm_cmpeq_epi8(bytes, carriage), _mm_cmpeq_epi8(bytes, feed))));
        if (_mm_movemask_epi8(special) != 0)
            scan_bytes(text + i, 16, &scan);
    }
#endif
    for (; length - i >= 8; i += 8) {
        uint64_t word;
        memcpy(&word, text + i, sizeof word);
        if (word_holds_any(word))
            scan_bytes(text + i, 8, &scan);
    }
    scan_bytes(text + i, length - i, &scan);
    return scan;
}

// The length of an entry's key: it and the value share one block, the
// value right after the key's zero byte.
static inline size_t key_length(const IniEntry *entry)
{
    return (size_t)(entry->value - entry->key) - 1;
}

// ---- The check --------------------------------------------------------------

// Reports a section, or one of its keys, that the text cannot carry: 0.
int inifile_internal_save_refuse(const IniSection *section, const IniEntry *entry, const char *what,
                                 const char *fault, IniError *error)
{
    char name[2 * SAVE_QUOTED_MOST + 4];
    char key[2 * SAVE_QUOTED_MOST + 4];
    if (entry == NULL)
        inifile_internal_report(error, INI_ERROR_UNSTORABLE, 0, 0,
                                "section \"%s\": a section name cannot %s",
                                save_quote(section->name, name), fault);
    else
        inifile_internal_report(
            error, INI_ERROR_UNSTORABLE, 0, 0, "section \"%s\", key \"%s\": a %s cannot %s",
            save_quote(section->name, name), save_quote(entry->key, key), what, fault);
    return 0;
}

// Adds to a size, or ends the process where a text that large could not
// be held.
static inline void size_add(size_t *size, size_t more)
{
    if (more > SIZE_MAX - *size)
        inifile_internal_out_of_memory();
    *size += more;
}

// Every name, key and value scanned: a line end in a value would end its
// line and start another, so that text put into a value could add keys of
// its own. A key and its value are scanned together, as they lie in their
// block, and apart only when something is found. The wording of a refusal
// is found again by the fault functions, for the few texts the scan flags.
int inifile_internal_save_check(const IniFile *ini, SaveMeasure *measure, IniError *error)
{
    size_t total = 0;
    size_t escapes = 0;
    for (int32_t i = 0; i < ini->count; ++i) {
        const IniSection *section = ini->sections[i];
        size_t name_length = strlen(section->name);
        TextScan name = scan_text(section->name, name_length);
        if (name_length == 0 || name.holds != 0)
            return inifile_internal_save_refuse(section, NULL, NULL, save_name_fault(section->name),
                                                error);
        size_add(&total, name_length + 3);  // "[", "]\n"
        escapes += name.escapes;
        for (int32_t j = 0; j < section->count; ++j) {
            const IniEntry *entry = section->entries[j];
            size_t length = key_length(entry);
            size_t value_length = strlen(entry->value);
            TextScan both = scan_text(entry->key, length + 1 + value_length);
            if (both.holds != 0 && scan_text(entry->key, length).holds != 0)
                both.holds = ~0u;  // the key holds what no key may
            if (length == 0 || both.holds == ~0u || entry->key[0] == ' ' ||
                entry->key[length - 1] == ' ')
                return inifile_internal_save_refuse(section, entry, "key",
                                                    save_key_fault(entry->key), error);
            if ((both.holds & (HOLDS_CARRIAGE | HOLDS_FEED)) != 0)
                return inifile_internal_save_refuse(section, entry, "value",
                                                    save_held(entry->value, "\r\n"), error);
            size_add(&total, (entry->key[0] == '#') + length);
            size_add(&total, value_length + 2);  // "=", "\n"
            escapes += both.escapes;
        }
    }
    size_add(&total, escapes);
    if (measure != NULL) {
        measure->size = total;
        measure->escapes = escapes;
    }
    return 1;
}

// ---- The text ----------------------------------------------------------------

void inifile_internal_save_flush(SaveOutput *out)
{
    if (out->used > 0 && !out->failed &&
        !inifile_internal_write(out->file, out->bytes, (uint32_t)out->used, &out->system_error))
        out->failed = 1;
    out->used = 0;
}

// Makes room for a line of at most count bytes, so that it is then written
// without looking at the room again: a file's buffer is written out, and
// grows for a line longer than itself; text in memory grows to twice its
// size or more (a document in the installer's format was measured
// beforehand, and its text only grows where a line's most is more than it
// takes).
static void save_grow(SaveOutput *out, size_t count)
{
    if (out->file != INIFILE_INVALID_FILE)
        inifile_internal_save_flush(out);
    if (out->capacity - out->used >= count)
        return;
    size_t capacity = out->used;
    size_add(&capacity, count);
    if (out->file == INIFILE_INVALID_FILE && capacity < out->capacity * 2)
        capacity = out->capacity * 2;
    out->bytes = (char *)inifile_internal_realloc(out->bytes, capacity);
    out->capacity = capacity;
}

char *inifile_internal_save_room(SaveOutput *out, size_t count)
{
    if (out->capacity - out->used < count)
        save_grow(out, count);
    return out->bytes + out->used;
}

static inline char *save_room(SaveOutput *out, size_t count)
{
    if (out->capacity - out->used < count)
        save_grow(out, count);
    return out->bytes + out->used;
}

// Puts length bytes of text with a backslash before every ';' and '\';
// returns the end of what it put.
static inline char *save_fill(char *to, const char *text, size_t length, size_t escapes)
{
    if (escapes == 0) {
        memcpy(to, text, length);
        return to + length;
    }
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == ';' || text[i] == '\\')
            *to++ = '\\';
        *to++ = text[i];
    }
    return to;
}

// Puts length bytes of text, escaped where the document holds anything to
// escape: without, every text is copied whole, unscanned.
static inline char *save_put(char *to, const char *text, size_t length, int escaping)
{
    if (!escaping) {
        memcpy(to, text, length);
        return to + length;
    }
    return save_fill(to, text, length, scan_text(text, length).escapes);
}

// Every section: "[name]", then one "key=value" line per entry. A key
// that begins with '#' is escaped too: the line would be a comment.
void inifile_internal_save_text(const IniFile *ini, const SaveMeasure *measure, SaveOutput *out)
{
    int escaping = measure->escapes != 0;
    // Each line's room, counted as if every byte were escaped where some are.
    int most = escaping ? 2 : 1;
    for (int32_t i = 0; i < ini->count && !out->failed; ++i) {
        const IniSection *section = ini->sections[i];
        size_t name_length = strlen(section->name);
        char *to = save_room(out, most * name_length + 3);
        *to++ = '[';
        to = save_put(to, section->name, name_length, escaping);
        *to++ = ']';
        *to++ = '\n';
        out->used = (size_t)(to - out->bytes);
        for (int32_t j = 0; j < section->count; ++j) {
            const IniEntry *entry = section->entries[j];
            size_t length = key_length(entry);
            size_t value_length = strlen(entry->value);
            to = save_room(out, most * (length + value_length) + 3);
            if (entry->key[0] == '#')
                *to++ = '\\';
            to = save_put(to, entry->key, length, escaping);
            *to++ = '=';
            to = save_put(to, entry->value, value_length, escaping);
            *to++ = '\n';
            out->used = (size_t)(to - out->bytes);
        }
    }
}

int inifile_internal_any_check(const IniFile *ini, SaveMeasure *measure, IniError *error)
{
    const IniDocument *document = inifile_internal_document(ini);
    if (document->layout != NULL)
        return inifile_internal_layout_check(ini, error);
    if (document->options.flags != 0)
        return inifile_internal_dialect_check(ini, document->options.flags, error);
    return inifile_internal_save_check(ini, measure, error);
}

void inifile_internal_any_text(const IniFile *ini, const SaveMeasure *measure, SaveOutput *out)
{
    const IniDocument *document = inifile_internal_document(ini);
    if (document->layout != NULL)
        inifile_internal_layout_text(ini, out);
    else if (document->options.flags != 0)
        inifile_internal_dialect_text(ini, document->options.flags, out);
    else
        inifile_internal_save_text(ini, measure, out);
}

char *ini_save_to_memory(const IniFile *ini, size_t *length, IniError *error)
{
    inifile_internal_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    if (length != NULL)
        *length = 0;
    SaveMeasure measure = {SAVE_MEMORY_START, 0};
    if (!inifile_internal_any_check(ini, &measure, error))
        return NULL;
    // A document in the installer's format was measured exactly; the
    // others start with a guess and grow.
    SaveOutput out = {INIFILE_INVALID_FILE, NULL, 0, measure.size, 0, 0};
    size_add(&out.capacity, 1);  // the zero after the text
    out.bytes = (char *)inifile_internal_alloc(out.capacity);
    inifile_internal_any_text(ini, &measure, &out);
    save_room(&out, 1)[0] = '\0';
    if (length != NULL)
        *length = out.used;
    return out.bytes;
}
