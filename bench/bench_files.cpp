// Writes the benchmark inputs through one large buffer, so that generating
// 200 MB costs little time and almost no memory.
#include "bench_files.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// Sizes in MB are decimal (10^6 bytes) throughout the benchmarks. The
// files marked targets_only are read by the targets run alone, so that
// inifile_bench's loops (bench/run.sh) keep their length.
static BenchFile files[] = {
    {"typical_2MB", SHAPE_TYPICAL, 10000, false, true, false, "", 0},
    {"typical_20MB", SHAPE_TYPICAL, 100000, false, true, false, "", 0},
    {"typical_200MB", SHAPE_TYPICAL, 1000000, true, true, false, "", 0},
    {"typical_comments_2MB", SHAPE_TYPICAL_COMMENTS, 10000, false, false, true, "", 0},
    {"typical_comments_20MB", SHAPE_TYPICAL_COMMENTS, 100000, false, false, false, "", 0},
    {"typical_comments_200MB", SHAPE_TYPICAL_COMMENTS, 1000000, true, false, true, "", 0},
    {"one_section_2MB", SHAPE_ONE_SECTION, 100000, false, true, false, "", 0},
    {"one_section_20MB", SHAPE_ONE_SECTION, 1000000, false, true, false, "", 0},
    {"one_section_200MB", SHAPE_ONE_SECTION, 10000000, true, true, false, "", 0},
    {"long_line_2MB", SHAPE_LONG_LINE, 2000000, false, true, false, "", 0},
    {"long_line_20MB", SHAPE_LONG_LINE, 20000000, false, true, false, "", 0},
    {"long_line_200MB", SHAPE_LONG_LINE, 200000000, true, true, false, "", 0},
    {"typical216_1MB", SHAPE_TYPICAL216, 5000, false, true, true, "", 0},
    {"typical216_20MB", SHAPE_TYPICAL216, 100000, false, true, true, "", 0},
    {"typical216_200MB", SHAPE_TYPICAL216, 1000000, true, true, true, "", 0},
    {"long_values_1MB", SHAPE_LONG_VALUES, 600, false, true, true, "", 0},
    {"long_values_20MB", SHAPE_LONG_VALUES, 12000, false, true, true, "", 0},
    {"long_values_200MB", SHAPE_LONG_VALUES, 120000, true, true, true, "", 0},
    {"one_key_1MB", SHAPE_ONE_KEY, 60000, false, true, true, "", 0},
    {"one_key_20MB", SHAPE_ONE_KEY, 1200000, false, true, true, "", 0},
    {"one_key_200MB", SHAPE_ONE_KEY, 12000000, true, true, true, "", 0},
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

// Digits of the largest of count numbers from 0, at least minimum: every
// number in a file is padded to this width, so that all its lines of one
// kind have one length.
static int number_width(int64_t count, int minimum)
{
    int width = 1;
    for (int64_t largest = count - 1; largest >= 10; largest /= 10)
        ++width;
    return width > minimum ? width : minimum;
}

// The typical file of the library's targets: "[section00042]", then ten
// "key3 = value3_00042" lines and a blank line, 216 bytes a section up to
// 100,000 sections; the 1,000,000 of the largest file take six digits
// (227 bytes a section).
static void write_typical216(Output *out, int64_t sections)
{
    int width = number_width(sections, 5);
    for (int64_t s = 0; s < sections; ++s) {
        put(out, "[section%0*lld]\n", width, (long long)s);
        for (int n = 0; n < 10; ++n)
            put(out, "key%d = value%d_%0*lld\n", n, n, width, (long long)s);
        put(out, "\n");
    }
}

// Ten entries a section whose values are 160 bytes of words (a command line
// or a description), each line 168 bytes: under the 200-byte line of
// Debian's inih, which therefore reads every value whole. 1,697 bytes a
// section.
static void write_long_values(Output *out, int64_t sections)
{
    static const char words[] = "the quick brown fox jumps over the lazy dog, then runs "
                                "to /usr/share/doc/example-1.2.3/README.txt and back again "
                                "with 42 parcels marked FRAGILE-handle-with-care. ";
    enum { VALUE_BYTES = 160, WORDS_BYTES = sizeof words - 1 };
    for (int64_t s = 0; s < sections; ++s) {
        put(out, "[section%06lld]\n", (long long)s);
        for (int n = 0; n < 10; ++n) {
            char value[VALUE_BYTES + 1];
            int used = snprintf(value, sizeof value, "value%d_%06lld ", n, (long long)s);
            for (size_t from = (size_t)(s * 10 + n) % WORDS_BYTES; used < VALUE_BYTES; ++used)
                value[used] = words[from++ % WORDS_BYTES];
            if (value[VALUE_BYTES - 1] == ' ')
                value[VALUE_BYTES - 1] = '.';  // the reader would trim a space at the end
            value[VALUE_BYTES] = '\0';
            put(out, "key%d = %s\n", n, value);
        }
        put(out, "\n");
    }
}

// The least a section can hold: "[s00000042]" and "k = v", 18 bytes, so
// that what each section costs beyond its text shows.
static void write_one_key(Output *out, int64_t sections)
{
    for (int64_t s = 0; s < sections; ++s)
        put(out, "[s%08lld]\nk = v\n", (long long)s);
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
    case SHAPE_TYPICAL216:
        write_typical216(&out, file->count);
        break;
    case SHAPE_LONG_VALUES:
        write_long_values(&out, file->count);
        break;
    case SHAPE_ONE_KEY:
        write_one_key(&out, file->count);
        break;
    }
    flush(&out);
    free(out.buffer);
    if (fclose(out.file) != 0 || out.failed)
        return -1;
    return 0;
}

int bench_write_files(const char *dir, bool large, bool targets, bool reuse)
{
    for (BenchFile &file : files) {
        snprintf(file.path, sizeof file.path, "%s/%s.ini", dir, file.name);
        if ((file.large && !large) || (file.targets_only && !targets))
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
