// The installer's state and the steps of one run, in the order they run.
#ifndef QUORVEL_INSTALLER_H
#define QUORVEL_INSTALLER_H

#include "file_lists.h"
#include "platform.h"

#include <stdio.h>

// The answer line: at most 99 bytes and the terminating zero.
enum { ANSWER_BUFFER_SIZE = 100 };

// Room for the full path of a relative root, so that a message can show a
// full path too long for a path buffer.
enum { FULL_PATH_BUFFER_SIZE = 4096 };

typedef struct InstallerState {
    const char *root;                         // the argument itself or root_buffer
    char root_buffer[FULL_PATH_BUFFER_SIZE];  // the tool's own directory, or
                                              // the full path of a relative root
    int root_index;                           // argv index of a given root
    int silent;                               // -s: no question, no success message
    int velmar;                               // velmar start-up chosen; clear: minimal
    char answer[ANSWER_BUFFER_SIZE];
} InstallerState;

// Writes the formatted message to standard error and ends the process with
// status 1: the one exit path of every failure (fail.cpp).
[[noreturn]] void installer_fail(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Writes the formatted first line of a message, then the reason line of a
// failed platform operation under it.
void installer_report(const PlatformError *error, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// installer_report, then the end of the process with status 1.
[[noreturn]] void installer_fail_because(const PlatformError *error, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// A copy that could not be made: its message, the reason, and the end.
[[noreturn]] void installer_fail_copy(const char *source, const char *destination,
                                      const PlatformError *error);

// A byte no name can hold and no message shows raw: below 0x20, or 0x7F.
inline int is_control_byte(char c)
{
    return (unsigned char)c < 0x20 || c == 0x7F;
}

// text as a message shows it, into shown: every control byte as its code
// (<0x09>); a text longer than PATH_BUFFER_SIZE - 1 bytes is cut to 256 and
// ends in "..." to say so.
void shown_text(const char *text, char shown[PATH_BUFFER_SIZE]);

// ---- Command line -------------------------------------------------------

typedef enum ArgumentsResult {
    ARGUMENTS_OK,
    ARGUMENTS_HELP,  // /?, -?, -h or --help anywhere: nothing else counts
    ARGUMENTS_UNKNOWN_SWITCH,
    ARGUMENTS_SECOND_ROOT,
} ArgumentsResult;

// Reads the arguments after the program name into state (silent, root,
// root_index). On an error, *offending is the argument at fault.
ArgumentsResult parse_arguments(int argc, char **argv, InstallerState *state,
                                const char **offending);

typedef enum RootTextResult {
    ROOT_TEXT_OK,
    ROOT_TEXT_EMPTY,
    ROOT_TEXT_CONTROL,       // a byte below 0x20, or 0x7F
    ROOT_TEXT_QUOTE,         // a '"' inside
    ROOT_TEXT_QUOTE_AT_END,  // a quoted root that ended in a backslash
} RootTextResult;

// Tells whether the bytes of a given root can name a folder at all. For a
// control byte, *position is its 1-based position in root.
RootTextResult check_root_text(const char *root, size_t *position);

typedef enum OwnRootResult {
    OWN_ROOT_OK,
    OWN_ROOT_NO_PATH,    // the platform could not say where the tool is
    OWN_ROOT_TRUNCATED,  // the path filled the whole buffer
    OWN_ROOT_BROKEN,     // the path holds no backslash
} OwnRootResult;

// Cuts path (length bytes, as the platform delivered it into a buffer of
// PATH_BUFFER_SIZE) at its last backslash, leaving the root directory.
OwnRootResult cut_root_from_path(char *path, uint32_t length);

// Fixes the root directory in state->root_buffer from the tool's own path:
// everything before its last backslash. *error says why on OWN_ROOT_NO_PATH.
OwnRootResult root_from_own_path(InstallerState *state, PlatformError *error);

// Parses the command line and fixes the root directory, refusing a root
// whose text cannot name a folder before anything else happens; prints the
// usage and ends the process with status 0 when asked for help; exits on
// failure.
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

// 1 when the run's window closes with it, before anyone could read how it
// ended, and a person is there to press Enter: the console belongs to this
// process alone (a double-click), standard input is that console, and the
// run is not silent.
int waits_before_closing(int console_processes, int silent, int input_is_console);

// Shows MSG_PRESS_ENTER and waits for one line or the end of input.
void wait_for_enter(void);

// ---- Installation -------------------------------------------------------

// One file the run copies: where from, where to.
typedef struct FileCopy {
    char source[PATH_BUFFER_SIZE];
    char destination[PATH_BUFFER_SIZE];
} FileCopy;

// The paths of one installation, each in its own buffer of the platform's
// path size, composed once: those of the root right after the command line
// (compose_root_paths), those of the versions right after Install.ini is
// read (compose_versioned_paths, compose_release_paths). Every step takes
// its paths from here.
typedef struct InstallLayout {
    // From the root.
    char release_file[PATH_BUFFER_SIZE];  // <root>\Install.ini
    char root_bin[PATH_BUFFER_SIZE];      // <root>\bin
    char active_boot[PATH_BUFFER_SIZE];   // <root>\bin\start.boot
    // From the versions; the destinations from the root.
    char version[PATH_BUFFER_SIZE];        // the value of VSN
    char versioned_bin[PATH_BUFFER_SIZE];  // <root>\sumbra-<VSN>\bin
    char release_dir[PATH_BUFFER_SIZE];    // <root>\releases\<SYSTEM_VSN>
    FileCopy executables[EXECUTABLE_COUNT];
    FileCopy boot_files[BOOT_FILE_COUNT];
    FileCopy launcher_config;  // written in versioned_bin, copied into root_bin
} InstallLayout;

// Formats into a path buffer. 0 when the result would not fit, in which
// case the buffer holds an empty string, never a truncated path.
int compose_path(char path[PATH_BUFFER_SIZE], const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// Composes every path of the layout that comes from the root alone. 0 when
// one would not fit a path buffer.
int compose_root_paths(InstallLayout *layout, const char *root);

// Composes the paths that come from VSN (and keeps it) or from SYSTEM_VSN.
// 0 when one would not fit a path buffer.
int compose_versioned_paths(InstallLayout *layout, const char *root, const char *version);
int compose_release_paths(InstallLayout *layout, const char *root, const char *system_version);

// 1 when a version can name one folder inside the tree: not empty, not "."
// or "..", and without '\\', '/' or ':'.
int version_is_folder_name(const char *version);

// Reads Install.ini and composes the paths that come from its versions;
// exits with the matching message when the file cannot be loaded (and
// why), when its section or a key is missing, when a version cannot name a
// folder, or when a value would make a path too long.
void read_release_description(const char *root, InstallLayout *layout);

// Creates <root>\bin and copies the executables, the boot files and the
// active boot file into it; exits on a fatal failure.
void lay_out_binaries(const InstallLayout *layout, int velmar);

// Writes qvl.ini into the versioned binary directory and copies it into
// <root>\bin; exits on failure.
void write_launcher_configuration(const char *root, const InstallLayout *layout);

// ---- The whole run ------------------------------------------------------

// Runs the installation from the command line to the end; returns the
// process's exit status (failures exit on the spot).
int installer_run(int argc, char **argv);

#endif
