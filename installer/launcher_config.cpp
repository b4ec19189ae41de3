// qvl.ini: where the launcher finds the binaries, its name and the root.
#include "inifile.h"
#include "installer.h"
#include "messages.h"

#include <stdlib.h>

int write_launcher_configuration(const InstallPlan *plan, const PlanStep *step, Failure *failure)
{
    IniFile *ini = ini_create();
    IniSection *section = section_create("quorvel");
    ini_put_section(ini, section);
    section_set_value(section, "Bindir", plan->folders[FOLDER_VERSIONED_BIN]);
    section_set_value(section, "Progname", "qvl");
    section_set_value(section, "Rootdir", plan->root);

    // The library gives the text; the platform writes it by the rules of
    // every other file of the installation (platform.h).
    size_t length = 0;
    IniError unstorable;
    char *text = ini_save_to_memory(ini, &length, &unstorable);
    ini_destroy(ini);
    if (text == NULL)
        return fail(failure, NULL, MSG_BAILING_OUT, MSG_CANNOT_CREATE MSG_REASON, step->destination,
                    unstorable.message);
    PlatformError error;
    int written = platform_write_file(step->destination, text, (uint32_t)length, &error);
    free(text);
    return written || fail(failure, &error, MSG_BAILING_OUT, MSG_CANNOT_CREATE, step->destination);
}
