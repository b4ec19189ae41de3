// The files an installation copies, in the order it copies them.
#ifndef QUORVEL_FILE_LISTS_H
#define QUORVEL_FILE_LISTS_H

#include "inifile.h"

#include <stddef.h>

// The release description at the root of the tree.
#define RELEASE_FILE "Install.ini"

// Copied from the versioned binary directory into <root>\bin.
inline constexpr const char *EXECUTABLES[] = {
    "qvl.exe", "wqvl.exe", "qvlc.exe", "brevant.exe", "kestin.exe", "ostrel.exe", "vk_run.exe",
};
inline constexpr size_t EXECUTABLE_COUNT = sizeof EXECUTABLES / sizeof EXECUTABLES[0];

// Copied from the release directory into <root>\bin.
#define MINIMAL_BOOT_FILE "start_mirren.boot"
#define VELMAR_BOOT_FILE "start_velmar.boot"
inline constexpr const char *BOOT_FILES[] = {MINIMAL_BOOT_FILE, VELMAR_BOOT_FILE};
inline constexpr size_t BOOT_FILE_COUNT = sizeof BOOT_FILES / sizeof BOOT_FILES[0];

// The active boot file, a copy of one of the two.
#define ACTIVE_BOOT_FILE "start.boot"

// The launcher configuration, written into both binary directories.
#define LAUNCHER_CONFIG_FILE "qvl.ini"

// The longest name the run joins to each directory of the layout, which
// decides whether the directory's paths fit a path buffer.
constexpr size_t name_length(const char *name)
{
    size_t length = 0;
    while (name[length] != '\0')
        ++length;
    return length;
}

template <size_t N>
constexpr size_t longest_name(const char *const (&names)[N], size_t at_least = 0)
{
    for (const char *name : names)
        at_least = name_length(name) > at_least ? name_length(name) : at_least;
    return at_least;
}

// qvl.ini is saved there through a temporary with a name of its own.
inline constexpr size_t LONGEST_IN_VERSIONED_BIN =
    longest_name(EXECUTABLES, longest_name({LAUNCHER_CONFIG_FILE}, INI_SAVE_TEMPORARY_NAME_LENGTH));
inline constexpr size_t LONGEST_IN_RELEASE_DIR = longest_name(BOOT_FILES);
inline constexpr size_t LONGEST_IN_ROOT_BIN =
    longest_name(BOOT_FILES, longest_name(EXECUTABLES, name_length(LAUNCHER_CONFIG_FILE)));
static_assert(LONGEST_IN_ROOT_BIN >= name_length(ACTIVE_BOOT_FILE));

// A copy works through a scratch file named like its destination with the
// last byte replaced by '~' (platform.h), as long as the destination's, so
// the path limits above hold for it too. No name in <root>\bin may end in
// '~', and no two may share a scratch file.
constexpr bool share_scratch_file(const char *a, const char *b)
{
    size_t length = name_length(a);
    if (length != name_length(b))
        return false;
    for (size_t i = 0; i + 1 < length; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

constexpr bool scratch_files_are_distinct()
{
    const char *names[EXECUTABLE_COUNT + BOOT_FILE_COUNT + 2] = {};
    size_t count = 0;
    for (const char *name : EXECUTABLES)
        names[count++] = name;
    for (const char *name : BOOT_FILES)
        names[count++] = name;
    names[count++] = ACTIVE_BOOT_FILE;
    names[count++] = LAUNCHER_CONFIG_FILE;
    for (size_t i = 0; i < count; ++i) {
        if (names[i][name_length(names[i]) - 1] == '~')
            return false;
        for (size_t j = i + 1; j < count; ++j) {
            if (share_scratch_file(names[i], names[j]))
                return false;
        }
    }
    return true;
}
static_assert(scratch_files_are_distinct());

#endif
