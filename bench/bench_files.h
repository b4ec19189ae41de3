// The generated input files of the benchmarks: their shapes, sizes and
// where they are written. Nothing here is committed; every run writes its
// files into a scratch directory.
#ifndef BENCH_FILES_H
#define BENCH_FILES_H

#include <stdint.h>

enum BenchShape {
    SHAPE_TYPICAL,           // sections of 10 "keyM = valueM" entries, blank lines between
    SHAPE_TYPICAL_COMMENTS,  // the same with ';' comment lines and trailing comments
    SHAPE_ONE_SECTION,       // one section, every entry in it
    SHAPE_LONG_LINE,         // one section, one entry, one long value
    SHAPE_TYPICAL216,        // sections of 10 "keyN = valueN_M" entries, 216 bytes a section
    SHAPE_LONG_VALUES,       // sections of 10 entries whose values are 160 bytes
    SHAPE_ONE_KEY            // sections of one short entry each
};

struct BenchFile {
    const char *name;  // "typical_20MB", ...
    BenchShape shape;
    int64_t count;      // sections, entries or value bytes, by shape
    bool large;         // only written when the large files are asked for
    bool peers;         // also read by the other libraries
    bool targets_only;  // read by the targets run (bench/targets.sh), not by inifile_bench
    char path[4096];    // filled by bench_write_files
    int64_t size;       // bytes, filled by bench_write_files
};

// Every file the benchmarks know, in report order.
BenchFile *bench_files(int *count);

// Writes the files (the large ones only when large is set, those of the
// targets run only when targets is set) into dir, or just records path and
// size when they are already there. 0 on success.
int bench_write_files(const char *dir, bool large, bool targets, bool reuse);

// A fresh scratch directory under $TMPDIR (or /tmp) into path; 0 on success.
int bench_make_scratch_dir(char *path, int size);

// Removes the files written by bench_write_files and the directory.
void bench_remove_files(const char *dir);

#endif
