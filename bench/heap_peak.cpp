// Peak heap of one reader loading one file in a fresh process, counted by
// this program's own malloc, free, calloc, realloc and aligned
// allocations, which hand every call on to glibc's allocator and keep the
// bytes in use. Every library in the process (the readers, GLib, libstdc++,
// the C library itself) allocates through them, so nothing on the heap is
// missed, and the peak is exact rather than sampled.
//
//   heap_peak READER FILE
//
// Prints "heap_peak_bytes=P heap_after_bytes=A allocations=N rss_peak_bytes=R
// file_bytes=F": P the most bytes in use at any moment of the load beyond
// those in use before it, A those still in use when it returned (the
// document), N the calls that took or resized a block (malloc, calloc,
// realloc, the aligned ones), R the growth of the resident
// high-water mark (pages, for comparison with older figures and as a check
// that nothing large bypasses malloc).
//
// A block counts as what it takes from the heap: glibc's usable size plus
// its 8-byte header, so 32 bytes for a malloc(16), as the allocator lays
// it out. Blocks that glibc maps with mmap (128 KiB and more) count the
// same way.
#include "parsers.h"

#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>

// glibc's allocator under its own names, which it exports for layers like
// this one.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *block);
size_t malloc_usable_size(void *block) noexcept;
}
// NOLINTEND(bugprone-reserved-identifier)

namespace {

int64_t in_use;
int64_t peak;
int64_t calls;

int64_t block_bytes(void *block)
{
    return block == nullptr ? 0 : (int64_t)(malloc_usable_size(block) + sizeof(size_t));
}

// The program is single-threaded while it measures; the counters are still
// updated atomically, in case a library starts a thread of its own.
void *taken(void *block)
{
    if (block != nullptr) {
        int64_t now = __atomic_add_fetch(&in_use, block_bytes(block), __ATOMIC_RELAXED);
        __atomic_add_fetch(&calls, 1, __ATOMIC_RELAXED);
        int64_t seen = __atomic_load_n(&peak, __ATOMIC_RELAXED);
        while (now > seen && !__atomic_compare_exchange_n(&peak, &seen, now, true, __ATOMIC_RELAXED,
                                                          __ATOMIC_RELAXED)) {
        }
    }
    return block;
}

void given_back(void *block)
{
    if (block != nullptr)
        __atomic_sub_fetch(&in_use, block_bytes(block), __ATOMIC_RELAXED);
}

}  // namespace

extern "C" {

void *malloc(size_t size) noexcept
{
    return taken(__libc_malloc(size));
}

void *calloc(size_t count, size_t size) noexcept
{
    return taken(__libc_calloc(count, size));
}

void *realloc(void *block, size_t size) noexcept
{
    given_back(block);
    void *moved = __libc_realloc(block, size);
    if (moved == nullptr && size != 0) {
        taken(block);  // the old block stays
        return nullptr;
    }
    return taken(moved);
}

void free(void *block) noexcept
{
    given_back(block);
    __libc_free(block);
}

void *memalign(size_t alignment, size_t size) noexcept
{
    return taken(__libc_memalign(alignment, size));
}

void *aligned_alloc(size_t alignment, size_t size) noexcept
{
    return taken(__libc_memalign(alignment, size));
}

int posix_memalign(void **result, size_t alignment, size_t size) noexcept
{
    void *block = taken(__libc_memalign(alignment, size));
    if (block == nullptr)
        return ENOMEM;
    *result = block;
    return 0;
}

void *valloc(size_t size) noexcept
{
    return taken(__libc_memalign(4096, size));
}

void *pvalloc(size_t size) noexcept
{
    return taken(__libc_memalign(4096, (size + 4095) & ~(size_t)4095));
}

}  // extern "C"

static int64_t max_resident_bytes()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return (int64_t)usage.ru_maxrss * 1024;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: heap_peak READER FILE\n");
        return 2;
    }
    const BenchParser *parser = bench_find_parser(argv[1]);
    struct stat info;
    if (parser == nullptr || stat(argv[2], &info) != 0) {
        fprintf(stderr, "heap_peak: unknown reader or missing file\n");
        return 2;
    }
    int64_t resident_before = max_resident_bytes();
    int64_t before = __atomic_load_n(&in_use, __ATOMIC_RELAXED);
    __atomic_store_n(&peak, before, __ATOMIC_RELAXED);
    int64_t calls_before = __atomic_load_n(&calls, __ATOMIC_RELAXED);
    void *handle = parser->load(argv[2]);
    int64_t after = __atomic_load_n(&in_use, __ATOMIC_RELAXED);
    int64_t highest = __atomic_load_n(&peak, __ATOMIC_RELAXED);
    int64_t made = __atomic_load_n(&calls, __ATOMIC_RELAXED) - calls_before;
    int64_t resident = max_resident_bytes() - resident_before;
    if (handle == nullptr) {
        fprintf(stderr, "heap_peak: %s rejected %s\n", argv[1], argv[2]);
        return 1;
    }
    printf("heap_peak_bytes=%lld heap_after_bytes=%lld allocations=%lld rss_peak_bytes=%lld "
           "file_bytes=%lld\n",
           (long long)(highest - before), (long long)(after - before), (long long)made,
           (long long)resident, (long long)info.st_size);
    parser->release(handle);
    return 0;
}
