"""What a run must give: its outcome checked whole, the tool's messages as
they read, and case tables as pytest parameters."""

import os
import re

import pytest

import messages as say

# Under Wine, arguments and file names pass through the Unix locale: UTF-8
# lets a name beyond ASCII reach the wide command line whole.
UTF8 = {"LANG": "C.UTF-8"}


def rows(table, *marks):
    """A table whose first column names each row, as pytest parameters."""
    return [pytest.param(*row[1:], id=row[0], marks=marks) for row in table]


def expect(outcome, status, stdout, stderr):
    """stderr is the exact text, or a compiled pattern it must match whole."""
    if isinstance(stderr, re.Pattern):
        assert stderr.fullmatch(outcome.stderr), "standard error %r" % outcome.stderr
        stderr = outcome.stderr
    assert (outcome.status, outcome.stdout, outcome.stderr) == (status, stdout, stderr)


def joined(*parts):
    """Standard error made of parts, each an exact text or a pattern: the
    exact text when every part is one."""
    if all(isinstance(part, str) for part in parts):
        return "".join(parts)
    return re.compile("".join(part.pattern if isinstance(part, re.Pattern) else re.escape(part)
                              for part in parts))


def reason(tool, step, error):
    """The line under a message that a failed system call caused: the step
    (with the path it names), then the system's own text for errno error;
    Windows words its texts itself: there any text will do."""
    if tool.windows:
        return re.compile(re.escape(step) + ": [^\n]+\n")
    return "%s: %s\n" % (step, os.strerror(error))


def copy_failed(source, destination, then, why=""):
    """Standard error of a failed copy: the copy line, the reason, then what
    follows."""
    return joined(say.COPY_FAILED % (source, destination), why, then)


def create_failed(path, why):
    return joined(say.CANNOT_CREATE % path, why, say.BAILING_OUT)


def success_stdout(vsn, silent):
    return "" if silent else say.QUESTION + say.SUCCESS % vsn


def cannot_open(tool, path, error):
    """Standard error of an Install.ini that cannot be opened: its path, then
    the system's own text for the error. Windows words its texts itself (and
    Wine otherwise than Windows): there any one line will do."""
    first = say.CANNOT_OPEN_INIT % path
    if tool.windows:
        return re.compile(re.escape(first) + say.pattern(say.CANNOT_OPEN_FILE) + r"\S\n")
    return first + say.CANNOT_OPEN_FILE % os.strerror(error) + "\n"
