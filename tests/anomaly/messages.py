"""The tool's documented messages, read from the header that spells each of
them once, and the reasons the library gives for a file it cannot load
(the line after "Cannot open init file")."""

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
    must be a line of a message, and the line after "Cannot open init file"
    one of the library's reasons."""
    lines = stderr.split("\n")
    problems = [] if lines.pop() == "" else ["standard error does not end with a line end"]
    after_init = False
    for line in lines:
        known = REASON if after_init else DOCUMENTED
        if not known.fullmatch(line):
            problems.append("%s %r" % ("no reason after Cannot open init file, but"
                                       if after_init else "undocumented line", line))
        after_init = not after_init and CANNOT_OPEN_INIT.fullmatch(line) is not None
    if after_init:
        problems.append("no reason after the last line, Cannot open init file")
    return problems
