// The calls of inifile_targets: lookups by name against GKeyFile, and
// documents built through the library's calls.
#include "targets.h"

#include "inifile.h"

#include <glib.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

// ---- Lookups by name --------------------------------------------------

// A small generator of its own, so that every run asks the same names.
static uint64_t next_random(uint64_t *state)
{
    *state ^= *state << 13;
    *state ^= *state >> 7;
    *state ^= *state << 17;
    return *state;
}

// count lookups of a section and one of its keys, chosen at random over the
// whole document, in ours (ini_get_section + section_get_value) and in
// GKeyFile (g_key_file_get_value), the same names in the same order,
// round after round. The names are copies, so that no lookup meets the
// very string it looks for.
int run_lookups(int count, int rounds, const char *path)
{
    IniFile *document = ini_load(path);
    GKeyFile *key_file = g_key_file_new();
    if (document == nullptr || document->count == 0 ||
        !g_key_file_load_from_file(key_file, path, G_KEY_FILE_NONE, nullptr))
        return 1;
    std::vector<std::string> sections;
    std::vector<std::string> keys;
    std::vector<const char *> expected;
    uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (int i = 0; i < count; ++i) {
        const IniSection *section = document->sections[next_random(&state) % document->count];
        if (section->count == 0) {
            --i;
            continue;
        }
        const IniEntry *entry = section->entries[next_random(&state) % section->count];
        sections.emplace_back(section->name);
        keys.emplace_back(entry->key);
        expected.push_back(entry->value);
    }
    for (int round = 1; round <= rounds; ++round) {
        for (int library = 0; library < 2; ++library) {
            int misses = 0;
            unsigned seen = 0;
            int64_t cpu = cpu_ns();
            int64_t start = wall_ns();
            for (int i = 0; i < count; ++i) {
                if (library == 0) {
                    const IniSection *section = ini_get_section(document, sections[i].c_str());
                    const char *value =
                        section != nullptr ? section_get_value(section, keys[i].c_str()) : nullptr;
                    if (value == nullptr)
                        ++misses;
                    else
                        seen += (unsigned char)value[0];
                } else {
                    gchar *value = g_key_file_get_value(key_file, sections[i].c_str(),
                                                        keys[i].c_str(), nullptr);
                    if (value == nullptr)
                        ++misses;
                    else
                        seen += (unsigned char)value[0];
                    g_free(value);
                }
            }
            int64_t spent = wall_ns() - start;
            cpu = cpu_ns() - cpu;
            printf("lookups reader=%s file=%s count=%d round=%d wall_us=%.1f cpu_us=%.1f "
                   "misses=%d seen=%u\n",
                   library == 0 ? "ours" : "gkeyfile", file_name(path).c_str(), count, round,
                   us(spent), us(cpu), misses, seen);
            fflush(stdout);
        }
    }
    // Both found what the document holds (checked outside the timing, on
    // the first hundred names).
    int wrong = 0;
    for (int i = 0; i < count && i < 100; ++i) {
        const char *ours =
            section_get_value(ini_get_section(document, sections[i].c_str()), keys[i].c_str());
        gchar *theirs =
            g_key_file_get_value(key_file, sections[i].c_str(), keys[i].c_str(), nullptr);
        if (ours != expected[i] || theirs == nullptr || strcmp(theirs, expected[i]) != 0)
            ++wrong;
        g_free(theirs);
    }
    g_key_file_free(key_file);
    ini_destroy(document);
    if (wrong > 0) {
        fprintf(stderr, "inifile_targets: %d lookups found another value\n", wrong);
        return 1;
    }
    return 0;
}

// ---- Building a document through the calls ----------------------------

// Strings made before the timing, so that only the library's calls count.
struct Names {
    std::vector<char> text;
    std::vector<size_t> at;
};

__attribute__((format(printf, 2, 3))) static void add_name(Names *names, const char *format, ...)
{
    char name[64];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(name, sizeof name, format, arguments);
    va_end(arguments);
    names->at.push_back(names->text.size());
    names->text.insert(names->text.end(), name, name + length + 1);
}

static const char *name_at(const Names &names, size_t index)
{
    return names.text.data() + names.at[index];
}

enum { BUILD_KEYS_PER_SECTION = 5 };

// Builds count sections of five keys ("sections": section_create,
// ini_put_section, then section_set_value five times) or one section of
// count keys ("keys"), round after round, and prints the time at each
// sixteenth, eighth, quarter and half of the way and at the end, so that
// the growth shows. A round that passes the time limit stops there and
// says how far it came; no further round is run then.
int run_build(const char *kind, int count, int rounds, double limit_seconds)
{
    bool sections = strcmp(kind, "sections") == 0;
    if (!sections && strcmp(kind, "keys") != 0)
        return 2;
    Names section_names;
    Names keys;
    Names values;
    for (int i = 0; i < count; ++i) {
        if (sections) {
            add_name(&section_names, "section%06d", i);
            for (int k = 0; k < BUILD_KEYS_PER_SECTION; ++k)
                add_name(&values, "value%d_%06d", k, i);
        } else {
            add_name(&keys, "key%06d", i);
            add_name(&values, "value%06d", i);
        }
    }
    if (sections) {
        for (int k = 0; k < BUILD_KEYS_PER_SECTION; ++k)
            add_name(&keys, "key%d", k);
    }
    const int64_t limit = (int64_t)(limit_seconds * 1e9);
    for (int round = 1; round <= rounds; ++round) {
        IniFile *document = ini_create();
        IniSection *single = sections ? nullptr : section_create("section");
        if (single != nullptr)
            ini_put_section(document, single);
        int next_step = count / 16;
        int done = 0;
        bool stopped = false;
        int64_t cpu = cpu_ns();
        int64_t start = wall_ns();
        while (done < count) {
            if (sections) {
                IniSection *section = section_create(name_at(section_names, (size_t)done));
                ini_put_section(document, section);
                for (int k = 0; k < BUILD_KEYS_PER_SECTION; ++k)
                    section_set_value(section, name_at(keys, (size_t)k),
                                      name_at(values, (size_t)done * BUILD_KEYS_PER_SECTION + k));
            } else {
                section_set_value(single, name_at(keys, (size_t)done),
                                  name_at(values, (size_t)done));
            }
            ++done;
            if (done == next_step || done == count) {
                printf("build_step kind=%s round=%d done=%d wall_us=%.1f\n", kind, round, done,
                       us(wall_ns() - start));
                next_step *= 2;
            }
            if ((done & 255) == 0 && wall_ns() - start > limit) {
                stopped = true;
                break;
            }
        }
        int64_t spent = wall_ns() - start;
        cpu = cpu_ns() - cpu;
        // What was built is what was asked for (outside the timing).
        int expected_sections = sections ? done : 1;
        int last = done - 1;
        const IniSection *check =
            sections ? ini_get_section(document, name_at(section_names, last)) : single;
        const char *last_key = name_at(keys, sections ? BUILD_KEYS_PER_SECTION - 1 : last);
        const char *value = check != nullptr ? section_get_value(check, last_key) : nullptr;
        const char *wanted =
            name_at(values, sections ? (size_t)done * BUILD_KEYS_PER_SECTION - 1 : (size_t)last);
        bool whole =
            document->count == expected_sections && value != nullptr && strcmp(value, wanted) == 0;
        ini_destroy(document);
        if (!whole) {
            fprintf(stderr, "inifile_targets: the built document lacks what was put in it\n");
            return 1;
        }
        printf("build kind=%s count=%d round=%d done=%d finished=%d wall_us=%.1f cpu_us=%.1f "
               "limit_s=%g\n",
               kind, count, round, done, stopped ? 0 : 1, us(spent), us(cpu), limit_seconds);
        fflush(stdout);
        if (stopped)
            break;
    }
    return 0;
}
