// The loader: reads the logical lines of a file, checks the structure of
// the whole file and builds the document out of the lines themselves.
#include "file.h"
#include "internal.h"

#include <stdarg.h>
#include <stdio.h>
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
    inifile_internal_append_entry(section, line, value);
}

// Fills error, when the caller asked for one, with its kind, line, system
// code and message (printf-style).
static void ini_report(IniError *error, IniErrorKind kind, int32_t line, int32_t system_error,
                       const char *format, ...) __attribute__((format(printf, 5, 6)));

static void ini_report(IniError *error, IniErrorKind kind, int32_t line, int32_t system_error,
                       const char *format, ...)
{
    if (error == NULL)
        return;
    error->kind = kind;
    error->line = line;
    error->system_error = system_error;
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(error->message, sizeof error->message, format, arguments);
    va_end(arguments);
}

// The system's text for code, for a message.
static void ini_report_system(IniError *error, IniErrorKind kind, int32_t system_error,
                              const char *what)
{
    if (error == NULL)
        return;
    char text[sizeof error->message];
    inifile_internal_error_text(system_error, text, sizeof text);
    ini_report(error, kind, 0, system_error, "%s: %s", what, text);
}

IniFile *ini_load_with_error(const char *path, IniError *error)
{
    ini_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    int32_t system_error = 0;
    intptr_t file = inifile_internal_open_read(path, &system_error);
    if (file == INIFILE_INVALID_FILE) {
        ini_report_system(error, INI_ERROR_OPEN, system_error, "The file cannot be opened");
        return NULL;
    }
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
            section = inifile_internal_section_adopt_name(ini_header_to_name(line));
            inifile_internal_append_section(ini, section);
        } else {
            free(line);
            valid = 0;
            break;
        }
    }
    inifile_internal_close(file);
    if (!valid)
        ini_report(error, INI_ERROR_SYNTAX, 0, 0, "%s",
                   "A line is neither a [section] header nor a key=value entry of one");
    else if (reader.read_failed)
        ini_report_system(error, INI_ERROR_READ, 0, "Reading the file failed");
    if (!valid || reader.read_failed) {
        ini_destroy(ini);
        return NULL;
    }
    return ini;
}

IniFile *ini_load(const char *path)
{
    return ini_load_with_error(path, NULL);
}
