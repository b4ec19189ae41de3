// The text of a document in a dialect: names, keys and values written so
// that a load with the same options reads them back, escaped where the
// dialect escapes, a value holding line feeds on indented continuation
// lines where the dialect has them, and the entries of a nameless first
// section before any header. What the dialect cannot carry is refused,
// naming the switch that makes it so.
#include "dialect.h"

#include "internal.h"
#include "writer.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

// How a fresh document lays its lines out: line feeds, continuation lines
// indented by four spaces.
static const DialectStyle dialect_fresh = {"\n", "    "};

// The switches that make a comment start where an unescaped ';' or '#'
// stands, as a message names them.
static const char *dialect_comment_switches(uint32_t flags)
{
    if ((flags & INI_COMMENT_AFTER_BLANK) != 0)
        return "INI_COMMENT_AFTER_BLANK with INI_BACKSLASH_IS_TEXT";
    if ((flags & INI_COMMENT_AT_LINE_START) != 0)
        return "INI_COMMENT_AT_LINE_START with INI_BACKSLASH_IS_TEXT";
    return "INI_BACKSLASH_IS_TEXT";
}

void inifile_internal_dialect_write(SaveOutput *out, const char *bytes, size_t count)
{
    if (out == NULL || count == 0)
        return;
    memcpy(inifile_internal_save_room(out, count), bytes, count);
    out->used += count;
}

const char *inifile_internal_dialect_put(SaveOutput *out, const char *text, DialectRole role,
                                         uint32_t flags, const DialectStyle *style, char *fault)
{
    const int escapes = (flags & INI_BACKSLASH_IS_TEXT) == 0;
    const int colon = (flags & INI_COLON_DELIMITS) != 0;
    int empty = role == ROLE_KEY;  // nothing before it on its line
    int after_blank = role == ROLE_KEY;
    for (const char *at = text; *at != '\0'; ++at) {
        char byte = *at;
        if (byte == '\r')
            return "hold a carriage return";
        if (byte == '\n') {
            if (role != ROLE_VALUE || (flags & INI_INDENTED_CONTINUATION) == 0)
                return "hold a line feed";
            if (at[1] == '\0')
                return "end with a line feed (INI_INDENTED_CONTINUATION)";
            // The next line of the value, indented; a line of its own
            // that is empty stays empty.
            inifile_internal_dialect_write(out, style->line_end, strlen(style->line_end));
            if (at[1] != '\n')
                inifile_internal_dialect_write(out, style->indent, strlen(style->indent));
            empty = 1;
            after_blank = 1;
            continue;
        }
        if (role == ROLE_KEY && byte == '=')
            return "hold '='";
        if (role == ROLE_KEY && byte == ':' && colon)
            return "hold ':' (INI_COLON_DELIMITS)";
        if (role == ROLE_NAME && byte == '=' && !colon)
            return "hold '='";
        if (inifile_internal_comment_starts(byte, flags, empty, after_blank)) {
            if (!escapes) {
                // "hold ';' where it starts a comment (switches)"
                strcpy(fault, "hold '?' where it starts a comment (");
                fault[6] = byte;
                strcat(fault, dialect_comment_switches(flags));
                strcat(fault, ")");
                return fault;
            }
            inifile_internal_dialect_write(out, "\\", 1);
        } else if (escapes && byte == '\\') {
            inifile_internal_dialect_write(out, "\\", 1);
        }
        inifile_internal_dialect_write(out, &byte, 1);
        after_blank = inifile_internal_is_blank(byte, flags);
        empty = empty && after_blank;
    }
    return NULL;
}

// What a key cannot be at the ends of its line: empty, or with a blank the
// reader would trim.
const char *inifile_internal_dialect_key_ends(const char *key, uint32_t flags)
{
    size_t length = strlen(key);
    if (length == 0)
        return "be empty";
    char first = key[0];
    char last = key[length - 1];
    if (!inifile_internal_is_blank(first, flags) && !inifile_internal_is_blank(last, flags))
        return NULL;
    return first == '\t' || last == '\t' ? "begin or end with a tab (INI_TAB_IS_BLANK)"
                                         : "begin or end with a space";
}

// Whether an entry's line would read as a header where headers are tested
// first: before any header, and where ':' delimits too.
static int dialect_reads_as_header(const IniEntry *entry, uint32_t flags)
{
    if (entry->key[0] != '[')
        return 0;
    size_t length = strlen(entry->value);
    if (length > 0 && entry->value[length - 1] == ']')
        return 1;
    if ((flags & INI_COMMENT_AFTER_HEADER) == 0)
        return 0;
    const char *close = strchr(entry->value, ']');
    for (; close != NULL; close = strchr(close + 1, ']')) {
        const char *after = close + 1;
        while (inifile_internal_is_blank(*after, flags))
            after += 1;
        if (*after == ';' || *after == '#')
            return 1;
    }
    return 0;
}

const char *inifile_internal_dialect_header_fault(const IniEntry *entry, uint32_t flags,
                                                  int nameless)
{
    if (!(nameless || (flags & INI_COLON_DELIMITS) != 0) || !dialect_reads_as_header(entry, flags))
        return NULL;
    return nameless ? "begin a line that reads as a header (INI_ENTRIES_BEFORE_HEADER)"
                    : "begin a line that reads as a header (INI_COLON_DELIMITS)";
}

// The first section's entries stand before any header where it has no
// name and the dialect keeps such entries.
static int dialect_nameless_first(const IniFile *ini, int32_t index, uint32_t flags)
{
    return index == 0 && ini->sections[0]->name[0] == '\0' &&
           (flags & INI_ENTRIES_BEFORE_HEADER) != 0;
}

// Writes the whole document, or checks it where out is null: 1, or 0 with
// error naming the first section (and key) the dialect cannot carry.
static int dialect_document(const IniFile *ini, uint32_t flags, SaveOutput *out, IniError *error)
{
    char fault_text[DIALECT_FAULT_BYTES];
    for (int32_t i = 0; i < ini->count; ++i) {
        const IniSection *section = ini->sections[i];
        int nameless = dialect_nameless_first(ini, i, flags);
        const char *fault = NULL;
        if (section->name[0] == '\0' && !nameless) {
            fault = (flags & INI_ENTRIES_BEFORE_HEADER) != 0
                        ? "be empty, but in the first section (INI_ENTRIES_BEFORE_HEADER)"
                        : "be empty";
        } else if (nameless && section->count == 0) {
            fault = DIALECT_NAMELESS_EMPTY;
        } else if (!nameless) {
            inifile_internal_dialect_write(out, "[", 1);
            fault = inifile_internal_dialect_put(out, section->name, ROLE_NAME, flags,
                                                 &dialect_fresh, fault_text);
            inifile_internal_dialect_write(out, "]\n", 2);
        }
        if (fault != NULL)
            return inifile_internal_save_refuse(section, NULL, NULL, fault, error);
        for (int32_t j = 0; j < section->count; ++j) {
            const IniEntry *entry = section->entries[j];
            const char *what = "key";
            fault = inifile_internal_dialect_key_ends(entry->key, flags);
            if (fault == NULL)
                fault = inifile_internal_dialect_header_fault(entry, flags, nameless);
            if (fault == NULL)
                fault = inifile_internal_dialect_put(out, entry->key, ROLE_KEY, flags,
                                                     &dialect_fresh, fault_text);
            if (fault == NULL) {
                what = "value";
                inifile_internal_dialect_write(out, "=", 1);
                fault = inifile_internal_dialect_put(out, entry->value, ROLE_VALUE, flags,
                                                     &dialect_fresh, fault_text);
                inifile_internal_dialect_write(out, "\n", 1);
            }
            if (fault != NULL)
                return inifile_internal_save_refuse(section, entry, what, fault, error);
        }
    }
    return 1;
}

int inifile_internal_dialect_check(const IniFile *ini, uint32_t flags, IniError *error)
{
    return dialect_document(ini, flags, NULL, error);
}

void inifile_internal_dialect_text(const IniFile *ini, uint32_t flags, SaveOutput *out)
{
    dialect_document(ini, flags, out, NULL);
}
