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

void read_release_description(const char *root, InstallLayout *layout)
{
    // Every path the run composes from the root alone must fit before
    // anything is read or copied.
    if (!compose_path(layout->root_bin, "%s\\bin", root) ||
        !directory_has_room(layout->root_bin, LONGEST_IN_ROOT_BIN))
        installer_fail(MSG_ROOT_TOO_LONG, PATH_BUFFER_SIZE - 1, root);
    compose_path(layout->release_file, "%s\\" RELEASE_FILE, root);
    const char *path = layout->release_file;

    char native[PATH_BUFFER_SIZE];
    platform_native_path(path, native);
    IniFile *ini = ini_load(native);
    if (ini == NULL)
        installer_fail(MSG_CANNOT_OPEN_INIT, path);
    const IniSection *install = ini_get_section(ini, "Install");
    if (install == NULL)
        release_description_fail(ini, MSG_NO_INSTALL_SECTION, NULL, path);

    const char *version = section_get_value(install, "VSN");
    if (version == NULL)
        release_description_fail(ini, MSG_NO_VSN, NULL, path);
    // The value dies with the document: keep a copy for the success message.
    if (!compose_path(layout->version, "%s", version) ||
        !compose_path(layout->versioned_bin, "%s\\sumbra-%s\\bin", root, version) ||
        !directory_has_room(layout->versioned_bin, LONGEST_IN_VERSIONED_BIN))
        release_description_fail(ini, MSG_VALUE_TOO_LONG, "VSN", path);

    const char *system_version = section_get_value(install, "SYSTEM_VSN");
    if (system_version == NULL)
        release_description_fail(ini, MSG_NO_SYSTEM_VSN, NULL, path);
    if (!compose_path(layout->release_dir, "%s\\releases\\%s", root, system_version) ||
        !directory_has_room(layout->release_dir, LONGEST_IN_RELEASE_DIR))
        release_description_fail(ini, MSG_VALUE_TOO_LONG, "SYSTEM_VSN", path);

    ini_destroy(ini);
}
