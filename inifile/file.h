/*
 * The library's file operations: what the loader and the writer ask of the
 * system. file_posix.cpp and file_win32.cpp implement them.
 *
 * Paths are in the system's own form (InifilePathUnit): bytes on POSIX,
 * UTF-16 on Windows, where every file call is a wide one, so that a name
 * outside the ANSI code page can be reached. A narrow path goes through
 * inifile_internal_native_path first, which leaves it as the system's ANSI
 * calls would read it: the narrow and the wide entry points share one
 * pipeline.
 *
 * Rules both keep:
 * - Only regular files are read: opening a directory fails, and on POSIX a
 *   FIFO or a device fails too, without waiting for a FIFO's writer.
 * - A read reports an error apart from the end of the file.
 * - A write writes every byte asked for or reports failure; short writes
 *   are continued and interrupted calls retried.
 * - A failure sets *system_error, where one is asked for, to the system's
 *   own code: errno on POSIX, GetLastError() on Windows.
 */
#ifndef INIFILE_FILE_H
#define INIFILE_FILE_H

#include "internal.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* An open file: a Windows HANDLE or a POSIX descriptor, widened, as
 * IniLineReader.handle holds it. */
#define INIFILE_INVALID_FILE ((intptr_t)-1)

#ifdef _WIN32
typedef wchar_t InifilePathUnit;
#else
typedef char InifilePathUnit;
#endif

/* A path in the system's form, and the heap block it was converted into,
 * which its user frees (null when nothing was converted). */
typedef struct InifileNativePath {
    const InifilePathUnit *text;
    InifilePathUnit *owned;
} InifileNativePath;

/* A caller's narrow path in the system's form: on POSIX the path itself;
 * on Windows converted from the code page the ANSI file calls use, as they
 * would convert it (a null path stays null, for the calls to refuse). 1 and
 * *native filled, or 0 with *system_error set when the system cannot
 * convert it. */
int inifile_internal_native_path(const char *path, InifileNativePath *native,
                                 int32_t *system_error);

/* Opens an existing regular file for reading, sharing reads only, and
 * tells its size as it is now, or 0 when the system does not say (the file
 * may still grow or shrink: it is a hint). INIFILE_INVALID_FILE on
 * failure. */
intptr_t inifile_internal_open_read(const InifilePathUnit *path, int64_t *size,
                                    int32_t *system_error);

/* Reads up to size bytes: 1 and the count in *got (0 at the end of the
 * file), or 0 on a read error with *got set to 0. */
int inifile_internal_read(intptr_t file, void *buffer, uint32_t size, uint32_t *got,
                          int32_t *system_error);

/* Writes all count bytes: 1 when every byte was written, 0 otherwise. */
int inifile_internal_write(intptr_t file, const void *bytes, uint32_t count, int32_t *system_error);

/* Closes a file opened for reading. */
void inifile_internal_close(intptr_t file);

/* ---- Saving: a file replaced whole ------------------------------------
 *
 * A save writes a new file beside the one it replaces and renames it into
 * place, so that the old file stays whole until the rename and no reader
 * ever sees a file half written. */

/* The file a save replaces, as inifile_internal_save_target found it. */
typedef struct InifileSaveTarget {
    InifilePathUnit *path; /* the file to replace: the caller's path, or where
                              its symbolic links lead; a heap block */
    int32_t exists;        /* a file is there now */
    uint32_t mode;         /* POSIX: its permission bits; 0 elsewhere */
    uint32_t owner;        /* POSIX: its owner and group, given to the new file */
    uint32_t group;        /*   where the caller may */
} InifileSaveTarget;

/* Finds the file a save of path replaces and checks that it may be
 * replaced: an empty path names no file (its temporary would land in the
 * working folder) and is refused as a missing one; a symbolic link is
 * followed to its file; a folder, anything but a regular file, and a file
 * the caller may not write (POSIX: no write permission; Windows: the
 * read-only attribute) are refused. 1 and *target filled (the caller frees
 * target->path), or 0 and nothing to free. */
int inifile_internal_save_target(const InifilePathUnit *path, InifileSaveTarget *target,
                                 int32_t *system_error);

/* The length of the folder part of path, its last separator included
 * (0 for a bare name): where the name of a file beside it begins. */
size_t inifile_internal_folder_length(const InifilePathUnit *path);

/* Creates the new file path for writing, failing when any file of that
 * name exists (*name_taken is then 1) so that two savers never share one.
 * Beside an existing target it is created with no access for anyone but
 * its owner, then gets the target's permission bits, and its owner where
 * the caller may give it away: no other user can read it before it has
 * the bits of the file it replaces. INIFILE_INVALID_FILE on failure. */
intptr_t inifile_internal_create_new(const InifilePathUnit *path, const InifileSaveTarget *target,
                                     int *name_taken, int32_t *system_error);

/* Forces what was written to a file opened by inifile_internal_create_new
 * onto the disk, so that a power cut after the rename that follows leaves
 * the whole new text: 1, or 0 when the system reports it could not. */
int inifile_internal_flush(intptr_t file, int32_t *system_error);

/* Closes a file opened by inifile_internal_create_new: 1, or 0 when the
 * system reports that the data could not be stored. */
int inifile_internal_close_written(intptr_t file, int32_t *system_error);

/* Renames from over to in one step, replacing the file to: 1, or 0 with
 * to untouched. */
int inifile_internal_replace(const InifilePathUnit *from, const InifilePathUnit *to,
                             int32_t *system_error);

/* Removes a file the save created and no longer needs. */
void inifile_internal_remove(const InifilePathUnit *path);

/* A number unlikely to repeat in another process, thread or call, to start
 * the search for a free temporary name; safe to call from any thread. */
uint32_t inifile_internal_unique_seed(void);

/* The system's own one-line text for an error code, into buffer (size
 * bytes, at least 1), without a line end; cut short where it does not fit. */
void inifile_internal_error_text(int32_t system_error, char *buffer, size_t size);

#ifdef __cplusplus
}
#endif

#endif
