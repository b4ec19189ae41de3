/*
 * The dialects of the options record: a reader of logical lines over a
 * text held whole in memory, which keeps every rule a switch can change,
 * and the writer's check and text for a document in a dialect. Documents
 * with no switch on go through the reader and writer of the installer's
 * format (reader.cpp, writer.cpp), which stream and are faster; with every
 * switch off this reader reads as that one does.
 */
#ifndef INIFILE_DIALECT_H
#define INIFILE_DIALECT_H

#include "internal.h"
#include "reader.h"
#include "writer.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Every switch this library knows. */
enum { INI_KNOWN_OPTIONS = (1u << 10) - 1 };

/* 1 for null options and for options that hold only switches this library
 * knows, with reserved fields 0. */
int inifile_internal_options_known(const IniOptions *options);

/* One logical line as the dialect reader gives it. */
typedef struct DialectLine {
    const char *text; /* escapes resolved, comments gone, outer blanks trimmed */
    size_t length;    /* 0 for a blank line */
    int64_t number;   /* physical line where its text begins */
    size_t indent;    /* blanks before its text on that line */
    int blank;        /* nothing but blanks: given only with INI_INDENTED_CONTINUATION */
    size_t start;     /* offset of its first physical line in the text */
    size_t end;       /* offset just past its last physical line, line feed included */
} DialectLine;

typedef struct DialectReader {
    const char *text;
    size_t length;
    size_t position;       /* where the next physical line starts */
    int64_t line;          /* its number, from 1 */
    uint32_t flags;        /* the INI_ switches */
    IniLineText line_text; /* where the logical line is gathered */
    int tracking;          /* raw is kept */
    size_t *raw;           /* for each byte of the logical line, the offset of its text */
    int64_t zero_line; /* the physical line of a zero byte that stopped the reading; 0 if none */
} DialectReader;

/* A reader of text from offset start (past a byte-order mark). */
void inifile_internal_dialect_start(DialectReader *reader, const char *text, size_t length,
                                    size_t start, uint32_t flags);

/* The next logical line into *line: 1; 0 at the end, or at a zero byte. */
int inifile_internal_dialect_next(DialectReader *reader, DialectLine *line);

/* Releases what the reader gathered lines in. */
void inifile_internal_dialect_end(DialectReader *reader);

/* Whether an unescaped ';' or '#' starts a comment where it stands, for
 * the reader that meets it and the writer that must not write one: at the
 * start of a logical line (empty: nothing of it yet), or after a blank
 * where comments start after blanks; and ';' anywhere by default. */
static inline int inifile_internal_comment_starts(char byte, uint32_t flags, int empty,
                                                  int after_blank)
{
    if (byte != ';' && byte != '#')
        return 0;
    if ((flags & INI_COMMENT_AFTER_BLANK) != 0)
        return empty || after_blank;
    if ((flags & INI_COMMENT_AT_LINE_START) != 0)
        return empty;
    return byte == ';' || empty;  // ';' anywhere, '#' first
}

/* The document of a dialect's text (flags not 0), or null with error
 * filled. owned is null, or text itself when it is a heap block of the
 * library's, which the call then keeps (INI_KEEP_LAYOUT) or frees. */
IniFile *inifile_internal_load_dialect(const char *text, size_t length, uint32_t flags, char *owned,
                                       IniError *error);

/* Whether a byte is a blank of the dialect: a space, or a tab where tabs
 * are blanks. */
static inline int inifile_internal_is_blank(char byte, uint32_t flags)
{
    return byte == ' ' || (byte == '\t' && (flags & INI_TAB_IS_BLANK) != 0);
}

/* What a text is on a line the writer writes. */
typedef enum DialectRole { ROLE_NAME, ROLE_KEY, ROLE_VALUE } DialectRole;

/* How the writer lays out the lines it writes: their line end, and what
 * stands before each continuation line of a value. */
typedef struct DialectStyle {
    const char *line_end;
    const char *indent;
} DialectStyle;

/* Room for the words of a refusal that names its switches. */
enum { DIALECT_FAULT_BYTES = 128 };

/* Writes text in its role, escaped as the dialect escapes, a value's line
 * feeds as continuation lines; or only checks it where out is null. Null,
 * or what the text cannot do ("hold a line feed"), into fault
 * (DIALECT_FAULT_BYTES). */
const char *inifile_internal_dialect_put(SaveOutput *out, const char *text, DialectRole role,
                                         uint32_t flags, const DialectStyle *style, char *fault);

/* Writes count bytes where out is not null. */
void inifile_internal_dialect_write(SaveOutput *out, const char *bytes, size_t count);

/* Why a nameless first section with no entries cannot be written: its
 * entries are all that shows it. */
#define DIALECT_NAMELESS_EMPTY "be empty in a section with no entries (INI_ENTRIES_BEFORE_HEADER)"

/* What a key cannot be at the ends of its line, or null. */
const char *inifile_internal_dialect_key_ends(const char *key, uint32_t flags);

/* Why an entry's line cannot be written where it would read as a header
 * (headers are tested first before any header, nameless, and where ':'
 * delimits), or null. */
const char *inifile_internal_dialect_header_fault(const IniEntry *entry, uint32_t flags,
                                                  int nameless);

/* The save's check and text for a document in a dialect, as
 * inifile_internal_save_check and inifile_internal_save_text are for the
 * installer's format. */
int inifile_internal_dialect_check(const IniFile *ini, uint32_t flags, IniError *error);
void inifile_internal_dialect_text(const IniFile *ini, uint32_t flags, SaveOutput *out);

#ifdef __cplusplus
}
#endif

#endif
