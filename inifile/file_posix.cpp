// The library's file operations on POSIX systems.
#include "file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static void file_set_error(int32_t *system_error, int error)
{
    if (system_error != NULL)
        *system_error = error;
}

// Opens without waiting: a FIFO would otherwise hold the open until some
// other process opened its other end. The flag is dropped right after, so
// that reads and writes wait as usual.
//
// EINTR, here and below, comes only from a signal handler that the calling
// program installed; no test can time a signal into these calls, so the
// retries stay out of the coverage figures.
static int file_open(const char *path, int flags, mode_t mode)
{
    int fd;
    do
        fd = open(path, flags | O_CLOEXEC | O_NONBLOCK, mode);
    while (fd < 0 && errno == EINTR);  // GCOVR_EXCL_BR_LINE: EINTR, see above
    if (fd >= 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

intptr_t inifile_internal_open_read(const char *path, int32_t *system_error)
{
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
    int error = fstat(fd, &status) != 0    ? errno  // GCOVR_EXCL_BR_LINE
                : S_ISDIR(status.st_mode)  ? EISDIR
                : !S_ISREG(status.st_mode) ? EINVAL
                                           : 0;
    if (error != 0) {
        close(fd);
        file_set_error(system_error, error);
        return INIFILE_INVALID_FILE;
    }
    return (intptr_t)fd;
}

intptr_t inifile_internal_create_write(const char *path, int32_t *system_error)
{
    if (INIFILE_FAULT(CREATE)) {
        file_set_error(system_error, EIO);
        return INIFILE_INVALID_FILE;
    }
    int fd = file_open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        file_set_error(system_error, errno);
        return INIFILE_INVALID_FILE;
    }
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
    while (count < 0 && errno == EINTR);  // GCOVR_EXCL_BR_LINE: EINTR, see file_open
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
        if (written < 0) {
            if (errno == EINTR)  // GCOVR_EXCL_BR_LINE: EINTR, see file_open
                continue;        // GCOVR_EXCL_LINE
            file_set_error(system_error, errno);
            return 0;
        }
        next += written;
        count -= (uint32_t)written;
    }
    return 1;
}

void inifile_internal_close(intptr_t file)
{
    close((int)file);
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
