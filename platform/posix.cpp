// POSIX stand-in for the Windows file and module services: the same
// results, on Linux. Paths arrive Windows-style and are turned into POSIX
// paths here, at the moment they touch the file system.
#include "platform.h"

#include "fault_seam.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>


enum { POSIX_PATH_BUFFER_SIZE = 4096 };

// Copies path into out with every backslash turned into '/'. 0 when the
// path does not fit, which the caller reports as a failed call.
static int posix_native_path(const char *path, char out[POSIX_PATH_BUFFER_SIZE])
{
    for (int i = 0; i < POSIX_PATH_BUFFER_SIZE; ++i) {
        char c = path[i];
        out[i] = c == '\\' ? '/' : c;
        if (c == '\0')
            return 1;
    }
    errno = ENAMETOOLONG;
    return 0;
}

// Opens without waiting: a FIFO would otherwise hold the open until some
// other process opened its other end, and the tool would hang. A FIFO
// without a reader then fails to open for writing. The flag is dropped
// right after, so that reads and writes wait as usual.
//
// No call here is retried on EINTR: that comes only from a signal handler,
// and the tool installs none.
static int posix_open_native(const char *native, int flags, mode_t mode)
{
    int fd = open(native, flags | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd >= 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Fills *error; 0, so that a failure is one return.
static int posix_fail(PlatformError *error, const char *step, const char *path, int code)
{
    error->step = step;
    snprintf(error->path, sizeof error->path, "%s", path);
    error->code = (uint32_t)code;
    return 0;
}

void platform_reason(const PlatformError *error, char *line, uint32_t size)
{
    snprintf(line, size, "%s%s%s: %s", error->step, error->path[0] != '\0' ? " " : "", error->path,
             strerror((int)error->code));
}

static int posix_write_all(int fd, const char *bytes, size_t count)
{
    while (count > 0) {
        ssize_t written = write(fd, bytes, count);
        if (written < 0)
            return 0;
        bytes += written;
        count -= (size_t)written;
    }
    return 1;
}

// The steps that the code below tells apart by their pointers.
static const char *const POSIX_READ_FAILED = PLATFORM_STEP_READ_SOURCE;
static const char *const POSIX_WRITE_FAILED = PLATFORM_STEP_WRITE;
static const char *const POSIX_REPLACE_FAILED = PLATFORM_STEP_REPLACE;

// Copies the rest of source into destination through user memory: null,
// or the step that failed, with errno.
static const char *posix_copy_by_reading(int source, int destination)
{
    char chunk[65536];
    for (;;) {
        ssize_t got = read(source, chunk, sizeof chunk);
        if (got < 0)
            return POSIX_READ_FAILED;
        if (got == 0)
            return NULL;
        if (!posix_write_all(destination, chunk, (size_t)got))
            return POSIX_WRITE_FAILED;
    }
}

// 1 for the errors by which kernels and file systems without the
// file-to-file copy say so.
static int posix_no_file_copy(int error)
{
    return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP ||
           error == EPERM;
}

// Copies source into destination with the kernel's file-to-file copy, which
// never passes the bytes through this process; falls back to reading and
// writing where the kernel or the file systems do not offer it. Null, or
// the step that failed, with errno.
static const char *posix_copy_contents(int source, int destination)
{
#ifdef __linux__
    int copied_any = 0;
    for (;;) {
        ssize_t copied = copy_file_range(source, NULL, destination, NULL, (size_t)1 << 30, 0);
        if (copied > 0) {
            copied_any = 1;
            continue;
        }
        // Nothing copied by the first call is the end of an empty file, or
        // a file whose size the file system does not report (as in /proc):
        // reading tells the two apart.
        if (copied == 0 && copied_any)
            return NULL;
        if (copied == 0)
            break;
        if (!copied_any && posix_no_file_copy(errno))
            break;
        return POSIX_WRITE_FAILED;
    }
#endif
    return posix_copy_by_reading(source, destination);
}

// Forces what was written to fd to the disk.
static int posix_flush(int fd)
{
    if (PLATFORM_FAULT(FLUSH)) {
        errno = EIO;
        return 0;
    }
    return fsync(fd) == 0;
}

uint32_t platform_own_path(char *buffer, uint32_t size, PlatformError *error)
{
    if (PLATFORM_FAULT(OWN_PATH))
        return posix_fail(error, PLATFORM_STEP_OWN_PATH, "", EIO);
    ssize_t length = readlink("/proc/self/exe", buffer, size);
    if (length <= 0)
        return posix_fail(error, PLATFORM_STEP_OWN_PATH, "", length < 0 ? errno : ENOENT);
    if ((uint32_t)length >= size)
        return size;
    buffer[length] = '\0';
    for (ssize_t i = 0; i < length; ++i) {
        if (buffer[i] == '/')
            buffer[i] = '\\';
    }
    return (uint32_t)length;
}

int platform_create_directory(const char *path, PlatformError *error)
{
    static const char *const step = PLATFORM_STEP_CREATE_FOLDER;
    if (PLATFORM_FAULT(MKDIR))
        return posix_fail(error, step, path, EIO);
    char native[POSIX_PATH_BUFFER_SIZE];
    if (!posix_native_path(path, native) || (mkdir(native, 0777) != 0 && errno != EEXIST))
        return posix_fail(error, step, path, errno);
    struct stat status;
    if (stat(native, &status) != 0 || !S_ISDIR(status.st_mode))
        return posix_fail(error, step, path, ENOTDIR);
    return 1;
}

// Opens the file at path for reading, as a source or as a file to read
// whole; -1 on failure, with errno. Anything but a regular file is
// refused: a directory with EISDIR, anything else with EINVAL.
static int posix_open_regular(const char *path)
{
    char native[POSIX_PATH_BUFFER_SIZE];
    int fd = posix_native_path(path, native) ? posix_open_native(native, O_RDONLY, 0) : -1;
    struct stat status = {};
    if (fd < 0 || (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)))
        return fd;
    close(fd);
    errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    return -1;
}

PlatformSourceResult platform_check_source(const char *path, PlatformError *error)
{
    if (PLATFORM_FAULT(EXISTS))
        return PLATFORM_SOURCE_MISSING;
    int fd = posix_open_regular(path);
    if (fd >= 0) {
        close(fd);
        return PLATFORM_SOURCE_READABLE;
    }
    if (errno == ENOENT || errno == ENOTDIR)
        return PLATFORM_SOURCE_MISSING;
    posix_fail(error, PLATFORM_STEP_OPEN_SOURCE, "", errno);
    return PLATFORM_SOURCE_UNUSABLE;
}

// Puts new content in place of destination through its scratch file
// (platform.h): created anew with the permission bits given (less the
// umask) and the owner's write permission, filled from the descriptor
// source, or from bytes when source is -1, forced to the disk, and renamed
// over destination. The scratch file goes on every failure.
static int posix_replace(const char *destination, int source, const char *bytes, size_t count,
                         mode_t bits, PlatformError *error)
{
    // A directory, FIFO or device at the destination stays; a link there is
    // replaced as a name.
    char native_destination[POSIX_PATH_BUFFER_SIZE];
    struct stat status;
    if (posix_native_path(destination, native_destination) &&
        lstat(native_destination, &status) == 0 && !S_ISREG(status.st_mode) &&
        !S_ISLNK(status.st_mode))
        return posix_fail(error, POSIX_REPLACE_FAILED, "",
                          S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
    size_t length = strlen(destination);
    char scratch[PATH_BUFFER_SIZE];
    if (length == 0 || length >= sizeof scratch || destination[length - 1] == '\\' ||
        destination[length - 1] == '/' || destination[length - 1] == '~')
        return posix_fail(error, PLATFORM_STEP_NO_SCRATCH, "", EINVAL);
    memcpy(scratch, destination, length + 1);
    scratch[length - 1] = '~';
    char native_scratch[POSIX_PATH_BUFFER_SIZE];
    posix_native_path(scratch, native_scratch);

    // A file left by a killed run, or a link, goes as a name: creating the
    // scratch file anew never follows one.
    (void)unlink(native_scratch);
    int fd =
        posix_open_native(native_scratch, O_WRONLY | O_CREAT | O_EXCL, (bits & 0777) | S_IWUSR);
    if (fd < 0)
        return posix_fail(error, PLATFORM_STEP_CREATE, scratch, errno);
    // A umask that takes the owner's write permission away does not keep
    // it from the copy; a file system without permission bits keeps its own.
    struct stat made;
    if (fstat(fd, &made) == 0 && !(made.st_mode & S_IWUSR))
        (void)fchmod(fd, (made.st_mode & 07777) | S_IWUSR);
    const char *step = NULL;
    if (source >= 0)
        step = posix_copy_contents(source, fd);
    else if (!posix_write_all(fd, bytes, count))
        step = POSIX_WRITE_FAILED;
    if (step == NULL && !posix_flush(fd))
        step = PLATFORM_STEP_FLUSH;
    int code = errno;
    // Closing reports an error only where writes are deferred (network
    // file systems).
    if (close(fd) != 0 && step == NULL) {
        step = POSIX_WRITE_FAILED;
        code = errno;
    }
    if (step == NULL) {
        if (rename(native_scratch, native_destination) == 0)
            return 1;
        step = POSIX_REPLACE_FAILED;
        code = errno;
    }
    // A half-written file is worse than none: nobody could tell it from a
    // good one. The destination is as it was.
    unlink(native_scratch);
    int scratch_at_fault = step != POSIX_READ_FAILED && step != POSIX_REPLACE_FAILED;
    return posix_fail(error, step, scratch_at_fault ? scratch : "", code);
}

PlatformCopyResult platform_copy_file(const char *source_path, const char *destination_path,
                                      PlatformError *error)
{
    // Only regular files are copied: a FIFO may never end and a device such
    // as /dev/zero never does.
    int faulted = PLATFORM_FAULT(COPY);
    int source = faulted ? -1 : posix_open_regular(source_path);
    if (source < 0) {
        posix_fail(error, PLATFORM_STEP_OPEN_SOURCE, "", faulted ? EIO : errno);
        return PLATFORM_COPY_FAILED;
    }
    struct stat from = {};
    struct stat to = {};
    char destination_native[POSIX_PATH_BUFFER_SIZE];
    // The very same file (a link, or bin a link to the versioned bin): the
    // copy is made.
    int same = fstat(source, &from) == 0 &&
               posix_native_path(destination_path, destination_native) &&
               lstat(destination_native, &to) == 0 && S_ISREG(to.st_mode) &&
               to.st_dev == from.st_dev && to.st_ino == from.st_ino;
    int done = same || posix_replace(destination_path, source, NULL, 0, from.st_mode & 0777, error);
    close(source);
    return done ? PLATFORM_COPY_DONE : PLATFORM_COPY_FAILED;
}

int platform_write_file(const char *destination, const char *bytes, uint32_t count,
                        PlatformError *error)
{
    if (PLATFORM_FAULT(CREATE))
        return posix_fail(error, PLATFORM_STEP_CREATE, destination, EIO);
    return posix_replace(destination, -1, bytes, count, 0666, error);
}

// Reads the rest of fd into a new heap block (*bytes, *count bytes); 0 with
// errno on failure, and no block. The block has room for the whole file
// and one byte more, which tells its end without growing; a file that grows
// meanwhile grows it.
static int posix_read_whole(int fd, char **bytes, size_t *count)
{
    struct stat status = {};
    size_t size = fstat(fd, &status) == 0 ? (size_t)status.st_size + 1 : 4096;
    size_t filled = 0;
    char *block = (char *)malloc(size);
    for (;;) {
        if (block == NULL) {
            errno = ENOMEM;
            return 0;
        }
        ssize_t got = read(fd, block + filled, size - filled);
        if (got < 0) {
            int code = errno;
            free(block);
            errno = code;
            return 0;
        }
        if (got == 0) {
            *bytes = block;
            *count = filled;
            return 1;
        }
        filled += (size_t)got;
        if (filled == size) {
            size *= 2;
            char *larger = (char *)realloc(block, size);
            if (larger == NULL)
                free(block);
            block = larger;
        }
    }
}

PlatformReadResult platform_lock_and_read(const char *path, PlatformFileLock *lock, char **bytes,
                                          size_t *count, PlatformError *error)
{
    lock->handle = -1;
    int faulted = PLATFORM_FAULT(OPEN);
    int file = faulted ? -1 : posix_open_regular(path);
    // Held to the end of the run: never as standard input, output or error
    // of a process started with one of them closed, where the question
    // would read the file and the messages would go nowhere.
    if (file >= 0 && file <= STDERR_FILENO) {
        int above = fcntl(file, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        close(file);
        file = above;
    }
    if (file < 0) {
        posix_fail(error, PLATFORM_STEP_OPEN_FILE, "", faulted ? EIO : errno);
        return PLATFORM_READ_FAILED;
    }
    // flock, not fcntl: an exclusive fcntl lock needs the file open for
    // writing, and a read-only file must be lockable too. Any error but
    // EWOULDBLOCK means a file system without locks (ENOLCK): the run goes
    // on without one.
    if (!PLATFORM_FAULT(LOCK) && flock(file, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(file);
        return PLATFORM_READ_LOCKED;
    }
    faulted = PLATFORM_FAULT(READ);
    if (faulted || !posix_read_whole(file, bytes, count)) {
        posix_fail(error, PLATFORM_STEP_READ_FILE, "", faulted ? EIO : errno);
        close(file);
        return PLATFORM_READ_FAILED;
    }
    lock->handle = file;
    return PLATFORM_READ_DONE;
}

void platform_unlock_file(PlatformFileLock *lock)
{
    if (lock->handle >= 0)
        close((int)lock->handle);
    lock->handle = -1;
}

int platform_stricmp(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        int ca = (unsigned char)*a;
        int cb = (unsigned char)*b;
        if (ca >= 'A' && ca <= 'Z')
            ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z')
            cb += 'a' - 'A';
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

// ---- Roots given by the user ----------------------------------------------

int platform_is_relative(const char *path)
{
    return path[0] != '/' && path[0] != '\\';
}

// Appends the components of path (separated by '/' or '\') to the full path
// of length *length in buffer, each after one backslash, taking "." and
// ".." away as the system does. 0 when the buffer has no room.
static int posix_append_components(const char *path, char *buffer, uint32_t size, uint32_t *length)
{
    const char *start = path;
    while (*start != '\0') {
        const char *end = start;
        while (*end != '\0' && *end != '/' && *end != '\\')
            ++end;
        size_t component = (size_t)(end - start);
        if (component == 2 && start[0] == '.' && start[1] == '.') {
            // Above the top there is nothing: ".." stays at the top.
            while (*length > 0 && buffer[*length - 1] != '\\')
                --*length;
            if (*length > 0)
                --*length;
        } else if (component > 0 && !(component == 1 && start[0] == '.')) {
            if (*length + 1 + component >= size)
                return 0;
            buffer[*length] = '\\';
            memcpy(buffer + *length + 1, start, component);
            *length += 1 + (uint32_t)component;
        }
        start = *end == '\0' ? end : end + 1;
    }
    return 1;
}

PlatformPathResult platform_full_path(const char *path, char *buffer, uint32_t size,
                                      PlatformError *error)
{
    char directory[POSIX_PATH_BUFFER_SIZE];
    int faulted = PLATFORM_FAULT(FULL_PATH);
    if (faulted || getcwd(directory, sizeof directory) == NULL) {
        posix_fail(error, PLATFORM_STEP_CURRENT_FOLDER, "", faulted ? EIO : errno);
        return PLATFORM_PATH_FAILED;
    }
    uint32_t length = 0;
    if (!posix_append_components(directory, buffer, size, &length) ||
        !posix_append_components(path, buffer, size, &length))
        return PLATFORM_PATH_TOO_LONG;
    // The top itself is one backslash; a path that ends in a separator
    // keeps one. No component ends in a backslash.
    size_t given = strlen(path);
    int trailing = given > 0 && (path[given - 1] == '/' || path[given - 1] == '\\');
    if (length == 0 || trailing) {
        if (length + 1 >= size)
            return PLATFORM_PATH_TOO_LONG;
        buffer[length++] = '\\';
    }
    buffer[length] = '\0';
    return PLATFORM_PATH_OK;
}

int platform_argument_is_exact(int index, const char *argument)
{
    (void)index;
    (void)argument;
    return 1;
}

int platform_own_path_is_exact(void)
{
    return 1;
}

PlatformPathResult platform_from_utf8(const char *utf8, char *buffer, uint32_t size)
{
    if (strlen(utf8) >= size)
        return PLATFORM_PATH_TOO_LONG;
    strcpy(buffer, utf8);
    return PLATFORM_PATH_OK;
}

int platform_console_process_count(void)
{
    return 0;
}

int platform_console_streams(void)
{
    return (isatty(STDIN_FILENO) ? PLATFORM_CONSOLE_INPUT : 0) |
           (isatty(STDOUT_FILENO) ? PLATFORM_CONSOLE_OUTPUT : 0) |
           (isatty(STDERR_FILENO) ? PLATFORM_CONSOLE_ERROR : 0);
}
