/*
 * inifile: sectioned "key=value" configuration files in memory, read from
 * and written to disk.
 *
 * Memory comes from malloc/realloc. The text that ini_read_line and
 * ini_save_to_memory hand over is released with free(); documents with
 * ini_destroy, and sections that belong to no document with
 * section_destroy; nothing else is the caller's to free. When the heap is
 * exhausted the library writes "Out of memory\n" to standard error and
 * ends the process with status 1: no operation returns on an allocation
 * failure.
 *
 * Records are made only by the library (ini_create, the loads,
 * section_create, section_clone): each IniFile and IniSection is the first
 * part of a larger record that also holds a loaded document's storage and
 * the index that finds sections and keys by name. Read their fields
 * freely; change them only through the functions, which keep the index
 * right. A name, key or value handed out stays valid until that element is
 * replaced or removed, or its section or document is destroyed. Lookups by
 * name take time that does not grow with the number of sections or keys (a
 * name repeated k times costs k), and only read: a document that nobody
 * changes may be read from several threads at once.
 *
 * Paths are the platform's own. On POSIX systems they are bytes, handed to
 * the system exactly as given. On Windows a char path is text in the ANSI
 * code page, read as the system's ANSI file calls read it; the _wide
 * functions at the end take UTF-16 paths, which reach names the code page
 * cannot spell.
 *
 * Every global name the library defines is either a function declared
 * here or begins with inifile_internal_, a prefix reserved to the library.
 */
#ifndef INIFILE_H
#define INIFILE_H

#include <stddef.h>
#include <stdint.h>

/* INIFILE_API marks the library's functions: a shared library exports
 * these and nothing else. A shared build on Windows defines INIFILE_SHARED
 * for itself and for its users (the CMake package and inifile.pc pass it
 * on) and INIFILE_BUILDING while it compiles itself; a static library needs
 * neither. */
#if defined(_WIN32) && defined(INIFILE_SHARED)
#ifdef INIFILE_BUILDING
#define INIFILE_API __declspec(dllexport)
#else
#define INIFILE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && !defined(_WIN32)
#define INIFILE_API __attribute__((visibility("default")))
#else
#define INIFILE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One "key=value" entry. key and value lie in one storage block, the key
 * first, its zero byte, then the value. A loaded document takes every
 * record and block of its own from a few large blocks that ini_destroy
 * releases at once; entries and blocks that calls add or replace later
 * come from the heap, and the library frees each in its own way. */
typedef struct IniEntry {
    char *key;
    char *value;
} IniEntry;

/* A named section: its entries in order. Arrays start with room for 10 and
 * grow by 10; they never shrink. */
typedef struct IniSection {
    int32_t count;
    int32_t capacity;
    char *name;
    IniEntry **entries;
} IniSection;

/* A document: its sections in order. */
typedef struct IniFile {
    int32_t count;
    int32_t capacity;
    IniSection **sections;
} IniFile;

enum { INI_READ_CHUNK = 1024 };

/* The state of one open file for ini_read_line. Start it with the handle
 * of a file opened for reading and every other field 0. */
typedef struct IniLineReader {
    intptr_t handle;             /* open file (platform handle) */
    int32_t at_end;              /* set once no further line can come */
    uint32_t filled;             /* bytes the last read put in buffer */
    int32_t position;            /* index of the next unread byte */
    char buffer[INI_READ_CHUNK]; /* the last chunk read */
    int32_t read_failed;         /* set when the lines delivered are not the whole file */
} IniLineReader;

/* ---- Document ---------------------------------------------------------- */

/* A new empty document that the caller owns and releases with ini_destroy. */
INIFILE_API IniFile *ini_create(void);

/* Destroys every section of the document, then the document itself. A null
 * document is ignored. */
INIFILE_API void ini_destroy(IniFile *ini);

/* Index of the first section called name, or -1. */
INIFILE_API int32_t ini_find_section_index(const IniFile *ini, const char *name);

/* ini_find_section_index for a name of length bytes that needs no zero
 * byte after it (a C++ std::string_view); a name that holds a zero byte
 * is found nowhere. */
INIFILE_API int32_t ini_find_section_index_n(const IniFile *ini, const char *name, size_t length);

/* The first section called name, still owned by the document, or null. */
INIFILE_API IniSection *ini_get_section(const IniFile *ini, const char *name);

/* Hands a section that belongs to no document over to ini, which owns it
 * from then on. Returns 1 when it was appended, 0 when it replaced (and
 * destroyed) the first section of the same name. A section that already
 * sits in a document, this one or another, changes nothing and gives 0. */
INIFILE_API int32_t ini_put_section(IniFile *ini, IniSection *section);

/* Destroys the first section called name and moves the last section into
 * its place: 0. Returns 1 when there is no such section. In a document that
 * keeps its layout (INI_KEEP_LAYOUT) the moved section's lines move with
 * it. */
INIFILE_API int32_t ini_remove_section(IniFile *ini, const char *name);

/* ini_remove_section that keeps the order of the sections after the one
 * removed (each moves up one place): time in proportion to how many
 * follow it. The one to use unless the document is large and its order
 * does not matter. */
INIFILE_API int32_t ini_remove_section_ordered(IniFile *ini, const char *name);

/* Name of the section at index, owned by the document; null when index is
 * negative or count or more. */
INIFILE_API const char *ini_section_name_at(const IniFile *ini, int32_t index);

/* ---- Section ----------------------------------------------------------- */

/* A new empty section holding a copy of name; the caller owns it until it
 * is put into a document, and releases it otherwise with section_destroy. */
INIFILE_API IniSection *section_create(const char *name);

/* Frees every entry of the section, its name and the section. A null
 * section is ignored. */
INIFILE_API void section_destroy(IniSection *section);

/* Index of the first entry with that key, or -1. */
INIFILE_API int32_t section_find_key_index(const IniSection *section, const char *key);

/* section_find_key_index for a key of length bytes that needs no zero byte
 * after it; a key that holds a zero byte is found nowhere. */
INIFILE_API int32_t section_find_key_index_n(const IniSection *section, const char *key,
                                             size_t length);

/* Value of the first entry with that key, owned by the section, or null. */
INIFILE_API const char *section_get_value(const IniSection *section, const char *key);

/* Sets key to value, copying both: 1 when a new entry was appended, 0 when
 * the first entry with that key was changed. key and value may point into
 * the entry being changed. */
INIFILE_API int32_t section_set_value(IniSection *section, const char *key, const char *value);

/* Key of the entry at index, owned by the section; null when index is
 * negative or count or more. */
INIFILE_API const char *section_key_at(const IniSection *section, int32_t index);

/* Frees the first entry with that key and moves the last entry into its
 * place: 0. Returns 1 when there is no such key. In a document that keeps
 * its layout the moved entry's lines move with it. */
INIFILE_API int32_t section_remove_key(IniSection *section, const char *key);

/* section_remove_key that keeps the order of the entries after the one
 * removed: time in proportion to how many follow it. */
INIFILE_API int32_t section_remove_key_ordered(IniSection *section, const char *key);

/* A new section called name holding each distinct key of source once, with
 * its first value, in order of first appearance. The caller owns it. */
INIFILE_API IniSection *section_clone(const IniSection *source, const char *name);

/* ---- Files ------------------------------------------------------------- */

/* The next logical line of the file, a heap string the caller frees with
 * free(); null when the file holds no further line, or when a read failed:
 * then read_failed is set and the lines delivered so far are not the whole
 * file. Every call after the first null returns null.
 * A UTF-8 byte-order mark (EF BB BF) at the very start of the file is
 * skipped. A file that starts with a UTF-16 or UTF-32 byte-order mark, or
 * holds a zero byte, is text of another kind: the call that meets it
 * returns null and sets read_failed, so that it never passes for an empty
 * file or for one that ends there (ini_load_with_error names the
 * encoding). */
INIFILE_API char *ini_read_line(IniLineReader *reader);

/* Reads the file at path into a new document that the caller owns. Null if
 * the file cannot be opened or read, is UTF-16 or UTF-32 text or holds a
 * zero byte, or its structure is invalid. A UTF-8 byte-order mark at the
 * start is skipped. The same as ini_load_with_error(path, NULL). */
INIFILE_API IniFile *ini_load(const char *path);

/* Why a load or a save failed. The values keep their numbers: new kinds
 * are only ever appended. */
typedef enum IniErrorKind {
    INI_ERROR_NONE = 0,   /* loaded, or saved */
    INI_ERROR_OPEN,       /* load: the file could not be opened: missing, a folder, no permission */
    INI_ERROR_READ,       /* load: reading failed part-way */
    INI_ERROR_ENCODING,   /* load: UTF-16 or UTF-32 text, or a zero byte */
    INI_ERROR_SYNTAX,     /* load: a line the format does not allow */
    INI_ERROR_CREATE,     /* save -1: the new file could not be created or put in place */
    INI_ERROR_WRITE,      /* save -2: writing, flushing or closing the new file failed */
    INI_ERROR_UNSTORABLE, /* save -3: the document holds what the text cannot carry */
    INI_ERROR_OPTIONS     /* load: the options hold a switch this library does not know */
} IniErrorKind;

typedef struct IniError {
    IniErrorKind kind;
    /* 1-based physical line where the offending logical line starts; 0 when
     * no line is at fault (and for every save) */
    int32_t line;
    /* errno, or GetLastError() on Windows, for OPEN, READ, CREATE and WRITE;
     * 0 otherwise */
    int32_t system_error;
    char message[160]; /* one line of English, no line end; empty for INI_ERROR_NONE */
} IniError;

/* ini_load that says why it failed. When error is not null it is filled
 * on every call: INI_ERROR_NONE, line 0, system_error 0 and an empty
 * message with a document; with a null result, the kind and a message:
 *   INI_ERROR_OPEN      "cannot open the file: <the system's text>"
 *   INI_ERROR_READ      "reading failed: <the system's text>"
 *   INI_ERROR_ENCODING  "the file is UTF-16 text (little-endian); save it as
 *                       ANSI or UTF-8" (or big-endian, or UTF-32), told by
 *                       its byte-order mark; or, at the physical line of
 *                       the first zero byte, "line N: a zero byte, which
 *                       no ANSI or UTF-8 text holds (UTF-16 without a
 *                       byte-order mark?)"
 *   INI_ERROR_SYNTAX    "line N: <what is wrong>", one of
 *                       "key=value before the first [section] header",
 *                       "[] is not a section header: a section needs a name",
 *                       "neither a [section] header nor a key=value line"
 * The system's text is strerror's on POSIX and FormatMessageA's on Windows.
 * Line N counts line feeds from 1; a logical line continued over several
 * physical lines is told at the first of them that holds its text. */
INIFILE_API IniFile *ini_load_with_error(const char *path, IniError *error);

/* Reads the length bytes at text into a new document that the caller owns,
 * exactly as ini_load_with_error reads a file holding those bytes: the same
 * lines, byte-order marks, kinds, line numbers and messages. text needs no
 * terminating zero, and may be null when length is 0. The kind is never
 * INI_ERROR_OPEN or INI_ERROR_READ; error may be null. */
INIFILE_API IniFile *ini_load_from_memory(const char *text, size_t length, IniError *error);

/* ini_save writes the new text into a temporary file in the folder of the
 * file it replaces, named "ini~", three characters from 0-9 and a-z, and
 * ".tmp" ("ini~k3x.tmp"): this many bytes, whatever the file's own name.
 * Windows' file calls take paths of up to 259 characters (MAX_PATH less
 * its zero), so a file there can be saved when its folder's path, with a
 * separator, leaves room for this name: 248 characters at most (bytes, in
 * a single-byte ANSI code page). A path in the long form, a full path
 * with backslashes only after "\\\\?\\" (L"\\\\?\\D:\\dir\\app.ini",
 * L"\\\\?\\UNC\\server\\share\\app.ini"), may be up to 32,767 characters
 * long, through the char and the _wide functions alike; so may any full
 * path where the program is allowed long paths (Windows 10 and later, by
 * the system's setting and the program's manifest). */
enum { INI_SAVE_TEMPORARY_NAME_LENGTH = 11 };

/* Writes the document to path, replacing the file there whole: the text
 * goes into a temporary file in the same folder (see
 * INI_SAVE_TEMPORARY_NAME_LENGTH), is forced to the disk, and one rename
 * then puts it in place of the old file: a crash or a power cut leaves the
 * old file or the new one, whole. A rename makes a new file: a hard link
 * to the old one keeps the old text, and extended attributes are not
 * carried over. A symbolic link at path is followed: the file it leads to
 * is replaced and the link stays. A replaced file keeps its POSIX
 * permission bits, and its temporary can be read by no other user before
 * it has them; a new file gets 0666 less the umask. Saves from several
 * threads at once are safe. The document is not changed. Results:
 *   0  saved;
 *  -1  the file cannot be replaced: a folder or anything but a regular file
 *      is in its place, it is read-only (POSIX: the caller may not write it;
 *      Windows: the read-only attribute), the temporary cannot be created
 *      (the folder must be writable), or the rename failed;
 *  -2  writing, flushing or closing the temporary failed (a full disk);
 *  -3  the document holds what the text cannot carry, and nothing was
 *      created: a section name that is empty or holds '=', a carriage
 *      return or a line feed; a key that is empty, holds '=', a carriage
 *      return or a line feed, or begins or ends with a space; a value that
 *      holds a carriage return or a line feed.
 * After a failure the file at path is as it was and no temporary remains.
 * Everything else is stored, ';' and '\' with a backslash before them
 * anywhere and '#' at the start of a key, and loads back with the same
 * sections, keys and values, but for one thing: values lose the spaces at
 * their start and end, which the reader trims, as every reader of this
 * format does. They are saved with them all the same.
 * A document loaded or created with options is written in its dialect
 * (see "Other dialects" below), and -3 then also refuses what that dialect
 * cannot carry, naming the switch. A document loaded with INI_KEEP_LAYOUT
 * is written as it was loaded but for the lines of what calls changed
 * (the same bytes when nothing did); only what is written anew is checked.
 * The same as ini_save_with_error(ini, path, NULL). */
INIFILE_API int32_t ini_save(const IniFile *ini, const char *path);

/* ini_save that says why it failed: the same results, and when error is
 * not null it is filled on every call, line 0 always: INI_ERROR_NONE, 0
 * and an empty message after a save; otherwise the kind that goes with the
 * result and one of these messages:
 *  -1  INI_ERROR_CREATE, with the system's code and its text after
 *        "cannot replace the file: "          (a folder, read-only, no file)
 *        "cannot create the new file: "       (no such folder, no permission)
 *        "cannot put the new file in place: " (the rename)
 *  -2  INI_ERROR_WRITE, with the system's code and its text after
 *        "writing the new file failed: "      (a full disk)
 *        "flushing the new file to the disk failed: "
 *        "closing the new file failed: "
 *  -3  INI_ERROR_UNSTORABLE, system_error 0, naming the section, the key
 *      where one is at fault, and what the text cannot carry:
 *        section "a=b": a section name cannot hold '='
 *        section "s", key "k": a value cannot hold a line feed
 *      (names and keys cut short, carriage returns and line feeds shown
 *      as \r and \n). */
INIFILE_API int32_t ini_save_with_error(const IniFile *ini, const char *path, IniError *error);

/* The text ini_save would write for the document, byte for byte, in a new
 * heap block with a zero byte after it, which the caller frees with
 * free(); its length without the zero goes into *length (length may be
 * null). Null, with *length 0, for a document ini_save refuses with -3:
 * error, when not null, then says why as ini_save_with_error does;
 * otherwise it holds INI_ERROR_NONE. */
INIFILE_API char *ini_save_to_memory(const IniFile *ini, size_t *length, IniError *error);

/* ---- Other dialects ------------------------------------------------------
 *
 * With no options a document is read and written in the format above (the
 * installer's): ';' starts a comment anywhere, '\\' escapes and continues,
 * spaces alone are trimmed, '=' alone ends a key, every entry stands under
 * a header and has an '='. Files written by other programs often follow
 * other rules; each switch below changes one rule, and 0 keeps the format
 * above. A document remembers the options it was loaded or created with,
 * and the saves write it in that dialect, so that it reads back the same
 * when loaded with the same options; what the dialect cannot carry is
 * refused with -3 and a message that names the switch. */

typedef struct IniOptions {
    uint32_t flags;       /* INI_ switches, or'ed */
    uint32_t reserved[3]; /* 0: room for switches to come */
} IniOptions;

enum {
    /* '\\' is text: nothing is escaped and a line ending in '\\' continues
     * nothing ("path = C:\\dir\\" is the value "C:\\dir\\"). */
    INI_BACKSLASH_IS_TEXT = 1u << 0,
    /* ';' and '#' start a comment only as the first thing in a line, after
     * blanks; elsewhere they are text ("url = x?a=1;b=2"). */
    INI_COMMENT_AT_LINE_START = 1u << 1,
    /* As INI_COMMENT_AT_LINE_START, and also after a blank inside a line:
     * "k = v ; note" is the value "v". */
    INI_COMMENT_AFTER_BLANK = 1u << 2,
    /* Tabs are trimmed wherever spaces are: "\tname = x" is the key "name". */
    INI_TAB_IS_BLANK = 1u << 3,
    /* ':' ends a key as '=' does: the first of them on an entry line. */
    INI_COLON_DELIMITS = 1u << 4,
    /* A line indented deeper than the entry line it follows continues that
     * entry's value, joined with a line feed; blank lines inside the value
     * are kept, those at its end are not. Only the entry's own line counts:
     * entries indented alike under a header stay entries. */
    INI_INDENTED_CONTINUATION = 1u << 5,
    /* Entries before the first header are kept, in a first section whose
     * name is empty, which the saves write before any header. */
    INI_ENTRIES_BEFORE_HEADER = 1u << 6,
    /* An entry line without a delimiter is a key with an empty value. */
    INI_KEY_WITHOUT_DELIMITER = 1u << 7,
    /* A header may be followed by a comment: "[s] ; note", "[s] # note". */
    INI_COMMENT_AFTER_HEADER = 1u << 8,
    /* The document keeps its text: a save writes exactly the bytes loaded
     * where nothing changed, and changes only the lines of what did (see
     * ini_save). Works with every dialect, the format above included. */
    INI_KEEP_LAYOUT = 1u << 9
};

/* Fills options with the preset that reads the files other programs write,
 * as Python's configparser reads them: backslashes are text, comments
 * stand first in a line (';' and '#'), tabs are blanks, '=' or ':' ends a
 * key, indented lines continue a value, entries may stand before the
 * first header, a key may have no delimiter and a header a comment; and
 * keeps the layout of what it loads. */
INIFILE_API void ini_options_common(IniOptions *options);

/* ini_load_with_error in the dialect of options (null: all 0, the format
 * above). The document remembers the options. Null, with
 * INI_ERROR_OPTIONS, for a switch this library does not know or reserved
 * fields that are not 0. */
INIFILE_API IniFile *ini_load_with_options(const char *path, const IniOptions *options,
                                           IniError *error);

/* ini_load_from_memory in the dialect of options. */
INIFILE_API IniFile *ini_load_from_memory_with_options(const char *text, size_t length,
                                                       const IniOptions *options, IniError *error);

/* ini_create for a document that the saves write in the dialect of
 * options; null for options this library does not know. */
INIFILE_API IniFile *ini_create_with_options(const IniOptions *options);

/* The options the document was loaded or created with, into *options. */
INIFILE_API void ini_options_of(const IniFile *ini, IniOptions *options);

/* ---- Paths beyond the ANSI code page (Windows) ----------------------------
 *
 * A char path on Windows is text in the ANSI code page (1252 in Western
 * Europe), which cannot spell every name a folder may have: a file in a
 * folder named in Cyrillic or Chinese (a user's documents or profile
 * folder) cannot be loaded or saved through it. These functions take the
 * path as UTF-16 (wchar_t), as the system's wide file calls do, and are
 * otherwise the char functions: the same options, results, error kinds,
 * messages and system codes, the same whole-file replacement (a temporary
 * of INI_SAVE_TEMPORARY_NAME_LENGTH characters beside the file, forced to
 * the disk, then one rename; a read-only file refused; a symbolic link
 * followed to its file) and the same path lengths. Both forms share one
 * pipeline: a char path is converted to UTF-16 first, as the ANSI file
 * calls convert it. The path is only read during the call; the caller
 * keeps it. */
#ifdef _WIN32

/* ini_load_with_options from a UTF-16 path: a new document that the caller
 * owns and releases with ini_destroy, or null with error (when not null)
 * filled as ini_load_with_options fills it. */
INIFILE_API IniFile *ini_load_wide(const wchar_t *path, const IniOptions *options, IniError *error);

/* ini_save_with_error to a UTF-16 path: 0, -1, -2 or -3 and error (when not
 * null) filled as ini_save_with_error fills it, in the dialect the document
 * was loaded or created with. The document is not changed. */
INIFILE_API int32_t ini_save_wide(const IniFile *ini, const wchar_t *path, IniError *error);

#endif

#ifdef __cplusplus
}
#endif

#endif
