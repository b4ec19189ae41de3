"""The end-to-end cases' own option and their context: a fresh folder for
each case (pytest's tmp_path) with the tool under test."""

import os
import shutil
import stat

import pytest

from tree import Tree

# The unprivileged user (nobody) that cases about permissions run the tool
# as when the tests run as root; cmake/wine-prepare.sh knows it too.
NORMAL_USER = 65534


def pytest_addoption(parser):
    parser.addoption("--hold-tool",
                     help="a Windows program that holds a file open without sharing")


class Context:
    """One case's fresh temporary directory and the tool under test."""

    def __init__(self, tool, scratch, base, hold):
        self.tool = tool
        self.scratch = scratch
        self.base = base
        self.hold = hold

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
            pytest.skip("no setpriv to run the tool as a normal user")
        self.give(self.scratch)
        # pytest makes its folders for their owner alone: the user may pass
        # through them to the case's own.
        folder = os.path.dirname(self.scratch)
        while folder.startswith(self.base):
            os.chmod(folder, os.stat(folder).st_mode | stat.S_IXOTH)
            folder = os.path.dirname(folder)
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


@pytest.fixture
def ctx(request, tool, tmp_path, tmp_path_factory):
    return Context(tool, str(tmp_path), str(tmp_path_factory.getbasetemp()),
                   request.config.getoption("hold_tool"))
