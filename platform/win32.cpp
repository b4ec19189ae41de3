// The Windows backend: the real kernel calls, with the arguments the
// installer relies on.
#include "platform.h"

#include "fault_seam.h"

#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <shellapi.h>

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

// ---- Roots given by the user ----------------------------------------------

int platform_is_relative(const char *path)
{
    int drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    int unc = path[0] == '\\' && path[1] == '\\';
    return !drive && !unc;
}

// The ANSI form of wide into a new heap block (free() it), with best fit
// when best_fit is set, as the system gives it to ANSI programs; without,
// *exact tells whether every character has a form of its own. Null when
// the conversion fails.
static char *win32_to_ansi(const wchar_t *wide, int best_fit, int *exact)
{
    // A code page of UTF-8 represents everything, and then refuses the
    // flag and the question.
    int utf8 = GetACP() == CP_UTF8;
    DWORD flags = best_fit || utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL *asked = best_fit || utf8 ? NULL : &used_default;
    int size = WideCharToMultiByte(CP_ACP, flags, wide, -1, NULL, 0, NULL, NULL);
    char *ansi = size > 0 ? (char *)malloc((size_t)size) : NULL;
    if (ansi == NULL)
        return NULL;
    if (WideCharToMultiByte(CP_ACP, flags, wide, -1, ansi, size, NULL, asked) == 0) {
        free(ansi);
        return NULL;
    }
    if (exact != NULL)
        *exact = !used_default;
    return ansi;
}

// 1 when wide has an exact ANSI form; 0 when it has none, or when that
// cannot be told.
static int win32_is_exact(const wchar_t *wide)
{
    int exact = 0;
    char *ansi = win32_to_ansi(wide, 0, &exact);
    free(ansi);
    return ansi != NULL && exact;
}

// The wide form of an ANSI string, in a new heap block, or null.
static wchar_t *win32_to_wide(const char *ansi)
{
    int count = MultiByteToWideChar(CP_ACP, 0, ansi, -1, NULL, 0);
    wchar_t *wide = count > 0 ? (wchar_t *)malloc((size_t)count * sizeof(wchar_t)) : NULL;
    if (wide != NULL && MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, count) == 0) {
        free(wide);
        return NULL;
    }
    return wide;
}

PlatformPathResult platform_full_path(const char *path, char *buffer, uint32_t size)
{
    if (PLATFORM_FAULT(FULL_PATH))
        return PLATFORM_PATH_FAILED;
    // Resolved in wide characters: the current directory may hold names
    // the ANSI code page lacks, and an ANSI call would fill in look-alikes.
    wchar_t *wide = win32_to_wide(path);
    DWORD needed = wide != NULL ? GetFullPathNameW(wide, 0, NULL, NULL) : 0;
    wchar_t *full = needed > 0 ? (wchar_t *)malloc(needed * sizeof(wchar_t)) : NULL;
    DWORD length = full != NULL ? GetFullPathNameW(wide, needed, full, NULL) : 0;
    free(wide);
    if (length == 0 || length >= needed) {
        free(full);
        return PLATFORM_PATH_FAILED;
    }
    int exact = 0;
    char *ansi = win32_to_ansi(full, 0, &exact);
    char *look_alike = ansi != NULL && !exact ? win32_to_ansi(full, 1, NULL) : NULL;
    free(full);
    PlatformPathResult result = ansi == NULL           ? PLATFORM_PATH_FAILED
                                : strlen(ansi) >= size ? PLATFORM_PATH_TOO_LONG
                                : exact                ? PLATFORM_PATH_OK
                                                       : PLATFORM_PATH_NOT_ANSI;
    if (result == PLATFORM_PATH_OK)
        strcpy(buffer, ansi);
    else if (result == PLATFORM_PATH_NOT_ANSI)
        snprintf(buffer, size, "%s", look_alike != NULL ? look_alike : "");
    free(ansi);
    free(look_alike);
    return result;
}

// 1 when the best-fit form of wide, the form the C runtime was given, is
// argument.
static int win32_gave_argument(const wchar_t *wide, const char *argument)
{
    char *ansi = win32_to_ansi(wide, 1, NULL);
    int same = ansi != NULL && strcmp(ansi, argument) == 0;
    free(ansi);
    return same;
}

// The wide argument that the C runtime turned into argument: the one at
// index when the two parsers of the command line agree, else the first
// one whose best-fit form is argument. Null when none is.
static const wchar_t *win32_find_argument(wchar_t **arguments, int count, int index,
                                          const char *argument)
{
    if (index < count && win32_gave_argument(arguments[index], argument))
        return arguments[index];
    for (int i = 1; i < count; ++i) {
        if (win32_gave_argument(arguments[i], argument))
            return arguments[i];
    }
    return NULL;
}

int platform_argument_is_exact(int index, const char *argument)
{
    const wchar_t *command_line = GetCommandLineW();
    // A command line without a single look-alike holds none in any
    // argument: the common case needs no parsing.
    if (win32_is_exact(command_line))
        return 1;
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(command_line, &count);
    if (arguments == NULL)
        return 0;
    const wchar_t *wide = win32_find_argument(arguments, count, index, argument);
    // An argument that cannot be found is not known to be exact.
    int exact = wide != NULL && win32_is_exact(wide);
    LocalFree(arguments);
    return exact;
}

int platform_own_path_is_exact(void)
{
    enum { WIDE_PATH_SIZE = 32768 };  // the longest path Windows has
    wchar_t *wide = (wchar_t *)malloc(WIDE_PATH_SIZE * sizeof(wchar_t));
    DWORD length = wide != NULL ? GetModuleFileNameW(NULL, wide, WIDE_PATH_SIZE) : 0;
    // Without a wide path the ANSI one failed as well, and says so.
    int exact = length == 0 || length >= WIDE_PATH_SIZE || win32_is_exact(wide);
    free(wide);
    return exact;
}
