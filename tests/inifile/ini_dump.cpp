// ini_dump FILE: loads FILE with the library and prints the document on
// standard output as one line of JSON,
//   {"sections": [["name", [["key", "value"], ...]], ...]}
// sections and entries in the document's order, repeats included. Names,
// keys and values are bytes of any encoding, so each byte is written as the
// character of the same number: printable ASCII as itself ('"' and '\' as
// \" and \\), every other byte as \u00XX. The output is pure ASCII, and a
// reader gets the bytes back exactly by encoding each string as Latin-1
// (Python: json.loads(out)[...].encode("latin-1")).
// When the load fails it prints "FILE: <the library's message>" on standard
// error and exits 1; a wrong command line exits 2.
// Options go before FILE: ini_dump [--common | --flags=N] [--saved] FILE
// loads with the common preset, or with the switches of the number N;
// --saved prints what a save of the document writes instead.
#include "inifile.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void print_string(const char *text)
{
    putchar('"');
    for (const unsigned char *byte = (const unsigned char *)text; *byte != 0; ++byte) {
        if (*byte == '"' || *byte == '\\')
            printf("\\%c", *byte);
        else if (*byte >= 0x20 && *byte < 0x7f)
            putchar(*byte);
        else
            printf("\\u%04x", *byte);
    }
    putchar('"');
}

static void print_document(const IniFile *ini)
{
    fputs("{\"sections\": [", stdout);
    for (int32_t s = 0; s < ini->count; ++s) {
        const IniSection *section = ini->sections[s];
        fputs(s == 0 ? "[" : ", [", stdout);
        print_string(section->name);
        fputs(", [", stdout);
        for (int32_t e = 0; e < section->count; ++e) {
            fputs(e == 0 ? "[" : ", [", stdout);
            print_string(section->entries[e]->key);
            fputs(", ", stdout);
            print_string(section->entries[e]->value);
            putchar(']');
        }
        fputs("]]", stdout);
    }
    fputs("]}\n", stdout);
}

int main(int argc, char **argv)
{
    IniOptions options = {};
    bool saved = false;
    bool usage = argc < 2 || strncmp(argv[argc - 1], "--", 2) == 0;
    for (int i = 1; i < argc - 1; ++i) {
        if (strcmp(argv[i], "--common") == 0)
            ini_options_common(&options);
        else if (strncmp(argv[i], "--flags=", 8) == 0)
            options.flags = (uint32_t)strtoul(argv[i] + 8, nullptr, 0);
        else if (strcmp(argv[i], "--saved") == 0)
            saved = true;
        else
            usage = true;
    }
    if (usage) {
        fprintf(stderr, "usage: ini_dump [--common | --flags=N] [--saved] FILE\n");
        return 2;
    }
    const char *path = argv[argc - 1];
    IniError error;
    IniFile *ini = ini_load_with_options(path, &options, &error);
    if (ini == nullptr) {
        fprintf(stderr, "%s: %s\n", path, error.message);
        return 1;
    }
    size_t length = 0;
    char *text = saved ? ini_save_to_memory(ini, &length, &error) : nullptr;
    if (saved && text == nullptr)
        fprintf(stderr, "%s: %s\n", path, error.message);
    else if (saved)
        fwrite(text, 1, length, stdout);
    else
        print_document(ini);
    free(text);
    ini_destroy(ini);
    return (saved && text == nullptr) || fflush(stdout) != 0 ? 1 : 0;
}
