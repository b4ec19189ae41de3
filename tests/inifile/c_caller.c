/* The library used from C: the header compiles as C, and a line from
 * ini_read_line is released with free(). */
#include "c_caller.h"

#include "inifile.h"
#include "platform.h"

#include <stdlib.h>
#include <string.h>

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
    reader.handle = platform_open_read(path);
    if (reader.handle == PLATFORM_INVALID_FILE)
        return 3;
    char *header = ini_read_line(&reader);
    char *entry = ini_read_line(&reader);
    int result = header == NULL || strcmp(header, "[quorvel]") != 0        ? 4
                 : entry == NULL || strcmp(entry, "Rootdir=C:\\dist") != 0 ? 5
                 : ini_read_line(&reader) != NULL                          ? 6
                                                                           : 0;
    free(header);
    free(entry);
    platform_close(reader.handle);
    return result;
}
