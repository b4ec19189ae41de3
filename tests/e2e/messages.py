"""The tool's messages as its users read them, each spelled once for every
suite, and the reason lines that follow some of them."""

import re

UNKNOWN_SWITCH = "Unknown command switch %s\n"
SEE_HELP = "Run Install /? to see how to use it.\n"
SECOND_ROOT = "Only one root directory can be specified, parameter %s is illegal\n"
USE_DASH_S = "To install without the question, use -s.\n"
NO_OWN_PATH = "Could not GetModuleFileName()\n"
TRUNCATED_OWN_PATH = "GetModuleFileName returned a path longer than 259 bytes\n"
EMPTY_ROOT = ("Root directory is empty: give the distribution's folder, or no root to use the "
              "folder Install is in\n")
ROOT_CONTROL = ("Root directory holds control character 0x%02X at byte %d; no folder name can "
                "hold one\n")
ROOT_QUOTE = "Root directory %s holds a quote (\"); no folder name can hold one\n"
QUOTED_ROOT_BACKSLASH = ("A quoted root must not end in a backslash: \"C:\\dist\\\" arrives as "
                         "C:\\dist\"; write \"C:\\dist\" instead\n")
NOT_ANSI = ("cannot be written in this system's ANSI code page; it would read as %s, which may "
            "be another folder\n")
ROOT_NOT_ANSI = "Root directory " + NOT_ANSI
OWN_PATH_NOT_ANSI = "The folder Install is in " + NOT_ANSI
NO_FULL_PATH = "Could not tell the full path of root directory %s\n"
QUESTION = "Do you want a minimal startup instead of velmar [No]: "
NO_ANSWER = "Could not read answer from user.\n"
ANOTHER_INSTALLATION = ("Another installation of %s is running; wait for it to finish, then run "
                        "Install again.\n")
CANNOT_OPEN_INIT = "Cannot open init file %s\n"
NO_INSTALL_SECTION = "No [Install] section in init file %s\n"
NO_KEY = "No key %s in init file %s\n"
NOT_A_FOLDER_NAME = ('Value of %s in init file %s is not a folder name: "%s"\n'
                     "A version must not be empty, . or .., nor hold \\, /, : or a control "
                     "character\n")
VERSION_NOT_ANSI = "Value of %s in init file %s " + NOT_ANSI
ROOT_TOO_LONG = "Root directory is too long, paths in it would exceed 259 bytes: %s\n"
ROOT_LIMIT = "With the versions in Install.ini, the root may have at most %d bytes\n"
VALUE_TOO_LONG = "Value of %s in init file %s is too long, paths with it would exceed 259 bytes\n"
FILE_MISSING = "Could not find file %s\n"
COPY_FAILED = "Could not copy file %s to %s\n"
CONTINUING = "Continuing installation anyway...\n"
BAILING_OUT = "Cannot continue installation, bailing out.\n"
CANNOT_CREATE = "Could not create file %s\n"
SUCCESS = "Quorvel %s installed successfully\n"
# The library's own, when the heap runs out.
OUT_OF_MEMORY = "Out of memory\n"

# The library's reasons under "Cannot open init file": what is wrong with a
# line (after "line N: "), or with the whole file.
BEFORE_HEADER = "key=value before the first [section] header"
EMPTY_SECTION_NAME = "[] is not a section header: a section needs a name"
NEITHER = "neither a [section] header nor a key=value line"
ZERO_BYTE = "a zero byte, which no ANSI or UTF-8 text holds (UTF-16 without a byte-order mark?)"
UNREADABLE_TEXT = "the file is %s text (%s-endian); save it as ANSI or UTF-8"
CANNOT_OPEN_FILE = "cannot open the file: %s"
READING_FAILED = "reading failed: %s"
# The reason under a message a failed system call caused: the platform's
# step, the path it names if any, and the system's text.
OPEN_SOURCE = "cannot open the source"
READ_SOURCE = "cannot read the source"
WRITE = "cannot write"
FLUSH = "cannot flush"
CREATE = "cannot create"
CREATE_FOLDER = "cannot create the folder"
REPLACE = "cannot replace the destination"
OWN_PATH_UNKNOWN = "cannot tell the tool's own path"
CURRENT_FOLDER_UNKNOWN = "cannot tell the current folder"
PLATFORM_REASON = re.compile(r"(%s)( [^\n]+)?: [^\n]*\S" % "|".join(map(re.escape, [
    OPEN_SOURCE, READ_SOURCE, WRITE, FLUSH, CREATE, CREATE_FOLDER, REPLACE, OWN_PATH_UNKNOWN,
    CURRENT_FOLDER_UNKNOWN])))


CONVERSION = re.compile(r"%(s|d|02X)")


def pattern(message, *names):
    """A message as a regular expression. Each %s matches any text of its
    line, as the group named by the next of names if there is one."""
    names = list(names)
    out, at = "", 0
    for conversion in CONVERSION.finditer(message):
        out += re.escape(message[at:conversion.start()])
        kind = conversion.group(1)
        name = names.pop(0) if kind == "s" and names else None
        out += ("(?P<%s>[^\n]*)" % name if name else "[^\n]*" if kind == "s"
                else "-?[0-9]+" if kind == "d" else "[0-9A-F]{2}")
        at = conversion.end()
    return out + re.escape(message[at:])


LOAD_REASON = re.compile(r"%s\S|%s\S|%s|line [1-9][0-9]*: (%s)" % (
                         pattern(CANNOT_OPEN_FILE), pattern(READING_FAILED),
                         pattern(UNREADABLE_TEXT), "|".join(
                             map(re.escape, [BEFORE_HEADER, EMPTY_SECTION_NAME, NEITHER,
                                             ZERO_BYTE]))))
# Each line of each message on standard error.
ON_STANDARD_ERROR = [text for name, text in list(globals().items())
                     if name.isupper() and isinstance(text, str) and text.endswith("\n")
                     and name != "NOT_ANSI"]
DOCUMENTED = re.compile("|".join(sorted({pattern(line) for text in ON_STANDARD_ERROR
                                         for line in text.split("\n")[:-1]})))
# The messages with a reason under them, and the reasons each may have.
REASON_AFTER = [(re.compile(pattern(CANNOT_OPEN_INIT[:-1])), LOAD_REASON),
                (re.compile("|".join(pattern(m[:-1]) for m in (COPY_FAILED, CANNOT_CREATE,
                                                               NO_OWN_PATH, NO_FULL_PATH))),
                 PLATFORM_REASON)]


def undocumented(stderr):
    """The lines of standard error that are none of the tool's messages:
    each must be a line of a message, and the line after one that has a
    reason (a failed system call, an Install.ini the library could not
    load) that reason."""
    lines = stderr.split("\n")
    problems = [] if lines.pop() == "" else ["standard error does not end with a line end"]
    reason = None  # the reasons the next line must be one of
    for line in lines:
        if not (reason or DOCUMENTED).fullmatch(line):
            problems.append("%s %r" % ("no reason after its message, but" if reason
                                       else "undocumented line", line))
        reason = None if reason else next(
            (after for message, after in REASON_AFTER if message.fullmatch(line)), None)
    if reason:
        problems.append("no reason after the last line")
    return problems
