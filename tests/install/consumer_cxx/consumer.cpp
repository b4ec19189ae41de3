// A C++ program built against the installed library through
// find_package(inifile CONFIG): the same steps as the C consumer, with the
// document held by a unique_ptr that destroys it.
#include <inifile.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

struct Destroy {
    void operator()(IniFile *ini) const { ini_destroy(ini); }
};
using Document = std::unique_ptr<IniFile, Destroy>;

bool expect(const IniSection *section, const char *key, const std::string &wanted)
{
    const char *value = section != nullptr ? section_get_value(section, key) : nullptr;
    if (value != nullptr && wanted == value)
        return true;
    std::fprintf(stderr, "%s: got \"%s\", expected \"%s\"\n", key, value ? value : "(none)",
                 wanted.c_str());
    return false;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: consumer INPUT OUTPUT\n");
        return 1;
    }
    Document ini(ini_load(argv[1]));
    if (!ini) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    IniSection *install = ini_get_section(ini.get(), "Install");
    if (!expect(install, "VSN", "5.10.3") || !expect(install, "SYSTEM_VSN", "R16B") ||
        !expect(install, "Path", "C:\\dist;old") || !expect(install, "Notes", "one,two"))
        return 1;
    section_set_value(install, "VSN", "6.0.0");
    section_set_value(install, "Added", "a;b");
    IniSection *launcher = section_create("quorvel");
    section_set_value(launcher, "Rootdir", "C:\\dist");
    ini_put_section(ini.get(), launcher);
    if (ini_save(ini.get(), argv[2]) != 0) {
        std::fprintf(stderr, "cannot save %s\n", argv[2]);
        return 1;
    }

    Document saved(ini_load(argv[2]));
    if (!saved || saved->count != 3 ||
        !expect(ini_get_section(saved.get(), "Install"), "Added", "a;b") ||
        !expect(ini_get_section(saved.get(), "quorvel"), "Rootdir", "C:\\dist")) {
        std::fprintf(stderr, "%s does not read back as saved\n", argv[2]);
        return 1;
    }
    return 0;
}
