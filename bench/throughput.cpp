// Throughput of ini_load against the other readers on the same generated
// files, of ini_load_from_memory against inih's ini_parse_string on the
// typical text, of ini_save against GKeyFile's save on the typical document, and
// the time of section_clone on sections of 10,000, 20,000 and 40,000
// entries. Rates are per second of
// this process's CPU time (user and system), which other work on the
// machine disturbs far less than wall-clock time.
//
//   inifile_bench [--large] [--files DIR | --generate DIR] [benchmark flags]
//
// Without --files the files are written into a scratch directory first and
// removed at the end. --generate only writes them into DIR (for the peak
// memory runner) and exits; --files reads files written that way. --large
// adds the 200 MB files (also INIFILE_BENCH_LARGE=1).
#include "bench_files.h"
#include "parsers.h"

#include "inifile.h"

#include <benchmark/benchmark.h>
#include <glib.h>

#include <limits.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

// A cold load starts with the heap handed back to the system, as in a
// process that loads its file once: it pays for faulting in every page it
// builds. A warm load reuses the pages the previous load freed, which
// shows the cost of reading and building alone.
static void run_load(benchmark::State &state, const BenchParser *parser, const BenchFile *file,
                     bool cold)
{
    for (auto _ : state) {
        void *handle = parser->load(file->path);
        if (handle == nullptr) {
            state.SkipWithError("the reader rejected the file");
            break;
        }
        // Only reading counts; freeing what was built is left out of the time.
        state.PauseTiming();
        parser->release(handle);
        if (cold)
            malloc_trim(0);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * file->size);
    state.counters["bytes"] = (double)file->size;
}

// Loads of text already in memory (read from the file before the timing),
// reusing the pages the previous load freed, as the warm loads of files do.
static void run_text_load(benchmark::State &state, const BenchTextParser *parser,
                          const BenchFile *file)
{
    std::string text;
    FILE *in = fopen(file->path, "rb");
    char chunk[1 << 16];
    size_t got;
    while (in != nullptr && (got = fread(chunk, 1, sizeof chunk, in)) > 0)
        text.append(chunk, got);
    if (in != nullptr)
        fclose(in);
    for (auto _ : state) {
        void *handle = parser->load(text.c_str(), (long long)text.size());
        if (handle == nullptr) {
            state.SkipWithError("the reader rejected the text");
            break;
        }
        state.PauseTiming();
        parser->release(handle);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)text.size());
    state.counters["bytes"] = (double)text.size();
}

// The savers compared: ini_save and GKeyFile's save of the same document,
// each loaded by its own library. Both replace the file through a
// temporary flushed to disk first (GKeyFile flushes only when the file
// exists, which it does after the first save).
struct BenchSaver {
    const char *name;
    void *(*load)(const char *path);
    bool (*save)(void *document, const char *path);
    void (*release)(void *document);
};

static bool ours_save(void *document, const char *path)
{
    return ini_save((const IniFile *)document, path) == 0;
}

static bool gkeyfile_save(void *document, const char *path)
{
    GError *error = nullptr;
    if (g_key_file_save_to_file((GKeyFile *)document, path, &error))
        return true;
    g_error_free(error);
    return false;
}

static const BenchSaver savers[] = {
    {"ours", bench_find_parser("ours")->load, ours_save, bench_find_parser("ours")->release},
    {"gkeyfile", bench_find_parser("gkeyfile")->load, gkeyfile_save,
     bench_find_parser("gkeyfile")->release},
};

static void run_save(benchmark::State &state, const BenchFile *file, const BenchSaver *saver,
                     const char *out_path)
{
    void *document = saver->load(file->path);
    if (document == nullptr) {
        state.SkipWithError("cannot load the document to save");
        return;
    }
    int64_t written = 0;
    for (auto _ : state) {
        if (!saver->save(document, out_path)) {
            state.SkipWithError("the save failed");
            break;
        }
        struct stat info;
        written = stat(out_path, &info) == 0 ? info.st_size : 0;
    }
    state.SetBytesProcessed(state.iterations() * written);
    state.counters["bytes"] = (double)written;
    saver->release(document);
    unlink(out_path);
}

// section_clone of the one section of the document at path, which holds
// count distinct keys: each clone looks every key up among those it holds
// already, so this shows how its time grows with the section.
static void run_clone(benchmark::State &state, const char *path, int64_t count)
{
    IniFile *document = ini_load(path);
    if (document == nullptr || document->count != 1 || document->sections[0]->count != count) {
        state.SkipWithError("cannot load the section to clone");
        ini_destroy(document);
        return;
    }
    for (auto _ : state) {
        IniSection *clone = section_clone(document->sections[0], "clone");
        state.PauseTiming();
        if (clone->count != count)
            state.SkipWithError("the clone lost entries");
        section_destroy(clone);
        state.ResumeTiming();
    }
    state.counters["entries"] = (double)count;
    ini_destroy(document);
}

// The sections to clone are files of their own beside the benchmark files,
// named so that the fresh-process runs (every *.ini) leave them alone.
static const int64_t clone_sizes[] = {10000, 20000, 40000};

static std::string clone_path(const char *dir, int64_t count)
{
    return std::string(dir) + "/clone_" + std::to_string(count) + ".section";
}

// 0 when every file was written.
static int write_clone_files(const char *dir)
{
    for (int64_t count : clone_sizes) {
        FILE *out = fopen(clone_path(dir, count).c_str(), "wb");
        if (out == nullptr)
            return -1;
        fputs("[section]\n", out);
        for (int64_t i = 0; i < count; ++i)
            fprintf(out, "key%lld = value%lld\n", (long long)i, (long long)i);
        if (fclose(out) != 0)
            return -1;
    }
    return 0;
}

static void remove_clone_files(const char *dir)
{
    for (int64_t count : clone_sizes)
        unlink(clone_path(dir, count).c_str());
}

// The fastest of the repetitions: on a shared machine other work only ever
// adds time, so the minimum is the steadiest estimate of the cost itself.
static double fastest(const std::vector<double> &times)
{
    return *std::min_element(times.begin(), times.end());
}

// Keeps every freed page in the heap from now on: used for the warm loads,
// which run after all the cold ones.
static void keep_freed_pages(const benchmark::State &)
{
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest glibc accepts
}

static void register_loads(bool large, bool cold)
{
    int file_count = 0;
    BenchFile *files = bench_files(&file_count);
    int parser_count = 0;
    const BenchParser *parsers = bench_parsers(&parser_count);
    for (int f = 0; f < file_count; ++f) {
        const BenchFile *file = &files[f];
        if ((file->large && !large) || file->targets_only)
            continue;
        for (int p = 0; p < parser_count; ++p) {
            const BenchParser *parser = &parsers[p];
            if ((parser->peer && !file->peers) || parser->targets_only)
                continue;
            // One line makes the heap floor nothing: it means something
            // only where there are many lines.
            if (strcmp(parser->name, "heap_floor") == 0 && file->shape == SHAPE_LONG_LINE)
                continue;
            char name[256];
            snprintf(name, sizeof name, "%s/%s/%s", cold ? "load" : "load_warm", file->name,
                     parser->name);
            benchmark::internal::Benchmark *benchmark =
                benchmark::RegisterBenchmark(name, run_load, parser, file, cold);
            benchmark->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
            if (!cold)
                benchmark->Setup(keep_freed_pages);
        }
    }
}

static void register_benchmarks(const char *dir, bool large)
{
    register_loads(large, true);
    register_loads(large, false);
    int file_count = 0;
    BenchFile *files = bench_files(&file_count);
    int text_parser_count = 0;
    const BenchTextParser *text_parsers = bench_text_parsers(&text_parser_count);
    for (int f = 0; f < file_count; ++f) {
        const BenchFile *file = &files[f];
        if (strcmp(file->name, "typical_20MB") != 0)
            continue;
        for (int p = 0; p < text_parser_count; ++p) {
            char name[256];
            snprintf(name, sizeof name, "load_memory_warm/%s/%s", file->name, text_parsers[p].name);
            benchmark::RegisterBenchmark(name, run_text_load, &text_parsers[p], file)
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("min", fastest)
                ->Setup(keep_freed_pages);
        }
    }
    for (int f = 0; f < file_count; ++f) {
        const BenchFile *file = &files[f];
        if (strcmp(file->name, "typical_20MB") != 0)
            continue;
        for (const BenchSaver &saver : savers) {
            static std::string out_paths[sizeof savers / sizeof savers[0]];
            std::string &out_path = out_paths[&saver - savers];
            out_path = std::string(dir) + "/saved_" + file->name + "_" + saver.name + ".ini";
            char name[256];
            snprintf(name, sizeof name, "save/%s/%s", file->name, saver.name);
            benchmark::RegisterBenchmark(name, run_save, file, &saver, out_path.c_str())
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("min", fastest);
        }
    }
    static std::string clone_paths[sizeof clone_sizes / sizeof clone_sizes[0]];
    for (size_t i = 0; i < sizeof clone_sizes / sizeof clone_sizes[0]; ++i) {
        int64_t count = clone_sizes[i];
        std::string &path = clone_paths[i];
        path = clone_path(dir, count);
        char name[256];
        snprintf(name, sizeof name, "clone/%lld_entries/ours", (long long)count);
        benchmark::RegisterBenchmark(name, run_clone, path.c_str(), count)
            ->Unit(benchmark::kMillisecond)
            ->ComputeStatistics("min", fastest);
    }
}

// Takes this program's own options out of argv before the benchmark
// library sees the rest.
static const char *take_option(int *argc, char **argv, const char *option, bool with_value)
{
    for (int i = 1; i < *argc; ++i) {
        if (strcmp(argv[i], option) != 0)
            continue;
        int width = with_value ? 2 : 1;
        if (i + width > *argc)
            return nullptr;
        const char *value = with_value ? argv[i + 1] : argv[i];
        for (int j = i; j + width < *argc; ++j)
            argv[j] = argv[j + width];
        *argc -= width;
        return value;
    }
    return nullptr;
}

int main(int argc, char **argv)
{
    const char *large_env = getenv("INIFILE_BENCH_LARGE");
    bool large = take_option(&argc, argv, "--large", false) != nullptr ||
                 (large_env != nullptr && strcmp(large_env, "1") == 0);
    const char *files_dir = take_option(&argc, argv, "--files", true);
    const char *generate_dir = take_option(&argc, argv, "--generate", true);

    if (generate_dir != nullptr)
        return bench_write_files(generate_dir, large, false, false) == 0 ? 0 : 1;

    char scratch[4096];
    const char *dir = files_dir;
    if (dir == nullptr) {
        if (bench_make_scratch_dir(scratch, sizeof scratch) != 0) {
            fprintf(stderr, "cannot create a scratch directory\n");
            return 1;
        }
        dir = scratch;
    }
    if (bench_write_files(dir, large, false, files_dir != nullptr) != 0 ||
        write_clone_files(dir) != 0)
        return 1;

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    register_benchmarks(dir, large);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    remove_clone_files(dir);
    if (files_dir == nullptr)
        bench_remove_files(dir);
    return 0;
}
