// The library's file operations on POSIX systems.
#include "file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

static void file_set_error(int32_t *system_error, int error)
{
    if (system_error != NULL)
        *system_error = error;
}

// 1 when error is none; otherwise records it, where asked, and gives 0.
static int file_succeeded(int error, int32_t *system_error)
{
    if (error == 0)
        return 1;
    file_set_error(system_error, error);
    return 0;
}

// Opens without waiting: a FIFO would otherwise hold the open until some
// other process opened its other end. The flag is dropped right after, so
// that reads and writes wait as usual.
//
// EINTR, here and below, comes only from a signal handler that the calling
// program installed: the call is made again.
static int file_open(const char *path, int flags, mode_t mode)
{
    int fd;
    do
        fd = open(path, flags | O_CLOEXEC | O_NONBLOCK, mode);
    while (fd < 0 && errno == EINTR);
    if (fd >= 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Paths stay bytes here: InifilePathUnit is char, and nothing can fail.
// NOLINTNEXTLINE(readability-non-const-parameter): Windows' sets it
int inifile_internal_native_path(const char *path, InifileNativePath *native, int32_t *system_error)
{
    (void)system_error;
    native->text = path;
    native->owned = NULL;
    return 1;
}

intptr_t inifile_internal_open_read(const char *path, int64_t *size, int32_t *system_error)
{
    *size = 0;
    if (INIFILE_FAULT(OPEN)) {
        file_set_error(system_error, EIO);
        return INIFILE_INVALID_FILE;
    }
    int fd = file_open(path, O_RDONLY, 0);
    if (fd < 0) {
        file_set_error(system_error, errno);
        return INIFILE_INVALID_FILE;
    }
    // Only regular files are read: a FIFO may never end and a device such
    // as /dev/zero never does. fstat of a descriptor just opened cannot
    // fail.
    struct stat status;
    int error = fstat(fd, &status) != 0    ? errno
                : S_ISDIR(status.st_mode)  ? EISDIR
                : !S_ISREG(status.st_mode) ? EINVAL
                                           : 0;
    if (error != 0) {
        close(fd);
        file_set_error(system_error, error);
        return INIFILE_INVALID_FILE;
    }
    *size = (int64_t)status.st_size;
    return (intptr_t)fd;
}

int inifile_internal_read(intptr_t file, void *buffer, uint32_t size, uint32_t *got,
                          int32_t *system_error)
{
    *got = 0;
    if (INIFILE_FAULT(READ)) {
        file_set_error(system_error, EIO);
        return 0;
    }
    ssize_t count;
    do
        count = read((int)file, buffer, size);
    while (count < 0 && errno == EINTR);
    if (count < 0) {
        file_set_error(system_error, errno);
        return 0;
    }
    *got = (uint32_t)count;
    return 1;
}

int inifile_internal_write(intptr_t file, const void *bytes, uint32_t count, int32_t *system_error)
{
    if (INIFILE_FAULT(WRITE)) {
        file_set_error(system_error, EIO);
        return 0;
    }
    const char *next = (const char *)bytes;
    while (count > 0) {
        ssize_t written = write((int)file, next, count);
        if (written >= 0) {
            next += written;
            count -= (uint32_t)written;
        } else if (errno != EINTR) {
            file_set_error(system_error, errno);
            return 0;
        }
    }
    return 1;
}

void inifile_internal_close(intptr_t file)
{
    close((int)file);
}

// ---- Saving ----------------------------------------------------------------

// As many links as the system itself follows before it gives up (ELOOP).
enum { FILE_MOST_LINKS = 40 };

// The path a symbolic link leads to: its text when that is absolute,
// otherwise the text taken from the folder the link is in. Null when the
// link cannot be read. The result is a heap block. The size the system
// gives for the link is a hint: the links of /proc give 0, and a link
// changed meanwhile may have grown.
static char *file_read_link(const char *link, size_t size_hint)
{
    size_t capacity = size_hint + 1;
    for (;;) {
        char *text = (char *)inifile_internal_alloc(capacity);
        ssize_t length = readlink(link, text, capacity);
        if (length >= 0 && (size_t)length < capacity) {
            text[length] = '\0';
            const char *slash = strrchr(link, '/');
            if (text[0] == '/' || slash == NULL)
                return text;
            size_t folder = (size_t)(slash - link) + 1;
            char *joined = (char *)inifile_internal_alloc(folder + (size_t)length + 1);
            memcpy(joined, link, folder);
            memcpy(joined + folder, text, (size_t)length + 1);
            free(text);
            return joined;
        }
        free(text);
        if (length < 0)  // the link was removed meanwhile
            return NULL;
        capacity = capacity * 2;
    }
}

// Follows symbolic links from path to the file they lead to, which may not
// exist yet. Null (errno set) when a link cannot be read or they go round
// in circles.
static char *file_follow_links(const char *path)
{
    size_t length = strlen(path);
    char *current = (char *)inifile_internal_alloc(length + 1);
    memcpy(current, path, length + 1);
    for (int hops = 0;; ++hops) {
        struct stat status;
        if (lstat(current, &status) != 0 || !S_ISLNK(status.st_mode))
            return current;
        char *next =
            hops < FILE_MOST_LINKS ? file_read_link(current, (size_t)status.st_size) : NULL;
        free(current);
        if (next == NULL) {
            if (hops >= FILE_MOST_LINKS)
                errno = ELOOP;
            return NULL;
        }
        current = next;
    }
}

int inifile_internal_save_target(const char *path, InifileSaveTarget *target, int32_t *system_error)
{
    memset(target, 0, sizeof *target);
    if (path[0] == '\0') {
        file_set_error(system_error, ENOENT);
        return 0;
    }
    char *file = file_follow_links(path);
    if (file == NULL) {
        file_set_error(system_error, errno);
        return 0;
    }
    struct stat status;
    int error = 0;
    if (stat(file, &status) != 0) {
        // Nothing there yet (or a folder on the way is missing, which the
        // creation of the new file will tell).
        target->path = file;
        return 1;
    }
    if (S_ISDIR(status.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(status.st_mode)) {
        error = EINVAL;  // a FIFO or a device is no file to replace
    } else {
        // Opening for writing asks the system itself whether the caller may
        // write the file (permission bits, access lists, a read-only
        // mount), without changing it. The rename would otherwise replace
        // a file its owner made read-only.
        // Its status is taken again from what was opened (fstat of a
        // descriptor just opened cannot fail).
        int fd = file_open(file, O_WRONLY, 0);
        if (fd < 0 || fstat(fd, &status) != 0)
            error = errno;
        if (fd >= 0)
            close(fd);
    }
    if (error != 0) {
        free(file);
        file_set_error(system_error, error);
        return 0;
    }
    target->path = file;
    target->exists = 1;
    target->mode = (uint32_t)(status.st_mode & 07777);
    target->owner = (uint32_t)status.st_uid;
    target->group = (uint32_t)status.st_gid;
    return 1;
}

size_t inifile_internal_folder_length(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash != NULL ? (size_t)(slash - path) + 1 : 0;
}

intptr_t inifile_internal_create_new(const char *path, const InifileSaveTarget *target,
                                     int *name_taken, int32_t *system_error)
{
    *name_taken = 0;
    if (INIFILE_FAULT(CREATE)) {
        file_set_error(system_error, EIO);
        return INIFILE_INVALID_FILE;
    }
    // A new file gets what the umask leaves; one that replaces a file keeps
    // the text private until it has that file's bits.
    int fd = file_open(path, O_WRONLY | O_CREAT | O_EXCL, target->exists ? 0600 : 0666);
    if (fd < 0) {
        *name_taken = errno == EEXIST;
        file_set_error(system_error, errno);
        return INIFILE_INVALID_FILE;
    }
    if (target->exists) {
        // Only a privileged caller may give a file away; any other keeps
        // the new file as its own, as every file it creates, and then
        // without the set-user-ID and set-group-ID bits, which would
        // otherwise now run as the caller. The bits go last: a change of
        // owner clears them.
        int given = fchown(fd, (uid_t)target->owner, (gid_t)target->group) == 0;
        mode_t mode = (mode_t)(given ? target->mode : target->mode & ~(mode_t)(S_ISUID | S_ISGID));
        // Without them the replaced file would change its bits: a file
        // system that keeps none refuses the save.
        if (fchmod(fd, mode) != 0) {
            file_set_error(system_error, errno);
            close(fd);
            unlink(path);
            return INIFILE_INVALID_FILE;
        }
    }
    return (intptr_t)fd;
}

// The calls below fail through the fault seam like the system would, so
// that a test reaches the same path a real failure takes.

int inifile_internal_flush(intptr_t file, int32_t *system_error)
{
    int error = INIFILE_FAULT(FLUSH) ? EIO : fsync((int)file) != 0 ? errno : 0;
    return file_succeeded(error, system_error);
}

int inifile_internal_close_written(intptr_t file, int32_t *system_error)
{
    // close reports errors of writes the system had deferred (on a network
    // share, say); the descriptor is gone either way.
    int error = close((int)file) != 0 ? errno : 0;
    if (INIFILE_FAULT(CLOSE))
        error = EIO;
    return file_succeeded(error, system_error);
}

int inifile_internal_replace(const char *from, const char *to, int32_t *system_error)
{
    int error = INIFILE_FAULT(RENAME) ? EIO : rename(from, to) != 0 ? errno : 0;
    return file_succeeded(error, system_error);
}

void inifile_internal_remove(const char *path)
{
    unlink(path);
}

uint32_t inifile_internal_unique_seed(void)
{
    // Processes differ by their id, calls within one by the clock and a
    // count that threads share; a clash only costs another try.
    static std::atomic<uint32_t> calls;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    uint32_t call = calls.fetch_add(1, std::memory_order_relaxed) + 1;
    return (uint32_t)getpid() * 2654435761u ^ (uint32_t)now.tv_nsec ^ (uint32_t)now.tv_sec ^
           call * 40503u;
}

void inifile_internal_error_text(int32_t system_error, char *buffer, size_t size)
{
    // strerror_r comes in two shapes, the GNU one returning the text;
    // strerror itself is enough for a single-threaded caller, but a library
    // cannot know it has one.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    const char *text = strerror_r(system_error, buffer, size);
#else
    const char *text = strerror_r(system_error, buffer, size) == 0 ? buffer : "Unknown error";
#endif
    if (text != buffer) {
        strncpy(buffer, text, size - 1);
        buffer[size - 1] = '\0';
    }
}
