// The writer: saves a document in the text format the reader reads back,
// escaping ';' and '\' in keys and values.
#include "file.h"
#include "internal.h"

#include <stdlib.h>
#include <string.h>

// One write call per piece; a piece too long for the system's count is
// handed over in parts.
static int ini_write(intptr_t file, const char *bytes, size_t count)
{
    const size_t most = (size_t)1 << 30;
    // Only a key or value over 1 GiB comes here: too big for a test run.
    while (count > most) {  // GCOVR_EXCL_BR_LINE
        // GCOVR_EXCL_START
        if (!inifile_internal_write(file, bytes, (uint32_t)most, NULL))
            return 0;
        bytes += most;
        count -= most;
        // GCOVR_EXCL_STOP
    }
    return inifile_internal_write(file, bytes, (uint32_t)count, NULL);
}

static size_t ini_escaped_length(const char *text)
{
    size_t length = 0;
    for (; *text != '\0'; ++text)
        length += (*text == ';' || *text == '\\') ? 2 : 1;
    return length;
}

static char *ini_put_escaped(char *out, const char *text)
{
    for (; *text != '\0'; ++text) {
        if (*text == ';' || *text == '\\')
            *out++ = '\\';
        *out++ = *text;
    }
    return out;
}

// The scratch buffer in which each entry line is composed; it is reused
// for the whole file and doubles when a line does not fit, so that the
// file costs linear time however long its lines are.
typedef struct EntryScratch {
    char *bytes;
    size_t capacity;
} EntryScratch;

// Composes "key=value\n" with both escaped; returns its length.
static size_t ini_compose_entry(EntryScratch *scratch, const IniEntry *entry)
{
    size_t key_length = ini_escaped_length(entry->key);
    size_t value_length = ini_escaped_length(entry->value);
    size_t length = key_length + value_length + 2;
    if (length > scratch->capacity) {
        size_t capacity = scratch->capacity * 2;
        if (capacity < length)
            capacity = length;
        scratch->bytes = (char *)inifile_internal_realloc(scratch->bytes, capacity);
        scratch->capacity = capacity;
    }
    char *out = ini_put_escaped(scratch->bytes, entry->key);
    *out++ = '=';
    out = ini_put_escaped(out, entry->value);
    *out = '\n';
    return length;
}

// Writes one section: "[", the name as stored, "]\n" as three writes, then
// one write per entry line. 0 when a write failed.
static int ini_write_section(intptr_t file, const IniSection *section, EntryScratch *scratch)
{
    if (!ini_write(file, "[", 1) || !ini_write(file, section->name, strlen(section->name)) ||
        !ini_write(file, "]\n", 2))
        return 0;
    for (int32_t i = 0; i < section->count; ++i) {
        size_t length = ini_compose_entry(scratch, section->entries[i]);
        if (!ini_write(file, scratch->bytes, length))
            return 0;
    }
    return 1;
}

int32_t ini_save(const IniFile *ini, const char *path)
{
    intptr_t file = inifile_internal_create_write(path, NULL);
    if (file == INIFILE_INVALID_FILE)
        return -1;
    EntryScratch scratch = {NULL, 0};
    int32_t status = 0;
    for (int32_t i = 0; i < ini->count; ++i) {
        if (!ini_write_section(file, ini->sections[i], &scratch)) {
            status = -2;  // what was written before stays in the file
            break;
        }
    }
    free(scratch.bytes);
    inifile_internal_close(file);
    return status;
}
