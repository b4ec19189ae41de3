/*
 * The file-system and console operations the installer relies on. The
 * installer includes this header and no other of the platform layer;
 * win32.cpp implements it with the real Windows calls, posix.cpp gives the
 * same results on Linux (it finds the tool's own path in /proc), and
 * fault_seam.h beside it is the backends' hook for the test builds' fault
 * injection.
 *
 * Rules every backend keeps:
 *
 * - Paths are Windows-style everywhere above this layer: parts are joined
 *   with a backslash. The POSIX backend turns every backslash into '/' at
 *   the moment it touches the file system, and reports its own executable
 *   path with every '/' turned into a backslash, so that the installer
 *   finds its own directory the same way on both systems (a tool at
 *   /opt/dist/Install is reported as \opt\dist\Install).
 * - The POSIX backend copies and reads regular files only: a FIFO would
 *   hang the tool and a device such as /dev/zero would never end. No open
 *   ever waits for a FIFO.
 * - A copy replaces its destination whole. The new content goes into the
 *   destination's scratch file: in the same folder, named like the
 *   destination with its last byte replaced by '~' (qvl.exe: qvl.ex~), so
 *   as long as the destination's path. One rename then puts it in the
 *   destination's place. Until that rename the old destination is
 *   untouched; after any failure the scratch file is removed and the
 *   destination is as it was. A scratch file left behind by a killed
 *   process is replaced by the next copy to that destination, so none ever
 *   piles up. A destination whose name ends in '~' or a separator (on
 *   Windows also ':') is refused: it would be its own scratch file, or
 *   have none (platform_scratch_names_clash checks a table of names at
 *   compile time).
 * - A destination that is a symbolic link, to a file or to a folder, is
 *   replaced as a name: what it points to is never written or removed.
 *   Whatever stands at the scratch name (a link, a file left by a killed
 *   run) is removed as a name first. On Windows a link to a folder at the
 *   destination goes just before the rename: a process killed between the
 *   two leaves the name absent, which the next copy fills. A destination
 *   that may not be written (the read-only attribute on Windows, no write
 *   permission on POSIX) is replaced like any other, and every copy is
 *   left writable by its owner: on Windows without the read-only
 *   attribute; on POSIX with the source's permission bits less the umask,
 *   set-user-ID and set-group-ID, and then with the owner's write
 *   permission even where the umask takes it away.
 * - The scratch file is forced to the disk before its rename, so that a
 *   file put in place survives a power cut whole.
 * - A copy whose source and destination are the same file (a link, or the
 *   same path) is already made: it succeeds and touches nothing.
 * - A copy fails, and leaves no scratch file, when the source is missing,
 *   unreadable or a directory, when the destination is a directory or its
 *   folder is missing, when the disk fills up, and when the destination
 *   cannot be replaced. It is "in use" only on Windows, and only when the
 *   system refused for a sharing violation (a file held open without
 *   sharing), or refused access to a destination that is the image of a
 *   running process; any other refusal (a file the user may not replace)
 *   is a failure like the others.
 * - Every operation that can fail on a system call fills a PlatformError
 *   when it fails: the step, the system's own error code, and the path the
 *   step failed on when the caller cannot know it (a scratch file, a
 *   folder on the way). The steps are spelled once, below.
 * - A lock on a file keeps a second process from taking the same lock: it
 *   never waits, it does not keep anyone from reading or writing the file,
 *   it leaves no file behind, and the system releases it when the process
 *   ends, however it ends. On Windows it also keeps anyone from deleting
 *   the file or renaming another over it (as editors save): sharing that
 *   would let a second run lock the new file.
 * - Case-insensitive comparison is ASCII only, as in the C locale.
 *
 * In test builds (PLATFORM_FAULT_INJECTION) each operation below that
 * changes the file system, finds a path, checks a source, opens, locks or
 * reads asks the fault seam once before its first system call of that
 * kind, and the flush before each rename asks once more (FLUSH), so that
 * tests can make the Nth operation of a kind fail and see what the
 * installer does with it.
 */
#ifndef QUORVEL_PLATFORM_H
#define QUORVEL_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The platform's path limit, terminating zero included: every composed
 * path and the tool's own path live in buffers of this size. */
enum { PATH_BUFFER_SIZE = 260 };

/* The steps a reason line names (PlatformError.step), for both backends. */
#define PLATFORM_STEP_OPEN_SOURCE "cannot open the source"
#define PLATFORM_STEP_READ_SOURCE "cannot read the source"
#define PLATFORM_STEP_NO_SCRATCH "cannot name a scratch file for the destination"
#define PLATFORM_STEP_CREATE "cannot create"
#define PLATFORM_STEP_WRITE "cannot write"
#define PLATFORM_STEP_FLUSH "cannot flush"
#define PLATFORM_STEP_REPLACE "cannot replace the destination"
#define PLATFORM_STEP_CREATE_FOLDER "cannot create the folder"
#define PLATFORM_STEP_OWN_PATH "cannot tell the tool's own path"
#define PLATFORM_STEP_CURRENT_FOLDER "cannot tell the current folder"
/* Reading a whole file (platform_lock_and_read): the words the
 * configuration library uses for the same failures of its own loads. */
#define PLATFORM_STEP_OPEN_FILE "cannot open the file"
#define PLATFORM_STEP_READ_FILE "reading failed"

/* Why an operation failed. */
typedef struct PlatformError {
    const char *step;            /* what failed: one of PLATFORM_STEP_... */
    char path[PATH_BUFFER_SIZE]; /* the path it failed on, when the caller cannot know it;
                                    else empty */
    uint32_t code;               /* errno on POSIX, GetLastError() on Windows */
} PlatformError;

/* The reason line of a failure, without a line end, into line (size bytes,
 * cut short where it does not fit): the step, its path if any, a colon and
 * the system's own text for the code (strerror on POSIX, FormatMessage on
 * Windows): "cannot create C:\dist\bin\qvl.ex~: Access is denied." */
void platform_reason(const PlatformError *error, char *line, uint32_t size);

/* Full path of the running executable into buffer (size bytes). Returns the
 * length written, without the terminating zero, or 0 on failure, with
 * *error filled. A result equal to size means the path did not fit: the
 * buffer then holds a truncated path that is not zero-terminated and must
 * not be used. */
uint32_t platform_own_path(char *buffer, uint32_t size, PlatformError *error);

/* Makes path a directory with default permissions, unless one is there
 * already. 1 when a directory is at path, 0 with *error filled when none
 * could be made (a file is in the way, no permission, no parent). */
int platform_create_directory(const char *path, PlatformError *error);

typedef enum PlatformSourceResult {
    PLATFORM_SOURCE_READABLE, /* a regular file, and it opened for reading */
    PLATFORM_SOURCE_MISSING,  /* nothing is at path (or a folder on the way is missing) */
    PLATFORM_SOURCE_UNUSABLE, /* a folder, a file that may not be read, or anything but a
                                 regular file: *error says why */
} PlatformSourceResult;

/* Tells whether a copy could read path as its source: opens it for reading
 * as a copy does, looks at what it is, and closes it again. */
PlatformSourceResult platform_check_source(const char *path, PlatformError *error);

typedef enum PlatformCopyResult {
    PLATFORM_COPY_DONE,   /* the destination holds the source's bytes */
    PLATFORM_COPY_IN_USE, /* Windows: not made, because the destination is in use (a
                             sharing violation, or a running program's image); it stays
                             as it was */
    PLATFORM_COPY_FAILED, /* the destination stays as it was */
} PlatformCopyResult;

/* Copies source to destination, replacing an existing destination whole
 * (see the rules above); on any result but PLATFORM_COPY_DONE *error is
 * filled. */
PlatformCopyResult platform_copy_file(const char *source, const char *destination,
                                      PlatformError *error);

/* Writes count bytes as the whole new content of destination, by the rules
 * of a copy. 1 when written, 0 with *error filled. */
int platform_write_file(const char *destination, const char *bytes, uint32_t count,
                        PlatformError *error);

/* A lock taken by platform_lock_and_read. PLATFORM_NO_LOCK holds none;
 * every lock value, taken or not, may be released. */
typedef struct PlatformFileLock {
    intptr_t handle;
} PlatformFileLock;
static const PlatformFileLock PLATFORM_NO_LOCK = {-1};

typedef enum PlatformReadResult {
    PLATFORM_READ_DONE,   /* *bytes holds the whole file; the lock is in *lock, unless the
                             file system offers none (then PLATFORM_NO_LOCK is there) */
    PLATFORM_READ_LOCKED, /* another process holds the lock: nothing was read */
    PLATFORM_READ_FAILED, /* the file could not be opened (missing, a folder, no
                             permission, no regular file) or read: *error says why */
} PlatformReadResult;

/* Opens the existing file at path for reading, takes the exclusive lock on
 * it without waiting, and reads it whole through the same handle into a new
 * heap block (*bytes, *count bytes, no terminating zero) that the caller
 * releases with free(). Only PLATFORM_READ_DONE leaves a block, or a lock,
 * to release. */
PlatformReadResult platform_lock_and_read(const char *path, PlatformFileLock *lock, char **bytes,
                                          size_t *count, PlatformError *error);

/* Releases a lock taken by platform_lock_and_read; does nothing for one
 * that was not taken or was released already. */
void platform_unlock_file(PlatformFileLock *lock);

/* ---- Roots given by the user -------------------------------------------
 *
 * A root directory from the command line names a folder only when the
 * program received it exactly as typed and it stands on its own. On
 * Windows, arguments and module paths reach an ANSI program through the
 * ANSI code page, which maps a character it lacks to a look-alike ("best
 * fit") or to '?': such a name may lead to another existing folder, so it
 * is refused, never used. POSIX systems hand over bytes as they are. */

/* 1 when path depends on the current directory (or current drive). On
 * Windows everything is relative but "X:\...", "X:/..." and "\\...":
 * "X:", "X:dir" and "\dir" are relative. On POSIX a path that starts with
 * neither '/' nor a backslash is relative. */
int platform_is_relative(const char *path);

typedef enum PlatformPathResult {
    PLATFORM_PATH_OK,
    PLATFORM_PATH_FAILED,   /* the system could not tell (no current directory): *error says why */
    PLATFORM_PATH_TOO_LONG, /* the full path does not fit the buffer */
    PLATFORM_PATH_NOT_ANSI, /* Windows: the ANSI code page cannot represent it */
} PlatformPathResult;

/* The full path of a relative path, as the system resolves it from the
 * current directory, into buffer (size bytes, zero-terminated): "." and
 * ".." taken away, every separator a backslash, a trailing separator kept
 * as one backslash. POSIX reports the current directory with backslashes,
 * as platform_own_path reports the tool's path. On PLATFORM_PATH_NOT_ANSI
 * the buffer holds the look-alike the code page would give, for a message
 * only. */
PlatformPathResult platform_full_path(const char *path, char *buffer, uint32_t size,
                                      PlatformError *error);

/* 1 when argument index of the command line (argv[index], given as
 * argument) reached the program exactly as typed; 0 when the ANSI code
 * page made a look-alike of it, or when that cannot be told apart. Always
 * 1 on POSIX. */
int platform_argument_is_exact(int index, const char *argument);

/* 1 when the path platform_own_path delivers is the tool's real path and
 * not a look-alike made by the ANSI code page. Always 1 on POSIX. */
int platform_own_path_is_exact(void);

/* The text of UTF-8 bytes as the system names files, into buffer (size
 * bytes, zero-terminated; PLATFORM_PATH_TOO_LONG when it does not fit). On
 * Windows, the ANSI code page's form: PLATFORM_PATH_NOT_ANSI when a
 * character has no exact one (invalid UTF-8 has none), the buffer then
 * holding the look-alike, for a message only. POSIX names files in bytes:
 * they are taken as they are. */
PlatformPathResult platform_from_utf8(const char *utf8, char *buffer, uint32_t size);

/* ---- The console ---------------------------------------------------------- */

/* The number of processes attached to this process's console: 1 when the
 * console was made for this process alone (Windows, started from Explorer);
 * 0 when there is none, or on POSIX, where no window closes with a
 * process. */
int platform_console_process_count(void);

/* The standard streams that are a console (a terminal), not a pipe or a
 * file: PLATFORM_CONSOLE_INPUT, _OUTPUT and _ERROR, or'ed. */
enum {
    PLATFORM_CONSOLE_INPUT = 1,
    PLATFORM_CONSOLE_OUTPUT = 2,
    PLATFORM_CONSOLE_ERROR = 4,
    PLATFORM_CONSOLE_ALL = 7,
};
int platform_console_streams(void);

/* Compares two strings without regard to ASCII letter case: 0 when equal,
 * negative or positive as strcmp on the lower-cased bytes. */
int platform_stricmp(const char *a, const char *b);

#ifdef __cplusplus
}

/* 1 when two names in one folder could not both be destinations of
 * copies: one of them ends in '~' (it would be a scratch file), or both
 * have the same scratch file (they differ in their last byte alone). For
 * a compile-time check over a table of names. */
constexpr bool platform_scratch_names_clash(const char *a, const char *b)
{
    size_t length = 0;
    while (a[length] != '\0')
        ++length;
    size_t other = 0;
    while (b[other] != '\0')
        ++other;
    if (length == 0 || other == 0 || a[length - 1] == '~' || b[other - 1] == '~')
        return true;
    if (length != other)
        return false;
    for (size_t i = 0; i + 1 < length; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}
#endif

#endif
