/*
 * Shared by the library's own files only: the one allocation function, the
 * appends that the loader and the document operations have in common, the
 * reports of loads and saves, and the fault seam. Every name here that the
 * linker sees carries the prefix inifile_internal_, which inifile.h
 * reserves to the library.
 */
#ifndef INIFILE_INTERNAL_H
#define INIFILE_INTERNAL_H

#include "inifile.h"

#include <stddef.h>

/* Test builds (INIFILE_FAULT_INJECTION) ask the fault seam before every
 * allocation and file operation, so that a test can make the Nth one fail;
 * every other build compiles the question away. */
#ifdef INIFILE_FAULT_INJECTION
#include "fault.h"
#define INIFILE_FAULT(kind) fault_check(FAULT_##kind)
#else
#define INIFILE_FAULT(kind) 0
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Writes "Out of memory\n" to standard error and ends the process with
 * status 1: the library's one answer to an exhausted heap. */
[[noreturn]] void inifile_internal_out_of_memory(void);

/* The library's allocation functions: malloc and realloc that never
 * return null. size is never 0. */
void *inifile_internal_alloc(size_t size);
void *inifile_internal_realloc(void *block, size_t size);

/* inifile_internal_alloc for a large part of a document (released with
 * free()), laid on huge pages where the system can. */
void *inifile_internal_alloc_large(size_t size);

/* A heap copy of length bytes (any bytes, no zero added). */
char *inifile_internal_copy(const char *bytes, size_t length);

/* ---- Storage of a loaded document ----------------------------------------
 *
 * Everything a load builds (section records, names, entry arrays, entry
 * records, keys and values) comes from one arena that belongs to the
 * document: a few large blocks, released together by ini_destroy. Blocks
 * that later calls add or replace come from the heap; the free paths ask
 * the arena whether a block is its own. */

typedef struct IniArenaBlock {
    char *start;
    char *end;
} IniArenaBlock;

typedef struct IniArena {
    char *records;         /* next free byte for records (aligned), from the front */
    char *text;            /* first byte taken by text, which fills from the back */
    IniArenaBlock *blocks; /* every block, sorted by address */
    int32_t count;
    int32_t capacity;
    size_t taken;    /* bytes of all blocks so far */
    size_t expected; /* bytes the loader still expects to need; 0: unknown */
} IniArena;

/* Releases every block of the arena; it is then empty again. */
void inifile_internal_arena_release(IniArena *arena);

/* Starts a new block with room for at least wanted bytes. */
void inifile_internal_arena_grow(IniArena *arena, size_t wanted);

/* Records are aligned for any of the library's records. */
enum { INI_ARENA_ALIGN = sizeof(void *) > 8 ? sizeof(void *) : 8 };

/* size bytes for a record. */
static inline void *inifile_internal_arena_record(IniArena *arena, size_t size)
{
    size = (size + INI_ARENA_ALIGN - 1) & ~(size_t)(INI_ARENA_ALIGN - 1);
    if ((size_t)(arena->text - arena->records) < size)
        inifile_internal_arena_grow(arena, size);
    void *record = arena->records;
    arena->records += size;
    return record;
}

/* size bytes for text, unaligned. */
static inline char *inifile_internal_arena_text(IniArena *arena, size_t size)
{
    if ((size_t)(arena->text - arena->records) < size)
        inifile_internal_arena_grow(arena, size);
    arena->text -= size;
    return arena->text;
}

/* Whether block lies in one of the arena's blocks. */
int inifile_internal_arena_owns(const IniArena *arena, const void *block);

/* ---- Lookups by name --------------------------------------------------------
 *
 * An open-addressing table from the hash of a name to the positions of the
 * elements that bear it, kept by the calls that change a document and
 * built at the end of a load, never by a lookup: lookups on a document
 * nobody changes only read. A repeated name has one slot per element, and
 * a lookup takes the lowest position among them, so the first element of
 * a name is found however removals have reordered the array. Arrays of no
 * more than INI_INDEX_MIN elements have no table: a scan is as fast. */

enum { INI_INDEX_MIN = 16 };

typedef struct IniIndexSlot {
    uint32_t hash;
    int32_t position; /* -1: free */
} IniIndexSlot;

typedef struct IniIndex {
    uint32_t mask;    /* slots - 1 */
    uint32_t used;    /* slots taken */
    uint32_t on_heap; /* 0: in a loaded document's arena */
    IniIndexSlot slots[1];
} IniIndex;

/* The elements an index covers: an array of record pointers, the name of
 * each at name_offset bytes into its record. */
typedef struct IniNamed {
    void *const *elements;
    int32_t count;
    size_t name_offset;
} IniNamed;

uint32_t inifile_internal_hash(const char *name, size_t length);

/* Position of the first element called name (length bytes, no zero byte
 * inside), or -1; through index when there is one, else by a scan. */
int32_t inifile_internal_index_find(const IniIndex *index, IniNamed named, const char *name,
                                    size_t length);

/* The index after the element at position was added to named (its count
 * includes it): built when the array has just grown past INI_INDEX_MIN. */
IniIndex *inifile_internal_index_added(IniIndex *index, IniNamed named, int32_t position);

/* The index after the element at position, whose name had that hash, was
 * removed and the element at moved_from (the last) put in its place;
 * named is the array as it is now. */
void inifile_internal_index_removed(IniIndex *index, IniNamed named, uint32_t hash,
                                    int32_t position, int32_t moved_from);

/* The index after the element at position, whose name had that hash, was
 * removed and every element after it is to move up one place; named is
 * the array before they move (its count includes the one removed). */
void inifile_internal_index_shifted(IniIndex *index, IniNamed named, uint32_t hash,
                                    int32_t position);

/* A new index of every element of named, from the arena when there is
 * one; null when there are too few elements. */
IniIndex *inifile_internal_index_build(IniNamed named, IniArena *arena);

/* Frees an index on the heap; null and one in an arena are left alone. */
void inifile_internal_index_free(IniIndex *index);

/* ---- The records behind the public ones --------------------------------------
 *
 * Every IniFile and IniSection the library hands out is the first member
 * of one of these, which is why the records are made only by the library. */

struct IniLayout;

typedef struct IniDocument {
    IniFile file;
    IniOptions options;       /* its dialect */
    struct IniLayout *layout; /* the text it keeps (INI_KEEP_LAYOUT); null if none */
    IniIndex *names;          /* sections by name */
    IniArena arena;           /* a loaded document's storage; empty for one made by calls */
    int32_t changed;          /* a call may have added heap blocks to arena sections */
} IniDocument;

typedef struct IniSectionState {
    IniSection section;
    IniDocument *owner; /* the document that holds it; null until it is put in one */
    IniIndex *keys;     /* entries by key */
} IniSectionState;

static inline IniDocument *inifile_internal_document(const IniFile *ini)
{
    return (IniDocument *)ini;
}

static inline IniSectionState *inifile_internal_section_state(const IniSection *section)
{
    return (IniSectionState *)section;
}

/* Array slots behind a capacity, for arrays on the heap (see model.cpp). */
size_t inifile_internal_slots_for(int32_t capacity);

/* A new empty document with a fresh arena, for a loader. */
IniDocument *inifile_internal_document_new(void);

/* Appends a section to the document without looking at its name or
 * indexing it, and makes the document its owner. */
void inifile_internal_append_section(IniFile *ini, IniSection *section);

/* Indexes the sections of a document at the end of its load. */
void inifile_internal_document_loaded(IniDocument *document);

/* Fills error, when there is one, with its kind, line, system code and a
 * message made as printf makes it, cut to fit. */
void inifile_internal_report(IniError *error, IniErrorKind kind, int64_t line, int32_t system_error,
                             const char *format, ...) __attribute__((format(printf, 5, 6)));

/* Reports an error of the system: what failed, then the system's own text
 * for system_error ("cannot open the file: No such file or directory"). */
void inifile_internal_report_system(IniError *error, IniErrorKind kind, int32_t system_error,
                                    const char *what);

#ifdef __cplusplus
}
#endif

#endif
