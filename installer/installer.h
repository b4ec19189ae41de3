// The installer's state, its plan and the steps of one run, in the order
// they run. Every step returns what went wrong to installer_run (run.cpp),
// which prints it and ends the run.
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

// Room for a message with its arguments: a root of thousands of bytes
// still fits; a longer message is cut and ends in "...".
enum { FAILURE_MESSAGE_SIZE = 3 * FULL_PATH_BUFFER_SIZE };

// What went wrong in a step, for installer_run to print: the message with
// its arguments, then the reason line of a failed platform operation, then
// what the run does about it.
typedef struct Failure {
    char message[FAILURE_MESSAGE_SIZE];  // empty: nothing went wrong
    int has_reason;
    PlatformError reason;
    const char *then;  // MSG_BAILING_OUT, MSG_CONTINUING, or null
} Failure;

// Fills *failure with the formatted message, the reason (null: none) and
// the line that follows it (null: none). Returns 0, so that a step that
// fails can return it.
int fail(Failure *failure, const PlatformError *reason, const char *then, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

// The command line, the root directory and the start-up, as the run fixes
// them.
typedef struct InstallerState {
    const char *root;                         // the argument itself or root_buffer
    char root_buffer[FULL_PATH_BUFFER_SIZE];  // the tool's own directory, or
                                              // the full path of a relative root
    int root_index;                           // argv index of a given root
    int silent;                               // -s: no question, no success message
    int slash_s;                              // /s or /S was taken for a root
    size_t boot_choice;                       // the start-up: a row of BOOT_CHOICES
    char answer[ANSWER_BUFFER_SIZE];
} InstallerState;

// A byte no name can hold and no message shows raw: below 0x20, or 0x7F.
inline int is_control_byte(char c)
{
    return (unsigned char)c < 0x20 || c == 0x7F;
}

// The length of the C1 control character (U+0080 to U+009F) that UTF-8
// text has at c: 2, or 0 when there is none.
inline int utf8_control_length(const char *c)
{
    return (unsigned char)c[0] == 0xC2 && (unsigned char)c[1] >= 0x80 && (unsigned char)c[1] <= 0x9F
               ? 2
               : 0;
}

// text as a message shows it, into shown: every control byte as its code
// (<0x09>), and, in UTF-8 text (utf8 set), every C1 control character as
// its code too (<0x81>); a text longer than PATH_BUFFER_SIZE - 1 bytes is
// cut to 256 and ends in "..." to say so.
void shown_text(const char *text, int utf8, char shown[PATH_BUFFER_SIZE]);

// ---- Command line and root -------------------------------------------------

typedef enum ArgumentsResult {
    ARGUMENTS_OK,
    ARGUMENTS_HELP,  // /?, -?, -h or --help anywhere: nothing else counts
    ARGUMENTS_UNKNOWN_SWITCH,
    ARGUMENTS_SECOND_ROOT,
} ArgumentsResult;

// Reads the arguments after the program name into state (silent, root,
// root_index, slash_s). On an error, *offending is the argument at fault.
ArgumentsResult parse_arguments(int argc, char **argv, InstallerState *state,
                                const char **offending);

typedef enum RootTextResult {
    ROOT_TEXT_OK,
    ROOT_TEXT_CONTROL,       // a byte below 0x20, or 0x7F
    ROOT_TEXT_QUOTE,         // a '"' inside
    ROOT_TEXT_QUOTE_AT_END,  // a quoted root that ended in a backslash
} RootTextResult;

// Tells whether the bytes of a root can name a folder at all. For a
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

// Parses the command line into state. Asked for help, prints the usage and
// ends the process with status 0 on the spot: nothing else is done.
int read_command_line(int argc, char **argv, InstallerState *state, Failure *failure);

// The plan of one installation: every path of every step, composed once
// from the root and the versions, each in its own buffer of the platform's
// path size.
typedef struct PlanStep {
    const LaidOutFile *file;        // its row
    size_t choice;                  // a boot file's: the row of BOOT_CHOICES
    int makes_folder;               // the first step into <root>\bin makes it
    char source[PATH_BUFFER_SIZE];  // empty for a written file
    char destination[PATH_BUFFER_SIZE];
} PlanStep;

typedef struct InstallPlan {
    const char *root;                              // as settle_root made it final
    char release_file[PATH_BUFFER_SIZE];           // <root>\Install.ini
    char versions[KEY_COUNT][PATH_BUFFER_SIZE];    // in the system's form
    char folders[FOLDER_COUNT][PATH_BUFFER_SIZE];  // as FOLDER_SHAPES has them
    PlanStep steps[PLAN_STEP_COUNT];
} InstallPlan;

// Makes the root final (a relative root made full, or the tool's own
// folder), then checks its bytes and its length, and composes the path of
// Install.ini into plan.
int settle_root(InstallerState *state, InstallPlan *plan, Failure *failure);

// Formats into a path buffer. 0 when the result would not fit, in which
// case the buffer holds an empty string, never a truncated path.
int compose_path(char path[PATH_BUFFER_SIZE], const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// What joins root to a name: a backslash, or nothing after a drive's root
// ("D:\"), which has one already.
const char *separator_after(const char *root);

// The number of bytes the longest path of the plan in a folder named by
// key adds to the root, its separator included (KEY_NONE: in the folders
// no version names, Install.ini included).
size_t longest_tail(const InstallPlan *plan, VersionKey key);

// The length of a path made of root and a tail of that many bytes.
size_t path_length(const char *root, size_t tail);

// ---- Install.ini -----------------------------------------------------------

// 1 when a version can name one folder inside the tree: not empty, not "."
// or "..", and without '\\', '/', ':' or a control character (in UTF-8
// text, utf8 set, C1 control characters too).
int version_is_folder_name(const char *version, int utf8);

// 1 when text holds a byte above 0x7F and all such bytes form UTF-8
// sequences.
int is_utf8_beyond_ascii(const char *text);

// Opens plan->release_file, locks it for the rest of the run (*lock), reads
// it and keeps its versions, in the system's form, in plan->versions.
int read_release_description(InstallPlan *plan, PlatformFileLock *lock, Failure *failure);

// ---- The plan --------------------------------------------------------------

// Composes every path of every step from the root and the versions. A path
// too long is the root's fault, unless the value would not fit even under
// a drive's root.
int compose_plan(InstallPlan *plan, Failure *failure);

// Checks every file of the distribution the plan copies before anything
// changes: each must be there, and open for reading as a regular file.
int check_sources(const InstallPlan *plan, Failure *failure);

// Carries out one step, unless it belongs to a boot choice not chosen. 0
// when the run must end; a warning fills *failure and returns 1.
int carry_out(const PlanStep *step, const InstallPlan *plan, size_t boot_choice, Failure *failure);

// Writes qvl.ini at step's destination, from the plan's root and versioned
// binary folder.
int write_launcher_configuration(const InstallPlan *plan, const PlanStep *step, Failure *failure);

// ---- Start-up question -----------------------------------------------------

// Reads one answer line from input into answer: at most 99 bytes, cut at
// the line feed and at the first carriage return; the rest of an overlong
// line is read and dropped. 0 when nothing could be read.
int read_answer(FILE *input, char answer[ANSWER_BUFFER_SIZE]);

// The row of BOOT_CHOICES an answer picks.
size_t boot_choice_for(const char *answer);

// Asks the question unless silent and records the choice in state.
int ask_startup_question(InstallerState *state, Failure *failure);

// 1 when the run's window closes with it, before anyone could read how it
// ended, and a person is there to press Enter: the console belongs to this
// process alone (a double-click), standard input, output and error are all
// that console (console_streams: platform_console_streams()), and the run
// is not silent.
int waits_before_closing(int console_processes, int silent, int console_streams);

// Shows MSG_PRESS_ENTER and waits for one line or the end of input.
void wait_for_enter(void);

// ---- The whole run ---------------------------------------------------------

// Runs the installation from the command line to the end and returns the
// process's exit status: 0 installed, 1 stopped.
int installer_run(int argc, char **argv);

#endif
