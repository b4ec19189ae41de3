// Install.ini: the two versions that name the directories of the release.
#include "file_lists.h"
#include "inifile.h"
#include "installer.h"
#include "messages.h"

#include <string.h>

// Ends the run with a message about the document's content, releasing the
// document first so that nothing is left behind on any path.
[[noreturn]] static void release_description_fail(IniFile *ini, const char *format, const char *key,
                                                  const char *path)
{
    ini_destroy(ini);
    if (key != NULL)
        installer_fail(format, key, path, PATH_BUFFER_SIZE - 1);
    installer_fail(format, path);
}

int version_is_folder_name(const char *version)
{
    return version[0] != '\0' && strcmp(version, ".") != 0 && strcmp(version, "..") != 0 &&
           strpbrk(version, "\\/:") == NULL;
}

// A version names one folder inside the tree: anything else could lead the
// copies, and qvl.ini, out of it.
static void require_folder_name(IniFile *ini, const char *key, const char *version,
                                const char *path)
{
    if (version_is_folder_name(version))
        return;
    // The message quotes the value, which dies with the document; a value
    // too long to quote whole ends in "..." to say so.
    char value[PATH_BUFFER_SIZE];
    if (snprintf(value, sizeof value, "%s", version) >= (int)sizeof value)
        strcpy(value + sizeof value - 4, "...");
    ini_destroy(ini);
    installer_fail(MSG_NOT_A_FOLDER_NAME, key, path, value);
}

void read_release_description(const char *root, InstallLayout *layout)
{
    // The root was checked to leave room for every path made of it alone.
    compose_path(layout->root_bin, "%s\\bin", root);
    compose_path(layout->release_file, "%s\\" RELEASE_FILE, root);
    const char *path = layout->release_file;

    char native[PATH_BUFFER_SIZE];
    platform_native_path(path, native);
    IniError error;
    IniFile *ini = ini_load_with_error(native, &error);
    if (ini == NULL)
        installer_fail(MSG_CANNOT_OPEN_INIT MSG_LOAD_REASON, path, error.message);
    const IniSection *install = ini_get_section(ini, "Install");
    if (install == NULL)
        release_description_fail(ini, MSG_NO_INSTALL_SECTION, NULL, path);

    const char *version = section_get_value(install, "VSN");
    if (version == NULL)
        release_description_fail(ini, MSG_NO_VSN, NULL, path);
    require_folder_name(ini, "VSN", version, path);
    // The value dies with the document: keep a copy for the success message.
    if (!compose_path(layout->version, "%s", version) ||
        !compose_path(layout->versioned_bin, "%s\\sumbra-%s\\bin", root, version) ||
        !directory_has_room(layout->versioned_bin, LONGEST_IN_VERSIONED_BIN))
        release_description_fail(ini, MSG_VALUE_TOO_LONG, "VSN", path);

    const char *system_version = section_get_value(install, "SYSTEM_VSN");
    if (system_version == NULL)
        release_description_fail(ini, MSG_NO_SYSTEM_VSN, NULL, path);
    require_folder_name(ini, "SYSTEM_VSN", system_version, path);
    if (!compose_path(layout->release_dir, "%s\\releases\\%s", root, system_version) ||
        !directory_has_room(layout->release_dir, LONGEST_IN_RELEASE_DIR))
        release_description_fail(ini, MSG_VALUE_TOO_LONG, "SYSTEM_VSN", path);

    ini_destroy(ini);
}
