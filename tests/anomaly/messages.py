"""The tool's documented messages, read from the header that spells each of
them once, and the reason lines under them: the library's for a file it
cannot load (after "Cannot open init file"), the platform's (the step and
the system's text) after a message that a failed system call caused."""

import os
import re

HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                      "installer", "messages.h")

OUT_OF_MEMORY = "Out of memory"
CANNOT_OPEN_INIT = re.compile(r"Cannot open init file [^\n]+")
REASON = re.compile(
    r"cannot open the file: [^\n]*\S|reading failed: [^\n]*\S"
    r"|the file is UTF-(16|32) text \((little|big)-endian\); save it as ANSI or UTF-8"
    r"|line [1-9][0-9]*: (key=value before the first \[section\] header"
    r"|\[\] is not a section header: a section needs a name"
    r"|neither a \[section\] header nor a key=value line)")
# Messages a failed system call causes, and the platform's reason under
# them: the step, the path it names if any, and the system's text.
CAUSED = re.compile(r"Could not (copy file [^\n]+ to [^\n]+|create file [^\n]+|GetModuleFileName\(\))"
                    r"|Could not tell the full path of root directory [^\n]+")
PLATFORM_REASON = re.compile(
    r"cannot (open the source|read the source|write|flush|create|create the folder"
    r"|replace the destination|tell the tool's own path|tell the current folder)"
    r"( [^\n]+)?: [^\n]*\S")
CONVERSION = re.compile(r"%(%|[-+ #0]*[0-9]*(\.[0-9]+)?[hlzjt]*[a-zA-Z])")


def _line_pattern(template):
    """A regular expression for one line of a printf format."""
    pattern, at = "", 0
    for conversion in CONVERSION.finditer(template):
        pattern += re.escape(template[at:conversion.start()])
        text = conversion.group()
        pattern += "%" if text == "%%" else "-?[0-9]+" if text[-1] in "diu" else "[^\n]*"
        at = conversion.end()
    return pattern + re.escape(template[at:])


def _documented_lines():
    """Every line of every message in the header, as one pattern. A line
    that is nothing but a conversion would match anything: it is left out."""
    with open(HEADER) as f:
        text = f.read().replace("\\\n", " ")
    bodies = dict(re.findall(r"^#define\s+(MSG_\w+)\s+(.*)$", text, re.M))

    def expand(body):
        pieces = re.findall(r'"((?:[^"\\]|\\.)*)"|(MSG_\w+)', body)
        return "".join(expand(bodies[name]) if name else
                       literal.encode().decode("unicode_escape") for literal, name in pieces)

    lines = {line for body in bodies.values() for line in expand(body).split("\n")}
    patterns = sorted(_line_pattern(line) for line in lines if CONVERSION.sub("", line).strip())
    # The one line the library prints itself, when the heap runs out.
    return re.compile("|".join(patterns + [re.escape(OUT_OF_MEMORY)]))


DOCUMENTED = _documented_lines()


def undocumented(stderr):
    """The lines of standard error that are none of the tool's messages: each
    must be a line of a message, the line after "Cannot open init file" one
    of the library's reasons, and the line after a message a failed system
    call caused the platform's reason."""
    lines = stderr.split("\n")
    problems = [] if lines.pop() == "" else ["standard error does not end with a line end"]
    reason = None  # the reasons the next line must be one of
    for line in lines:
        if not (reason or DOCUMENTED).fullmatch(line):
            problems.append("%s %r" % ("no reason after its message, but" if reason
                                       else "undocumented line", line))
        reason = (None if reason else REASON if CANNOT_OPEN_INIT.fullmatch(line)
                  else PLATFORM_REASON if CAUSED.fullmatch(line) else None)
    if reason:
        problems.append("no reason after the last line")
    return problems
