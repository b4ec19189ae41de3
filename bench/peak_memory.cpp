// Peak memory and CPU time of one reader loading one file in a fresh
// process: the maximum resident size after the load minus the maximum
// before it, and the user and system time the load took.
//
//   peak_memory READER FILE
//
// Prints "<peak KB> <baseline KB> <file bytes> <load CPU microseconds>".
// Run once per reader and file, so that no earlier load raises the
// high-water mark or leaves pages behind to reuse.
#include "parsers.h"

#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

static long max_resident_kb()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// User and system time of the process, exact to the scheduler's count
// rather than to the timer tick of getrusage.
static long long cpu_microseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
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
    long long start = cpu_microseconds();
    void *handle = parser->load(argv[2]);
    long long spent = cpu_microseconds() - start;
    long peak = max_resident_kb();
    if (handle == nullptr) {
        fprintf(stderr, "peak_memory: %s rejected %s\n", argv[1], argv[2]);
        return 1;
    }
    parser->release(handle);
    printf("%ld %ld %lld %lld\n", peak - baseline, baseline, (long long)info.st_size, spent);
    return 0;
}
