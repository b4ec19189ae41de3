/*
 * The file-system and console operations the installer and the
 * configuration library rely on. This header is the only platform header
 * either of them includes; win32.cpp implements it with the real Windows
 * calls, posix.cpp gives the same results on POSIX systems.
 *
 * Rules every backend keeps:
 *
 * - Paths are Windows-style everywhere above this layer: parts are joined
 *   with a backslash. The POSIX backend turns every backslash into '/' at
 *   the moment it touches the file system, and reports its own executable
 *   path with every '/' turned into a backslash, so that the installer
 *   finds its own directory the same way on both systems (a tool at
 *   /opt/dist/Install is reported as \opt\dist\Install).
 * - "Exists" means anything is there: a file or a directory.
 * - Opening a directory for reading fails. The POSIX backend reads and
 *   copies regular files only: a FIFO would hang the tool and a device
 *   such as /dev/zero would never end. No open ever waits for a FIFO.
 * - A copy replaces an existing destination file. It fails when the source
 *   or the destination is a directory, when the source is missing or the
 *   destination's folder is, and when source and destination are the same
 *   file, which it leaves untouched. The POSIX copy keeps the source's
 *   permission bits, and removes a destination it could not finish.
 * - A read reports an error apart from the end of the file: a read error
 *   is never taken for an early end.
 * - A write writes every byte asked for or reports failure; short writes
 *   are continued and interrupted calls retried.
 * - Case-insensitive comparison is ASCII only, as in the C locale.
 *
 * Every call a backend makes to the operating system goes through
 * platform_fault_check() first (fault.cpp), so that tests can make the Nth
 * call of a kind fail and see what the code above does with it.
 */
#ifndef QUORVEL_PLATFORM_H
#define QUORVEL_PLATFORM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The platform's path limit, terminating zero included: every composed
 * path and the tool's own path live in buffers of this size. */
enum { PATH_BUFFER_SIZE = 260 };

/* An open file: a Windows HANDLE or a POSIX descriptor, widened. */
typedef intptr_t PlatformFile;
#define PLATFORM_INVALID_FILE ((PlatformFile)-1)

/* Full path of the running executable into buffer (size bytes). Returns the
 * length written, without the terminating zero, or 0 on failure. A result
 * equal to size means the path did not fit: the buffer then holds a
 * truncated path that is not zero-terminated and must not be used. */
uint32_t platform_own_path(char *buffer, uint32_t size);

/* Creates one directory with default permissions. 1 on success, 0 when it
 * could not be created (it may exist already). */
int platform_create_directory(const char *path);

/* 1 when anything (file or directory) is at path, 0 when nothing is. */
int platform_exists(const char *path);

/* Copies source to destination, replacing an existing destination file.
 * 1 on success, 0 on failure. */
int platform_copy_file(const char *source, const char *destination);

/* Opens an existing file for reading, sharing reads only.
 * PLATFORM_INVALID_FILE on failure, a directory included. */
PlatformFile platform_open_read(const char *path);

/* Creates a file for writing, replacing any file of that name with an
 * empty one. PLATFORM_INVALID_FILE on failure. */
PlatformFile platform_create_write(const char *path);

/* Reads up to size bytes. Returns 1 and the count in *got (0 at the end of
 * the file), or 0 on a read error with *got set to 0. */
int platform_read(PlatformFile file, void *buffer, uint32_t size, uint32_t *got);

/* Writes all count bytes. 1 when every byte was written, 0 otherwise. */
int platform_write(PlatformFile file, const void *bytes, uint32_t count);

/* Closes a file opened by platform_open_read or platform_create_write. */
void platform_close(PlatformFile file);

/* Compares two strings without regard to ASCII letter case: 0 when equal,
 * negative or positive as strcmp on the lower-cased bytes. */
int platform_stricmp(const char *a, const char *b);

/* ---- Fault injection -------------------------------------------------- */

/* The kinds of call that tests can make fail. */
typedef enum PlatformCall {
    PLATFORM_CALL_ALLOC,    /* every heap allocation of the library */
    PLATFORM_CALL_OWN_PATH, /* platform_own_path */
    PLATFORM_CALL_MKDIR,    /* platform_create_directory */
    PLATFORM_CALL_EXISTS,   /* platform_exists */
    PLATFORM_CALL_COPY,     /* platform_copy_file */
    PLATFORM_CALL_OPEN,     /* platform_open_read */
    PLATFORM_CALL_CREATE,   /* platform_create_write */
    PLATFORM_CALL_READ,     /* platform_read */
    PLATFORM_CALL_WRITE,    /* platform_write */
    PLATFORM_CALL_KIND_COUNT
} PlatformCall;

/* Counts one call of the given kind; 1 when this call must fail. Always 0
 * unless the build was made with PLATFORM_FAULT_INJECTION. */
int platform_fault_check(PlatformCall kind);

/* The two functions below exist only in builds made with
 * PLATFORM_FAULT_INJECTION (the test builds): a shipped program that
 * tried to arm a fault would not link. */

/* Makes the nth call of kind after this one fail (counted from 1; that call
 * only); 0 disarms. Resets the count of that kind. */
void platform_fault_arm(PlatformCall kind, uint32_t nth);

/* Number of calls of kind counted since start or the last arm. */
uint32_t platform_fault_count(PlatformCall kind);

#ifdef __cplusplus
}
#endif

#endif
