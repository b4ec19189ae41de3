// The readers the benchmarks compare: this library's ini_load and the
// libraries a user would otherwise pick, each behind the same two calls.
#ifndef BENCH_PARSERS_H
#define BENCH_PARSERS_H

struct BenchParser {
    const char *name;
    // Reads the file at path into whatever the reader builds. Returns a
    // handle for release, or null when the reader rejects the file.
    void *(*load)(const char *path);
    void (*release)(void *handle);
    bool peer;          // another library (reads only the files shared with peers)
    bool targets_only;  // measured by the targets run (bench/targets.sh), not by inifile_bench
};

// A reader of text already in memory, behind the same kind of calls.
struct BenchTextParser {
    const char *name;
    // Reads length bytes of text, with a zero byte after them.
    void *(*load)(const char *text, long long length);
    void (*release)(void *handle);
};

// The readers of text in memory: ini_load_from_memory, then inih's
// ini_parse_string storing nothing.
const BenchTextParser *bench_text_parsers(int *count);

// Every reader, in report order; ours first.
const BenchParser *bench_parsers(int *count);

// The reader called name, or null.
const BenchParser *bench_find_parser(const char *name);

#endif
