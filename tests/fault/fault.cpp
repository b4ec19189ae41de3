// Fault injection: counts every call the test builds of the library and
// the platform layer make, and fails the one a test armed.
//
// A test process arms faults with fault_arm(). A test run of the whole
// tool arms them through the environment, read once at start-up:
// QUORVEL_FAULT="copy:3" fails the third copy, and
// QUORVEL_FAULT_COUNTS=<file> writes, when the process exits (through
// exit() as well as from main), how many calls of each kind it made
// ("copy 10" lines, one per kind).
#include "fault.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// The kinds as a fault plan and the counts file spell them.
static const char *const fault_call_names[FAULT_KIND_COUNT] = {
    "alloc",  "own_path", "mkdir", "exists", "copy",   "lock",      "open",
    "create", "read",     "write", "close",  "rename", "full_path", "flush",
};

const char *fault_kind_name(FaultKind kind)
{
    return fault_call_names[kind];
}

static uint32_t fault_counts[FAULT_KIND_COUNT];
static uint32_t fault_armed[FAULT_KIND_COUNT];
static const char *fault_counts_path;

static void fault_write_counts(void)
{
    FILE *out = fopen(fault_counts_path, "w");
    if (out == NULL)
        return;
    for (int kind = 0; kind < FAULT_KIND_COUNT; ++kind)
        fprintf(out, "%s %u\n", fault_call_names[kind], (unsigned)fault_counts[kind]);
    fclose(out);
}

// "kind:n" with a known kind and n of 1 or more arms that kind; anything
// else ends the process with status 2, so that a misspelt plan can never
// pass for a run in which nothing failed.
static void fault_arm_plan(const char *plan)
{
    const char *colon = strchr(plan, ':');
    if (colon != NULL) {
        char *end = NULL;
        unsigned long long nth = strtoull(colon + 1, &end, 10);
        int count_valid = end != colon + 1 && *end == '\0' && nth >= 1 && nth <= UINT32_MAX;
        size_t length = (size_t)(colon - plan);
        for (int kind = 0; count_valid && kind < FAULT_KIND_COUNT; ++kind) {
            if (strlen(fault_call_names[kind]) == length &&
                strncmp(plan, fault_call_names[kind], length) == 0) {
                fault_armed[kind] = (uint32_t)nth;
                return;
            }
        }
    }
    fprintf(stderr, "QUORVEL_FAULT: no such fault plan: %s\n", plan);
    exit(2);
}

static int fault_read_environment(void)
{
    const char *plan = getenv("QUORVEL_FAULT");
    if (plan != NULL && plan[0] != '\0')
        fault_arm_plan(plan);
    fault_counts_path = getenv("QUORVEL_FAULT_COUNTS");
    if (fault_counts_path != NULL)
        atexit(fault_write_counts);
    return 1;
}

// Read before main (nothing calls the seam earlier), so that a run which
// ends before its first call still writes its counts, all zero.
[[maybe_unused]] static const int fault_environment_read = fault_read_environment();

void fault_arm(FaultKind kind, uint32_t nth)
{
    fault_armed[kind] = nth;
    fault_counts[kind] = 0;
}

uint32_t fault_count(FaultKind kind)
{
    return fault_counts[kind];
}

int fault_check(FaultKind kind)
{
    uint32_t count = ++fault_counts[kind];
    return fault_armed[kind] != 0 && count == fault_armed[kind];
}
