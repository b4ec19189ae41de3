// inifile_targets: the measurements behind the library's speed and memory
// targets, one step per command (targets.h; bench/targets.sh runs them and
// bench/targets.py reports):
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
#include "targets.h"

#include "bench_files.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

int64_t wall_ns()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

int64_t cpu_ns()
{
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

long minor_faults()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double us(int64_t ns)
{
    return (double)ns / 1e3;
}

int64_t file_bytes(const char *path)
{
    struct stat info;
    return stat(path, &info) == 0 ? (int64_t)info.st_size : -1;
}

// The file's name without its folder and extension: the name the records
// and the report use.
std::string file_name(const char *path)
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

std::vector<std::string> split_list(const char *list)
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

const BenchParser *reader_or_exit(const std::string &name)
{
    const BenchParser *parser = bench_find_parser(name.c_str());
    if (parser == nullptr || strcmp(parser->name, "heap_floor") == 0) {
        fprintf(stderr, "inifile_targets: no reader called %s\n", name.c_str());
        exit(2);
    }
    return parser;
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
