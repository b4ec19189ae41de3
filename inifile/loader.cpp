// The loaders: read the logical lines of a file or of a text in memory,
// check the structure of the whole and build the document out of the lines
// themselves.
#include "file.h"
#include "internal.h"
#include "reader.h"

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
    // with a space and an entry never with '=', so line[0] stops the walk.
    while (key_end[-1] == ' ')
        key_end -= 1;
    char *value = equals + 1;
    while (*value == ' ')
        value += 1;
    *key_end = '\0';
    *equals = '\0';
    if (equals - key_end > 1)  // more than one space before the '='
        memset(key_end + 1, '\0', (size_t)(equals - key_end) - 1);
    inifile_internal_append_entry(section, line, value);
}

// The loader reads in chunks this large: far fewer system calls than the
// 1,024 bytes of ini_read_line's public buffer, and the same lines.
enum { LOAD_CHUNK = 64 * 1024 };

// What is wrong with a line the structure does not allow where it stands.
static const char *ini_syntax_fault(const char *line, int in_section)
{
    if (strcmp(line, "[]") == 0)
        return "[] is not a section header: a section needs a name";
    const char *equals = strchr(line, '=');
    if (!in_section && equals != NULL && equals != line)
        return "key=value before the first [section] header";
    return "neither a [section] header nor a key=value line";
}

static void ini_report_encoding(IniError *error, IniByteOrderMark mark)
{
    int utf32 = mark == INI_MARK_UTF32_LE || mark == INI_MARK_UTF32_BE;
    int little = mark == INI_MARK_UTF16_LE || mark == INI_MARK_UTF32_LE;
    inifile_internal_report(error, INI_ERROR_ENCODING, 0, 0,
                            "the file is UTF-%d text (%s-endian); save it as ANSI or UTF-8",
                            utf32 ? 32 : 16, little ? "little" : "big");
}

// Builds the document out of every line of source, or reports why there
// is none.
static IniFile *ini_load_lines(IniLineSource *source, IniError *error)
{
    // The document is built while the lines arrive, and the first line
    // that breaks the structure throws all of it away: the same outcome as
    // checking every line first, without holding all the lines twice.
    IniFile *ini = ini_create();
    IniSection *section = NULL;  // the section whose run of entries goes on
    const char *fault = NULL;    // what is wrong with the line at fault
    char *line;
    while ((line = inifile_internal_next_line(source)) != NULL) {
        // After a header every line is tested as an entry first, so that
        // "[a=b]" there is the entry "[a" = "b]".
        char *equals = section != NULL ? strchr(line, '=') : NULL;
        if (equals != NULL && equals != line) {
            ini_add_entry_line(section, line, equals);
        } else if (ini_is_header(line)) {
            section = inifile_internal_section_adopt_name(ini_header_to_name(line));
            inifile_internal_append_section(ini, section);
        } else {
            fault = ini_syntax_fault(line, section != NULL);
            free(line);
            break;
        }
    }
    if (fault != NULL)
        inifile_internal_report(error, INI_ERROR_SYNTAX, source->line_start, 0, "line %lld: %s",
                                (long long)source->line_start, fault);
    else if (inifile_internal_mark_unreadable(source->mark))
        ini_report_encoding(error, source->mark);
    else if (source->zero_line != 0)
        inifile_internal_report(error, INI_ERROR_ENCODING, source->zero_line, 0,
                                "line %lld: a zero byte, which no ANSI or UTF-8 text holds "
                                "(UTF-16 without a byte-order mark?)",
                                (long long)source->zero_line);
    else if (source->read_failed)
        inifile_internal_report_system(error, INI_ERROR_READ, source->system_error,
                                       "reading failed");
    else
        return ini;
    ini_destroy(ini);
    return NULL;
}

IniFile *ini_load_with_error(const char *path, IniError *error)
{
    inifile_internal_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    int32_t system_error = 0;
    intptr_t file = inifile_internal_open_read(path, &system_error);
    if (file == INIFILE_INVALID_FILE) {
        inifile_internal_report_system(error, INI_ERROR_OPEN, system_error, "cannot open the file");
        return NULL;
    }
    char *buffer = (char *)inifile_internal_alloc(LOAD_CHUNK);
    IniLineSource source;
    inifile_internal_line_source_start(&source, file, buffer, LOAD_CHUNK);
    IniFile *ini = ini_load_lines(&source, error);
    inifile_internal_close(file);
    free(buffer);
    return ini;
}

IniFile *ini_load_from_memory(const char *text, size_t length, IniError *error)
{
    inifile_internal_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    IniLineSource source;
    inifile_internal_line_source_text(&source, text, length);
    return ini_load_lines(&source, error);
}

IniFile *ini_load(const char *path)
{
    return ini_load_with_error(path, NULL);
}
