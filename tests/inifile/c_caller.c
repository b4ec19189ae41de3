/* The library used from C: the header compiles as C, and a line from
 * ini_read_line is released with free(). */
#include "c_caller.h"

#include "inifile.h"

#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

/* A caller that drives the reader opens the file itself. */
static intptr_t open_for_lines(const char *path)
{
#ifdef _WIN32
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    return handle == INVALID_HANDLE_VALUE ? -1 : (intptr_t)handle;
#else
    return open(path, O_RDONLY);
#endif
}

static void close_lines(intptr_t handle)
{
#ifdef _WIN32
    CloseHandle((HANDLE)handle);
#else
    close((int)handle);
#endif
}

int c_caller_save_and_read(const char *path)
{
    IniFile *ini = ini_create();
    IniSection *section = section_create("quorvel");
    section_set_value(section, "Rootdir", "C:\\dist");
    if (ini_put_section(ini, section) != 1)
        return 1;
    int32_t saved = ini_save(ini, path);
    ini_destroy(ini);
    if (saved != 0)
        return 2;

    IniLineReader reader;
    memset(&reader, 0, sizeof reader);
    reader.handle = open_for_lines(path);
    if (reader.handle == -1)
        return 3;
    char *header = ini_read_line(&reader);
    char *entry = ini_read_line(&reader);
    int result = header == NULL || strcmp(header, "[quorvel]") != 0        ? 4
                 : entry == NULL || strcmp(entry, "Rootdir=C:\\dist") != 0 ? 5
                 : ini_read_line(&reader) != NULL                          ? 6
                                                                           : 0;
    free(header);
    free(entry);
    close_lines(reader.handle);
    return result;
}
