// Command line and root directory.
#include "installer.h"
#include "messages.h"

#include <stdlib.h>
#include <string.h>

static int is_help_request(const char *argument)
{
    return strcmp(argument, "/?") == 0 || strcmp(argument, "-?") == 0 ||
           strcmp(argument, "-h") == 0 || strcmp(argument, "--help") == 0;
}

ArgumentsResult parse_arguments(int argc, char **argv, InstallerState *state,
                                const char **offending)
{
    // A request for help wins over whatever else the command line holds.
    for (int i = 1; i < argc; ++i) {
        if (is_help_request(argv[i]))
            return ARGUMENTS_HELP;
    }
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (argument[0] == '-') {
            // Only the second byte counts: -s, -silent and -sx all mean silent.
            if (argument[1] != 's') {
                *offending = argument;
                return ARGUMENTS_UNKNOWN_SWITCH;
            }
            state->silent = 1;
        } else {
            // "/s" is the Windows habit for a switch, but no switch here.
            if ((argument[0] == '/' && (argument[1] == 's' || argument[1] == 'S')) &&
                argument[2] == '\0')
                state->slash_s = 1;
            if (state->root != NULL) {
                *offending = argument;
                return ARGUMENTS_SECOND_ROOT;
            }
            state->root = argument;
            state->root_index = i;
        }
    }
    return ARGUMENTS_OK;
}

RootTextResult check_root_text(const char *root, size_t *position)
{
    // Control bytes first: a message never repeats them to the console.
    for (size_t i = 0; root[i] != '\0'; ++i) {
        if (is_control_byte(root[i])) {
            *position = i + 1;
            return ROOT_TEXT_CONTROL;
        }
    }
    if (strchr(root, '"') == NULL)
        return ROOT_TEXT_OK;
    // "C:\dist\" reaches the tool as C:\dist": the backslash took the
    // closing quote for a quote inside the name.
    return root[strlen(root) - 1] == '"' ? ROOT_TEXT_QUOTE_AT_END : ROOT_TEXT_QUOTE;
}

OwnRootResult cut_root_from_path(char *path, uint32_t length)
{
    if (length == 0)
        return OWN_ROOT_NO_PATH;
    // A path that filled the buffer was cut short: a root taken from it
    // would name some other directory.
    if (length >= PATH_BUFFER_SIZE)
        return OWN_ROOT_TRUNCATED;
    // Only a backslash separates; a forward slash is part of a name.
    uint32_t cut = length;
    while (cut > 0 && path[cut - 1] != '\\')
        --cut;
    if (cut == 0)
        return OWN_ROOT_BROKEN;
    // "D:" alone would mean the current folder of drive D: a tool at a
    // drive's root keeps the backslash, "D:\".
    path[cut == 3 && path[1] == ':' ? cut : cut - 1] = '\0';
    return OWN_ROOT_OK;
}

OwnRootResult root_from_own_path(InstallerState *state, PlatformError *error)
{
    uint32_t length = platform_own_path(state->root_buffer, PATH_BUFFER_SIZE, error);
    OwnRootResult result = cut_root_from_path(state->root_buffer, length);
    if (result == OWN_ROOT_OK)
        state->root = state->root_buffer;
    return result;
}

int read_command_line(int argc, char **argv, InstallerState *state, Failure *failure)
{
    const char *offending = NULL;
    char shown[PATH_BUFFER_SIZE];
    switch (parse_arguments(argc, argv, state, &offending)) {
    case ARGUMENTS_HELP:
        // Help is no run: the usage, and the end of the process.
        fputs(MSG_USAGE, stdout);
        exit(0);
    case ARGUMENTS_UNKNOWN_SWITCH:
        shown_text(offending, 0, shown);
        return fail(failure, NULL, NULL, MSG_UNKNOWN_SWITCH MSG_SEE_HELP, shown);
    case ARGUMENTS_SECOND_ROOT:
        shown_text(offending, 0, shown);
        return fail(failure, NULL, NULL, MSG_SECOND_ROOT, shown);
    case ARGUMENTS_OK:
        break;
    }
    return 1;
}

// Takes the root as typed: refused when empty, or when it reached the tool
// as a look-alike of what was typed; made full when relative. *too_long is
// set for a relative root whose full path no buffer takes: the root stays
// as typed, for the checks and the message.
static int take_given_root(InstallerState *state, int *too_long, Failure *failure)
{
    char shown[PATH_BUFFER_SIZE];
    shown_text(state->root, 0, shown);
    if (state->root[0] == '\0')
        return fail(failure, NULL, NULL, MSG_EMPTY_ROOT);
    // POSIX arguments are bytes as they are: only the Windows build refuses.
    if (!platform_argument_is_exact(state->root_index, state->root))
        return fail(failure, NULL, NULL, MSG_ROOT_NOT_ANSI, shown);
    if (!platform_is_relative(state->root))
        return 1;
    PlatformError error;
    switch (
        platform_full_path(state->root, state->root_buffer, sizeof state->root_buffer, &error)) {
    case PLATFORM_PATH_FAILED:
        return fail(failure, &error, NULL, MSG_NO_FULL_PATH, shown);
    case PLATFORM_PATH_TOO_LONG:
        *too_long = 1;
        return 1;
    // Only the Windows build resolves through a code page.
    case PLATFORM_PATH_NOT_ANSI:
        shown_text(state->root_buffer, 0, shown);
        return fail(failure, NULL, NULL, MSG_ROOT_NOT_ANSI, shown);
    case PLATFORM_PATH_OK:
        break;
    }
    // Once, so that every message and qvl.ini name the folder wherever
    // they are read from.
    state->root = state->root_buffer;
    return 1;
}

static int take_own_location(InstallerState *state, Failure *failure)
{
    PlatformError error;
    switch (root_from_own_path(state, &error)) {
    case OWN_ROOT_NO_PATH:
        return fail(failure, &error, NULL, MSG_NO_OWN_PATH);
    case OWN_ROOT_TRUNCATED:
        return fail(failure, NULL, NULL, MSG_TRUNCATED_OWN_PATH, PATH_BUFFER_SIZE - 1);
    // On Linux the tool's path starts at the top folder, whose '/' the
    // platform reports as a backslash: only the Windows build gets here.
    case OWN_ROOT_BROKEN:
        return fail(failure, NULL, NULL, MSG_BROKEN_OWN_PATH);
    case OWN_ROOT_OK:
        break;
    }
    // POSIX paths are bytes as they are: only the Windows build refuses.
    char shown[PATH_BUFFER_SIZE];
    shown_text(state->root, 0, shown);
    if (!platform_own_path_is_exact())
        return fail(failure, NULL, NULL, MSG_OWN_PATH_NOT_ANSI, shown);
    return 1;
}

int settle_root(InstallerState *state, InstallPlan *plan, Failure *failure)
{
    int too_long = 0;
    if (!(state->root != NULL ? take_given_root(state, &too_long, failure)
                              : take_own_location(state, failure)))
        return 0;
    // Once, on the root as it is final, however it was reached: a folder
    // on the way may hold a control byte (POSIX allows one), which no
    // message shows raw and qvl.ini cannot store, or a quote.
    const char *root = state->root;
    size_t position = 0;
    switch (check_root_text(root, &position)) {
    case ROOT_TEXT_CONTROL:
        return fail(failure, NULL, NULL, MSG_ROOT_CONTROL, (unsigned char)root[position - 1],
                    (int)position);
    case ROOT_TEXT_QUOTE:
        return fail(failure, NULL, NULL, MSG_ROOT_QUOTE, root);
    case ROOT_TEXT_QUOTE_AT_END:
        return fail(failure, NULL, NULL, MSG_ROOT_QUOTE MSG_QUOTED_ROOT_BACKSLASH, root);
    case ROOT_TEXT_OK:
        break;
    }
    plan->root = root;
    // The paths no version takes part in must fit before Install.ini is
    // read: the versions can only make paths longer.
    if (too_long || path_length(root, longest_tail(plan, KEY_NONE)) >= PATH_BUFFER_SIZE ||
        !compose_path(plan->release_file, "%s%s" RELEASE_FILE, root, separator_after(root)))
        return fail(failure, NULL, NULL, MSG_ROOT_TOO_LONG, PATH_BUFFER_SIZE - 1, root);
    return 1;
}
