// The loader: reads the logical lines of a file, checks the structure of
// the whole file and builds the document out of the lines themselves.
#include "internal.h"

#include "platform.h"

#include <stdlib.h>
#include <string.h>

// "[name]": longer than 2 bytes, first byte '[', last byte ']'.
static int ini_is_header(const char *line)
{
    size_t length = strlen(line);
    return length > 2 && line[0] == '[' && line[length - 1] == ']';
}

// Turns a header line into its name in place: the inner bytes move one
// byte towards the start, so the name owns the line's storage.
static char *ini_header_to_name(char *line)
{
    size_t inner = strlen(line) - 2;
    memmove(line, line + 1, inner);
    line[inner] = '\0';
    return line;
}

// Splits an entry line in place at its first '=': the '=' and the key's
// trailing spaces become zero bytes, the value starts after the spaces
// that follow the '='. The key stays at the start of the line and owns it.
static void ini_add_entry_line(IniSection *section, char *line, char *equals)
{
    char *key_end = equals;
    // The start of the line is never passed: a logical line never begins
    // with a space and an entry never with '='.
    while (key_end > line && key_end[-1] == ' ')  // GCOVR_EXCL_BR_LINE
        key_end -= 1;
    char *value = equals + 1;
    while (*value == ' ')
        value += 1;
    memset(key_end, '\0', (size_t)(equals - key_end) + 1);
    ini_append_entry(section, line, value);
}

IniFile *ini_load(const char *path)
{
    PlatformFile file = platform_open_read(path);
    if (file == PLATFORM_INVALID_FILE)
        return NULL;
    IniLineReader reader;
    memset(&reader, 0, sizeof reader);
    reader.handle = file;

    // The document is built while the lines arrive, and the first line
    // that breaks the structure throws all of it away: the same outcome as
    // checking every line first, without holding all the lines twice.
    IniFile *ini = ini_create();
    IniSection *section = NULL;  // the section whose run of entries goes on
    int valid = 1;
    char *line;
    while ((line = ini_read_line(&reader)) != NULL) {
        // After a header every line is tested as an entry first, so that
        // "[a=b]" there is the entry "[a" = "b]".
        char *equals = section != NULL ? strchr(line, '=') : NULL;
        if (equals != NULL && equals != line) {
            ini_add_entry_line(section, line, equals);
        } else if (ini_is_header(line)) {
            section = ini_section_adopt_name(ini_header_to_name(line));
            ini_append_section(ini, section);
        } else {
            free(line);
            valid = 0;
            break;
        }
    }
    platform_close(file);
    if (!valid || reader.read_failed) {
        ini_destroy(ini);
        return NULL;
    }
    return ini;
}
