// A C++ program built against the installed library through
// find_package(inifile CONFIG), with the C++ interface: the same steps as
// the C consumer, the file loaded and saved through std::filesystem::path,
// and a failed load reported by its exception.
#include <inifile.hpp>
#include <inifile_filesystem.hpp>

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace {

// inifile.hpp brings no platform header with it: none of their macros (a
// DELETE on Windows) stands in the way of the user's own names.
[[maybe_unused]] const int DELETE = 1;

bool expect(const inifile::Document &ini, std::string_view section, std::string_view key,
            std::string_view wanted)
{
    std::optional<std::string_view> value = ini.get(section, key);
    if (value == wanted)
        return true;
    std::fprintf(stderr, "%s: got \"%s\", expected \"%s\"\n", std::string(key).c_str(),
                 value ? std::string(*value).c_str() : "(none)", std::string(wanted).c_str());
    return false;
}

int run(const char *input, const char *output)
{
    inifile::Document ini = inifile::load(input);
    if (!expect(ini, "Install", "VSN", "5.10.3") || !expect(ini, "Install", "SYSTEM_VSN", "R16B") ||
        !expect(ini, "Install", "Path", "C:\\dist;old") ||
        !expect(ini, "Install", "Notes", "one,two"))
        return 1;
    ini.set("Install", "VSN", "6.0.0");
    ini.set("Install", "Added", "a;b");
    ini.set("quorvel", "Rootdir", "C:\\dist");
    inifile::save(ini, output);

    const inifile::Document saved = inifile::Document::load(output);
    if (saved.sections().size() != 3 || !expect(saved, "Install", "Added", "a;b") ||
        !expect(saved, "quorvel", "Rootdir", "C:\\dist")) {
        std::fprintf(stderr, "%s does not read back as saved\n", output);
        return 1;
    }
    // A missing file is told by its exception.
    try {
        inifile::Document::load(std::string(output) + ".absent");
    } catch (const inifile::LoadError &error) {
        if (error.kind() == INI_ERROR_OPEN)
            return 0;
    }
    std::fprintf(stderr, "a missing file was not reported as one\n");
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: consumer INPUT OUTPUT\n");
        return 1;
    }
    try {
        return run(argv[1], argv[2]);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
