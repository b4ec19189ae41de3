// POSIX stand-in for the Windows file and module services: the same
// results, on Linux. Paths arrive Windows-style and are turned into POSIX
// paths here, at the moment they touch the file system.
#include "platform.h"

#include "fault_seam.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
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

// 1 when fd is open on a regular file. Only regular files are read or
// copied: a FIFO may never end and a device such as /dev/zero never does.
static int posix_is_regular(int fd, struct stat *status)
{
    return fstat(fd, status) == 0 && S_ISREG(status->st_mode);
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

// Copies the rest of source into destination through user memory.
static int posix_copy_by_reading(int source, int destination)
{
    char chunk[65536];
    for (;;) {
        ssize_t got = read(source, chunk, sizeof chunk);
        if (got < 0)
            return 0;
        if (got == 0)
            return 1;
        if (!posix_write_all(destination, chunk, (size_t)got))
            return 0;
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
// writing where the kernel or the file systems do not offer it.
static int posix_copy_contents(int source, int destination)
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
            return 1;
        if (copied == 0)
            break;
        if (!copied_any && posix_no_file_copy(errno))
            break;
        return 0;
    }
#endif
    return posix_copy_by_reading(source, destination);
}

uint32_t platform_own_path(char *buffer, uint32_t size)
{
    if (PLATFORM_FAULT(OWN_PATH))
        return 0;
    ssize_t length = readlink("/proc/self/exe", buffer, size);
    if (length <= 0)
        return 0;
    if ((uint32_t)length >= size)
        return size;
    buffer[length] = '\0';
    for (ssize_t i = 0; i < length; ++i) {
        if (buffer[i] == '/')
            buffer[i] = '\\';
    }
    return (uint32_t)length;
}

int platform_create_directory(const char *path)
{
    if (PLATFORM_FAULT(MKDIR))
        return 0;
    char native[POSIX_PATH_BUFFER_SIZE];
    return posix_native_path(path, native) && mkdir(native, 0777) == 0;
}

int platform_exists(const char *path)
{
    if (PLATFORM_FAULT(EXISTS))
        return 0;
    char native[POSIX_PATH_BUFFER_SIZE];
    struct stat status;
    return posix_native_path(path, native) && stat(native, &status) == 0;
}

// The scratch file of a copy to destination (platform.h); 0 for a name
// that would be its own scratch file, or have none.
static int posix_scratch_path(const char *destination, char scratch[POSIX_PATH_BUFFER_SIZE])
{
    // The destination came through posix_native_path: it fits.
    size_t length = strlen(destination);
    if (length == 0 || destination[length - 1] == '/' || destination[length - 1] == '~') {
        errno = EINVAL;
        return 0;
    }
    memcpy(scratch, destination, length + 1);
    scratch[length - 1] = '~';
    return 1;
}

// 1 when a copy may put a file at destination: nothing is there, a regular
// file other than the source is, or a symbolic link, which is replaced as
// a name. A directory, FIFO or device stays, and so does the source itself.
static int posix_may_replace(const char *destination, const struct stat *source)
{
    struct stat status;
    if (lstat(destination, &status) != 0)
        return errno == ENOENT;
    if (S_ISLNK(status.st_mode))
        return 1;
    return S_ISREG(status.st_mode) &&
           !(status.st_dev == source->st_dev && status.st_ino == source->st_ino);
}

// Writes the rest of source into the scratch file, then renames it over
// destination. The scratch file goes on every failure.
static int posix_copy_through_scratch(int source, mode_t bits, const char *scratch,
                                      const char *destination)
{
    // A scratch file left by a killed run goes first, whatever its
    // permissions; creating it anew never follows a link put in its place.
    (void)unlink(scratch);
    int copy = posix_open_native(scratch, O_WRONLY | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR);
    if (copy < 0)
        return 0;
    // Whatever the umask: the source's bits, and the owner may write, so
    // that a later run can replace the copy. Worth keeping, not worth
    // failing for (a file system without permission bits refuses them).
    (void)fchmod(copy, bits | S_IWUSR);
    int ok = posix_copy_contents(source, copy);
    // Closing reports an error only where writes are deferred (network
    // file systems).
    if (close(copy) != 0)
        ok = 0;
    if (ok && rename(scratch, destination) == 0)
        return 1;
    // A half-written file is worse than none: nobody could tell it from a
    // good one. The destination is as it was.
    unlink(scratch);
    return 0;
}

int platform_copy_file(const char *source_path, const char *destination_path)
{
    if (PLATFORM_FAULT(COPY))
        return 0;
    char source_native[POSIX_PATH_BUFFER_SIZE];
    char destination_native[POSIX_PATH_BUFFER_SIZE];
    char scratch[POSIX_PATH_BUFFER_SIZE];
    if (!posix_native_path(source_path, source_native) ||
        !posix_native_path(destination_path, destination_native) ||
        !posix_scratch_path(destination_native, scratch))
        return 0;
    int source = posix_open_native(source_native, O_RDONLY, 0);
    if (source < 0)
        return 0;
    struct stat source_status;
    int ok = posix_is_regular(source, &source_status) &&
             posix_may_replace(destination_native, &source_status) &&
             posix_copy_through_scratch(source, source_status.st_mode & 07777, scratch,
                                        destination_native);
    close(source);
    return ok;
}

PlatformLockResult platform_lock_file(const char *path, PlatformFileLock *lock)
{
    lock->handle = -1;
    if (PLATFORM_FAULT(LOCK))
        return PLATFORM_LOCK_FAILED;
    char native[POSIX_PATH_BUFFER_SIZE];
    if (!posix_native_path(path, native))
        return PLATFORM_LOCK_FAILED;
    // flock, not fcntl: an exclusive fcntl lock needs the file open for
    // writing, and a read-only file must be lockable too.
    int file = posix_open_native(native, O_RDONLY, 0);
    if (file < 0)
        return PLATFORM_LOCK_FAILED;
    // Held to the end of the run: never as standard input, output or error
    // of a process started with one of them closed, where the question
    // would read the file and the messages would go nowhere.
    if (file <= STDERR_FILENO) {
        int above = fcntl(file, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        close(file);
        // Only a process out of descriptors gets here.
        if (above < 0)
            return PLATFORM_LOCK_FAILED;
        file = above;
    }
    if (flock(file, LOCK_EX | LOCK_NB) == 0) {
        lock->handle = file;
        return PLATFORM_LOCK_TAKEN;
    }
    // Other errors mean a file system without locks (ENOLCK).
    int busy = errno == EWOULDBLOCK;
    close(file);
    return busy ? PLATFORM_LOCK_BUSY : PLATFORM_LOCK_FAILED;
}

void platform_unlock_file(PlatformFileLock *lock)
{
    if (lock->handle >= 0)
        close((int)lock->handle);
    lock->handle = -1;
}

void platform_native_path(const char *path, char native[PATH_BUFFER_SIZE])
{
    size_t i = 0;
    for (; i + 1 < PATH_BUFFER_SIZE && path[i] != '\0'; ++i)
        native[i] = path[i] == '\\' ? '/' : path[i];
    native[i] = '\0';
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

PlatformPathResult platform_full_path(const char *path, char *buffer, uint32_t size)
{
    if (PLATFORM_FAULT(FULL_PATH))
        return PLATFORM_PATH_FAILED;
    char directory[POSIX_PATH_BUFFER_SIZE];
    if (getcwd(directory, sizeof directory) == NULL)
        return PLATFORM_PATH_FAILED;
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
