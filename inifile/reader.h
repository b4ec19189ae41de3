/*
 * The logical-line reader that ini_read_line and the loaders share: the
 * format's rules for gathering lines, written once, over a chunk of any
 * size. ini_read_line drives it with the 1,024-byte buffer of its public
 * IniLineReader; ini_load with a larger buffer of its own, and
 * ini_load_from_memory over the caller's text in place. Both loaders ask
 * it where each line began. The size of the chunks changes no line.
 */
#ifndef INIFILE_READER_H
#define INIFILE_READER_H

#include "file.h"
#include "internal.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the first bytes of a file say about its encoding. */
typedef enum IniByteOrderMark {
    INI_MARK_NONE,     /* no mark: bytes read as they are */
    INI_MARK_UTF8,     /* EF BB BF, stepped over */
    INI_MARK_UTF16_LE, /* FF FE */
    INI_MARK_UTF16_BE, /* FE FF */
    INI_MARK_UTF32_LE, /* FF FE 00 00 */
    INI_MARK_UTF32_BE, /* 00 00 FE FF */
    INI_MARK_UNDECIDED /* too few bytes yet to tell */
} IniByteOrderMark;

/* A logical line being gathered: a heap buffer kept from line to line. */
typedef struct IniLineText {
    char *bytes;
    size_t length;
    size_t capacity;
} IniLineText;

/* A logical line as the reader hands it over: length bytes, not
 * zero-terminated, valid until the next line is asked for. */
typedef struct IniLineView {
    const char *text;
    size_t length;
} IniLineView;

/* One open file, or one text in memory, being read into logical lines.
 * Start it with inifile_internal_line_source_start or
 * inifile_internal_line_source_text. */
typedef struct IniLineSource {
    intptr_t handle;       /* open file, never closed here; INIFILE_INVALID_FILE for text */
    char *buffer;          /* a file's: capacity bytes, owned by the caller */
    const char *chunk;     /* the bytes being read: buffer, or a piece of the text */
    const char *rest;      /* text: what no chunk has reached yet */
    size_t rest_length;    /* its length in bytes */
    uint32_t capacity;     /* the most bytes a chunk holds */
    uint32_t filled;       /* bytes the last read put in buffer; 0 before the first */
    int32_t position;      /* index of the next unread byte */
    int32_t at_end;        /* no further line: the end, a read error or unreadable text */
    int32_t read_failed;   /* the end came from a read error */
    int64_t zero_line;     /* the end came from a zero byte on this physical line; 0 if not */
    int32_t system_error;  /* the system's code for that error */
    int32_t end_seen;      /* a read gave 0 bytes: no further read is made */
    IniByteOrderMark mark; /* the mark the file began with, once the first line was asked for */
    int64_t next_line;     /* physical line of the byte at position, from 1 */
    int64_t line_start;    /* physical line where the last line delivered began */
    int64_t taken;         /* bytes of the input read into chunks so far */
    IniLineText text;      /* where lines are gathered; freed by ..._line_source_end */
} IniLineSource;

/* A source at the start of the file open as handle, reading into buffer. */
void inifile_internal_line_source_start(IniLineSource *source, intptr_t handle, char *buffer,
                                        uint32_t capacity);

/* A source at the start of length bytes of text, read where they are. */
void inifile_internal_line_source_text(IniLineSource *source, const char *text, size_t length);

/* Releases what the source gathered lines in. */
void inifile_internal_line_source_end(IniLineSource *source);

/* The next logical line, as ini_read_line gives it, into *view: 1; or 0
 * at the end, after a read error, at a zero byte (zero_line tells where),
 * or at once for a file that begins with a UTF-16 or UTF-32 byte-order
 * mark (mark tells which). A UTF-8 byte-order mark at the start is
 * stepped over. */
int inifile_internal_next_line(IniLineSource *source, IniLineView *view);

/* The mark that the first count bytes of a text begin with; while they are
 * the start of a longer mark and more bytes may come (complete 0), it
 * cannot be told yet: INI_MARK_UNDECIDED. */
IniByteOrderMark inifile_internal_mark_of(const char *bytes, uint32_t count, int complete);

/* 1 for the marks of text this reader cannot read: UTF-16 and UTF-32. */
static inline int inifile_internal_mark_unreadable(IniByteOrderMark mark)
{
    return mark != INI_MARK_NONE && mark != INI_MARK_UTF8 && mark != INI_MARK_UNDECIDED;
}

#ifdef __cplusplus
}
#endif

#endif
