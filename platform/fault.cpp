// Fault injection: the one place every backend call and every library
// allocation passes before it reaches the system. Builds made with
// PLATFORM_FAULT_INJECTION (tests only) can make the Nth call of a kind
// fail; every other build compiles this down to "never fail".
//
// A test process arms faults with platform_fault_arm(). A test run of the
// whole tool arms them through the environment, read once at the first
// call: QUORVEL_FAULT="copy:3" fails the third copy, and
// QUORVEL_FAULT_COUNTS=<file> writes, when the process exits, how many
// calls of each kind it made ("copy 10" lines).
#include "platform.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *const fault_call_names[PLATFORM_CALL_KIND_COUNT] = {
    "alloc", "own_path", "mkdir", "exists", "copy", "open", "create", "read", "write",
};

const char *platform_call_name(PlatformCall kind)
{
    if (kind < 0 || kind >= PLATFORM_CALL_KIND_COUNT)
        return "unknown";
    return fault_call_names[kind];
}

#ifdef PLATFORM_FAULT_INJECTION

static uint32_t fault_counts[PLATFORM_CALL_KIND_COUNT];
static uint32_t fault_armed[PLATFORM_CALL_KIND_COUNT];
static int fault_environment_read;
static const char *fault_counts_path;

static void fault_write_counts(void)
{
    FILE *out = fopen(fault_counts_path, "w");
    if (out == NULL)
        return;
    for (int kind = 0; kind < PLATFORM_CALL_KIND_COUNT; ++kind)
        fprintf(out, "%s %u\n", fault_call_names[kind], (unsigned)fault_counts[kind]);
    fclose(out);
}

// Reads "kind:n" from QUORVEL_FAULT; an unknown kind arms nothing.
static void fault_read_environment(void)
{
    fault_environment_read = 1;
    const char *plan = getenv("QUORVEL_FAULT");
    if (plan != NULL) {
        const char *colon = strchr(plan, ':');
        if (colon != NULL) {
            size_t length = (size_t)(colon - plan);
            for (int kind = 0; kind < PLATFORM_CALL_KIND_COUNT; ++kind) {
                if (strlen(fault_call_names[kind]) == length &&
                    strncmp(plan, fault_call_names[kind], length) == 0)
                    fault_armed[kind] = (uint32_t)strtoul(colon + 1, NULL, 10);
            }
        }
    }
    fault_counts_path = getenv("QUORVEL_FAULT_COUNTS");
    if (fault_counts_path != NULL)
        atexit(fault_write_counts);
}

int platform_fault_check(PlatformCall kind)
{
    if (!fault_environment_read)
        fault_read_environment();
    uint32_t count = ++fault_counts[kind];
    return fault_armed[kind] != 0 && count == fault_armed[kind];
}

void platform_fault_arm(PlatformCall kind, uint32_t nth)
{
    if (!fault_environment_read)
        fault_read_environment();
    fault_armed[kind] = nth;
    fault_counts[kind] = 0;
}

uint32_t platform_fault_count(PlatformCall kind)
{
    return fault_counts[kind];
}

#else

int platform_fault_check(PlatformCall)
{
    return 0;
}

void platform_fault_arm(PlatformCall, uint32_t)
{
}

uint32_t platform_fault_count(PlatformCall)
{
    return 0;
}

#endif
