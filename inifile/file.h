/*
 * The library's file operations: what the loader and the writer ask of the
 * system. file_posix.cpp and file_win32.cpp implement them; paths go to the
 * system exactly as the caller gave them.
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

/* Opens an existing regular file for reading, sharing reads only.
 * INIFILE_INVALID_FILE on failure. */
intptr_t inifile_internal_open_read(const char *path, int32_t *system_error);

/* Creates a file for writing, replacing any file of that name with an
 * empty one. INIFILE_INVALID_FILE on failure. */
intptr_t inifile_internal_create_write(const char *path, int32_t *system_error);

/* Reads up to size bytes: 1 and the count in *got (0 at the end of the
 * file), or 0 on a read error with *got set to 0. */
int inifile_internal_read(intptr_t file, void *buffer, uint32_t size, uint32_t *got,
                          int32_t *system_error);

/* Writes all count bytes: 1 when every byte was written, 0 otherwise. */
int inifile_internal_write(intptr_t file, const void *bytes, uint32_t count, int32_t *system_error);

/* Closes a file either function above opened. */
void inifile_internal_close(intptr_t file);

/* The system's own one-line text for an error code, into buffer (size
 * bytes, at least 1), without a line end; cut short where it does not fit. */
void inifile_internal_error_text(int32_t system_error, char *buffer, size_t size);

#ifdef __cplusplus
}
#endif

#endif
