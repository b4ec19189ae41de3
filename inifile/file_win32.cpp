// The library's file operations on Windows: the kernel's file calls.
#include "file.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void file_set_error(int32_t *system_error, DWORD error)
{
    if (system_error != NULL)
        *system_error = (int32_t)error;
}

// 1 when error is none; otherwise records it, where asked, and gives 0.
static int file_succeeded(DWORD error, int32_t *system_error)
{
    if (error == 0)
        return 1;
    file_set_error(system_error, error);
    return 0;
}

intptr_t inifile_internal_open_read(const char *path, int64_t *size, int32_t *system_error)
{
    *size = 0;
    if (INIFILE_FAULT(OPEN)) {
        file_set_error(system_error, ERROR_READ_FAULT);
        return INIFILE_INVALID_FILE;
    }
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        file_set_error(system_error, GetLastError());
        return INIFILE_INVALID_FILE;
    }
    LARGE_INTEGER length;
    if (GetFileSizeEx(handle, &length))
        *size = (int64_t)length.QuadPart;
    return (intptr_t)handle;
}

int inifile_internal_read(intptr_t file, void *buffer, uint32_t size, uint32_t *got,
                          int32_t *system_error)
{
    *got = 0;
    if (INIFILE_FAULT(READ)) {
        file_set_error(system_error, ERROR_READ_FAULT);
        return 0;
    }
    DWORD count = 0;
    if (!ReadFile((HANDLE)file, buffer, size, &count, NULL)) {
        file_set_error(system_error, GetLastError());
        return 0;
    }
    *got = (uint32_t)count;
    return 1;
}

int inifile_internal_write(intptr_t file, const void *bytes, uint32_t count, int32_t *system_error)
{
    if (INIFILE_FAULT(WRITE)) {
        file_set_error(system_error, ERROR_WRITE_FAULT);
        return 0;
    }
    DWORD written = 0;
    if (!WriteFile((HANDLE)file, bytes, count, &written, NULL)) {
        file_set_error(system_error, GetLastError());
        return 0;
    }
    if (written != count) {
        file_set_error(system_error, ERROR_WRITE_FAULT);
        return 0;
    }
    return 1;
}

void inifile_internal_close(intptr_t file)
{
    CloseHandle((HANDLE)file);
}

// ---- Saving ----------------------------------------------------------------

// A path the system wrote in its long form ("\\?\C:\dir\file" or
// "\\?\UNC\server\share\file"), as the ANSI calls take it: in place.
static void file_strip_long_prefix(char *path)
{
    if (strncmp(path, "\\\\?\\UNC\\", 8) == 0)
        memmove(path + 2, path + 8, strlen(path + 8) + 1);
    else if (strncmp(path, "\\\\?\\", 4) == 0)
        memmove(path, path + 4, strlen(path + 4) + 1);
}

// The full path of the file that path names, every link on the way
// followed, as a heap block; null when the system cannot tell.
static char *file_final_path(const char *path)
{
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return NULL;
    char *final = NULL;
    // The size asked for counts the terminating zero on Windows, but not
    // under Wine: one byte more serves both.
    DWORD size = GetFinalPathNameByHandleA(handle, NULL, 0, VOLUME_NAME_DOS) + 1;
    if (size > 1) {
        final = (char *)inifile_internal_alloc(size);
        DWORD length = GetFinalPathNameByHandleA(handle, final, size, VOLUME_NAME_DOS);
        if (length == 0 || length >= size) {
            free(final);
            final = NULL;
        } else {
            file_strip_long_prefix(final);
        }
    }
    CloseHandle(handle);
    return final;
}

// The file a save of path replaces: path itself, unless path reaches its
// file through a symbolic link (the file's full path then differs from the
// full path of the name), in which case the file the link leads to. Wine
// shows a POSIX link as a plain file, so its attributes cannot tell.
static char *file_follow_links(const char *path)
{
    char *chosen = NULL;
    char *final = file_final_path(path);
    DWORD size = final != NULL ? GetFullPathNameA(path, 0, NULL, NULL) : 0;
    if (size > 0) {
        char *full = (char *)inifile_internal_alloc(size);
        DWORD length = GetFullPathNameA(path, size, full, NULL);
        if (length > 0 && length < size && lstrcmpiA(full, final) != 0) {
            chosen = final;
            final = NULL;
        }
        free(full);
    }
    free(final);
    if (chosen == NULL) {
        size_t length = strlen(path);
        chosen = (char *)inifile_internal_alloc(length + 1);
        memcpy(chosen, path, length + 1);
    }
    return chosen;
}

int inifile_internal_save_target(const char *path, InifileSaveTarget *target, int32_t *system_error)
{
    memset(target, 0, sizeof *target);
    if (path[0] == '\0') {
        file_set_error(system_error, ERROR_PATH_NOT_FOUND);
        return 0;
    }
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Nothing there yet (or a folder on the way is missing, which the
        // creation of the new file will tell).
        size_t length = strlen(path);
        target->path = (char *)inifile_internal_alloc(length + 1);
        memcpy(target->path, path, length + 1);
        return 1;
    }
    char *file = file_follow_links(path);
    attributes = GetFileAttributesA(file);
    // The read-only attribute is checked here because a rename does not
    // always respect it (Wine renames over a read-only file).
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        file_set_error(system_error, attributes == INVALID_FILE_ATTRIBUTES ? GetLastError()
                                                                           : ERROR_ACCESS_DENIED);
        free(file);
        return 0;
    }
    target->path = file;
    target->exists = 1;
    return 1;
}

size_t inifile_internal_folder_length(const char *path)
{
    // "C:\dir\file", "C:/dir/file" and "C:file" all name a file in a folder.
    size_t length = 0;
    for (size_t i = 0; path[i] != '\0'; ++i) {
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':')
            length = i + 1;
    }
    return length;
}

intptr_t inifile_internal_create_new(const char *path, const InifileSaveTarget *target,
                                     int *name_taken, int32_t *system_error)
{
    (void)target;  // Windows files carry no permission bits to keep
    *name_taken = 0;
    if (INIFILE_FAULT(CREATE)) {
        file_set_error(system_error, ERROR_WRITE_FAULT);
        return INIFILE_INVALID_FILE;
    }
    HANDLE handle =
        CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        *name_taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        file_set_error(system_error, error);
        return INIFILE_INVALID_FILE;
    }
    return (intptr_t)handle;
}

// The calls below fail through the fault seam like the system would, so
// that a test reaches the same path a real failure takes.

int inifile_internal_flush(intptr_t file, int32_t *system_error)
{
    DWORD error = INIFILE_FAULT(FLUSH)              ? ERROR_WRITE_FAULT
                  : !FlushFileBuffers((HANDLE)file) ? GetLastError()
                                                    : 0;
    return file_succeeded(error, system_error);
}

int inifile_internal_close_written(intptr_t file, int32_t *system_error)
{
    DWORD error = !CloseHandle((HANDLE)file) ? GetLastError() : 0;
    if (INIFILE_FAULT(CLOSE))
        error = ERROR_WRITE_FAULT;
    return file_succeeded(error, system_error);
}

int inifile_internal_replace(const char *from, const char *to, int32_t *system_error)
{
    DWORD error = INIFILE_FAULT(RENAME)                               ? ERROR_WRITE_FAULT
                  : !MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ? GetLastError()
                                                                      : 0;
    return file_succeeded(error, system_error);
}

void inifile_internal_remove(const char *path)
{
    DeleteFileA(path);
}

uint32_t inifile_internal_unique_seed(void)
{
    // Processes differ by their id, calls within one by the clock and a
    // count that threads share; a clash only costs another try.
    static LONG volatile calls;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint32_t call = (uint32_t)InterlockedIncrement(&calls);
    return (uint32_t)GetCurrentProcessId() * 2654435761u ^ (uint32_t)now.LowPart ^
           (uint32_t)now.HighPart ^ call * 40503u;
}

void inifile_internal_error_text(int32_t system_error, char *buffer, size_t size)
{
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                  (DWORD)system_error, 0, buffer, (DWORD)size, NULL);
    if (length == 0) {
        // The number alone, formatted by the system too: the C++ snprintf of
        // the mingw headers is an inline function, which would leave a global
        // definition of a name that is not the library's in the library.
        DWORD_PTR number[1] = {(DWORD_PTR)(LONG)system_error};
        if (FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           "Windows error %1!ld!", 0, 0, buffer, (DWORD)size,
                           (va_list *)number) == 0 &&
            size > 0)
            buffer[0] = '\0';
        return;
    }
    // The system's texts end in a line end (and often a full stop before
    // it), and a few hold line ends inside: one line is wanted.
    while (length > 0 &&
           (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' || buffer[length - 1] == ' '))
        buffer[--length] = '\0';
    for (DWORD i = 0; i < length; ++i) {
        if (buffer[i] == '\n' || buffer[i] == '\r')
            buffer[i] = ' ';
    }
}
