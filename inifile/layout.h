/*
 * The layout a document keeps (INI_KEEP_LAYOUT): its text as loaded, where
 * each section and entry stands in it, and the lines that calls moved
 * between them; and the save that writes the text back, changed only
 * where the document was.
 *
 * Each element owns the lines before it (comments and blank lines since
 * the element before it in the file, its "lead") and its own lines. A
 * section, and an entry, that a load made carries its place in a record
 * laid right after its own in the document's arena; sections and entries
 * that calls made have none and are written fresh. Where a call moves lines
 * from one element to another (the blank lines of an entry removed, the
 * comments above a section replaced), the element's lead becomes a text of
 * its own, kept in a table by the element's address.
 */
#ifndef INIFILE_LAYOUT_H
#define INIFILE_LAYOUT_H

#include "internal.h"
#include "writer.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Where a loaded element stands, as offsets into the kept text. */
typedef struct LayoutSpan {
    uint32_t gap_start; /* its lead: the lines after the element before it */
    uint32_t start;     /* its first line (a section's header; the same as end
                           for the nameless first section, which has none) */
    uint32_t end;       /* just past its last line, line end included */
} LayoutSpan;

/* After a loaded section's IniSectionState. */
typedef struct LayoutSection {
    LayoutSpan span;
} LayoutSection;

/* After a loaded entry's IniEntry: its first line is found again from
 * gap_start when it is needed. */
typedef struct LayoutEntry {
    uint32_t gap_start;
    uint32_t end;
} LayoutEntry;

/* A lead that became a text of its own: the element's address (an odd
 * address for a section's tail or the document's trailer), the text. */
typedef struct LayoutLead {
    const void *key; /* null: free */
    char *text;
    size_t length;
} LayoutLead;

typedef struct IniLayout {
    char *text; /* the text as loaded, owned */
    size_t length;
    uint32_t prologue_end;  /* a byte-order mark before everything */
    uint32_t trailer_start; /* the lines after the last element */
    const char *line_end;   /* "\n", or "\r\n" where the file's first line ends so */
    int separated;          /* a blank line stands before the file's later headers */
    LayoutLead *leads;      /* open addressing by key */
    uint32_t lead_slots;    /* a power of two, or 0 */
    uint32_t lead_count;
} IniLayout;

/* Keeps text (a heap block the layout owns from now on) for document. */
void inifile_internal_layout_start(IniDocument *document, char *text, size_t length,
                                   uint32_t prologue_end);
void inifile_internal_layout_free(IniDocument *document);

/* The records laid after a loaded element's own, or null for one made by
 * calls (or in a document that keeps no layout). */
LayoutSection *inifile_internal_layout_section(const IniDocument *document,
                                               const IniSection *section);
LayoutEntry *inifile_internal_layout_entry(const IniDocument *document, const IniEntry *entry);

/* What the calls that change a document tell the layout. The removals
 * call ..._removing before the element goes and ..._removed once the array
 * holds its new order, with the lines that stay, which ..._removing
 * returned; ini_put_section calls ..._replace before the old section goes. */
char *inifile_internal_layout_entry_removing(IniDocument *document, const IniEntry *entry,
                                             size_t *length);
void inifile_internal_layout_entry_removed(IniDocument *document, const IniSection *section,
                                           int32_t index, char *kept, size_t length);
char *inifile_internal_layout_section_removing(IniDocument *document, const IniSection *section,
                                               size_t *length);
void inifile_internal_layout_section_removed(IniDocument *document, int32_t index, char *kept,
                                             size_t length);
void inifile_internal_layout_section_replace(IniDocument *document, const IniSection *old,
                                             const IniSection *replacement);

/* The save's check and text for a document that keeps its layout. */
int inifile_internal_layout_check(const IniFile *ini, IniError *error);
void inifile_internal_layout_text(const IniFile *ini, SaveOutput *out);

#ifdef __cplusplus
}
#endif

#endif
