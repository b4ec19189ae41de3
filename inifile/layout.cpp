// The layout a document keeps: its text, the lines that calls moved from
// one element to another, and the save that writes the text back with
// only what changed written anew.
#include "layout.h"

#include "dialect.h"
#include "internal.h"
#include "writer.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

void inifile_internal_layout_start(IniDocument *document, char *text, size_t length,
                                   uint32_t prologue_end)
{
    IniLayout *layout = (IniLayout *)inifile_internal_alloc(sizeof *layout);
    memset(layout, 0, sizeof *layout);
    layout->text = text;
    layout->length = length;
    layout->prologue_end = prologue_end;
    layout->trailer_start = (uint32_t)length;
    layout->line_end = "\n";
    document->layout = layout;
}

void inifile_internal_layout_free(IniDocument *document)
{
    IniLayout *layout = document->layout;
    if (layout == NULL)
        return;
    for (uint32_t i = 0; i < layout->lead_slots; ++i) {
        if (layout->leads[i].key != NULL)
            free(layout->leads[i].text);
    }
    free(layout->leads);
    free(layout->text);
    free(layout);
    document->layout = NULL;
}

LayoutSection *inifile_internal_layout_section(const IniDocument *document,
                                               const IniSection *section)
{
    if (document == NULL || document->layout == NULL ||
        !inifile_internal_arena_owns(&document->arena, section))
        return NULL;
    return (LayoutSection *)(inifile_internal_section_state(section) + 1);
}

LayoutEntry *inifile_internal_layout_entry(const IniDocument *document, const IniEntry *entry)
{
    if (document == NULL || document->layout == NULL ||
        !inifile_internal_arena_owns(&document->arena, entry))
        return NULL;
    return (LayoutEntry *)(entry + 1);
}

// ---- Leads that became texts of their own --------------------------------------

// A section's tail (the lines after its entries that calls put there) and
// the document's trailer have the odd address after their record's.
static const void *tail_of(const void *record)
{
    return (const char *)record + 1;
}

static uint32_t lead_slot(const IniLayout *layout, const void *key)
{
    uintptr_t hash = (uintptr_t)key * (uintptr_t)0x9E3779B97F4A7C15u;
    return (uint32_t)(hash >> (sizeof(uintptr_t) * 8 - 32)) & (layout->lead_slots - 1);
}

static LayoutLead *lead_find(const IniLayout *layout, const void *key)
{
    if (layout->lead_count == 0)
        return NULL;
    for (uint32_t slot = lead_slot(layout, key); layout->leads[slot].key != NULL;
         slot = (slot + 1) & (layout->lead_slots - 1)) {
        if (layout->leads[slot].key == key)
            return &layout->leads[slot];
    }
    return NULL;
}

// Takes the text of key's lead out of the table: null when it has none.
static char *lead_take(IniLayout *layout, const void *key, size_t *length)
{
    LayoutLead *found = lead_find(layout, key);
    *length = 0;
    if (found == NULL)
        return NULL;
    char *text = found->text;
    *length = found->length;
    // The slots after it in its run move back over the hole.
    uint32_t mask = layout->lead_slots - 1;
    uint32_t hole = (uint32_t)(found - layout->leads);
    layout->leads[hole].key = NULL;
    layout->leads[hole].text = NULL;
    layout->lead_count -= 1;
    for (uint32_t slot = (hole + 1) & mask; layout->leads[slot].key != NULL;
         slot = (slot + 1) & mask) {
        uint32_t home = lead_slot(layout, layout->leads[slot].key);
        int stays = hole <= slot ? (hole < home && home <= slot) : (hole < home || home <= slot);
        if (!stays) {
            layout->leads[hole] = layout->leads[slot];
            layout->leads[slot].key = NULL;
            layout->leads[slot].text = NULL;
            hole = slot;
        }
    }
    return text;
}

// Gives key's lead the text (a heap block the table takes over).
static void lead_put(IniLayout *layout, const void *key, char *text, size_t length)
{
    size_t old_length = 0;
    free(lead_take(layout, key, &old_length));
    if (2 * (layout->lead_count + 1) > layout->lead_slots) {
        LayoutLead *old = layout->leads;
        uint32_t old_slots = layout->lead_slots;
        layout->lead_slots = old_slots == 0 ? 16 : old_slots * 2;
        layout->leads =
            (LayoutLead *)inifile_internal_alloc(layout->lead_slots * sizeof(LayoutLead));
        memset(layout->leads, 0, layout->lead_slots * sizeof(LayoutLead));
        layout->lead_count = 0;
        for (uint32_t i = 0; i < old_slots; ++i) {
            if (old[i].key != NULL)
                lead_put(layout, old[i].key, old[i].text, old[i].length);
        }
        free(old);
    }
    uint32_t slot = lead_slot(layout, key);
    while (layout->leads[slot].key != NULL)
        slot = (slot + 1) & (layout->lead_slots - 1);
    layout->leads[slot].key = key;
    layout->leads[slot].text = text;
    layout->leads[slot].length = length;
    layout->lead_count += 1;
}

// ---- Where lines stand --------------------------------------------------------

// Where the first line of a loaded element stands: the first that is
// neither blank nor a comment from gap_start on.
static uint32_t first_line_of(const IniDocument *document, uint32_t gap_start)
{
    const IniLayout *layout = document->layout;
    DialectReader reader;
    inifile_internal_dialect_start(&reader, layout->text, layout->length, gap_start,
                                   document->options.flags);
    DialectLine line;
    uint32_t start = (uint32_t)layout->length;
    while (inifile_internal_dialect_next(&reader, &line)) {
        if (!line.blank) {
            start = (uint32_t)line.start;
            break;
        }
    }
    inifile_internal_dialect_end(&reader);
    return start;
}

// The blanks that begin the line at offset.
static size_t indent_at(const IniDocument *document, uint32_t offset)
{
    const IniLayout *layout = document->layout;
    size_t indent = 0;
    while (offset + indent < layout->length &&
           inifile_internal_is_blank(layout->text[offset + indent], document->options.flags))
        indent += 1;
    return indent;
}

// A piece of text: in the kept text, or of a lead of its own.
typedef struct Piece {
    const char *text;
    size_t length;
} Piece;

// The lead of key as it is now: its own text, or the lines from gap_start
// to start in the kept text.
static Piece lead_now(const IniDocument *document, const void *key, uint32_t gap_start,
                      uint32_t start)
{
    const LayoutLead *own = lead_find(document->layout, key);
    if (own != NULL)
        return {own->text, own->length};
    return {document->layout->text + gap_start, (size_t)(start - gap_start)};
}

static int line_is_blank(const char *line, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\n')
            return 0;
    }
    return 1;
}

// What stays of an element's lead when the element goes: all but the
// comment lines right above it (back to a blank line), which describe it;
// a heap copy, or null when nothing stays.
static char *lead_staying(Piece lead, size_t *length)
{
    size_t stay = lead.length;
    while (stay > 0) {
        // The line that ends at stay.
        size_t begin = stay - 1;
        while (begin > 0 && lead.text[begin - 1] != '\n')
            begin -= 1;
        if (line_is_blank(lead.text + begin, stay - begin))
            break;
        stay = begin;
    }
    *length = stay;
    return stay > 0 ? inifile_internal_copy(lead.text, stay) : NULL;
}

// The length of the blank lines that text ends with, or begins with.
static size_t blank_end(const char *text, size_t length)
{
    size_t at = length;
    while (at > 0) {
        size_t begin = at - 1;
        while (begin > 0 && text[begin - 1] != '\n')
            begin -= 1;
        if (!line_is_blank(text + begin, at - begin))
            break;
        at = begin;
    }
    return length - at;
}

static size_t blank_start(const char *text, size_t length)
{
    size_t at = 0;
    while (at < length) {
        const char *feed = (const char *)memchr(text + at, '\n', length - at);
        size_t line = feed != NULL ? (size_t)(feed - text) + 1 - at : length - at;
        if (feed == NULL || !line_is_blank(text + at, line))
            break;
        at += line;
    }
    return at;
}

// Gives key's lead what stayed of the lead of an element removed before
// it, then what it held. With collapse, the blank lines where the two
// meet become one.
static void lead_prepend(IniDocument *document, const void *key, Piece now, char *kept,
                         size_t kept_length, int collapse)
{
    if (kept == NULL && !collapse)
        return;
    size_t drop_kept = 0;  // blank lines at the end of kept that go
    size_t drop_now = 0;   // and at the start of now
    if (collapse) {
        // Of the blank lines where the two meet, the first stays.
        drop_kept = blank_end(kept, kept_length);
        drop_now = blank_start(now.text, now.length);
        const char *first = drop_kept > 0 ? kept + kept_length - drop_kept : now.text;
        size_t run = drop_kept > 0 ? drop_kept : drop_now;
        const char *feed = (const char *)memchr(first, '\n', run);
        size_t line = feed != NULL ? (size_t)(feed - first) + 1 : run;
        if (drop_kept > 0)
            drop_kept -= line;
        else
            drop_now -= line;
    }
    size_t length = kept_length - drop_kept + now.length - drop_now;
    char *text = (char *)inifile_internal_alloc(length > 0 ? length : 1);
    if (kept_length > drop_kept)
        memcpy(text, kept, kept_length - drop_kept);
    memcpy(text + kept_length - drop_kept, now.text + drop_now, now.length - drop_now);
    free(kept);
    lead_put(document->layout, key, text, length);
}

// ---- What calls tell the layout ------------------------------------------------

// The lead an entry has now.
static Piece entry_lead(const IniDocument *document, const IniEntry *entry)
{
    const LayoutEntry *place = inifile_internal_layout_entry(document, entry);
    if (place == NULL)
        return lead_now(document, entry, 0, 0);
    return lead_now(document, entry, place->gap_start, first_line_of(document, place->gap_start));
}

static Piece section_lead(const IniDocument *document, const IniSection *section)
{
    const LayoutSection *place = inifile_internal_layout_section(document, section);
    if (place == NULL)
        return lead_now(document, section, 0, 0);
    return lead_now(document, section, place->span.gap_start, place->span.start);
}

char *inifile_internal_layout_entry_removing(IniDocument *document, const IniEntry *entry,
                                             size_t *length)
{
    *length = 0;
    if (document == NULL || document->layout == NULL)
        return NULL;
    char *kept = lead_staying(entry_lead(document, entry), length);
    size_t own = 0;
    free(lead_take(document->layout, entry, &own));
    return kept;
}

void inifile_internal_layout_entry_removed(IniDocument *document, const IniSection *section,
                                           int32_t index, char *kept, size_t length)
{
    if (document == NULL || document->layout == NULL || kept == NULL)
        return;
    if (index < section->count) {
        const IniEntry *next = section->entries[index];
        lead_prepend(document, next, entry_lead(document, next), kept, length, 0);
    } else {
        lead_prepend(document, tail_of(section), lead_now(document, tail_of(section), 0, 0), kept,
                     length, 0);
    }
}

// Drops the leads of a section that goes, and of its entries.
static void leads_drop(IniDocument *document, const IniSection *section)
{
    size_t length = 0;
    free(lead_take(document->layout, section, &length));
    for (int32_t i = 0; i < section->count; ++i)
        free(lead_take(document->layout, section->entries[i], &length));
}

char *inifile_internal_layout_section_removing(IniDocument *document, const IniSection *section,
                                               size_t *length)
{
    *length = 0;
    if (document == NULL || document->layout == NULL)
        return NULL;
    // What stays of its lead, and the lines calls left after its entries.
    size_t stay = 0;
    size_t below = 0;
    char *kept = lead_staying(section_lead(document, section), &stay);
    char *tail = lead_take(document->layout, tail_of(section), &below);
    leads_drop(document, section);
    *length = stay + below;
    if (tail == NULL)
        return kept;
    char *both = (char *)inifile_internal_alloc(stay + below);
    if (stay > 0)
        memcpy(both, kept, stay);
    memcpy(both + stay, tail, below);
    free(kept);
    free(tail);
    return both;
}

void inifile_internal_layout_section_removed(IniDocument *document, int32_t index, char *kept,
                                             size_t length)
{
    if (document == NULL || document->layout == NULL)
        return;
    const IniFile *ini = &document->file;
    if (index < ini->count) {
        const IniSection *next = ini->sections[index];
        lead_prepend(document, next, section_lead(document, next), kept, length, 1);
    } else {
        const IniLayout *layout = document->layout;
        Piece trailer =
            lead_now(document, tail_of(document), layout->trailer_start, (uint32_t)layout->length);
        lead_prepend(document, tail_of(document), trailer, kept, length, 1);
    }
}

void inifile_internal_layout_section_replace(IniDocument *document, const IniSection *old,
                                             const IniSection *replacement)
{
    if (document == NULL || document->layout == NULL)
        return;
    // The new section stands below the old one's lead, and the lines calls
    // left after the old one's entries stay after the new one's.
    Piece lead = section_lead(document, old);
    char *copy = inifile_internal_copy(lead.text, lead.length);
    size_t tail_length = 0;
    char *tail = lead_take(document->layout, tail_of(old), &tail_length);
    leads_drop(document, old);
    lead_put(document->layout, replacement, copy, lead.length);
    if (tail != NULL)
        lead_put(document->layout, tail_of(replacement), tail, tail_length);
}

// ---- An entry's lines read again ----------------------------------------------

enum { NO_DELIMITER = UINT32_MAX };

// A loaded entry's lines read again: where the parts of its first line
// stand, where its value stands, and the value as the load read it.
typedef struct EntryLines {
    uint32_t start;       // its first line
    uint32_t indent_end;  // past the blanks that begin it
    uint32_t key_end;     // past the key's last byte
    uint32_t delimiter;   // where it stands, or NO_DELIMITER
    uint32_t value_start;
    uint32_t value_end;
    IniLineText value;
} EntryLines;

// Where the text of byte i of the logical line ends (an escaped byte's
// began with its backslash).
static uint32_t text_end(const DialectReader *reader, size_t i)
{
    size_t at = reader->raw[i];
    if ((reader->flags & INI_BACKSLASH_IS_TEXT) == 0 && reader->text[at] == '\\') {
        at += 1;
        while (reader->text[at] == '\r')
            at += 1;
    }
    return (uint32_t)at + 1;
}

static void value_put(IniLineText *value, const char *bytes, size_t count)
{
    while (value->capacity - value->length < count) {
        value->capacity = value->capacity == 0 ? 64 : value->capacity * 2;
        value->bytes = (char *)inifile_internal_realloc(value->bytes, value->capacity);
    }
    if (count > 0)
        memcpy(value->bytes + value->length, bytes, count);
    value->length += count;
}

static void entry_lines(const IniDocument *document, const LayoutEntry *place, EntryLines *lines)
{
    const uint32_t flags = document->options.flags;
    const IniLayout *layout = document->layout;
    DialectReader reader;
    inifile_internal_dialect_start(&reader, layout->text, layout->length, place->gap_start, flags);
    reader.tracking = 1;
    DialectLine line;
    while (inifile_internal_dialect_next(&reader, &line) && line.blank) {
    }
    const char *text = line.text;
    size_t delimiter = 0;
    while (delimiter < line.length && text[delimiter] != '=' &&
           !(text[delimiter] == ':' && (flags & INI_COLON_DELIMITS) != 0))
        delimiter += 1;
    size_t key = delimiter;
    while (key > 1 && inifile_internal_is_blank(text[key - 1], flags))
        key -= 1;
    lines->start = (uint32_t)line.start;
    lines->indent_end = (uint32_t)reader.raw[0];
    lines->key_end = text_end(&reader, key - 1);
    lines->value.length = 0;
    if (delimiter == line.length) {
        lines->delimiter = NO_DELIMITER;
        lines->value_start = lines->value_end = lines->key_end;
    } else {
        lines->delimiter = (uint32_t)reader.raw[delimiter];
        size_t value = delimiter + 1;
        while (value < line.length && inifile_internal_is_blank(text[value], flags))
            value += 1;
        if (value < line.length) {
            lines->value_start = (uint32_t)reader.raw[value];
            lines->value_end = text_end(&reader, line.length - 1);
        } else {
            // No value: one would go after the blanks that follow the delimiter.
            uint32_t at = lines->delimiter + 1;
            while (at < layout->length && inifile_internal_is_blank(layout->text[at], flags))
                at += 1;
            lines->value_start = lines->value_end = at;
        }
        value_put(&lines->value, text + value, line.length - value);
    }
    // Indented lines continue it, with the blank lines between them.
    size_t indent = line.indent;
    int64_t blank_lines = 0;
    while ((flags & INI_INDENTED_CONTINUATION) != 0 &&
           inifile_internal_dialect_next(&reader, &line)) {
        if (line.blank) {
            blank_lines += 1;
            continue;
        }
        if (line.indent <= indent)
            break;
        for (int64_t i = 0; i <= blank_lines; ++i)
            value_put(&lines->value, "\n", 1);
        value_put(&lines->value, line.text, line.length);
        lines->value_end = text_end(&reader, line.length - 1);
        blank_lines = 0;
    }
    inifile_internal_dialect_end(&reader);
}

// ---- The save --------------------------------------------------------------------

// The text going out: pieces of the kept text that follow each other are
// gathered and written at once; an unchanged document is one piece.
typedef struct Emitter {
    SaveOutput *out;   // null: only checking
    const char *text;  // the kept text
    size_t run_start;
    size_t run_end;
    int at_line_start;  // what went out last ended a line, or nothing did
    int written;        // anything went out after the prologue
    const char *line_end;
    int dangling_escape;  // the kept text ends in a backslash that escapes
    size_t text_length;
    int at_text_end;      // what went out last ended the kept text
    size_t entry_indent;  // the blanks before the entry last written; NO_ENTRY after a header
} Emitter;

// No entry since the last header: any indentation starts an entry.
static const size_t NO_ENTRY = SIZE_MAX;

static void emit_flush(Emitter *emitter)
{
    inifile_internal_dialect_write(emitter->out, emitter->text + emitter->run_start,
                                   emitter->run_end - emitter->run_start);
    emitter->run_start = emitter->run_end = 0;
}

static void emit_span(Emitter *emitter, size_t start, size_t end)
{
    if (start == end)
        return;
    if (emitter->run_end != start || emitter->run_start == emitter->run_end) {
        emit_flush(emitter);
        emitter->run_start = start;
    }
    emitter->run_end = end;
    emitter->at_line_start = emitter->text[end - 1] == '\n';
    emitter->at_text_end = end == emitter->text_length;
    emitter->written = 1;
}

static void emit_text(Emitter *emitter, const char *text, size_t length)
{
    if (length == 0)
        return;
    emit_flush(emitter);
    inifile_internal_dialect_write(emitter->out, text, length);
    emitter->at_line_start = text[length - 1] == '\n';
    emitter->at_text_end = 0;
    emitter->written = 1;
}

static void emit_own(Emitter *emitter, const LayoutLead *own)
{
    if (own != NULL)
        emit_text(emitter, own->text, own->length);
}

// Before a line written anew: the line before it ends first. (Only the
// kept text's last line may lack its line end.) Where the kept text ends
// in a backslash that escapes, before its line end or without one, the
// end of the text made nothing of it: an empty line keeps it from
// continuing into the new one.
static void emit_new_line(Emitter *emitter)
{
    int dangling = emitter->dangling_escape && emitter->at_text_end;
    if (!emitter->at_line_start)
        emit_text(emitter, emitter->line_end, strlen(emitter->line_end));
    if (dangling)
        emit_text(emitter, emitter->line_end, strlen(emitter->line_end));
    emit_flush(emitter);
    emitter->at_line_start = 0;
    emitter->at_text_end = 0;
    emitter->written = 1;
}

// How a line written anew for an entry is laid out: as the entry it
// follows, its indentation, the blanks around its delimiter.
typedef struct EntryStyle {
    const char *indent;
    size_t indent_length;
    const char *before;  // blanks, the delimiter, blanks
    size_t before_length;
    char delimiter;
    size_t after;  // bytes of before past the delimiter
} EntryStyle;

static EntryStyle style_of(const IniDocument *document, const IniEntry *model)
{
    EntryStyle style = {"", 0, "=", 1, '=', 0};
    const LayoutEntry *place =
        model != NULL ? inifile_internal_layout_entry(document, model) : NULL;
    if (place == NULL)
        return style;
    EntryLines lines;
    memset(&lines, 0, sizeof lines);
    entry_lines(document, place, &lines);
    free(lines.value.bytes);
    const char *text = document->layout->text;
    style.indent = text + lines.start;
    style.indent_length = lines.indent_end - lines.start;
    if (lines.delimiter != NO_DELIMITER) {
        style.before = text + lines.key_end;
        style.before_length = lines.value_start - lines.key_end;
    }
    return style;
}

// The entry whose layout the section's new entries follow: its last one
// that the load made, else the first such of the document.
static const IniEntry *style_model(const IniDocument *document, const IniSection *section)
{
    for (int32_t j = section->count - 1; j >= 0; --j) {
        if (inifile_internal_layout_entry(document, section->entries[j]) != NULL)
            return section->entries[j];
    }
    const IniFile *ini = &document->file;
    for (int32_t i = 0; i < ini->count; ++i) {
        for (int32_t j = 0; j < ini->sections[i]->count; ++j) {
            if (inifile_internal_layout_entry(document, ini->sections[i]->entries[j]) != NULL)
                return ini->sections[i]->entries[j];
        }
    }
    return NULL;
}

// Writes (or checks) the value of an entry in the dialect; continuation
// lines indented past the entry's own line.
static const char *emit_value(Emitter *emitter, const IniDocument *document, const char *value,
                              const char *indent, size_t indent_length, char *fault)
{
    char deeper[256];
    size_t kept = indent_length < sizeof deeper - 5 ? indent_length : sizeof deeper - 5;
    memcpy(deeper, indent, kept);
    memcpy(deeper + kept, "    ", 5);
    const DialectStyle style = {emitter->line_end, deeper};
    emit_flush(emitter);
    return inifile_internal_dialect_put(emitter->out, value, ROLE_VALUE, document->options.flags,
                                        &style, fault);
}

// A line written anew for an entry that calls added.
static const char *emit_fresh_entry(Emitter *emitter, const IniDocument *document,
                                    const IniEntry *entry, const EntryStyle *style, int nameless,
                                    const char **what, char *fault)
{
    const uint32_t flags = document->options.flags;
    const DialectStyle plain = {emitter->line_end, ""};
    *what = "key";
    const char *problem = inifile_internal_dialect_key_ends(entry->key, flags);
    if (problem == NULL)
        problem = inifile_internal_dialect_header_fault(entry, flags, nameless);
    if (problem != NULL)
        return problem;
    // Where indented lines continue a value, no deeper than the entry
    // before it, or it would be read as part of that one's value.
    size_t indent = style->indent_length;
    if ((flags & INI_INDENTED_CONTINUATION) != 0 && emitter->entry_indent < indent)
        indent = emitter->entry_indent;
    emit_new_line(emitter);
    inifile_internal_dialect_write(emitter->out, style->indent, indent);
    emitter->entry_indent = indent;
    problem =
        inifile_internal_dialect_put(emitter->out, entry->key, ROLE_KEY, flags, &plain, fault);
    if (problem != NULL)
        return problem;
    inifile_internal_dialect_write(emitter->out, style->before, style->before_length);
    *what = "value";
    problem = emit_value(emitter, document, entry->value, style->indent, indent, fault);
    inifile_internal_dialect_write(emitter->out, emitter->line_end, strlen(emitter->line_end));
    emitter->at_line_start = 1;
    return problem;
}

// The lines of an entry the load made: as they were where its value is the
// same, with the new value in place of the old one otherwise.
static const char *emit_loaded_entry(Emitter *emitter, const IniDocument *document,
                                     const IniEntry *entry, const LayoutEntry *place, char *fault)
{
    const LayoutLead *own = lead_find(document->layout, entry);
    int same = inifile_internal_arena_owns(&document->arena, entry->key);
    EntryLines lines;
    memset(&lines, 0, sizeof lines);
    if (!same) {
        entry_lines(document, place, &lines);
        same = lines.value.length == strlen(entry->value) &&
               memcmp(lines.value.bytes, entry->value, lines.value.length) == 0;
    }
    // Where indented lines continue a value, a line deeper than the entry
    // written before it would now be read as part of its value (the
    // element between them gone): its extra blanks go.
    uint32_t first = UINT32_MAX;
    size_t skip = 0;
    if ((document->options.flags & INI_INDENTED_CONTINUATION) != 0) {
        first = first_line_of(document, place->gap_start);
        size_t indent = indent_at(document, first);
        if (emitter->entry_indent != NO_ENTRY && indent > emitter->entry_indent)
            skip = indent - emitter->entry_indent;
        emitter->entry_indent = indent - skip;
    }
    const char *problem = NULL;
    if (same && own == NULL && skip == 0) {
        emit_span(emitter, place->gap_start, place->end);
    } else if (same) {
        if (first == UINT32_MAX)
            first = first_line_of(document, place->gap_start);
        if (own != NULL)
            emit_own(emitter, own);
        else
            emit_span(emitter, place->gap_start, first);
        emit_span(emitter, first + skip, place->end);
    } else {
        if (own != NULL)
            emit_own(emitter, own);
        else
            emit_span(emitter, place->gap_start, lines.start);
        emit_span(emitter, lines.start + skip, lines.value_start);
        if (lines.delimiter == NO_DELIMITER)
            emit_text(emitter, "=", 1);
        problem = emit_value(emitter, document, entry->value, document->layout->text + lines.start,
                             lines.indent_end - lines.start - skip, fault);
        emit_span(emitter, lines.value_end, place->end);
    }
    free(lines.value.bytes);
    return problem;
}

static void emit_trailer(Emitter *emitter, const IniDocument *document)
{
    const IniLayout *layout = document->layout;
    const LayoutLead *own = lead_find(layout, tail_of(document));
    if (own != NULL)
        emit_own(emitter, own);
    else
        emit_span(emitter, layout->trailer_start, layout->length);
}

// Writes the document, or checks it where out is null: 1, or 0 with error
// naming the first section (and key) written anew that the dialect cannot
// carry.
static int layout_document(const IniFile *ini, SaveOutput *out, IniError *error)
{
    const IniDocument *document = inifile_internal_document(ini);
    const IniLayout *layout = document->layout;
    const uint32_t flags = document->options.flags;
    const int continuing = (flags & INI_INDENTED_CONTINUATION) != 0;
    if (!document->changed) {
        inifile_internal_dialect_write(out, layout->text, layout->length);
        return 1;
    }
    // A backslash that escapes at the very end of the text, before its
    // line end or without one.
    size_t end = layout->length;
    if (end > 0 && layout->text[end - 1] == '\n')
        end -= 1;
    while (end > 0 && layout->text[end - 1] == '\r')
        end -= 1;
    size_t backslashes = 0;
    while (backslashes < end && layout->text[end - 1 - backslashes] == '\\')
        backslashes += 1;
    Emitter emitter = {out,
                       layout->text,
                       0,
                       0,
                       1,
                       0,
                       layout->line_end,
                       (flags & INI_BACKSLASH_IS_TEXT) == 0 && backslashes % 2 == 1,
                       layout->length,
                       0,
                       NO_ENTRY};
    emit_span(&emitter, 0, layout->prologue_end);
    emitter.written = 0;
    // The lines after the last element stay after the last section that
    // stands where the text had one.
    int32_t last_placed = -1;
    for (int32_t i = 0; i < ini->count; ++i) {
        if (inifile_internal_layout_section(document, ini->sections[i]) != NULL ||
            lead_find(layout, ini->sections[i]) != NULL)
            last_placed = i;
    }
    if (last_placed < 0)
        emit_trailer(&emitter, document);
    char fault[DIALECT_FAULT_BYTES];
    for (int32_t i = 0; i < ini->count; ++i) {
        const IniSection *section = ini->sections[i];
        const LayoutSection *place = inifile_internal_layout_section(document, section);
        const LayoutLead *own = lead_find(layout, section);
        int nameless = i == 0 && section->name[0] == '\0' && (flags & INI_ENTRIES_BEFORE_HEADER);
        if (nameless && section->count == 0)
            return inifile_internal_save_refuse(section, NULL, NULL, DIALECT_NAMELESS_EMPTY, error);
        if (place != NULL) {
            if (own != NULL)
                emit_own(&emitter, own);
            else
                emit_span(&emitter, place->span.gap_start, place->span.start);
            // A header deeper than the entry before it would continue its
            // value: its extra blanks go.
            size_t skip = 0;
            if (continuing && emitter.entry_indent != NO_ENTRY &&
                place->span.start < place->span.end) {
                size_t indent = indent_at(document, place->span.start);
                skip = indent > emitter.entry_indent ? indent - emitter.entry_indent : 0;
            }
            emit_span(&emitter, place->span.start + skip, place->span.end);
            if (place->span.start < place->span.end)
                emitter.entry_indent = NO_ENTRY;
        } else {
            if (own != NULL)
                emit_own(&emitter, own);
            else if (layout->separated && emitter.written)
                emit_text(&emitter, layout->line_end, strlen(layout->line_end));
            const char *problem = section->name[0] == '\0' && !nameless ? "be empty" : NULL;
            if (problem == NULL && !nameless) {
                const DialectStyle plain = {layout->line_end, ""};
                emit_new_line(&emitter);
                inifile_internal_dialect_write(out, "[", 1);
                problem = inifile_internal_dialect_put(out, section->name, ROLE_NAME, flags, &plain,
                                                       fault);
                inifile_internal_dialect_write(out, "]", 1);
                inifile_internal_dialect_write(out, layout->line_end, strlen(layout->line_end));
                emitter.at_line_start = 1;
                emitter.entry_indent = NO_ENTRY;
            }
            if (problem != NULL)
                return inifile_internal_save_refuse(section, NULL, NULL, problem, error);
        }
        EntryStyle style;
        int styled = 0;
        for (int32_t j = 0; j < section->count; ++j) {
            const IniEntry *entry = section->entries[j];
            const LayoutEntry *entry_place = inifile_internal_layout_entry(document, entry);
            const char *what = "value";
            const char *problem = NULL;
            if (entry_place != NULL) {
                problem = emit_loaded_entry(&emitter, document, entry, entry_place, fault);
            } else {
                if (!styled) {
                    style = style_of(document, style_model(document, section));
                    styled = 1;
                }
                emit_own(&emitter, lead_find(layout, entry));
                problem = emit_fresh_entry(&emitter, document, entry, &style,
                                           nameless && place == NULL, &what, fault);
            }
            if (problem != NULL)
                return inifile_internal_save_refuse(section, entry, what, problem, error);
        }
        emit_own(&emitter, lead_find(layout, tail_of(section)));
        if (i == last_placed)
            emit_trailer(&emitter, document);
    }
    emit_flush(&emitter);
    return 1;
}

int inifile_internal_layout_check(const IniFile *ini, IniError *error)
{
    return layout_document(ini, NULL, error);
}

void inifile_internal_layout_text(const IniFile *ini, SaveOutput *out)
{
    layout_document(ini, out, NULL);
}
