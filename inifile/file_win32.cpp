// The library's file operations on Windows: the kernel's file calls.
#include "file.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

static void file_set_error(int32_t *system_error, DWORD error)
{
    if (system_error != NULL)
        *system_error = (int32_t)error;
}

intptr_t inifile_internal_open_read(const char *path, int32_t *system_error)
{
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
    return (intptr_t)handle;
}

intptr_t inifile_internal_create_write(const char *path, int32_t *system_error)
{
    if (INIFILE_FAULT(CREATE)) {
        file_set_error(system_error, ERROR_WRITE_FAULT);
        return INIFILE_INVALID_FILE;
    }
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        file_set_error(system_error, GetLastError());
        return INIFILE_INVALID_FILE;
    }
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
