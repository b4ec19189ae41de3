// The writer: saves a document in the text format the reader reads back,
// escaping ';' and '\' in names, keys and values, into a file or into
// memory. The new text of a file goes into a temporary file beside the old
// one, which is replaced by a rename only once all of it is written: a
// failure at any point leaves the old file as it was.
#include "file.h"
#include "internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// ---- What can be stored ------------------------------------------------------

// What a refusal says a text cannot do, for the first of the bytes in
// refused that it holds; null when it holds none.
static const char *save_held(const char *text, const char *refused)
{
    const char *found = strpbrk(text, refused);
    if (found == NULL)
        return NULL;
    switch (*found) {
    case '\r':
        return "hold a carriage return";
    case '\n':
        return "hold a line feed";
    default:
        return "hold '='";
    }
}

// A header is "[name]", ';' and '\' escaped as in keys and values: the
// reader would take "[]" for no header, and a name holding '=' for an entry
// line.
static const char *save_name_fault(const char *name)
{
    return name[0] == '\0' ? "be empty" : save_held(name, "=\r\n");
}

// The reader ends a key at its first '=' and trims the spaces around it.
static const char *save_key_fault(const char *key)
{
    size_t length = strlen(key);
    if (length == 0)
        return "be empty";
    if (key[0] == ' ' || key[length - 1] == ' ')
        return "begin or end with a space";
    return save_held(key, "=\r\n");
}

// A name or key is quoted in a message up to this many bytes.
enum { SAVE_QUOTED_MOST = 24 };

// text as a message quotes it, into quoted (2 * SAVE_QUOTED_MOST + 4
// bytes): cut short where it is long, a carriage return and a line feed
// shown as \r and \n so that the message stays one line.
static const char *save_quote(const char *text, char *quoted)
{
    char *at = quoted;
    size_t i = 0;
    for (; text[i] != '\0' && i < SAVE_QUOTED_MOST; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            *at++ = '\\';
            *at++ = text[i] == '\r' ? 'r' : 'n';
        } else {
            *at++ = text[i];
        }
    }
    strcpy(at, text[i] != '\0' ? "..." : "");
    return quoted;
}

// Checks that the text can carry the whole document: 1, or 0 with error
// naming the first section (and key) it cannot carry. A line end in a
// value would end its line and start another: text put into a value could
// then add keys of its own.
static int save_check_storable(const IniFile *ini, IniError *error)
{
    char name[2 * SAVE_QUOTED_MOST + 4];
    char key[2 * SAVE_QUOTED_MOST + 4];
    for (int32_t i = 0; i < ini->count; ++i) {
        const IniSection *section = ini->sections[i];
        const char *fault = save_name_fault(section->name);
        if (fault != NULL) {
            inifile_internal_report(error, INI_ERROR_UNSTORABLE, 0, 0,
                                    "section \"%s\": a section name cannot %s",
                                    save_quote(section->name, name), fault);
            return 0;
        }
        for (int32_t j = 0; j < section->count; ++j) {
            const IniEntry *entry = section->entries[j];
            const char *what = "key";
            fault = save_key_fault(entry->key);
            if (fault == NULL) {
                what = "value";
                fault = save_held(entry->value, "\r\n");
            }
            if (fault != NULL) {
                inifile_internal_report(
                    error, INI_ERROR_UNSTORABLE, 0, 0, "section \"%s\", key \"%s\": a %s cannot %s",
                    save_quote(section->name, name), save_quote(entry->key, key), what, fault);
                return 0;
            }
        }
    }
    return 1;
}

// ---- The text ----------------------------------------------------------------

// Lines are gathered into large writes: a file of a million lines then
// costs a few hundred system calls instead of a million. Text in memory
// starts smaller and doubles.
enum { SAVE_BUFFER_BYTES = 64 * 1024, SAVE_MEMORY_START = 4096 };

// Where the text goes: a file, in pieces of a buffer, or a heap block
// that grows to hold all of it.
typedef struct SaveOutput {
    intptr_t file;  // the temporary; INIFILE_INVALID_FILE for text in memory
    char *bytes;
    size_t used;
    size_t capacity;
    int failed;            // a write failed: nothing more is written
    int32_t system_error;  // why
} SaveOutput;

// Writes out what the buffer of a file holds.
static void save_flush(SaveOutput *out)
{
    if (out->used > 0 && !out->failed &&
        !inifile_internal_write(out->file, out->bytes, (uint32_t)out->used, &out->system_error))
        out->failed = 1;
    out->used = 0;
}

// Makes room for count more bytes, so that a whole line is then written
// without looking at the room again: a file's buffer is written out (and
// grows for a line longer than itself), text in memory doubles.
static inline void save_reserve(SaveOutput *out, size_t count)
{
    if (out->capacity - out->used >= count)
        return;
    if (out->file != INIFILE_INVALID_FILE) {
        save_flush(out);
        if (out->capacity >= count)
            return;
    }
    size_t capacity = out->capacity;
    while (capacity - out->used < count) {
        if (capacity > SIZE_MAX / 2)
            inifile_internal_out_of_memory();
        capacity *= 2;
    }
    out->bytes = (char *)inifile_internal_realloc(out->bytes, capacity);
    out->capacity = capacity;
}

// The most bytes text takes escaped: each byte may gain a backslash.
static inline size_t save_escaped_most(size_t length)
{
    if (length > (SIZE_MAX - 8) / 2)
        inifile_internal_out_of_memory();
    return 2 * length;
}

// Puts text with a backslash before every ';' and '\' into room reserved
// for it; returns the end of what it put.
static inline char *save_fill_escaped(char *to, const char *text)
{
    for (;;) {
        size_t run = strcspn(text, ";\\");
        memcpy(to, text, run);
        to += run;
        text += run;
        if (*text == '\0')
            return to;
        *to++ = '\\';
        *to++ = *text++;
    }
}

// Every section: "[name]", then one "key=value" line per entry. A key
// that begins with '#' is escaped too: the line would be a comment. Each
// line is measured once, its room made once, and then filled.
static void save_text(const IniFile *ini, SaveOutput *out)
{
    for (int32_t i = 0; i < ini->count && !out->failed; ++i) {
        const IniSection *section = ini->sections[i];
        save_reserve(out, save_escaped_most(strlen(section->name)) + 3);
        char *to = out->bytes + out->used;
        *to++ = '[';
        to = save_fill_escaped(to, section->name);
        *to++ = ']';
        *to++ = '\n';
        out->used = (size_t)(to - out->bytes);
        for (int32_t j = 0; j < section->count; ++j) {
            const IniEntry *entry = section->entries[j];
            size_t key_most = save_escaped_most(strlen(entry->key));
            size_t value_most = save_escaped_most(strlen(entry->value));
            if (key_most + value_most > SIZE_MAX - 8)
                inifile_internal_out_of_memory();
            save_reserve(out, key_most + value_most + 3);
            to = out->bytes + out->used;
            if (entry->key[0] == '#')
                *to++ = '\\';
            to = save_fill_escaped(to, entry->key);
            *to++ = '=';
            to = save_fill_escaped(to, entry->value);
            *to++ = '\n';
            out->used = (size_t)(to - out->bytes);
        }
    }
}

char *ini_save_to_memory(const IniFile *ini, size_t *length, IniError *error)
{
    inifile_internal_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    if (length != NULL)
        *length = 0;
    if (!save_check_storable(ini, error))
        return NULL;
    SaveOutput out = {INIFILE_INVALID_FILE,
                      (char *)inifile_internal_alloc(SAVE_MEMORY_START),
                      0,
                      SAVE_MEMORY_START,
                      0,
                      0};
    save_text(ini, &out);
    // The block the caller keeps holds the text and its zero, no more.
    char *text = (char *)inifile_internal_realloc(out.bytes, out.used + 1);
    text[out.used] = '\0';
    if (length != NULL)
        *length = out.used;
    return text;
}

// ---- The file ----------------------------------------------------------------

// A temporary's name: "ini~", three letters, ".tmp", whatever the name of
// the file it replaces.
static const char save_name_letters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
enum { SAVE_LETTER_COUNT = sizeof save_name_letters - 1, SAVE_LETTERS = 3 };
static const char save_temporary_start[] = "ini~";
static const char save_temporary_end[] = ".tmp";
static_assert(sizeof save_temporary_start - 1 + SAVE_LETTERS + sizeof save_temporary_end - 1 ==
                  INI_SAVE_TEMPORARY_NAME_LENGTH,
              "the length inifile.h states");

// Creates the temporary in the target's folder. The search starts at a
// number of its own for each call and tries every name until one is free,
// so that a save only fails for want of a name when every one is taken.
static intptr_t save_create_temporary(const InifileSaveTarget *target, char *temporary,
                                      int32_t *system_error)
{
    uint32_t names = 1;
    for (int i = 0; i < SAVE_LETTERS; ++i)
        names *= SAVE_LETTER_COUNT;
    size_t folder = inifile_internal_folder_length(target->path);
    memcpy(temporary, target->path, folder);
    char *letters = temporary + folder + sizeof save_temporary_start - 1;
    memcpy(temporary + folder, save_temporary_start, sizeof save_temporary_start - 1);
    memcpy(letters + SAVE_LETTERS, save_temporary_end, sizeof save_temporary_end);
    uint32_t start = inifile_internal_unique_seed() % names;
    for (uint32_t tried = 0; tried < names; ++tried) {
        uint32_t number = (start + tried) % names;
        for (int i = 0; i < SAVE_LETTERS; ++i) {
            letters[i] = save_name_letters[number % SAVE_LETTER_COUNT];
            number /= SAVE_LETTER_COUNT;
        }
        int taken = 0;
        intptr_t file = inifile_internal_create_new(temporary, target, &taken, system_error);
        if (file != INIFILE_INVALID_FILE || !taken)
            return file;
    }
    return INIFILE_INVALID_FILE;
}

// Writes the text into the temporary file and puts it in place of the
// target: 0, -1 or -2, with error filled on a failure.
static int32_t save_through_temporary(const IniFile *ini, const InifileSaveTarget *target,
                                      IniError *error)
{
    // Memory running out ends the process: everything is taken before the
    // temporary exists, so that it never outlives a save.
    char *temporary = (char *)inifile_internal_alloc(inifile_internal_folder_length(target->path) +
                                                     INI_SAVE_TEMPORARY_NAME_LENGTH + 1);
    SaveOutput out = {INIFILE_INVALID_FILE,
                      (char *)inifile_internal_alloc(SAVE_BUFFER_BYTES),
                      0,
                      SAVE_BUFFER_BYTES,
                      0,
                      0};
    int32_t status = -1;
    out.file = save_create_temporary(target, temporary, &out.system_error);
    if (out.file == INIFILE_INVALID_FILE) {
        inifile_internal_report_system(error, INI_ERROR_CREATE, out.system_error,
                                       "cannot create the new file");
    } else {
        // The text reaches the disk before the rename, so that a power cut
        // leaves the old file or the new one, whole, never one cut short.
        save_text(ini, &out);
        save_flush(&out);
        const char *failed = out.failed ? "writing the new file failed" : NULL;
        if (failed == NULL && !inifile_internal_flush(out.file, &out.system_error))
            failed = "flushing the new file to the disk failed";
        if (!inifile_internal_close_written(out.file, failed != NULL ? NULL : &out.system_error) &&
            failed == NULL)
            failed = "closing the new file failed";
        if (failed != NULL) {
            status = -2;
            inifile_internal_report_system(error, INI_ERROR_WRITE, out.system_error, failed);
        } else if (!inifile_internal_replace(temporary, target->path, &out.system_error)) {
            inifile_internal_report_system(error, INI_ERROR_CREATE, out.system_error,
                                           "cannot put the new file in place");
        } else {
            status = 0;
        }
        if (status != 0)
            inifile_internal_remove(temporary);
    }
    free(out.bytes);
    free(temporary);
    return status;
}

int32_t ini_save_with_error(const IniFile *ini, const char *path, IniError *error)
{
    inifile_internal_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    if (!save_check_storable(ini, error))
        return -3;
    InifileSaveTarget target;
    int32_t system_error = 0;
    if (!inifile_internal_save_target(path, &target, &system_error)) {
        inifile_internal_report_system(error, INI_ERROR_CREATE, system_error,
                                       "cannot replace the file");
        return -1;
    }
    int32_t status = save_through_temporary(ini, &target, error);
    free(target.path);
    return status;
}

int32_t ini_save(const IniFile *ini, const char *path)
{
    return ini_save_with_error(ini, path, NULL);
}
