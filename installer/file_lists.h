// The installation as data: the folders of a tree, the files a run lays
// out, and the start-ups it offers. A copied file is one row of
// LAID_OUT_FILES; a start-up is one row of BOOT_CHOICES (and the question's
// text, in messages.h).
#ifndef QUORVEL_FILE_LISTS_H
#define QUORVEL_FILE_LISTS_H

#include "platform.h"

#include <stddef.h>

// The release description at the root of the tree.
#define RELEASE_FILE "Install.ini"

// The values of Install.ini's section Install that name folders.
typedef enum VersionKey {
    KEY_VSN,         // names sumbra-<VSN>; the success message reports it
    KEY_SYSTEM_VSN,  // names releases\<SYSTEM_VSN>
    KEY_COUNT,
    KEY_NONE = KEY_COUNT,
} VersionKey;
inline constexpr const char *VERSION_KEYS[KEY_COUNT] = {"VSN", "SYSTEM_VSN"};

// The folders files are laid out from and into.
typedef enum TreeFolder {
    FOLDER_VERSIONED_BIN,  // <root>\sumbra-<VSN>\bin
    FOLDER_RELEASE,        // <root>\releases\<SYSTEM_VSN>
    FOLDER_ROOT_BIN,       // <root>\bin
    FOLDER_COUNT,
} TreeFolder;

// A folder as <root>\<before><value of key><after>.
typedef struct FolderShape {
    const char *before;
    VersionKey key;
    const char *after;
} FolderShape;
inline constexpr FolderShape FOLDER_SHAPES[FOLDER_COUNT] = {
    {"sumbra-", KEY_VSN, "\\bin"},
    {"releases\\", KEY_SYSTEM_VSN, ""},
    {"bin", KEY_NONE, ""},
};

// A start-up the question offers: the answers that pick it, in any letter
// case (none: every answer that picks no other), and its boot file, which
// is copied from the release folder into bin and, once chosen, to
// start.boot.
typedef struct BootChoice {
    const char *answers[2];
    const char *file;
} BootChoice;
inline constexpr BootChoice BOOT_CHOICES[] = {
    {{"yes", "y"}, "start_mirren.boot"},  // the minimal start-up
    {{}, "start_velmar.boot"},            // the velmar start-up
};
inline constexpr size_t BOOT_CHOICE_COUNT = sizeof BOOT_CHOICES / sizeof BOOT_CHOICES[0];
// A silent run asks nothing and prepares the minimal start-up.
inline constexpr size_t SILENT_BOOT_CHOICE = 0;

// How a file is made.
typedef enum FileMaking {
    COPIED_FROM_DISTRIBUTION,  // its source is checked before the first change
    COPIED_FROM_RUN,           // its source is a file this run made before it
    WRITTEN,                   // written from what the run knows: qvl.ini
} FileMaking;

// What it means when a file cannot be made.
typedef enum FileFailure {
    FAILURE_ENDS_RUN,
    // A program running from bin cannot be replaced while it runs: it is
    // left as it was, with a warning, and the rest still installs.
    FAILURE_WARNS_IN_USE,
} FileFailure;

// The files a row stands for.
typedef enum RowFiles {
    NAMED_FILE,        // the one it names
    EVERY_BOOT_FILE,   // each boot choice's file: a step for each
    CHOSEN_BOOT_FILE,  // a step for each boot choice's file, of which only
                       // the chosen one's is carried out
} RowFiles;

// A file a run lays out: copied from its name in one folder, or written,
// to its name (or to renamed) in another.
typedef struct LaidOutFile {
    FileMaking making;
    TreeFolder from;   // a written file has none: the folder it is written in
    const char *name;  // null for a boot choice's file
    TreeFolder to;
    const char *renamed;  // null: the same name
    FileFailure failure;
    RowFiles files = NAMED_FILE;
} LaidOutFile;

#define LAUNCHER_CONFIG_FILE "qvl.ini"

// Every file a run lays out, in the order it makes them.
inline constexpr LaidOutFile LAID_OUT_FILES[] = {
    {COPIED_FROM_DISTRIBUTION, FOLDER_VERSIONED_BIN, "qvl.exe", FOLDER_ROOT_BIN, nullptr,
     FAILURE_WARNS_IN_USE},
    {COPIED_FROM_DISTRIBUTION, FOLDER_VERSIONED_BIN, "wqvl.exe", FOLDER_ROOT_BIN, nullptr,
     FAILURE_WARNS_IN_USE},
    {COPIED_FROM_DISTRIBUTION, FOLDER_VERSIONED_BIN, "qvlc.exe", FOLDER_ROOT_BIN, nullptr,
     FAILURE_WARNS_IN_USE},
    {COPIED_FROM_DISTRIBUTION, FOLDER_VERSIONED_BIN, "brevant.exe", FOLDER_ROOT_BIN, nullptr,
     FAILURE_WARNS_IN_USE},
    {COPIED_FROM_DISTRIBUTION, FOLDER_VERSIONED_BIN, "kestin.exe", FOLDER_ROOT_BIN, nullptr,
     FAILURE_WARNS_IN_USE},
    {COPIED_FROM_DISTRIBUTION, FOLDER_VERSIONED_BIN, "ostrel.exe", FOLDER_ROOT_BIN, nullptr,
     FAILURE_WARNS_IN_USE},
    {COPIED_FROM_DISTRIBUTION, FOLDER_VERSIONED_BIN, "vk_run.exe", FOLDER_ROOT_BIN, nullptr,
     FAILURE_WARNS_IN_USE},
    {COPIED_FROM_DISTRIBUTION, FOLDER_RELEASE, nullptr, FOLDER_ROOT_BIN, nullptr, FAILURE_ENDS_RUN,
     EVERY_BOOT_FILE},
    // The active boot file.
    {COPIED_FROM_RUN, FOLDER_ROOT_BIN, nullptr, FOLDER_ROOT_BIN, "start.boot", FAILURE_ENDS_RUN,
     CHOSEN_BOOT_FILE},
    // The launcher configuration, beside the programs it starts in both
    // binary folders.
    {WRITTEN, FOLDER_VERSIONED_BIN, LAUNCHER_CONFIG_FILE, FOLDER_VERSIONED_BIN, nullptr,
     FAILURE_ENDS_RUN},
    {COPIED_FROM_RUN, FOLDER_VERSIONED_BIN, LAUNCHER_CONFIG_FILE, FOLDER_ROOT_BIN, nullptr,
     FAILURE_ENDS_RUN},
};

// The name of the file of a row's step for a boot choice (the name itself
// for a named file, which has one step).
constexpr const char *file_name(const LaidOutFile &file, size_t choice)
{
    return file.files == NAMED_FILE ? file.name : BOOT_CHOICES[choice].file;
}

// The steps of a row: one, or one per boot choice.
constexpr size_t step_count(const LaidOutFile &file)
{
    return file.files == NAMED_FILE ? 1 : BOOT_CHOICE_COUNT;
}

constexpr size_t plan_step_count()
{
    size_t count = 0;
    for (const LaidOutFile &file : LAID_OUT_FILES)
        count += step_count(file);
    return count;
}
inline constexpr size_t PLAN_STEP_COUNT = plan_step_count();

constexpr bool same_name(const char *a, const char *b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// Every destination in a folder may be one, and has a scratch file of its
// own (platform.h).
constexpr bool destinations_are_distinct()
{
    for (const LaidOutFile &a : LAID_OUT_FILES) {
        for (const LaidOutFile &b : LAID_OUT_FILES) {
            for (size_t i = 0; i < step_count(a); ++i) {
                for (size_t j = 0; j < step_count(b); ++j) {
                    const char *one = a.renamed ? a.renamed : file_name(a, i);
                    const char *two = b.renamed ? b.renamed : file_name(b, j);
                    if (a.to == b.to && !same_name(one, two) &&
                        platform_scratch_names_clash(one, two))
                        return false;
                }
            }
        }
    }
    return true;
}
static_assert(destinations_are_distinct());

#endif
