// The Windows backend: the real kernel calls, with the arguments the
// installer and the configuration library rely on.
#include "platform.h"

#define WIN32_LEAN_AND_MEAN
#include <string.h>
#include <windows.h>

uint32_t platform_own_path(char *buffer, uint32_t size)
{
    if (platform_fault_check(PLATFORM_CALL_OWN_PATH))
        return 0;
    DWORD length = GetModuleFileNameA(NULL, buffer, size);
    // A path that does not fit comes back as size bytes, not terminated.
    return length >= size ? size : (uint32_t)length;
}

int platform_create_directory(const char *path)
{
    if (platform_fault_check(PLATFORM_CALL_MKDIR))
        return 0;
    return CreateDirectoryA(path, NULL) != 0;
}

int platform_exists(const char *path)
{
    if (platform_fault_check(PLATFORM_CALL_EXISTS))
        return 0;
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int platform_copy_file(const char *source, const char *destination)
{
    if (platform_fault_check(PLATFORM_CALL_COPY))
        return 0;
    return CopyFileA(source, destination, FALSE) != 0;
}

PlatformFile platform_open_read(const char *path)
{
    if (platform_fault_check(PLATFORM_CALL_OPEN))
        return PLATFORM_INVALID_FILE;
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    return handle == INVALID_HANDLE_VALUE ? PLATFORM_INVALID_FILE : (PlatformFile)handle;
}

PlatformFile platform_create_write(const char *path)
{
    if (platform_fault_check(PLATFORM_CALL_CREATE))
        return PLATFORM_INVALID_FILE;
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    return handle == INVALID_HANDLE_VALUE ? PLATFORM_INVALID_FILE : (PlatformFile)handle;
}

int platform_read(PlatformFile file, void *buffer, uint32_t size, uint32_t *got)
{
    *got = 0;
    if (platform_fault_check(PLATFORM_CALL_READ))
        return 0;
    DWORD count = 0;
    if (!ReadFile((HANDLE)file, buffer, size, &count, NULL))
        return 0;
    *got = (uint32_t)count;
    return 1;
}

int platform_write(PlatformFile file, const void *bytes, uint32_t count)
{
    if (platform_fault_check(PLATFORM_CALL_WRITE))
        return 0;
    DWORD written = 0;
    return WriteFile((HANDLE)file, bytes, count, &written, NULL) && written == count;
}

void platform_close(PlatformFile file)
{
    CloseHandle((HANDLE)file);
}

int platform_stricmp(const char *a, const char *b)
{
    return _stricmp(a, b);
}
