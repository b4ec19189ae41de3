// The installer's state and the steps of one run, in the order they run.
#ifndef QUORVEL_INSTALLER_H
#define QUORVEL_INSTALLER_H

#include "platform.h"

#include <stdio.h>

// The answer line: at most 99 bytes and the terminating zero.
enum { ANSWER_BUFFER_SIZE = 100 };

typedef struct InstallerState {
    const char *root;                     // the argument itself or root_buffer
    char root_buffer[PATH_BUFFER_SIZE];   // the tool's own directory
    int silent;                           // -s: no question, no success message
    int velmar;                           // velmar start-up chosen; clear: minimal
    char answer[ANSWER_BUFFER_SIZE];
} InstallerState;

// Writes the formatted message to standard error and ends the process with
// status 1: the one exit path of every failure.
[[noreturn]] void installer_fail(const char *format, ...)
    __attribute__((format(printf, 1, 2)));

// ---- Command line -------------------------------------------------------

typedef enum ArgumentsResult {
    ARGUMENTS_OK,
    ARGUMENTS_UNKNOWN_SWITCH,
    ARGUMENTS_SECOND_ROOT,
} ArgumentsResult;

// Reads the arguments after the program name into state (silent, root).
// On an error, *offending is the argument at fault.
ArgumentsResult parse_arguments(int argc, char **argv, InstallerState *state,
                                const char **offending);

typedef enum OwnRootResult {
    OWN_ROOT_OK,
    OWN_ROOT_NO_PATH,    // the platform could not say where the tool is
    OWN_ROOT_TRUNCATED,  // the path filled the whole buffer
    OWN_ROOT_BROKEN,     // the path holds no backslash
} OwnRootResult;

// Fixes the root directory in state->root_buffer from the tool's own path:
// everything before its last backslash.
OwnRootResult root_from_own_path(InstallerState *state);

// Parses the command line and fixes the root directory; exits on failure.
void installer_set_up(int argc, char **argv, InstallerState *state);

// ---- Start-up question --------------------------------------------------

// Reads one answer line from input into answer: at most 99 bytes, cut at
// the line feed and at the first carriage return; the rest of an overlong
// line is read and dropped. 0 when nothing could be read.
int read_answer(FILE *input, char answer[ANSWER_BUFFER_SIZE]);

// 1 when the answer asks for the minimal start-up ("yes" or "y", any case).
int answer_is_yes(const char *answer);

// Asks the question unless silent and records the choice; exits when no
// answer can be read.
void ask_startup_question(InstallerState *state);

// ---- The whole run ------------------------------------------------------

// Runs the installation from the command line to the end; returns the
// process's exit status (failures exit on the spot).
int installer_run(int argc, char **argv);

#endif
