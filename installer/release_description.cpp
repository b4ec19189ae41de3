// Install.ini: the two versions that name the directories of the release.
#include "inifile.h"
#include "installer.h"
#include "messages.h"

#include <string.h>

// The UTF-8 byte-order mark: a file that begins with it is UTF-8 text.
static const char UTF8_MARK[] = "\xEF\xBB\xBF";

int version_is_folder_name(const char *version)
{
    if (version[0] == '\0' || strcmp(version, ".") == 0 || strcmp(version, "..") == 0 ||
        strpbrk(version, "\\/:") != NULL)
        return 0;
    for (; *version != '\0'; ++version) {
        if (is_control_byte(*version))
            return 0;
    }
    return 1;
}

[[noreturn]] static void value_too_long(IniFile *ini, const char *key, const char *path)
{
    ini_destroy(ini);
    installer_fail(MSG_VALUE_TOO_LONG, key, path, PATH_BUFFER_SIZE - 1);
}

// The value of key, which must name one folder inside the tree: anything
// else could lead the copies, and qvl.ini, out of it. A UTF-8 file's value
// is taken in the system's form (into name). Every failure ends the run,
// releasing the document first so that nothing is left behind.
static const char *require_version(IniFile *ini, const IniSection *install, const char *key,
                                   const char *path, int utf8, char name[PATH_BUFFER_SIZE])
{
    const char *version = section_get_value(install, key);
    if (version == NULL) {
        ini_destroy(ini);
        installer_fail(MSG_NO_KEY, key, path);
    }
    char shown[PATH_BUFFER_SIZE];
    if (utf8) {
        PlatformPathResult converted = platform_from_utf8(version, name, PATH_BUFFER_SIZE);
        if (converted == PLATFORM_PATH_TOO_LONG)
            value_too_long(ini, key, path);
        if (converted != PLATFORM_PATH_OK) {
            shown_text(converted == PLATFORM_PATH_NOT_ANSI ? name : version, shown);
            ini_destroy(ini);
            installer_fail(MSG_VERSION_NOT_ANSI, key, path, shown);
        }
        version = name;
    }
    if (version_is_folder_name(version))
        return version;
    // The value dies with the document.
    shown_text(version, shown);
    ini_destroy(ini);
    installer_fail(MSG_NOT_A_FOLDER_NAME, key, path, shown);
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
    // Without the mark, bytes are taken as they are.
    int utf8 = platform_file_starts_with(path, UTF8_MARK, sizeof UTF8_MARK - 1);
    // The values die with the document: the layout keeps VSN for the
    // success message, and the paths made of both.
    char name[PATH_BUFFER_SIZE];
    if (!compose_versioned_paths(layout, root,
                                 require_version(ini, install, "VSN", path, utf8, name)))
        value_too_long(ini, "VSN", path);
    if (!compose_release_paths(layout, root,
                               require_version(ini, install, "SYSTEM_VSN", path, utf8, name)))
        value_too_long(ini, "SYSTEM_VSN", path);
    ini_destroy(ini);
}
