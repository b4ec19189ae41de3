// The loads of inifile_targets: whole processes timed from outside, loads
// reusing the pages of the previous one, and the price of a fresh page.
#include "targets.h"

#include <fcntl.h>
#include <limits.h>
#include <malloc.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// A pseudo-reader for the fresh runs: a process that loads nothing, whose
// time is what starting and ending the process costs every reader.
static const char NO_READER[] = "none";

// ---- One load in a fresh process --------------------------------------

// Loads the file once, frees what was built, and prints what that took:
// run by "fresh", one process per load.
int run_once(const char *reader, const char *path)
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
int run_fresh(int rounds, const char *readers, char **paths, int path_count)
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
int run_warm(int loads, const char *readers, const char *path)
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
int run_page_cost()
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
