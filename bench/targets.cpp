// The measurements behind the library's speed and memory targets, one step
// per command, each printing one record per measurement ("<kind> name=value
// ..." lines on standard output) for bench/targets.py to compare.
// bench/targets.sh runs every step in a process of its own, so that no
// step inherits another's heap, and produces the report.
//
//   inifile_targets generate DIR [--large]
//   inifile_targets readers
//   inifile_targets fresh ROUNDS READER[,READER...] FILE...
//   inifile_targets once READER FILE
//   inifile_targets warm LOADS READER[,READER...] FILE
//   inifile_targets page_cost
//   inifile_targets lookups COUNT ROUNDS FILE
//   inifile_targets build sections|keys COUNT ROUNDS LIMIT_SECONDS
//   inifile_targets save ROUNDS DIR FILE SAVER[,SAVER...]
//
// Times are wall-clock unless named cpu (user and system time of the
// process). Only the public calls of inifile.h are used, so that the same
// program measures any version of the library behind that header.
#include "bench_files.h"
#include "parsers.h"

#include "inifile.h"

#include <glib.h>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <malloc.h>
#include <spawn.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

static int64_t wall_ns()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

static int64_t cpu_ns()
{
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

static long minor_faults()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

static double us(int64_t ns)
{
    return (double)ns / 1e3;
}

static int64_t file_bytes(const char *path)
{
    struct stat info;
    return stat(path, &info) == 0 ? (int64_t)info.st_size : -1;
}

// The file's name without its folder and extension: the name the records
// and the report use.
static std::string file_name(const char *path)
{
    std::string name = path;
    size_t slash = name.rfind('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

static std::vector<std::string> split_list(const char *list)
{
    std::vector<std::string> items;
    std::string item;
    for (const char *at = list;; ++at) {
        if (*at == ',' || *at == '\0') {
            if (!item.empty())
                items.push_back(item);
            item.clear();
            if (*at == '\0')
                return items;
        } else {
            item += *at;
        }
    }
}

static const BenchParser *reader_or_exit(const std::string &name)
{
    const BenchParser *parser = bench_find_parser(name.c_str());
    if (parser == nullptr || strcmp(parser->name, "heap_floor") == 0) {
        fprintf(stderr, "inifile_targets: no reader called %s\n", name.c_str());
        exit(2);
    }
    return parser;
}

// A pseudo-reader for the fresh runs: a process that loads nothing, whose
// time is what starting and ending the process costs every reader.
static const char NO_READER[] = "none";

// ---- One load in a fresh process --------------------------------------

// Loads the file once, frees what was built, and prints what that took:
// run by "fresh", one process per load.
static int run_once(const char *reader, const char *path)
{
    const BenchParser *parser = strcmp(reader, NO_READER) == 0 ? nullptr : reader_or_exit(reader);
    long faults = minor_faults();
    int64_t cpu = cpu_ns();
    int64_t start = wall_ns();
    void *handle = parser != nullptr ? parser->load(path) : nullptr;
    int64_t loaded = wall_ns();
    cpu = cpu_ns() - cpu;
    faults = minor_faults() - faults;
    if (parser != nullptr && handle == nullptr) {
        fprintf(stderr, "inifile_targets: %s rejected %s\n", reader, path);
        return 1;
    }
    if (parser != nullptr)
        parser->release(handle);
    int64_t released = wall_ns();
    printf("load_us=%.1f load_cpu_us=%.1f load_faults=%ld release_us=%.1f\n", us(loaded - start),
           us(cpu), faults, us(released - loaded));
    return 0;
}

// Runs "once" for every reader on every file, round after round, so that
// the readers meet the same moments of a shared machine, and times each
// whole process from its start to its end.
static int run_fresh(int rounds, const char *readers, char **paths, int path_count)
{
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return 1;
    self[length] = '\0';
    std::vector<std::string> names = split_list(readers);
    for (const std::string &name : names) {
        if (name != NO_READER)
            reader_or_exit(name);
    }
    for (int round = 1; round <= rounds; ++round) {
        for (int f = 0; f < path_count; ++f) {
            for (const std::string &name : names) {
                int pipe_ends[2];
                if (pipe2(pipe_ends, O_CLOEXEC) != 0)
                    return 1;
                posix_spawn_file_actions_t actions;
                posix_spawn_file_actions_init(&actions);
                posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
                char once[] = "once";
                char *argv[] = {self, once, const_cast<char *>(name.c_str()), paths[f], nullptr};
                pid_t child;
                int64_t start = wall_ns();
                int spawned = posix_spawn(&child, self, &actions, nullptr, argv, environ);
                posix_spawn_file_actions_destroy(&actions);
                close(pipe_ends[1]);
                int status = 0;
                struct rusage usage;
                if (spawned != 0 || wait4(child, &status, 0, &usage) != child) {
                    close(pipe_ends[0]);
                    return 1;
                }
                int64_t ended = wall_ns();
                char line[256] = "";
                ssize_t got = read(pipe_ends[0], line, sizeof line - 1);
                close(pipe_ends[0]);
                if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || got <= 0) {
                    fprintf(stderr, "inifile_targets: the load of %s by %s failed\n", paths[f],
                            name.c_str());
                    return 1;
                }
                line[got] = '\0';
                line[strcspn(line, "\n")] = '\0';
                int64_t child_cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL +
                                    usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
                printf("fresh reader=%s file=%s bytes=%lld round=%d wall_us=%.1f cpu_us=%lld "
                       "faults=%ld %s\n",
                       name.c_str(), file_name(paths[f]).c_str(), (long long)file_bytes(paths[f]),
                       round, us(ended - start), (long long)child_cpu, usage.ru_minflt, line);
                fflush(stdout);
            }
        }
    }
    return 0;
}

// ---- Loads reusing the pages of the previous load ---------------------

// Loads in a loop, every reader in turn. Freed memory stays in this
// process's heap (no trimming, no separate mappings for large blocks), so
// that every load after the first builds in pages already faulted in: the
// cost of reading and building alone.
static int run_warm(int loads, const char *readers, const char *path)
{
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    std::vector<const BenchParser *> parsers;
    for (const std::string &name : split_list(readers))
        parsers.push_back(reader_or_exit(name));
    for (int load = 0; load <= loads; ++load) {
        for (const BenchParser *parser : parsers) {
            long faults = minor_faults();
            int64_t cpu = cpu_ns();
            int64_t start = wall_ns();
            void *handle = parser->load(path);
            int64_t spent = wall_ns() - start;
            cpu = cpu_ns() - cpu;
            faults = minor_faults() - faults;
            if (handle == nullptr)
                return 1;
            parser->release(handle);
            if (load == 0)
                continue;  // the load that faults the pages in
            printf("warm reader=%s file=%s bytes=%lld load=%d wall_us=%.1f cpu_us=%.1f "
                   "faults=%ld\n",
                   parser->name, file_name(path).c_str(), (long long)file_bytes(path), load,
                   us(spent), us(cpu), faults);
        }
    }
    return 0;
}

// ---- The cost of a fresh page -----------------------------------------

// Maps 64 MiB of fresh memory and writes one byte into each 4 KiB page,
// five times over: what the first touch of a page costs on this machine,
// the price of every page a load builds in fresh memory.
static int run_page_cost()
{
    const size_t size = (size_t)64 << 20;
    const size_t page = 4096;
    const size_t pages = size / page;
    for (int round = 1; round <= 5; ++round) {
        int64_t start = wall_ns();
        char *memory =
            (char *)mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            return 1;
        for (size_t at = 0; at < size; at += page)
            memory[at] = 1;
        int64_t spent = wall_ns() - start;
        munmap(memory, size);
        printf("page_cost round=%d pages=%zu us_per_page=%.3f\n", round, pages,
               us(spent) / (double)pages);
    }
    return 0;
}

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
static int run_lookups(int count, int rounds, const char *path)
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
static int run_build(const char *kind, int count, int rounds, double limit_seconds)
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

// ---- Saving -----------------------------------------------------------

// One document to save and how: ours through ini_save (the document of a
// reader of ours, so that a layout-keeping load saves the same way), GKeyFile
// through g_key_file_to_data and g_file_set_contents_full, and the floor:
// the bytes ours writes, in one write and one fsync.
struct Saver {
    std::string name;
    void *document;
    void (*release)(void *document);
};

// The folder's entry for the new name reaches the disk too: GKeyFile
// flushes the folder after its rename, ini_save does not, so the saver of
// ours does it after ini_save and both leave the same on the disk.
static bool flush_folder(const char *dir)
{
    int folder = open(dir, O_RDONLY | O_DIRECTORY);
    if (folder < 0)
        return false;
    bool flushed = fsync(folder) == 0;
    close(folder);
    return flushed;
}

static bool write_floor(const char *path, const char *text, size_t length)
{
    int out = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0)
        return false;
    size_t written = 0;
    while (written < length) {
        ssize_t wrote = write(out, text + written, length - written);
        if (wrote <= 0)
            break;
        written += (size_t)wrote;
    }
    bool done = written == length && fsync(out) == 0;
    return close(out) == 0 && done;
}

static bool save_gkeyfile(GKeyFile *key_file, const char *path, int64_t *bytes)
{
    gsize length = 0;
    gchar *text = g_key_file_to_data(key_file, &length, nullptr);
    // CONSISTENT: the text is flushed before the rename whether or not a
    // file is there already (g_file_set_contents flushes only over an
    // existing file), and the folder after it.
    bool saved = g_file_set_contents_full(path, text, (gssize)length,
                                          G_FILE_SET_CONTENTS_CONSISTENT, 0666, nullptr);
    g_free(text);
    *bytes = (int64_t)length;
    return saved;
}

// Saves the document of every saver in turn, round after round, into dir,
// each over the file its previous save left (one save before the timing
// puts each there), and prints each save's wall time. Also prints the time
// each library takes to make the text alone, without writing it.
static int run_save(int rounds, const char *dir, const char *path, const char *saver_list)
{
    struct statfs disk;
    if (statfs(dir, &disk) != 0)
        return 1;
    IniFile *plain = ini_load(path);
    if (plain == nullptr)
        return 1;
    size_t text_length = 0;
    char *text = ini_save_to_memory(plain, &text_length, nullptr);
    if (text == nullptr)
        return 1;
    std::vector<Saver> savers;
    for (const std::string &name : split_list(saver_list)) {
        if (name == "floor") {
            savers.push_back({name, nullptr, nullptr});
        } else if (name == "gkeyfile") {
            GKeyFile *key_file = g_key_file_new();
            if (!g_key_file_load_from_file(key_file, path, G_KEY_FILE_NONE, nullptr))
                return 1;
            savers.push_back({name, key_file, bench_find_parser("gkeyfile")->release});
        } else {
            const BenchParser *parser = reader_or_exit(name);
            if (parser->peer) {
                fprintf(stderr, "inifile_targets: %s makes no document of ours\n", name.c_str());
                return 2;
            }
            void *document = parser->load(path);
            if (document == nullptr)
                return 1;
            savers.push_back({name, document, parser->release});
        }
    }
    printf("save_setup file=%s folder_fs=0x%lx text_bytes=%zu\n", file_name(path).c_str(),
           (unsigned long)disk.f_type, text_length);
    for (int round = 0; round <= rounds; ++round) {
        for (const Saver &saver : savers) {
            std::string out = std::string(dir) + "/saved_by_" + saver.name + ".ini";
            int64_t bytes = (int64_t)text_length;
            int64_t start = wall_ns();
            int64_t own_end = 0;
            bool saved;
            if (saver.name == "floor") {
                saved = write_floor(out.c_str(), text, text_length);
            } else if (saver.name == "gkeyfile") {
                saved = save_gkeyfile((GKeyFile *)saver.document, out.c_str(), &bytes);
            } else {
                saved = ini_save((const IniFile *)saver.document, out.c_str()) == 0;
                own_end = wall_ns();
                saved = saved && flush_folder(dir);
                bytes = file_bytes(out.c_str());
            }
            int64_t spent = wall_ns() - start;
            if (!saved) {
                fprintf(stderr, "inifile_targets: the save of %s failed\n", saver.name.c_str());
                return 1;
            }
            if (round == 0)
                continue;  // puts the file there, as a save over an existing one finds it
            printf("save saver=%s file=%s round=%d bytes=%lld wall_us=%.1f", saver.name.c_str(),
                   file_name(path).c_str(), round, (long long)bytes, us(spent));
            if (own_end != 0)
                printf(" ini_save_us=%.1f", us(own_end - start));
            printf("\n");
            fflush(stdout);
        }
    }
    // The text alone, in memory: ini_save_to_memory and g_key_file_to_data.
    for (int round = 1; round <= rounds; ++round) {
        for (const Saver &saver : savers) {
            if (saver.name == "floor")
                continue;
            int64_t start = wall_ns();
            size_t length = 0;
            if (saver.name == "gkeyfile") {
                gsize made = 0;
                g_free(g_key_file_to_data((GKeyFile *)saver.document, &made, nullptr));
                length = made;
            } else {
                free(ini_save_to_memory((const IniFile *)saver.document, &length, nullptr));
            }
            printf("save_text saver=%s file=%s round=%d bytes=%zu wall_us=%.1f\n",
                   saver.name.c_str(), file_name(path).c_str(), round, length,
                   us(wall_ns() - start));
        }
    }
    for (const Saver &saver : savers) {
        if (saver.release != nullptr)
            saver.release(saver.document);
        unlink((std::string(dir) + "/saved_by_" + saver.name + ".ini").c_str());
    }
    free(text);
    ini_destroy(plain);
    return 0;
}

// ---- Command line -----------------------------------------------------

static int run_generate(const char *dir, bool large)
{
    if (bench_write_files(dir, large, true, false) != 0)
        return 1;
    int count = 0;
    const BenchFile *files = bench_files(&count);
    for (int i = 0; i < count; ++i) {
        if (!files[i].large || large)
            printf("file name=%s bytes=%lld path=%s\n", files[i].name, (long long)files[i].size,
                   files[i].path);
    }
    return 0;
}

static int run_readers()
{
    int count = 0;
    const BenchParser *parsers = bench_parsers(&count);
    for (int i = 0; i < count; ++i)
        printf("%s\n", parsers[i].name);
    return 0;
}

static int usage()
{
    fprintf(stderr, "usage: see the comment at the top of bench/targets.cpp\n");
    return 2;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const char *step = argv[1];
    if (strcmp(step, "generate") == 0 && (argc == 3 || argc == 4))
        return run_generate(argv[2], argc == 4 && strcmp(argv[3], "--large") == 0);
    if (strcmp(step, "readers") == 0 && argc == 2)
        return run_readers();
    if (strcmp(step, "fresh") == 0 && argc >= 5)
        return run_fresh(atoi(argv[2]), argv[3], argv + 4, argc - 4);
    if (strcmp(step, "once") == 0 && argc == 4)
        return run_once(argv[2], argv[3]);
    if (strcmp(step, "warm") == 0 && argc == 5)
        return run_warm(atoi(argv[2]), argv[3], argv[4]);
    if (strcmp(step, "page_cost") == 0 && argc == 2)
        return run_page_cost();
    if (strcmp(step, "lookups") == 0 && argc == 5)
        return run_lookups(atoi(argv[2]), atoi(argv[3]), argv[4]);
    if (strcmp(step, "build") == 0 && argc == 6)
        return run_build(argv[2], atoi(argv[3]), atoi(argv[4]), atof(argv[5]));
    if (strcmp(step, "save") == 0 && argc == 6)
        return run_save(atoi(argv[2]), argv[3], argv[4], argv[5]);
    return usage();
}
