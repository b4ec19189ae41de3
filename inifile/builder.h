/*
 * Building a loaded document: the loaders (loader.cpp for the installer's
 * format, dialect_loader.cpp for the others) hand over headers and entries
 * in file order; the builder puts every record, name, key and value in the
 * document's arena, each section's entries in an array of the capacity
 * appending them one by one would have given, and indexes the whole at
 * the end.
 */
#ifndef INIFILE_BUILDER_H
#define INIFILE_BUILDER_H

#include "internal.h"
#include "layout.h"
#include "reader.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct IniBuilder {
    IniDocument *document;
    IniSection *section; /* the section whose entries are arriving */
    IniEntry **entries;  /* its entries so far, on the heap */
    int32_t count;
    int32_t capacity;
    int64_t input_size; /* bytes the input holds, as far as known; 0 if not */
} IniBuilder;

/* A builder of a new empty document. */
void inifile_internal_builder_start(IniBuilder *builder, int64_t input_size);

/* A new section; the entries that follow are its own. Where the document
 * keeps its layout, span says where the section stands in the text. */
void inifile_internal_builder_header(IniBuilder *builder, const char *name, size_t length,
                                     const LayoutSpan *span);

/* An entry of the current section, and where it stands (or null). */
void inifile_internal_builder_entry(IniBuilder *builder, const char *key, size_t key_length,
                                    const char *value, size_t value_length, const LayoutSpan *span);

/* Tells the builder how many bytes of the input it has been given so far,
 * so that the arena's blocks fit what is still to come. */
void inifile_internal_builder_progress(IniBuilder *builder, int64_t consumed);

/* The document, indexed, when complete is 1; otherwise it is destroyed and
 * the result is null. */
IniFile *inifile_internal_builder_finish(IniBuilder *builder, int complete);

/* The reports of a load that fails, worded once for both loaders. */
void inifile_internal_report_syntax(IniError *error, int64_t line, const char *text, size_t length,
                                    int in_section);
void inifile_internal_report_mark(IniError *error, IniByteOrderMark mark);
void inifile_internal_report_zero(IniError *error, int64_t line);

#ifdef __cplusplus
}
#endif

#endif
