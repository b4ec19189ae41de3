// Composing paths into fixed buffers without ever truncating one: every
// path of a run is composed here, once.
#include "installer.h"

#include <stdarg.h>

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

// What joins root to a name: a backslash, or nothing after a drive's root
// ("D:\\"), which has one already. Any other root keeps its trailing
// backslash, as given.
static const char *separator_after(const char *root)
{
    int drive_root = ((root[0] >= 'A' && root[0] <= 'Z') || (root[0] >= 'a' && root[0] <= 'z')) &&
                     root[1] == ':' && (root[2] == '\\' || root[2] == '/') && root[3] == '\0';
    return drive_root ? "" : "\\";
}

int compose_root_paths(InstallLayout *layout, const char *root)
{
    const char *separator = separator_after(root);
    int fits = compose_path(layout->release_file, "%s%s" RELEASE_FILE, root, separator) &&
               compose_path(layout->root_bin, "%s%sbin", root, separator) &&
               compose_path(layout->active_boot, "%s\\" ACTIVE_BOOT_FILE, layout->root_bin) &&
               compose_path(layout->launcher_config.destination, "%s\\" LAUNCHER_CONFIG_FILE,
                            layout->root_bin);
    for (size_t i = 0; i < EXECUTABLE_COUNT; ++i)
        fits = fits && compose_path(layout->executables[i].destination, "%s\\%s", layout->root_bin,
                                    EXECUTABLES[i]);
    for (size_t i = 0; i < BOOT_FILE_COUNT; ++i)
        fits = fits && compose_path(layout->boot_files[i].destination, "%s\\%s", layout->root_bin,
                                    BOOT_FILES[i]);
    return fits;
}

int compose_versioned_paths(InstallLayout *layout, const char *root, const char *version)
{
    int fits = compose_path(layout->version, "%s", version) &&
               compose_path(layout->versioned_bin, "%s%ssumbra-%s\\bin", root,
                            separator_after(root), version) &&
               compose_path(layout->launcher_config.source, "%s\\" LAUNCHER_CONFIG_FILE,
                            layout->versioned_bin);
    for (size_t i = 0; i < EXECUTABLE_COUNT; ++i)
        fits = fits && compose_path(layout->executables[i].source, "%s\\%s", layout->versioned_bin,
                                    EXECUTABLES[i]);
    return fits;
}

int compose_release_paths(InstallLayout *layout, const char *root, const char *system_version)
{
    int fits = compose_path(layout->release_dir, "%s%sreleases\\%s", root, separator_after(root),
                            system_version);
    for (size_t i = 0; i < BOOT_FILE_COUNT; ++i)
        fits = fits && compose_path(layout->boot_files[i].source, "%s\\%s", layout->release_dir,
                                    BOOT_FILES[i]);
    return fits;
}
