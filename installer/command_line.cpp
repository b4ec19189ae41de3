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
        } else if (state->root != NULL) {
            *offending = argument;
            return ARGUMENTS_SECOND_ROOT;
        } else {
            state->root = argument;
            state->root_index = i;
        }
    }
    return ARGUMENTS_OK;
}

RootTextResult check_root_text(const char *root, size_t *position)
{
    if (root[0] == '\0')
        return ROOT_TEXT_EMPTY;
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

// Refuses a given root whose bytes cannot name a folder, or that reached
// the tool as a look-alike of what was typed.
static void check_given_root(const InstallerState *state)
{
    size_t position = 0;
    RootTextResult text = check_root_text(state->root, &position);
    if (text == ROOT_TEXT_EMPTY)
        installer_fail(MSG_EMPTY_ROOT);
    if (text == ROOT_TEXT_CONTROL)
        installer_fail(MSG_ROOT_CONTROL, (unsigned char)state->root[position - 1], (int)position);
    // Before the quotes: a look-alike may hold a quote nobody typed. POSIX
    // arguments are bytes as they are: only the Windows build refuses.
    if (!platform_argument_is_exact(state->root_index, state->root))
        installer_fail(MSG_ROOT_NOT_ANSI, state->root);
    if (text == ROOT_TEXT_QUOTE)
        installer_fail(MSG_ROOT_QUOTE, state->root);
    if (text == ROOT_TEXT_QUOTE_AT_END)
        installer_fail(MSG_ROOT_QUOTE MSG_QUOTED_ROOT_BACKSLASH, state->root);
}

// Makes a relative root the full path it stands for, once, so that every
// message and qvl.ini name the folder wherever they are read from. A full
// path too long for the run's paths is refused where they are composed.
static void make_root_full(InstallerState *state)
{
    PlatformError error;
    switch (
        platform_full_path(state->root, state->root_buffer, sizeof state->root_buffer, &error)) {
    case PLATFORM_PATH_FAILED:
        installer_fail_because(&error, MSG_NO_FULL_PATH, state->root);
    case PLATFORM_PATH_TOO_LONG:
        installer_fail(MSG_ROOT_TOO_LONG, PATH_BUFFER_SIZE - 1, state->root);
    // Only the Windows build resolves through a code page.
    case PLATFORM_PATH_NOT_ANSI:
        installer_fail(MSG_ROOT_NOT_ANSI, state->root_buffer);
    case PLATFORM_PATH_OK:
        break;
    }
    state->root = state->root_buffer;
}

static void root_from_own_location(InstallerState *state)
{
    PlatformError error;
    switch (root_from_own_path(state, &error)) {
    case OWN_ROOT_NO_PATH:
        installer_fail_because(&error, MSG_NO_OWN_PATH);
    case OWN_ROOT_TRUNCATED:
        installer_fail(MSG_TRUNCATED_OWN_PATH, PATH_BUFFER_SIZE - 1);
    // On POSIX systems the tool's path starts at the root, whose '/' the
    // platform reports as a backslash: only the Windows build gets here.
    case OWN_ROOT_BROKEN:
        installer_fail(MSG_BROKEN_OWN_PATH);
    case OWN_ROOT_OK:
        break;
    }
    // POSIX paths are bytes as they are: only the Windows build refuses.
    if (!platform_own_path_is_exact())
        installer_fail(MSG_OWN_PATH_NOT_ANSI, state->root);
    // POSIX folder names may hold a control byte, which no message shows
    // raw and qvl.ini cannot store.
    size_t position = 0;
    if (check_root_text(state->root, &position) == ROOT_TEXT_CONTROL)
        installer_fail(MSG_ROOT_CONTROL, (unsigned char)state->root[position - 1], (int)position);
}

void installer_set_up(int argc, char **argv, InstallerState *state)
{
    const char *offending = NULL;
    char shown[PATH_BUFFER_SIZE];
    switch (parse_arguments(argc, argv, state, &offending)) {
    case ARGUMENTS_HELP:
        fputs(MSG_USAGE, stdout);
        exit(0);
    case ARGUMENTS_UNKNOWN_SWITCH:
        shown_text(offending, shown);
        installer_fail(MSG_UNKNOWN_SWITCH MSG_SEE_HELP, shown);
    case ARGUMENTS_SECOND_ROOT:
        shown_text(offending, shown);
        installer_fail(MSG_SECOND_ROOT, shown);
    case ARGUMENTS_OK:
        break;
    }
    if (state->root == NULL) {
        root_from_own_location(state);
    } else {
        check_given_root(state);
        if (platform_is_relative(state->root))
            make_root_full(state);
    }
}
