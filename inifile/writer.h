/*
 * What the writer (writer.cpp) gives the saves (writer.cpp's
 * ini_save_to_memory, save.cpp's ini_save): the check that a document can
 * be stored, and its text, into a buffer that a file empties or that grows
 * in memory.
 */
#ifndef INIFILE_WRITER_H
#define INIFILE_WRITER_H

#include "internal.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A file's text is gathered into writes this large: a file of a million
 * lines then costs a few hundred system calls instead of a million. */
enum { SAVE_BUFFER_BYTES = 64 * 1024 };

/* Where the text goes: a file, through a buffer of its own, or one heap
 * block made large enough for all of it beforehand. */
typedef struct SaveOutput {
    intptr_t file; /* the temporary; INIFILE_INVALID_FILE for text in memory */
    char *bytes;
    size_t used;
    size_t capacity;
    int failed;           /* a write failed: nothing more is written */
    int32_t system_error; /* why */
} SaveOutput;

/* What the check found out about a document's text. */
typedef struct SaveMeasure {
    size_t size;    /* its length in bytes */
    size_t escapes; /* of them, backslashes before ';' and '\' */
} SaveMeasure;

/* 1 when the text can carry the whole document, with *measure filled when
 * measure is not null; 0 with error naming the first section (and key) it
 * cannot carry. */
int inifile_internal_save_check(const IniFile *ini, SaveMeasure *measure, IniError *error);

/* Puts the text of a document that passed the check into out. */
void inifile_internal_save_text(const IniFile *ini, const SaveMeasure *measure, SaveOutput *out);

/* Text in memory starts this large where its size is not known. */
enum { SAVE_MEMORY_START = 4096 };

/* Makes room for count more bytes: a file's buffer is written out, text in
 * memory grows. Where the next bytes go. */
char *inifile_internal_save_room(SaveOutput *out, size_t count);

/* The check and the text for any document: kept layout, a dialect, or the
 * installer's format (which alone fills measure, left as it was else). */
int inifile_internal_any_check(const IniFile *ini, SaveMeasure *measure, IniError *error);
void inifile_internal_any_text(const IniFile *ini, const SaveMeasure *measure, SaveOutput *out);

/* Reports a section (entry null) or one of its keys (what: "key" or
 * "value") that the text cannot carry, as fault says: 0. */
int inifile_internal_save_refuse(const IniSection *section, const IniEntry *entry, const char *what,
                                 const char *fault, IniError *error);

/* Writes out what a file's buffer holds. */
void inifile_internal_save_flush(SaveOutput *out);

#ifdef __cplusplus
}
#endif

#endif
