// The library's file operations on Windows: the kernel's wide file calls,
// which reach every name a folder can hold, whatever the ANSI code page.
#include "file.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

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

int inifile_internal_native_path(const char *path, InifileNativePath *native, int32_t *system_error)
{
    native->text = NULL;
    native->owned = NULL;
    if (path == NULL)
        return 1;
    // The ANSI file calls convert from the ANSI code page, or from the OEM
    // one once the program has asked for it (SetFileApisToOEM), replacing
    // what the code page lacks rather than failing: so does this.
    UINT code_page = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    int units = MultiByteToWideChar(code_page, 0, path, -1, NULL, 0);
    if (units > 0) {
        native->owned = (wchar_t *)inifile_internal_alloc((size_t)units * sizeof(wchar_t));
        if (MultiByteToWideChar(code_page, 0, path, -1, native->owned, units) == units) {
            native->text = native->owned;
            return 1;
        }
    }
    file_set_error(system_error, GetLastError());
    free(native->owned);
    native->owned = NULL;
    return 0;
}

intptr_t inifile_internal_open_read(const wchar_t *path, int64_t *size, int32_t *system_error)
{
    *size = 0;
    if (INIFILE_FAULT(OPEN)) {
        file_set_error(system_error, ERROR_READ_FAULT);
        return INIFILE_INVALID_FILE;
    }
    HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
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

// Whether path is in the long form, "\\?\C:\dir\file" or
// "\\?\UNC\server\share\file", which takes a path of any length.
static int file_is_long(const wchar_t *path)
{
    return wcsncmp(path, L"\\\\?\\", 4) == 0;
}

// The path without the long form's prefix, in place.
static void file_strip_long_prefix(wchar_t *path)
{
    if (wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0)
        wmemmove(path + 2, path + 8, wcslen(path + 8) + 1);  // "\\server\share\file"
    else if (file_is_long(path))
        wmemmove(path, path + 4, wcslen(path + 4) + 1);
}

// The full path of the file that path names, every link on the way
// followed, in the long form, as a heap block; null when the system cannot
// tell.
static wchar_t *file_final_path(const wchar_t *path)
{
    HANDLE handle = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return NULL;
    wchar_t *final = NULL;
    // The size asked for counts the terminating zero on Windows, but not
    // under Wine: one unit more serves both.
    DWORD size = GetFinalPathNameByHandleW(handle, NULL, 0, VOLUME_NAME_DOS) + 1;
    if (size > 1) {
        final = (wchar_t *)inifile_internal_alloc(size * sizeof(wchar_t));
        DWORD length = GetFinalPathNameByHandleW(handle, final, size, VOLUME_NAME_DOS);
        if (length == 0 || length >= size) {
            free(final);
            final = NULL;
        }
    }
    CloseHandle(handle);
    return final;
}

static wchar_t *file_copy(const wchar_t *path)
{
    size_t length = wcslen(path);
    wchar_t *copy = (wchar_t *)inifile_internal_alloc((length + 1) * sizeof(wchar_t));
    wmemcpy(copy, path, length + 1);
    return copy;
}

// The file a save of path replaces: path itself, unless path reaches its
// file through a symbolic link (the file's full path then differs from the
// full path of the name), in which case the file the link leads to, in the
// long form when path was in it (it may be too long for any other) and
// without it otherwise. Wine shows a POSIX link as a plain file, so its
// attributes cannot tell.
static wchar_t *file_follow_links(const wchar_t *path)
{
    wchar_t *final = file_final_path(path);
    DWORD size = final != NULL ? GetFullPathNameW(path, 0, NULL, NULL) : 0;
    int linked = 0;
    if (size > 0) {
        wchar_t *full = (wchar_t *)inifile_internal_alloc(size * sizeof(wchar_t));
        DWORD length = GetFullPathNameW(path, size, full, NULL);
        if (length > 0 && length < size) {
            wchar_t *plain = file_copy(final);
            file_strip_long_prefix(plain);
            file_strip_long_prefix(full);
            linked = lstrcmpiW(full, plain) != 0;
            free(plain);
        }
        free(full);
    }
    if (!linked) {
        free(final);
        return file_copy(path);
    }
    if (!file_is_long(path))
        file_strip_long_prefix(final);
    return final;
}

int inifile_internal_save_target(const wchar_t *path, InifileSaveTarget *target,
                                 int32_t *system_error)
{
    memset(target, 0, sizeof *target);
    if (path[0] == L'\0') {
        file_set_error(system_error, ERROR_PATH_NOT_FOUND);
        return 0;
    }
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Nothing there yet (or a folder on the way is missing, which the
        // creation of the new file will tell).
        target->path = file_copy(path);
        return 1;
    }
    wchar_t *file = file_follow_links(path);
    attributes = GetFileAttributesW(file);
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

size_t inifile_internal_folder_length(const wchar_t *path)
{
    // "C:\dir\file", "C:/dir/file" and "C:file" all name a file in a folder.
    size_t length = 0;
    for (size_t i = 0; path[i] != L'\0'; ++i) {
        if (path[i] == L'\\' || path[i] == L'/' || path[i] == L':')
            length = i + 1;
    }
    return length;
}

intptr_t inifile_internal_create_new(const wchar_t *path, const InifileSaveTarget *target,
                                     int *name_taken, int32_t *system_error)
{
    (void)target;  // Windows files carry no permission bits to keep
    *name_taken = 0;
    if (INIFILE_FAULT(CREATE)) {
        file_set_error(system_error, ERROR_WRITE_FAULT);
        return INIFILE_INVALID_FILE;
    }
    HANDLE handle =
        CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
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

int inifile_internal_replace(const wchar_t *from, const wchar_t *to, int32_t *system_error)
{
    DWORD error = INIFILE_FAULT(RENAME)                               ? ERROR_WRITE_FAULT
                  : !MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING) ? GetLastError()
                                                                      : 0;
    return file_succeeded(error, system_error);
}

void inifile_internal_remove(const wchar_t *path)
{
    DeleteFileW(path);
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
