"""The case table and the checks every case shares."""

import os
import re
import shutil
from dataclasses import dataclass
from typing import Callable

from tree import QUESTION, Tree


@dataclass
class Case:
    name: str
    description: str
    body: Callable
    native_only: bool = False
    windows_only: bool = False


CASES = []

# The unprivileged user (nobody) that cases about permissions run the tool
# as when the tests run as root; cmake/wine-prepare.sh knows it too.
NORMAL_USER = 65534

# The exit status of a case that this machine cannot run (CTest counts it
# as skipped, not passed).
SKIPPED = 77


class Skip(Exception):
    """Raised by a case that needs what this machine does not offer."""


def case(name, description, native_only=False, windows_only=False):
    def register(body):
        CASES.append(Case(name, description, body, native_only, windows_only))
        return body
    return register


class Context:
    """One case's fresh temporary directory and the tool under test."""

    def __init__(self, tool, scratch, helpers):
        self.tool = tool
        self.scratch = scratch
        self.helpers = helpers

    def tree(self, name="tree", **options):
        return Tree(os.path.join(self.scratch, name), **options)

    def root(self, tree):
        return self.tool.path(tree.base)

    def normal_user(self):
        """The tool as an unprivileged user runs it, for the cases about
        permissions, read-only files and reruns: root ignores both. When the
        tests run as root, this case's files are given to that user (call
        give() for files made later); otherwise the tool runs as is. Under
        Wine the user gets a prefix of its own (cmake/wine-env.sh)."""
        if os.geteuid() != 0:
            return self.tool
        if shutil.which("setpriv") is None:
            raise Skip("no setpriv to run the tool as a normal user")
        self.give(self.scratch)
        # A coverage build writes its counts into the build tree, which is
        # not that user's: its counts go to the case's own directory.
        return self.tool.as_user(["setpriv", "--reuid=%d" % NORMAL_USER,
                                  "--regid=%d" % NORMAL_USER, "--clear-groups", "env",
                                  "GCOV_PREFIX=" + os.path.join(self.scratch, "coverage")])

    def give(self, path):
        """Gives path, and everything under it, to the normal user."""
        if os.geteuid() != 0:
            return
        os.lchown(path, NORMAL_USER, NORMAL_USER)
        for base, directories, names in os.walk(path):
            for name in directories + names:
                os.lchown(os.path.join(base, name), NORMAL_USER, NORMAL_USER)

    def composed(self, tree, *parts):
        """A path inside the tree as the tool composes it: the root as it
        was given, then the parts joined with backslashes."""
        return "\\".join([self.root(tree)] + list(parts))


def expect(outcome, status, stdout, stderr):
    """stderr is the exact text, or a compiled pattern it must match whole."""
    problems = []
    if outcome.status != status:
        problems.append("exit status %d, expected %d" % (outcome.status, status))
    if outcome.stdout != stdout:
        problems.append("standard output %r, expected %r" % (outcome.stdout, stdout))
    matched = (stderr.fullmatch(outcome.stderr) is not None if isinstance(stderr, re.Pattern)
               else outcome.stderr == stderr)
    if not matched:
        problems.append("standard error %r, expected %r" % (outcome.stderr, stderr))
    return problems


BAIL_OUT = "Cannot continue installation, bailing out.\n"
CONTINUE = "Continuing installation anyway...\n"


def copy_failed(source, destination, then):
    """Standard error of a failed copy: the copy line, then what follows."""
    return "Could not copy file %s to %s\n%s" % (source, destination, then)


def another_installation(root):
    """Standard error of a run refused because another one installs the tree."""
    return ("Another installation of %s is running; wait for it to finish, then run Install "
            "again.\n" % root)


def create_failed(path):
    return "Could not create file %s\n%s" % (path, BAIL_OUT)


def success_stdout(vsn, silent):
    return "" if silent else QUESTION + "Quorvel %s installed successfully\n" % vsn


def cannot_open(tool, path, error):
    """Standard error of an Install.ini that cannot be opened: its path, then
    the system's own text for the error. Windows words its texts itself (and
    Wine otherwise than Windows): there any one line will do."""
    first = "Cannot open init file %s\n" % path
    if tool.windows:
        return re.compile(re.escape(first) + "cannot open the file: [^\n]+\n")
    return first + "cannot open the file: %s\n" % os.strerror(error)
