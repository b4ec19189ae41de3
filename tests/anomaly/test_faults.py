"""Every call of every kind the fault seam names made to fail in turn
(fault_loop.py), and the fault plans themselves: the tool built with fault
injection fails the call a plan names (QUORVEL_FAULT="copy:3" fails the
third copy); the shipped tool has no fault injection."""

import errno
import os

import pytest

import messages as say
from expected import copy_failed, expect, reason
from fault_loop import run_kind
from tree import Tree, installation_problems

# An empty plan arms nothing; each of these is refused.
BAD_PLANS = ["copy", "cpy:3", "copy:", "copy:0", "copy:3x", "copy:-1", "copy:4294967296",
             ":3", "copy:3:4"]


# Calls of the library's save, which the tool does not use: it writes
# qvl.ini through the platform.
NOT_THE_TOOLS = {"write", "close", "rename"}


def test_faults(fault_tool, kind, tmp_path):
    if kind in NOT_THE_TOOLS:
        pytest.skip("the tool makes no %s call: only the library's save does" % kind)
    problems = run_kind(fault_tool, kind, str(tmp_path))
    assert not problems, "\n".join(problems[:50])


def test_flush_fails(fault_tool, tmp_path):
    """The first flush made to fail ends the run at that copy, with the
    reason; the copy is not made and no scratch file is left."""
    tree = Tree(str(tmp_path / "tree"))
    root = fault_tool.path(tree.base)
    outcome = fault_tool.run(["-s", root], environment={"QUORVEL_FAULT": "flush:1"})
    expect(outcome, 1, "", copy_failed(
        root + "\\sumbra-5.10.3\\bin\\qvl.exe", root + "\\bin\\qvl.exe", say.BAILING_OUT,
        reason(fault_tool, say.FLUSH + " %s\\bin\\qvl.ex~" % root, errno.EIO)))
    assert os.listdir(tree.root_bin()) == []


def silent_run(tool, root, plan, counts=None):
    environment = {"QUORVEL_FAULT": plan}
    if counts is not None:
        environment["QUORVEL_FAULT_COUNTS"] = counts
    outcome = tool.run(["-s", root], environment=environment)
    return outcome.status, outcome.stdout, outcome.stderr


def test_faults_plan(fault_tool, tool, kinds, tmp_path):
    """A plan that names no kind or no count ends the run with status 2
    before anything is touched; a count beyond the last call fails nothing;
    the shipped tool, which has no fault injection, ignores any plan."""
    tree = Tree(str(tmp_path / "tree"))
    root = fault_tool.path(tree.base)
    for plan in BAD_PLANS:
        assert silent_run(fault_tool, root, plan) == (
            2, "", "QUORVEL_FAULT: no such fault plan: %s\n" % plan)
        assert not os.path.exists(tree.root_bin()), "plan %r: the run went on" % plan
    counts_file = str(tmp_path / "counts")
    assert silent_run(fault_tool, root, "", counts_file) == (0, "", "")
    assert not installation_problems(tree, root, velmar=False)
    with open(counts_file) as f:
        counts = dict(line.split() for line in f)
    assert sorted(counts) == sorted(kinds), "the kinds the tool counts, and the listed ones"
    # A call beyond the last is never reached. Counts that cannot be
    # written (a directory is in the way) change nothing.
    beyond = "copy:%d" % (int(counts.get("copy", 0)) + 1)
    assert silent_run(fault_tool, root, beyond, str(tmp_path)) == (0, "", "")
    assert not installation_problems(tree, root, velmar=False)
    for plan in ("copy:1", "cpy:3"):
        assert silent_run(tool, root, plan) == (0, "", ""), "the shipped tool, plan %r" % plan
    assert not installation_problems(tree, root, velmar=False)
