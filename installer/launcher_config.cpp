// qvl.ini: where the launcher finds the binaries, its name and the root.
#include "inifile.h"
#include "installer.h"
#include "messages.h"

#include <stdlib.h>

void write_launcher_configuration(const char *root, const InstallLayout *layout)
{
    IniFile *ini = ini_create();
    IniSection *section = section_create("quorvel");
    ini_put_section(ini, section);
    section_set_value(section, "Bindir", layout->versioned_bin);
    section_set_value(section, "Progname", "qvl");
    section_set_value(section, "Rootdir", root);

    // The library gives the text; the platform writes it by the rules of
    // every other file of the installation (platform.h).
    const FileCopy *config = &layout->launcher_config;
    size_t length = 0;
    IniError unstorable;
    char *text = ini_save_to_memory(ini, &length, &unstorable);
    ini_destroy(ini);
    // A root taken from the tool's own path may hold a line end.
    if (text == NULL)
        installer_fail(MSG_CANNOT_CREATE MSG_REASON MSG_BAILING_OUT, config->source,
                       unstorable.message);
    PlatformError error;
    int written = platform_write_file(config->source, text, (uint32_t)length, &error);
    free(text);
    if (!written) {
        installer_report(&error, MSG_CANNOT_CREATE, config->source);
        installer_fail(MSG_BAILING_OUT);
    }
    if (platform_copy_file(config->source, config->destination, &error) != PLATFORM_COPY_DONE)
        installer_fail_copy(config->source, config->destination, &error);
}
