// Adapters for the compared readers. Each load leaves behind what a caller
// of that reader would hold; release frees it.
#include "parsers.h"

#include "inifile.h"

#include <glib.h>
#include <ini.h>
// SimpleIni's narrow-character reader, built from its header alone: the
// conversions it would need ICU or ConvertUTF for concern wide characters.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <stdio.h>
#include <stdlib.h>
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

// SimpleIni, case-sensitive as ours is, keeping repeated keys as ours does.
static void *simpleini_load(const char *path)
{
    CSimpleIniCaseA *ini = new CSimpleIniCaseA(true, true, false);
    if (ini->LoadFile(path) < 0) {
        delete ini;
        return nullptr;
    }
    return ini;
}

static void simpleini_release(void *handle)
{
    delete (CSimpleIniCaseA *)handle;
}

// Not a reader: the floor under any reader that keeps each entry in two
// heap blocks of its own, as ini_load must (the line and the entry record).
// It reads the file, and for every line feed allocates two 16-byte blocks
// and writes into them, parsing nothing. Each block holds the address of
// the one allocated before it, so that release can find them all.
static void *heap_floor_load(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (file == nullptr)
        return nullptr;
    static char chunk[1 << 16];
    void *last = nullptr;
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        const char *end = chunk + got;
        const char *at = chunk;
        while ((at = (const char *)memchr(at, '\n', (size_t)(end - at))) != nullptr) {
            at += 1;
            for (int block = 0; block < 2; ++block) {
                void **next = (void **)malloc(16);
                if (next == nullptr)
                    abort();
                *next = last;
                last = next;
            }
        }
    }
    fclose(file);
    return last != nullptr ? last : &inih_marker;
}

static void heap_floor_release(void *handle)
{
    if (handle == &inih_marker)
        return;
    for (void *block = handle; block != nullptr;) {
        void *previous = *(void **)block;
        free(block);
        block = previous;
    }
}

// ours_layout: the load that keeps the document's text, with every other
// option as ini_load has them. The targets run measures its load, peak
// heap and unchanged save against ours.
static void *ours_layout_load(const char *path)
{
    const IniOptions keep = {INI_KEEP_LAYOUT, {}};
    return ini_load_with_options(path, &keep, nullptr);
}

static const BenchParser parsers[] = {
    {"ours", ours_load, ours_release, false, false},
    {"ours_layout", ours_layout_load, ours_release, false, true},
    {"inih_nothing", inih_nothing_load, inih_nothing_release, true, false},
    {"inih_container", inih_container_load, inih_container_release, true, false},
    {"gkeyfile", gkeyfile_load, gkeyfile_release, true, false},
    {"simpleini", simpleini_load, simpleini_release, true, true},
    {"heap_floor", heap_floor_load, heap_floor_release, true, false},
};

static void *ours_text_load(const char *text, long long length)
{
    return ini_load_from_memory(text, (size_t)length, nullptr);
}

static void *inih_text_nothing_load(const char *text, long long)
{
    return ini_parse_string(text, inih_ignore, nullptr) < 0 ? nullptr : &inih_marker;
}

static const BenchTextParser text_parsers[] = {
    {"ours", ours_text_load, ours_release},
    {"inih_nothing", inih_text_nothing_load, inih_nothing_release},
};

const BenchTextParser *bench_text_parsers(int *count)
{
    *count = sizeof text_parsers / sizeof text_parsers[0];
    return text_parsers;
}

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
