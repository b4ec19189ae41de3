/* A C program built against the installed library through pkg-config:
 * loads the file named first, checks what it read, changes the document
 * and saves it under the second name, then reads that back. Prints what
 * went wrong and ends with status 1 on the first surprise. */
#include <inifile.h>

#include <stdio.h>
#include <string.h>

static int expect(const IniSection *section, const char *key, const char *wanted)
{
    const char *value = section_get_value(section, key);
    if (value != NULL && strcmp(value, wanted) == 0)
        return 1;
    fprintf(stderr, "%s: got \"%s\", expected \"%s\"\n", key, value ? value : "(none)", wanted);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: consumer INPUT OUTPUT\n");
        return 1;
    }
    IniFile *ini = ini_load(argv[1]);
    if (ini == NULL) {
        fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    IniSection *install = ini_get_section(ini, "Install");
    int ok = install != NULL && expect(install, "VSN", "5.10.3") &&
             expect(install, "SYSTEM_VSN", "R16B") && expect(install, "Path", "C:\\dist;old") &&
             expect(install, "Notes", "one,two");
    if (ok) {
        section_set_value(install, "VSN", "6.0.0");
        section_set_value(install, "Added", "a;b");
        IniSection *launcher = section_create("quorvel");
        section_set_value(launcher, "Rootdir", "C:\\dist");
        ini_put_section(ini, launcher);
        ok = ini_save(ini, argv[2]) == 0;
        if (!ok)
            fprintf(stderr, "cannot save %s\n", argv[2]);
    }
    ini_destroy(ini);
    if (!ok)
        return 1;

    IniFile *saved = ini_load(argv[2]);
    ok = saved != NULL && saved->count == 3 &&
         expect(ini_get_section(saved, "Install"), "Added", "a;b") &&
         expect(ini_get_section(saved, "quorvel"), "Rootdir", "C:\\dist");
    ini_destroy(saved);
    if (!ok) {
        fprintf(stderr, "%s does not read back as saved\n", argv[2]);
        return 1;
    }
    return 0;
}
