// The plan of a run: every path composed once into fixed buffers, never
// truncated, and every file of the distribution checked before the first
// change.
#include "installer.h"
#include "messages.h"

#include <stdarg.h>
#include <string.h>

int compose_path(char path[PATH_BUFFER_SIZE], const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(path, PATH_BUFFER_SIZE, format, arguments);
    va_end(arguments);
    if (length < 0 || length >= PATH_BUFFER_SIZE) {
        path[0] = '\0';
        return 0;
    }
    return 1;
}

const char *separator_after(const char *root)
{
    // Any other root keeps its trailing backslash, as given.
    int drive_root = ((root[0] >= 'A' && root[0] <= 'Z') || (root[0] >= 'a' && root[0] <= 'z')) &&
                     root[1] == ':' && (root[2] == '\\' || root[2] == '/') && root[3] == '\0';
    return drive_root ? "" : "\\";
}

size_t path_length(const char *root, size_t tail)
{
    return strlen(root) + strlen(separator_after(root)) + tail - 1;
}

// The bytes a path in folder adds to the root: its separator, the folder,
// and a backslash before the name.
static size_t folder_tail(const InstallPlan *plan, TreeFolder folder)
{
    const FolderShape &shape = FOLDER_SHAPES[folder];
    size_t value = shape.key == KEY_NONE ? 0 : strlen(plan->versions[shape.key]);
    return 1 + strlen(shape.before) + value + strlen(shape.after) + 1;
}

size_t longest_tail(const InstallPlan *plan, VersionKey key)
{
    size_t longest = key == KEY_NONE ? strlen("\\" RELEASE_FILE) : 0;
    for (const LaidOutFile &file : LAID_OUT_FILES) {
        for (size_t choice = 0; choice < step_count(file); ++choice) {
            const char *name = file_name(file, choice);
            const char *renamed = file.renamed != nullptr ? file.renamed : name;
            if (FOLDER_SHAPES[file.from].key == key &&
                folder_tail(plan, file.from) + strlen(name) > longest)
                longest = folder_tail(plan, file.from) + strlen(name);
            if (FOLDER_SHAPES[file.to].key == key &&
                folder_tail(plan, file.to) + strlen(renamed) > longest)
                longest = folder_tail(plan, file.to) + strlen(renamed);
        }
    }
    return longest;
}

// Composes the folders and the paths of every step; 0 when one does not
// fit (compose_plan has made sure that none can fail).
static int compose_paths(InstallPlan *plan)
{
    const char *root = plan->root;
    int fits = 1;
    for (size_t f = 0; f < FOLDER_COUNT; ++f) {
        const FolderShape &shape = FOLDER_SHAPES[f];
        fits =
            fits &&
            compose_path(plan->folders[f], "%s%s%s%s%s", root, separator_after(root), shape.before,
                         shape.key == KEY_NONE ? "" : plan->versions[shape.key], shape.after);
    }
    PlanStep *step = plan->steps;
    int folder_made = 0;
    for (const LaidOutFile &file : LAID_OUT_FILES) {
        for (size_t choice = 0; choice < step_count(file); ++choice, ++step) {
            const char *name = file_name(file, choice);
            step->file = &file;
            step->choice = choice;
            step->makes_folder = file.to == FOLDER_ROOT_BIN && !folder_made;
            folder_made = folder_made || step->makes_folder;
            step->source[0] = '\0';
            fits = fits && (file.making == WRITTEN ||
                            compose_path(step->source, "%s\\%s", plan->folders[file.from], name));
            fits = fits && compose_path(step->destination, "%s\\%s", plan->folders[file.to],
                                        file.renamed != nullptr ? file.renamed : name);
        }
    }
    return fits;
}

int compose_plan(InstallPlan *plan, Failure *failure)
{
    // A value that would not fit even under a drive's root ("X:\") is at
    // fault whatever the root; otherwise the root is too long for it.
    size_t longest = longest_tail(plan, KEY_NONE);
    for (size_t key = 0; key < KEY_COUNT; ++key) {
        size_t tail = longest_tail(plan, (VersionKey)key);
        if (path_length("X:\\", tail) >= PATH_BUFFER_SIZE)
            return fail(failure, NULL, NULL, MSG_VALUE_TOO_LONG, VERSION_KEYS[key],
                        plan->release_file, PATH_BUFFER_SIZE - 1);
        longest = tail > longest ? tail : longest;
    }
    if (path_length(plan->root, longest) >= PATH_BUFFER_SIZE || !compose_paths(plan))
        return fail(failure, NULL, NULL, MSG_ROOT_TOO_LONG MSG_ROOT_LIMIT, PATH_BUFFER_SIZE - 1,
                    plan->root, (int)(PATH_BUFFER_SIZE - 1 - longest));
    return 1;
}

int check_sources(const InstallPlan *plan, Failure *failure)
{
    for (const PlanStep &step : plan->steps) {
        if (step.file->making != COPIED_FROM_DISTRIBUTION)
            continue;
        PlatformError error;
        switch (platform_check_source(step.source, &error)) {
        case PLATFORM_SOURCE_MISSING:
            return fail(failure, NULL, NULL, MSG_FILE_MISSING, step.source);
        case PLATFORM_SOURCE_UNUSABLE:
            return fail(failure, &error, MSG_BAILING_OUT, MSG_COPY_FAILED, step.source,
                        step.destination);
        case PLATFORM_SOURCE_READABLE:
            break;
        }
    }
    return 1;
}
