// Adapters for the compared readers. Each load leaves behind what a caller
// of that reader would hold; release frees it.
#include "parsers.h"

#include "inifile.h"

#include <glib.h>
#include <ini.h>

#include <string.h>
#include <string>
#include <utility>
#include <vector>

static void *ours_load(const char *path)
{
    return ini_load(path);
}

static void ours_release(void *handle)
{
    ini_destroy((IniFile *)handle);
}

// inih with a handler that keeps nothing: its bare parsing speed. inih
// reports lines it cannot parse (the long line, cut at its line limit) by
// its result, but still reads the whole file; that counts as done here.
static int inih_ignore(void *, const char *, const char *, const char *)
{
    return 1;
}

static int inih_marker;

static void *inih_nothing_load(const char *path)
{
    return ini_parse(path, inih_ignore, nullptr) < 0 ? nullptr : &inih_marker;
}

static void inih_nothing_release(void *)
{
}

// inih with the container a user who wants the document builds: sections
// in file order, each with its entries in order, every string copied.
struct ContainerSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
};
using Container = std::vector<ContainerSection>;

static int inih_store(void *user, const char *section, const char *key, const char *value)
{
    Container *container = (Container *)user;
    if (container->empty() || container->back().name != section)
        container->push_back(ContainerSection{section, {}});
    container->back().entries.emplace_back(key, value);
    return 1;
}

static void *inih_container_load(const char *path)
{
    Container *container = new Container;
    if (ini_parse(path, inih_store, container) < 0) {
        delete container;
        return nullptr;
    }
    return container;
}

static void inih_container_release(void *handle)
{
    delete (Container *)handle;
}

static void *gkeyfile_load(const char *path)
{
    GKeyFile *key_file = g_key_file_new();
    GError *error = nullptr;
    if (!g_key_file_load_from_file(key_file, path, G_KEY_FILE_NONE, &error)) {
        g_error_free(error);
        g_key_file_free(key_file);
        return nullptr;
    }
    return key_file;
}

static void gkeyfile_release(void *handle)
{
    g_key_file_free((GKeyFile *)handle);
}

static const BenchParser parsers[] = {
    {"ours", ours_load, ours_release, false},
    {"inih_nothing", inih_nothing_load, inih_nothing_release, true},
    {"inih_container", inih_container_load, inih_container_release, true},
    {"gkeyfile", gkeyfile_load, gkeyfile_release, true},
};

const BenchParser *bench_parsers(int *count)
{
    *count = sizeof parsers / sizeof parsers[0];
    return parsers;
}

const BenchParser *bench_find_parser(const char *name)
{
    for (const BenchParser &parser : parsers) {
        if (strcmp(parser.name, name) == 0)
            return &parser;
    }
    return nullptr;
}
