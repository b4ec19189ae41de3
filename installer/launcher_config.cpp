// qvl.ini: where the launcher finds the binaries, its name and the root.
#include "file_lists.h"
#include "inifile.h"
#include "installer.h"
#include "messages.h"

void write_launcher_configuration(const char *root, const InstallLayout *layout)
{
    IniFile *ini = ini_create();
    IniSection *section = section_create("quorvel");
    ini_put_section(ini, section);
    section_set_value(section, "Bindir", layout->versioned_bin);
    section_set_value(section, "Progname", "qvl");
    section_set_value(section, "Rootdir", root);

    char written[PATH_BUFFER_SIZE];
    char copy[PATH_BUFFER_SIZE];
    compose_path(written, "%s\\" LAUNCHER_CONFIG_FILE, layout->versioned_bin);
    compose_path(copy, "%s\\" LAUNCHER_CONFIG_FILE, layout->root_bin);

    char native[PATH_BUFFER_SIZE];
    platform_native_path(written, native);
    int32_t saved = ini_save(ini, native);
    ini_destroy(ini);
    if (saved != 0)
        installer_fail(MSG_CANNOT_CREATE MSG_BAILING_OUT, written);
    if (!platform_copy_file(written, copy))
        installer_fail(MSG_COPY_FAILED MSG_BAILING_OUT, written, copy);
}
