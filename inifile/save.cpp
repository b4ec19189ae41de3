// Saving to a file: the new text goes into a temporary file beside the old
// one, which is replaced by a rename only once all of it is written and
// forced to the disk, so that a failure at any point, or a power cut,
// leaves the old file as it was or the new one whole.
#include "file.h"
#include "internal.h"
#include "writer.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// A temporary's name: "ini~", three letters, ".tmp", whatever the name of
// the file it replaces.
static const char save_name_letters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
enum { SAVE_LETTER_COUNT = sizeof save_name_letters - 1, SAVE_LETTERS = 3 };
static const char save_temporary_start[] = "ini~";
static const char save_temporary_end[] = ".tmp";
static_assert(sizeof save_temporary_start - 1 + SAVE_LETTERS + sizeof save_temporary_end - 1 ==
                  INI_SAVE_TEMPORARY_NAME_LENGTH,
              "the length inifile.h states");

// Puts the ASCII text, with its zero, at to: a path in the system's form.
static void save_put(InifilePathUnit *to, const char *text)
{
    do
        *to++ = (InifilePathUnit)*text;
    while (*text++ != '\0');
}

// Creates the temporary in the target's folder. The search starts at a
// number of its own for each call and tries every name until one is free,
// so that a save only fails for want of a name when every one is taken.
static intptr_t save_create_temporary(const InifileSaveTarget *target, InifilePathUnit *temporary,
                                      int32_t *system_error)
{
    uint32_t names = 1;
    for (int i = 0; i < SAVE_LETTERS; ++i)
        names *= SAVE_LETTER_COUNT;
    size_t folder = inifile_internal_folder_length(target->path);
    memcpy(temporary, target->path, folder * sizeof *temporary);
    InifilePathUnit *letters = temporary + folder + sizeof save_temporary_start - 1;
    save_put(temporary + folder, save_temporary_start);
    save_put(letters + SAVE_LETTERS, save_temporary_end);
    uint32_t start = inifile_internal_unique_seed() % names;
    for (uint32_t tried = 0; tried < names; ++tried) {
        uint32_t number = (start + tried) % names;
        for (int i = 0; i < SAVE_LETTERS; ++i) {
            letters[i] = (InifilePathUnit)save_name_letters[number % SAVE_LETTER_COUNT];
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
static int32_t save_through_temporary(const IniFile *ini, const SaveMeasure *measure,
                                      const InifileSaveTarget *target, IniError *error)
{
    // Memory running out ends the process: everything is taken before the
    // temporary exists, so that it never outlives a save.
    size_t units =
        inifile_internal_folder_length(target->path) + INI_SAVE_TEMPORARY_NAME_LENGTH + 1;
    InifilePathUnit *temporary =
        (InifilePathUnit *)inifile_internal_alloc(units * sizeof(InifilePathUnit));
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
        inifile_internal_any_text(ini, measure, &out);
        inifile_internal_save_flush(&out);
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

// ini_save_with_error to path, in the system's form, or to the narrow
// path when there is one: a document the text cannot carry is refused
// before the path is looked at.
static int32_t save_to_path(const IniFile *ini, const char *narrow, const InifilePathUnit *path,
                            IniError *error)
{
    inifile_internal_report(error, INI_ERROR_NONE, 0, 0, "%s", "");
    SaveMeasure measure = {0, 0};
    if (!inifile_internal_any_check(ini, &measure, error))
        return -3;
    int32_t system_error = 0;
    InifileNativePath native = {path, NULL};
    InifileSaveTarget target;
    int32_t status = -1;
    if ((narrow != NULL && !inifile_internal_native_path(narrow, &native, &system_error)) ||
        !inifile_internal_save_target(native.text, &target, &system_error)) {
        inifile_internal_report_system(error, INI_ERROR_CREATE, system_error,
                                       "cannot replace the file");
    } else {
        status = save_through_temporary(ini, &measure, &target, error);
        free(target.path);
    }
    free(native.owned);
    return status;
}

int32_t ini_save_with_error(const IniFile *ini, const char *path, IniError *error)
{
    return save_to_path(ini, path, NULL, error);
}

#ifdef _WIN32
int32_t ini_save_wide(const IniFile *ini, const wchar_t *path, IniError *error)
{
    return save_to_path(ini, NULL, path, error);
}
#endif

int32_t ini_save(const IniFile *ini, const char *path)
{
    return ini_save_with_error(ini, path, NULL);
}
