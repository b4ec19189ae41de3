// qvl.ini: where the launcher finds the binaries, its name and the root.
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

    const FileCopy *config = &layout->launcher_config;
    char native[PATH_BUFFER_SIZE];
    platform_native_path(config->source, native);
    int32_t saved = ini_save(ini, native);
    ini_destroy(ini);
    if (saved != 0)
        installer_fail(MSG_CANNOT_CREATE MSG_BAILING_OUT, config->source);
    PlatformError error;
    if (platform_copy_file(config->source, config->destination, &error) != PLATFORM_COPY_DONE)
        installer_fail_copy(config->source, config->destination, &error);
}
