// Command line and root directory.
#include "installer.h"
#include "messages.h"

#include <stdarg.h>
#include <stdlib.h>

void installer_fail(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
    exit(1);
}

ArgumentsResult parse_arguments(int argc, char **argv, InstallerState *state,
                                const char **offending)
{
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
        }
    }
    return ARGUMENTS_OK;
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
    path[cut - 1] = '\0';
    return OWN_ROOT_OK;
}

OwnRootResult root_from_own_path(InstallerState *state)
{
    uint32_t length = platform_own_path(state->root_buffer, PATH_BUFFER_SIZE);
    OwnRootResult result = cut_root_from_path(state->root_buffer, length);
    if (result == OWN_ROOT_OK)
        state->root = state->root_buffer;
    return result;
}

void installer_set_up(int argc, char **argv, InstallerState *state)
{
    const char *offending = NULL;
    // Each switch below names every value its result can take; the branch
    // the compiler adds for any other value is never taken.
    switch (parse_arguments(argc, argv, state, &offending)) {  // GCOVR_EXCL_BR_LINE
    case ARGUMENTS_UNKNOWN_SWITCH:
        installer_fail(MSG_UNKNOWN_SWITCH, offending);
    case ARGUMENTS_SECOND_ROOT:
        installer_fail(MSG_SECOND_ROOT, offending);
    case ARGUMENTS_OK:
        break;
    }
    if (state->root != NULL)
        return;
    switch (root_from_own_path(state)) {  // GCOVR_EXCL_BR_LINE
    case OWN_ROOT_NO_PATH:
        installer_fail(MSG_NO_OWN_PATH);
    case OWN_ROOT_TRUNCATED:
        installer_fail(MSG_TRUNCATED_OWN_PATH, PATH_BUFFER_SIZE - 1);
    // On POSIX systems the tool's path starts at the root, whose '/' the
    // platform reports as a backslash: only the Windows build gets here.
    case OWN_ROOT_BROKEN:                     // GCOVR_EXCL_LINE
        installer_fail(MSG_BROKEN_OWN_PATH);  // GCOVR_EXCL_LINE
    case OWN_ROOT_OK:
        break;
    }
}
