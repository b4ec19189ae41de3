// Every text the installer writes, in one place: the wording is part of the
// tool's interface (scripts and people match on it), so each message is
// spelled here once and nowhere else.
#ifndef QUORVEL_MESSAGES_H
#define QUORVEL_MESSAGES_H

// Command line and root directory.
#define MSG_UNKNOWN_SWITCH "Unknown command switch %s\n"
#define MSG_SECOND_ROOT "Only one root directory can be specified, parameter %s is illegal\n"
#define MSG_NO_OWN_PATH "Could not GetModuleFileName()\n"
#define MSG_BROKEN_OWN_PATH "GetModuleFileName returned broken path\n"
#define MSG_TRUNCATED_OWN_PATH "GetModuleFileName returned a path longer than %d bytes\n"

// The start-up question.
#define MSG_QUESTION "Do you want a minimal startup instead of velmar [No]: "
#define MSG_NO_ANSWER "Could not read answer from user.\n"

// Another run installing the same tree holds its lock.
#define MSG_ANOTHER_INSTALLATION \
    "Another installation of %s is running; wait for it to finish, then run Install again.\n"

// Release description file.
#define MSG_CANNOT_OPEN_INIT "Cannot open init file %s\n"
#define MSG_NO_INSTALL_SECTION "No [Install] section in init file %s\n"
#define MSG_NO_VSN "No key VSN in init file %s\n"
#define MSG_NO_SYSTEM_VSN "No key SYSTEM_VSN in init file %s\n"

// Values that would make a composed path longer than PATH_BUFFER_SIZE - 1.
#define MSG_ROOT_TOO_LONG "Root directory is too long, paths in it would exceed %d bytes: %s\n"
#define MSG_VALUE_TOO_LONG \
    "Value of %s in init file %s is too long, paths with it would exceed %d bytes\n"

// Copies.
#define MSG_FILE_MISSING "Could not find file %s\n"
#define MSG_COPY_FAILED "Could not copy file %s to %s\n"
#define MSG_CONTINUING "Continuing installation anyway...\n"
#define MSG_BAILING_OUT "Cannot continue installation, bailing out.\n"

// Launcher configuration and completion.
#define MSG_CANNOT_CREATE "Could not create file %s\n"
#define MSG_SUCCESS "Quorvel %s installed successfully\n"

#endif
