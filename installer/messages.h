// Every message the installer writes, in one place: the wording is part of
// the tool's interface (scripts and people match on it), so each message is
// spelled here once and nowhere else. The reason line under some of them is
// another layer's: the platform's steps are spelled once in platform.h, the
// library's reasons in inifile.h.
#ifndef QUORVEL_MESSAGES_H
#define QUORVEL_MESSAGES_H

// Command line and root directory.
#define MSG_UNKNOWN_SWITCH "Unknown command switch %s\n"
#define MSG_SEE_HELP "Run Install /? to see how to use it.\n"
#define MSG_SECOND_ROOT "Only one root directory can be specified, parameter %s is illegal\n"
// Under any message of a run whose root was typed as /s or /S.
#define MSG_USE_DASH_S "To install without the question, use -s.\n"
#define MSG_NO_OWN_PATH "Could not GetModuleFileName()\n"
#define MSG_BROKEN_OWN_PATH "GetModuleFileName returned broken path\n"
#define MSG_TRUNCATED_OWN_PATH "GetModuleFileName returned a path longer than %d bytes\n"
#define MSG_EMPTY_ROOT                                                                       \
    "Root directory is empty: give the distribution's folder, or no root to use the folder " \
    "Install is in\n"
#define MSG_ROOT_CONTROL \
    "Root directory holds control character 0x%02X at byte %d; no folder name can hold one\n"
#define MSG_ROOT_QUOTE "Root directory %s holds a quote (\"); no folder name can hold one\n"
#define MSG_QUOTED_ROOT_BACKSLASH                                                       \
    "A quoted root must not end in a backslash: \"C:\\dist\\\" arrives as C:\\dist\"; " \
    "write \"C:\\dist\" instead\n"
#define MSG_ROOT_NOT_ANSI                                                                     \
    "Root directory cannot be written in this system's ANSI code page; it would read as %s, " \
    "which may be another folder\n"
#define MSG_OWN_PATH_NOT_ANSI                                                               \
    "The folder Install is in cannot be written in this system's ANSI code page; it would " \
    "read as %s, which may be another folder\n"
#define MSG_NO_FULL_PATH "Could not tell the full path of root directory %s\n"

// The usage, on standard output for /?, -?, -h and --help.
#define MSG_USAGE                                                                      \
    "Usage: Install [-s] [root-directory]\n"                                           \
    "\n"                                                                               \
    "Finishes the installation of an unpacked Quorvel distribution: copies its\n"      \
    "programs and boot files into <root>\\bin and writes the launcher configuration\n" \
    "qvl.ini.\n"                                                                       \
    "\n"                                                                               \
    "  root-directory  the distribution's root folder, which holds Install.ini.\n"     \
    "                  A relative folder is taken from the current folder. Without\n"  \
    "                  it, the root is the folder Install itself is in.\n"             \
    "  -s              silent: asks nothing, prepares the minimal start-up and\n"      \
    "                  prints nothing unless something goes wrong.\n"                  \
    "  /?, -?, -h, --help\n"                                                           \
    "                  this text.\n"                                                   \
    "\n"                                                                               \
    "Without -s, Install asks whether to prepare the minimal start-up instead of\n"    \
    "velmar. Exit status 0: installed; 1: stopped, and standard error says why.\n"     \
    "More: README.txt beside Install in its package, and docs/running.md in the\n"     \
    "sources.\n"

// The start-up question.
#define MSG_QUESTION "Do you want a minimal startup instead of velmar [No]: "
#define MSG_NO_ANSWER "Could not read answer from user.\n"

// Another run installing the same tree holds its lock.
#define MSG_ANOTHER_INSTALLATION \
    "Another installation of %s is running; wait for it to finish, then run Install again.\n"

// Release description file.
#define MSG_CANNOT_OPEN_INIT "Cannot open init file %s\n"
#define MSG_NO_INSTALL_SECTION "No [Install] section in init file %s\n"
// The key is VSN or SYSTEM_VSN.
#define MSG_NO_KEY "No key %s in init file %s\n"
#define MSG_NOT_A_FOLDER_NAME                                    \
    "Value of %s in init file %s is not a folder name: \"%s\"\n" \
    "A version must not be empty, . or .., nor hold \\, /, : or a control character\n"
// A version of an Install.ini in UTF-8, on Windows.
#define MSG_VERSION_NOT_ANSI                                                                   \
    "Value of %s in init file %s cannot be written in this system's ANSI code page; it would " \
    "read as %s, which may be another folder\n"

// Values that would make a composed path longer than PATH_BUFFER_SIZE - 1.
#define MSG_ROOT_TOO_LONG "Root directory is too long, paths in it would exceed %d bytes: %s\n"
// Under MSG_ROOT_TOO_LONG once the versions are known.
#define MSG_ROOT_LIMIT "With the versions in Install.ini, the root may have at most %d bytes\n"
#define MSG_VALUE_TOO_LONG \
    "Value of %s in init file %s is too long, paths with it would exceed %d bytes\n"

// The line under a message that a failed system call caused: the step and
// the system's own text (under MSG_CANNOT_OPEN_INIT, the library's reason).
#define MSG_REASON "%s\n"

// Copies.
#define MSG_FILE_MISSING "Could not find file %s\n"
#define MSG_COPY_FAILED "Could not copy file %s to %s\n"
#define MSG_CONTINUING "Continuing installation anyway...\n"
#define MSG_BAILING_OUT "Cannot continue installation, bailing out.\n"

// Launcher configuration and completion.
#define MSG_CANNOT_CREATE "Could not create file %s\n"
#define MSG_SUCCESS "Quorvel %s installed successfully\n"

// The last line of a run in a window of its own (a double-click), which
// closes when the run ends.
#define MSG_PRESS_ENTER "Press Enter to close this window."

#endif
