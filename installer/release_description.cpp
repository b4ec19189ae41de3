// Install.ini: the two versions that name the directories of the release.
#include "inifile.h"
#include "installer.h"
#include "messages.h"

#include <string.h>

int version_is_folder_name(const char *version)
{
    return version[0] != '\0' && strcmp(version, ".") != 0 && strcmp(version, "..") != 0 &&
           strpbrk(version, "\\/:") == NULL;
}

// The value of key, which must name one folder inside the tree: anything
// else could lead the copies, and qvl.ini, out of it. Every failure ends
// the run, releasing the document first so that nothing is left behind.
static const char *require_version(IniFile *ini, const IniSection *install, const char *key,
                                   const char *path)
{
    const char *version = section_get_value(install, key);
    if (version == NULL) {
        ini_destroy(ini);
        installer_fail(MSG_NO_KEY, key, path);
    }
    if (version_is_folder_name(version))
        return version;
    // The message quotes the value, which dies with the document; a value
    // too long to quote whole ends in "..." to say so.
    char value[PATH_BUFFER_SIZE];
    if (snprintf(value, sizeof value, "%s", version) >= (int)sizeof value)
        strcpy(value + sizeof value - 4, "...");
    ini_destroy(ini);
    installer_fail(MSG_NOT_A_FOLDER_NAME, key, path, value);
}

[[noreturn]] static void value_too_long(IniFile *ini, const char *key, const char *path)
{
    ini_destroy(ini);
    installer_fail(MSG_VALUE_TOO_LONG, key, path, PATH_BUFFER_SIZE - 1);
}

void read_release_description(const char *root, InstallLayout *layout)
{
    const char *path = layout->release_file;
    char native[PATH_BUFFER_SIZE];
    platform_native_path(path, native);
    IniError error;
    IniFile *ini = ini_load_with_error(native, &error);
    if (ini == NULL)
        installer_fail(MSG_CANNOT_OPEN_INIT MSG_REASON, path, error.message);
    const IniSection *install = ini_get_section(ini, "Install");
    if (install == NULL) {
        ini_destroy(ini);
        installer_fail(MSG_NO_INSTALL_SECTION, path);
    }
    // The values die with the document: the layout keeps VSN for the
    // success message, and the paths made of both.
    if (!compose_versioned_paths(layout, root, require_version(ini, install, "VSN", path)))
        value_too_long(ini, "VSN", path);
    if (!compose_release_paths(layout, root, require_version(ini, install, "SYSTEM_VSN", path)))
        value_too_long(ini, "SYSTEM_VSN", path);
    ini_destroy(ini);
}
