// Writes the benchmark inputs through one large buffer, so that generating
// 200 MB costs little time and almost no memory.
#include "bench_files.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// Sizes in MB are decimal (10^6 bytes) throughout the benchmarks.
static BenchFile files[] = {
    {"typical_2MB", SHAPE_TYPICAL, 10000, false, true, "", 0},
    {"typical_20MB", SHAPE_TYPICAL, 100000, false, true, "", 0},
    {"typical_200MB", SHAPE_TYPICAL, 1000000, true, true, "", 0},
    {"typical_comments_20MB", SHAPE_TYPICAL_COMMENTS, 100000, false, false, "", 0},
    {"one_section_2MB", SHAPE_ONE_SECTION, 100000, false, true, "", 0},
    {"one_section_20MB", SHAPE_ONE_SECTION, 1000000, false, true, "", 0},
    {"one_section_200MB", SHAPE_ONE_SECTION, 10000000, true, true, "", 0},
    {"long_line_2MB", SHAPE_LONG_LINE, 2000000, false, true, "", 0},
    {"long_line_20MB", SHAPE_LONG_LINE, 20000000, false, true, "", 0},
    {"long_line_200MB", SHAPE_LONG_LINE, 200000000, true, true, "", 0},
};
enum { FILE_COUNT = sizeof files / sizeof files[0] };

BenchFile *bench_files(int *count)
{
    *count = FILE_COUNT;
    return files;
}

enum { WRITE_BUFFER_SIZE = 1 << 20 };

struct Output {
    FILE *file;
    char *buffer;
    size_t used;
    bool failed;
};

static void flush(Output *out)
{
    if (out->used > 0 && fwrite(out->buffer, 1, out->used, out->file) != out->used)
        out->failed = true;
    out->used = 0;
}

// Appends formatted text of at most 255 bytes.
__attribute__((format(printf, 2, 3))) static void put(Output *out, const char *format, ...)
{
    if (out->used + 256 > WRITE_BUFFER_SIZE)
        flush(out);
    va_list arguments;
    va_start(arguments, format);
    out->used += (size_t)vsnprintf(out->buffer + out->used, 256, format, arguments);
    va_end(arguments);
}

// Sections of ten entries, keyed 0 to 9 within each section, so that every
// size has the same line lengths and the sizes scale with the count.
static void write_typical(Output *out, int64_t sections, bool comments)
{
    for (int64_t s = 0; s < sections; ++s) {
        if (comments)
            put(out, "; settings of group %lld\n", (long long)s);
        put(out, "[section%lld]\n", (long long)s);
        for (int m = 0; m < 10; ++m) {
            if (comments)
                put(out, "key%d = value%d ; note\n", m, m);
            else
                put(out, "key%d = value%d\n", m, m);
        }
        put(out, "\n");
    }
}

// Entry numbers are padded to seven digits so that the line length is the
// same at every size.
static void write_one_section(Output *out, int64_t entries)
{
    put(out, "[section]\n");
    for (int64_t m = 0; m < entries; ++m)
        put(out, "key%07lld = value%07lld\n", (long long)m, (long long)m);
}

static void write_long_line(Output *out, int64_t value_bytes)
{
    put(out, "[section]\nkey = ");
    for (int64_t i = 0; i < value_bytes; ++i) {
        if (out->used == WRITE_BUFFER_SIZE)
            flush(out);
        out->buffer[out->used++] = (char)('a' + i % 26);
    }
    put(out, "\n");
}

static int write_file(BenchFile *file)
{
    Output out = {fopen(file->path, "wb"), (char *)malloc(WRITE_BUFFER_SIZE), 0, false};
    if (out.file == nullptr || out.buffer == nullptr) {
        if (out.file != nullptr)
            fclose(out.file);
        free(out.buffer);
        return -1;
    }
    switch (file->shape) {
    case SHAPE_TYPICAL:
        write_typical(&out, file->count, false);
        break;
    case SHAPE_TYPICAL_COMMENTS:
        write_typical(&out, file->count, true);
        break;
    case SHAPE_ONE_SECTION:
        write_one_section(&out, file->count);
        break;
    case SHAPE_LONG_LINE:
        write_long_line(&out, file->count);
        break;
    }
    flush(&out);
    free(out.buffer);
    if (fclose(out.file) != 0 || out.failed)
        return -1;
    return 0;
}

int bench_write_files(const char *dir, bool large, bool reuse)
{
    for (BenchFile &file : files) {
        snprintf(file.path, sizeof file.path, "%s/%s.ini", dir, file.name);
        if (file.large && !large)
            continue;
        if (!reuse && write_file(&file) != 0) {
            fprintf(stderr, "cannot write %s\n", file.path);
            return -1;
        }
        struct stat info;
        if (stat(file.path, &info) != 0) {
            fprintf(stderr, "missing %s\n", file.path);
            return -1;
        }
        file.size = info.st_size;
    }
    return 0;
}

int bench_make_scratch_dir(char *path, int size)
{
    const char *base = getenv("TMPDIR");
    if (base == nullptr || base[0] == '\0')
        base = "/tmp";
    snprintf(path, (size_t)size, "%s/inifile-bench-XXXXXX", base);
    return mkdtemp(path) == nullptr ? -1 : 0;
}

void bench_remove_files(const char *dir)
{
    for (BenchFile &file : files) {
        if (file.path[0] != '\0')
            unlink(file.path);
    }
    rmdir(dir);
}
