// The writer: saves a document in the text format the reader reads back,
// escaping ';' and '\' in keys and values. The new text goes into a
// temporary file beside the old one, which is replaced by a rename only
// once all of it is written: a failure at any point leaves the old file as
// it was.
#include "file.h"
#include "internal.h"

#include <stdlib.h>
#include <string.h>

// ---- What can be stored ------------------------------------------------------

// A header is "[name]" written as stored: the reader would take ';' and
// '\' for a comment and an escape, "[]" for no header, and a name holding
// '=' for an entry line.
static int save_name_storable(const char *name)
{
    return name[0] != '\0' && strpbrk(name, ";\\=\r\n") == NULL;
}

// The reader ends a key at its first '=' and trims the spaces around it.
static int save_key_storable(const char *key)
{
    size_t length = strlen(key);
    return length > 0 && key[0] != ' ' && key[length - 1] != ' ' && strpbrk(key, "=\r\n") == NULL;
}

// A line end in a value would end its line and start another: text put
// into a value could then add keys of its own.
static int save_document_storable(const IniFile *ini)
{
    for (int32_t i = 0; i < ini->count; ++i) {
        const IniSection *section = ini->sections[i];
        if (!save_name_storable(section->name))
            return 0;
        for (int32_t j = 0; j < section->count; ++j) {
            const IniEntry *entry = section->entries[j];
            if (!save_key_storable(entry->key) || strpbrk(entry->value, "\r\n") != NULL)
                return 0;
        }
    }
    return 1;
}

// ---- The text ----------------------------------------------------------------

// Lines are gathered into large writes: a file of a million lines then
// costs a few hundred system calls instead of a million.
enum { SAVE_BUFFER_BYTES = 64 * 1024 };

typedef struct SaveOutput {
    intptr_t file;
    size_t used;
    int failed;  // a write failed: nothing more is written
    char *bytes;
} SaveOutput;

static void save_write_buffer(SaveOutput *out)
{
    if (!out->failed && !inifile_internal_write(out->file, out->bytes, (uint32_t)out->used, NULL))
        out->failed = 1;
    out->used = 0;
}

static void save_put(SaveOutput *out, const char *bytes, size_t count)
{
    while (count > 0) {
        if (out->used == SAVE_BUFFER_BYTES)
            save_write_buffer(out);
        size_t piece = SAVE_BUFFER_BYTES - out->used;
        if (piece > count)
            piece = count;
        memcpy(out->bytes + out->used, bytes, piece);
        out->used += piece;
        bytes += piece;
        count -= piece;
    }
}

// The text with a backslash before every ';' and '\'.
static void save_put_escaped(SaveOutput *out, const char *text)
{
    for (; *text != '\0'; ++text) {
        if (SAVE_BUFFER_BYTES - out->used < 2)
            save_write_buffer(out);
        if (*text == ';' || *text == '\\')
            out->bytes[out->used++] = '\\';
        out->bytes[out->used++] = *text;
    }
}

// Every section: "[name]" as stored, then one "key=value" line per entry.
// 1 when every byte reached the file.
static int save_write_document(const IniFile *ini, SaveOutput *out)
{
    for (int32_t i = 0; i < ini->count && !out->failed; ++i) {
        const IniSection *section = ini->sections[i];
        save_put(out, "[", 1);
        save_put(out, section->name, strlen(section->name));
        save_put(out, "]\n", 2);
        for (int32_t j = 0; j < section->count; ++j) {
            save_put_escaped(out, section->entries[j]->key);
            save_put(out, "=", 1);
            save_put_escaped(out, section->entries[j]->value);
            save_put(out, "\n", 1);
        }
    }
    if (out->used > 0)
        save_write_buffer(out);
    return !out->failed;
}

// ---- The file ----------------------------------------------------------------

// The characters after the '~' of a temporary's name.
static const char save_name_letters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
enum { SAVE_LETTER_COUNT = sizeof save_name_letters - 1 };

// Creates the temporary beside the target, named after it: the target's
// path, '~' and three letters. The search starts at a number of its own
// for each call and tries every name until one is free, so that a save
// only fails for want of a name when every one is taken.
static intptr_t save_create_temporary(const InifileSaveTarget *target, char *temporary)
{
    enum { LETTERS = INI_SAVE_TEMPORARY_EXTRA - 1 };
    uint32_t names = 1;
    for (int i = 0; i < LETTERS; ++i)
        names *= SAVE_LETTER_COUNT;
    size_t length = strlen(target->path);
    memcpy(temporary, target->path, length);
    temporary[length] = '~';
    temporary[length + INI_SAVE_TEMPORARY_EXTRA] = '\0';
    uint32_t start = inifile_internal_unique_seed() % names;
    for (uint32_t tried = 0; tried < names; ++tried) {
        uint32_t number = (start + tried) % names;
        for (int i = 1; i <= LETTERS; ++i) {
            temporary[length + i] = save_name_letters[number % SAVE_LETTER_COUNT];
            number /= SAVE_LETTER_COUNT;
        }
        int taken = 0;
        intptr_t file = inifile_internal_create_new(temporary, target, &taken, NULL);
        if (file != INIFILE_INVALID_FILE || !taken)
            return file;
    }
    return INIFILE_INVALID_FILE;
}

int32_t ini_save(const IniFile *ini, const char *path)
{
    if (!save_document_storable(ini))
        return -3;
    // An empty path names no file; its temporary would land in the
    // working folder.
    InifileSaveTarget target;
    if (path[0] == '\0' || !inifile_internal_save_target(path, &target, NULL))
        return -1;
    // Memory running out ends the process: everything is taken before the
    // temporary exists, so that it never outlives a save.
    char *temporary =
        (char *)inifile_internal_alloc(strlen(target.path) + INI_SAVE_TEMPORARY_EXTRA + 1);
    SaveOutput out = {INIFILE_INVALID_FILE, 0, 0,
                      (char *)inifile_internal_alloc(SAVE_BUFFER_BYTES)};
    int32_t status = -1;
    intptr_t file = save_create_temporary(&target, temporary);
    if (file != INIFILE_INVALID_FILE) {
        out.file = file;
        // The text is not forced to the disk before the rename: the tool
        // that saves with it waits for the disk on none of its files, and a
        // flush would cost more than the whole save.
        int stored = save_write_document(ini, &out);
        if (!inifile_internal_close_written(file, NULL))
            stored = 0;
        status = !stored ? -2 : inifile_internal_replace(temporary, target.path, NULL) ? 0 : -1;
        if (status != 0)
            inifile_internal_remove(temporary);
    }
    free(out.bytes);
    free(temporary);
    free(target.path);
    return status;
}
