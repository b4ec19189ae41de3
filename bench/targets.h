// The steps of inifile_targets, the measurements behind the library's
// speed and memory targets (bench/targets.sh runs each in a process of its
// own), and what they share. Each step prints one record per measurement,
// a line "<kind> name=value ..." on standard output, and returns the
// program's exit status. Times are wall-clock unless named cpu (user and
// system time of the process). Only the public calls of inifile.h are used,
// so that the same program measures any version of the library behind
// that header.
#ifndef BENCH_TARGETS_H
#define BENCH_TARGETS_H

#include "parsers.h"

#include <stdint.h>

#include <string>
#include <vector>

// Monotonic wall-clock time and this process's CPU time, in nanoseconds.
int64_t wall_ns();
int64_t cpu_ns();
// Page faults this process has taken so far that read nothing from disk.
long minor_faults();
double us(int64_t ns);
// Size of the file at path, or -1.
int64_t file_bytes(const char *path);
// The file's name without its folder and extension, as records name it.
std::string file_name(const char *path);
// The items of a comma-separated list.
std::vector<std::string> split_list(const char *list);
// The reader called name; ends the program when there is none.
const BenchParser *reader_or_exit(const std::string &name);

// Loads (target_loads.cpp): one load in this process, printing its times
// (the child of run_fresh); fresh processes interleaved; loads reusing
// freed pages; the price of a fresh page.
int run_once(const char *reader, const char *path);
int run_fresh(int rounds, const char *readers, char **paths, int path_count);
int run_warm(int loads, const char *readers, const char *path);
int run_page_cost();

// Calls (target_calls.cpp): random lookups against GKeyFile; documents
// built through the calls ("sections" or "keys") under a time limit.
int run_lookups(int count, int rounds, const char *path);
int run_build(const char *kind, int count, int rounds, double limit_seconds);

// Saving (target_save.cpp): ours, GKeyFile and the floor of one write and
// one fsync, into dir.
int run_save(int rounds, const char *dir, const char *path, const char *saver_list);

#endif
