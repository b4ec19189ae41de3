// <root>\bin: the executables, the boot files and the active boot file.
#include "file_lists.h"
#include "installer.h"
#include "messages.h"

// Joins directory and name; the layout's directories were checked to have
// room for every name the run joins to them.
static void join_path(char path[PATH_BUFFER_SIZE], const char *directory, const char *name)
{
    compose_path(path, "%s\\%s", directory, name);
}

static void require_file(const char *path)
{
    if (!platform_exists(path))
        installer_fail(MSG_FILE_MISSING, path);
}

// A boot file that cannot be copied leaves the installation unable to
// start: the run ends.
static void copy_or_bail_out(const char *source, const char *destination)
{
    if (!platform_copy_file(source, destination))
        installer_fail(MSG_COPY_FAILED MSG_BAILING_OUT, source, destination);
}

void lay_out_binaries(const InstallLayout *layout, int velmar)
{
    // It may exist already; any other trouble shows in the copies.
    platform_create_directory(layout->root_bin);

    char source[PATH_BUFFER_SIZE];
    char destination[PATH_BUFFER_SIZE];
    for (const char *name : EXECUTABLES) {
        join_path(source, layout->versioned_bin, name);
        join_path(destination, layout->root_bin, name);
        require_file(source);
        // A locked executable is left as it is; the rest still installs.
        if (!platform_copy_file(source, destination))
            fprintf(stderr, MSG_COPY_FAILED MSG_CONTINUING, source, destination);
    }
    for (const char *name : BOOT_FILES) {
        join_path(source, layout->release_dir, name);
        join_path(destination, layout->root_bin, name);
        require_file(source);
        copy_or_bail_out(source, destination);
    }
    join_path(source, layout->root_bin, velmar ? VELMAR_BOOT_FILE : MINIMAL_BOOT_FILE);
    join_path(destination, layout->root_bin, ACTIVE_BOOT_FILE);
    copy_or_bail_out(source, destination);
}
