// The Windows backend: the real kernel calls, with the arguments the
// installer relies on.
#include "platform.h"

#include "fault_seam.h"

#define WIN32_LEAN_AND_MEAN
#include <string.h>
#include <windows.h>

uint32_t platform_own_path(char *buffer, uint32_t size)
{
    if (PLATFORM_FAULT(OWN_PATH))
        return 0;
    DWORD length = GetModuleFileNameA(NULL, buffer, size);
    // A path that does not fit comes back as size bytes, not terminated.
    return length >= size ? size : (uint32_t)length;
}

int platform_create_directory(const char *path)
{
    if (PLATFORM_FAULT(MKDIR))
        return 0;
    return CreateDirectoryA(path, NULL) != 0;
}

int platform_exists(const char *path)
{
    if (PLATFORM_FAULT(EXISTS))
        return 0;
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int platform_copy_file(const char *source, const char *destination)
{
    if (PLATFORM_FAULT(COPY))
        return 0;
    return CopyFileA(source, destination, FALSE) != 0;
}

void platform_native_path(const char *path, char native[PATH_BUFFER_SIZE])
{
    size_t i = 0;
    for (; i + 1 < PATH_BUFFER_SIZE && path[i] != '\0'; ++i)
        native[i] = path[i];
    native[i] = '\0';
}

int platform_stricmp(const char *a, const char *b)
{
    return _stricmp(a, b);
}
