// Peak memory of one reader on one file, whole process: the maximum
// resident size after the load minus the maximum before it.
//
//   peak_memory READER FILE
//
// Prints "<peak KB> <baseline KB> <file bytes>". Run once per reader and
// file, so that no earlier load raises the high-water mark.
#include "parsers.h"

#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>

static long max_resident_kb()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: peak_memory READER FILE\n");
        return 2;
    }
    const BenchParser *parser = bench_find_parser(argv[1]);
    struct stat info;
    if (parser == nullptr || stat(argv[2], &info) != 0) {
        fprintf(stderr, "peak_memory: unknown reader or missing file\n");
        return 2;
    }
    long baseline = max_resident_kb();
    void *handle = parser->load(argv[2]);
    long peak = max_resident_kb();
    if (handle == nullptr) {
        fprintf(stderr, "peak_memory: %s rejected %s\n", argv[1], argv[2]);
        return 1;
    }
    parser->release(handle);
    printf("%ld %ld %lld\n", peak - baseline, baseline, (long long)info.st_size);
    return 0;
}
